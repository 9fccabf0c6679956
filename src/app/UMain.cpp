#include "UMain.h"
#include "ui_UMain.h"

#include "LocalClock.h"
#include "PICUSBClass.h"
#include "PassDriver.h"
#include "RegionalSettings.h"
#include "UsbAPI.h"

#include <QCloseEvent>
#include <QEvent>
#include <QMessageBox>

TForm1::TForm1(const TForm1Services& services, QWidget* parent)
    : QMainWindow(parent)
    , ui_(std::make_unique<Ui::TForm1>())
    , services_(services)
    , errors_(services.errors)
    , cycle_(services.clock, *this)
    , log_(services.dataDirectory) {
    ui_->setupUi(this);
    ReadRegionalSettings();
    connect(ui_->MIExit, &QAction::triggered, this, &TForm1::MIExitClick);
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
    // A day file that cannot be read is reported, and acquisition starts all the same: the
    // saves keep every line the file holds, or fail while it stays unreadable.
    log_.SetLogFileName(DailyLog::FileNameFor(cycle_.CurrentTime()));
    try {
        log_.Load();
    } catch (const NocturoError& e) {
        Errors().ShowError(e.what());
    }
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
    try {
        log_.Save();
    } catch (const NocturoError& e) {
        Errors().ShowError(e.what());
    }
    device_.reset();
}

bool TForm1::IdleHandler() {
    cycle_.Pass();
    UpdateStatusBar();
    return cycle_.Reconnect();
}

void TForm1::UpdateStatusBar() {}

void TForm1::TakeRecord(const SecondRecord& record) {
    log_.Take(record);
    // The plot and the reboot arming take the record after the log.
}

void TForm1::ReadRegionalSettings() {
    log_.SetRegionalSettings(RegionalSettings::FromSystem());
}

void TForm1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange) ReadRegionalSettings();
    QMainWindow::changeEvent(event);
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
