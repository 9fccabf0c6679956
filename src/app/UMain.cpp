#include "UMain.h"
#include "ui_UMain.h"

#include "Formats.h"
#include "LocalClock.h"
#include "PICUSBClass.h"
#include "PassDriver.h"
#include "PlotPage.h"
#include "UsbAPI.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QVBoxLayout>

TForm1::TForm1(const TForm1Services& services, QWidget* parent)
    : QMainWindow(parent)
    , ui_(std::make_unique<Ui::TForm1>())
    , services_(services)
    , errors_(services.errors)
    , cycle_(services.clock, *this) {
    ui_->setupUi(this);
    connect(ui_->MIExit, &QAction::triggered, this, &TForm1::MIExitClick);
    SetUpPlotPage();
    try {
        FormCreate();
    } catch (const std::exception& e) {
        Errors().ShowError(e.what());
    }
}

TForm1::~TForm1() {
    try {
        FormDestroy();
    } catch (const std::exception& e) {
        Errors().ShowError(e.what());
    }
}

void TForm1::FormCreate() {
    cycle_.Begin();
    plot_->ClearAllSeries();
    device_ = std::make_unique<TPICUSB>(services_.pipes);
    cycle_.SetDevice(device_.get());
    device_->SetActive(true);
    device_->SetSendDelay(50);
    device_->SetReceiveDelay(50);
    cycle_.UpdateStatusText();
    ui_->PageControl1->setCurrentIndex(0);
    driver_ = std::make_unique<PassDriver>([this] { return IdleHandler(); }, Errors(),
                                           services_.pipeEvents, this);
    if (services_.runPasses) driver_->Start();
}

void TForm1::FormDestroy() {
    if (driver_) driver_->Stop();
    device_.reset();
}

bool TForm1::IdleHandler() {
    cycle_.Pass();
    UpdateStatusBar();
    return cycle_.Reconnect();
}

void TForm1::UpdateStatusBar() {}

void TForm1::TakeRecord(const SecondRecord& record) {
    if (record.deviceActive)
        plot_->AddRecordPoints(record.newSecond, record.mean, record.temperature, record.range,
                               FormatDateTime(record.timeStamp, QStringLiteral("hh:nn:ss"),
                                              RegionalSettings::FromSystem()));
}

void TForm1::SetUpPlotPage() {
    plot_ = new PlotPage(*ui_->MILogarithmic, ui_->TSPlot);
    QLayout* layout = ui_->TSPlot->layout();
    if (layout == nullptr) layout = new QVBoxLayout(ui_->TSPlot);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);
    // The item flips its own check mark before the command runs.
    connect(ui_->MILogarithmic, &QAction::triggered, this, [this] {
        try {
            plot_->MILogarithmicClick();
        } catch (const std::exception& e) {
            Errors().ShowError(e.what());
        }
    });
    connect(ui_->MIClear, &QAction::triggered, this, [this] { plot_->MIClearClick(); });
}

void TForm1::MIExitClick() {
    close();
}

void TForm1::ShowError(const std::string& message) {
    // One box at a time, opened without a nested event loop so that passes go on.
    if (errorBox_ != nullptr) return;
    errorBox_ =
        new QMessageBox(QMessageBox::Critical, QStringLiteral("Nocturo"),
                        QString::fromStdString(ErrorBoxText(message)), QMessageBox::Ok, this);
    errorBox_->setAttribute(Qt::WA_DeleteOnClose);
    connect(errorBox_, &QObject::destroyed, this, [this] { errorBox_ = nullptr; });
    errorBox_->open();
}
