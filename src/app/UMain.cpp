// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UMain.h"
#include "ui_UMain.h"

#include "app/LogView.h"
#include "app/StatusPanels.h"
#include "app/plot/PlotPage.h"
#include "core/text/CalibrationNumber.h"
#include "sensor/PICUSBClass.h"

#include <QFocusEvent>
#include <QFontDatabase>
#include <QLocale>
#include <QScreen>
#include <QStyle>

#include <iostream>

namespace {

// The first of the families that is installed; the last one when none is.
QString FirstInstalled(const QStringList& families) {
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families)
        if (installed.contains(family, Qt::CaseInsensitive)) return family;
    return families.back();
}

StationServices ServicesOfTheStation(const TForm1Services& services, ErrorReporter& errors) {
    return StationServices{.pipes = services.pipes,
                           .pipeEvents = services.pipeEvents,
                           .clock = services.clock,
                           .errors = errors,
                           .dataDirectory = services.dataDirectory,
                           .regionalSettings = services.regionalSettings,
                           .systemExit = services.systemExit,
                           .runPasses = services.runPasses};
}

} // namespace

TForm1::TForm1(const TForm1Services& services, QWidget* parent)
    : QMainWindow(parent)
    , ui_(std::make_unique<Ui::TForm1>())
    , errors_(services.errors)
    , errorBox_(this)
    , station_(ServicesOfTheStation(services, Errors())) {
    ui_->setupUi(this);
    SetUpWindow();
    SetUpStatusBar();
    SetUpSettingsPage();
    SetUpPlotPage();
    logView_ = std::make_unique<LogView>(*ui_->Memo1);
    station_.Log().AddObserver(logView_.get());
    station_.AddObserver(this);
    connect(ui_->CBReboot, &QCheckBox::toggled, this,
            [this](bool checked) { station_.SetRebootOnFailure(checked); });
    connect(ui_->MIExit, &QAction::triggered, this, Guarded([this] { MIExitClick(); }));
    try {
        FormCreate();
    } catch (const std::exception& e) {
        Errors().ShowError(e.what());
    }
}

TForm1::~TForm1() {
    if (destroyed_) return;
    try {
        FormDestroy();
    } catch (const std::exception& e) {
        // No event loop runs after this: the box waits for its click here.
        if (errors_ != nullptr)
            errors_->ShowError(e.what());
        else
            errorBox_.ShowErrorAndWait(e.what());
    }
}

bool TForm1::ShutDownWithoutBox() {
    if (destroyed_) return true;
    try {
        FormDestroy();
    } catch (const std::exception& e) {
        std::cerr << "nocturo: " << ErrorBoxText(e.what()) << std::endl;
        return false;
    }
    return true;
}

void TForm1::SetUpWindow() {
    // Tahoma 8 pt where it is installed, else a sans-serif of about its width.
    QFont font(FirstInstalled({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                               QStringLiteral("DejaVu Sans")}));
    font.setPointSize(8);
    setFont(font);
    QFont mono(FirstInstalled({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                               QStringLiteral("DejaVu Sans Mono")}));
    mono.setStyleHint(QFont::Monospace);
    mono.setPointSize(8);
    ui_->Memo1->setFont(mono);

    const QList<QAction*> sensorItems = ui_->File1->actions();
    for (QAction* item : sensorItems)
        if (item->isSeparator()) item->setObjectName(QStringLiteral("N1"));

    // The window opens centred on the screen it appears on.
    if (const QScreen* screen = this->screen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
}

void TForm1::SetUpStatusBar() {
    statusPanels_ = std::make_unique<StatusPanels>(*ui_->SBInfo, font(), width());
    ui_->SBInfo->installEventFilter(this);
}

void TForm1::SetUpSettingsPage() {
    for (QSlider* bar : {ui_->TBSendDelay, ui_->TBReceiveDelay}) {
        // Every step of a key, a drag or the wheel, and the end of a drag.
        connect(bar, &QSlider::actionTriggered, this, Guarded([this] { TBDelayChange(); }));
        connect(bar, &QSlider::valueChanged, this, Guarded([this] { TBDelayChange(); }));
        connect(bar, &QSlider::sliderReleased, this, Guarded([this] { TBDelayChange(); }));
    }
    for (QLineEdit* entry : {ui_->EParamA, ui_->EParamB, ui_->EParamC, ui_->EBreakPoint})
        entry->installEventFilter(this);
}

void TForm1::SetUpPlotPage() {
    plot_ = new PlotPage(*ui_->MILogarithmic, ui_->TSPlot);
    ui_->plotLayout->addWidget(plot_);
    plot_->Follow(&station_);
    // The item flips its own check mark before the command runs.
    connect(ui_->MILogarithmic, &QAction::triggered, this,
            Guarded([this] { plot_->MILogarithmicClick(); }));
    connect(ui_->MIClear, &QAction::triggered, this, Guarded([this] { plot_->MIClearClick(); }));
}

void TForm1::FormCreate() {
    station_.Start();
    ShowRegionalSettings();
    if (const TPICUSB* device = station_.Device())
        statusPanels_->ShowVersion(QString::fromStdString(device->GetVersion()));
    ui_->PageControl1->setCurrentIndex(0);
    plot_->ClearAllSeries();
}

void TForm1::FormDestroy() {
    destroyed_ = true;
    station_.RemoveObserver(this);
    station_.Log().RemoveObserver(logView_.get());
    plot_->Follow(nullptr);
    station_.Stop();
}

bool TForm1::IdleHandler() {
    const bool again = station_.IdleHandler();
    ShowDueStatus(); // a pass run on its own shows at once
    return again;
}

void TForm1::PassDone() {
    // Passes run in bursts and the bar is painted only when the event loop takes its turn,
    // so the bar is refreshed once, at that turn, with what the burst's last pass left:
    // what refreshing after every pass would show, without formatting texts no one sees.
    const bool posted = statusDue_.has_value();
    statusDue_ = StatusPanels::Take(station_);
    if (!posted)
        QMetaObject::invokeMethod(
            this, [this] { ShowDueStatus(); }, Qt::QueuedConnection);
}

void TForm1::ShowDueStatus() {
    if (!statusDue_) return;
    if (!destroyed_ && isVisible()) statusPanels_->Show(*statusDue_, station_.Regional());
    statusDue_.reset();
}

void TForm1::TRebootTimer() {
    station_.TRebootTimer();
}

void TForm1::UpdateStatusBar() {
    if (isVisible()) statusPanels_->Show(station_);
}

void TForm1::ShowRegionalSettings() {
    plot_->SetNumberSeparators(station_.Regional().decimalSeparator,
                               QLocale::system().groupSeparator());
}

void TForm1::RegionalSettingsChanged() {
    station_.RegionalSettingsChanged();
    ShowRegionalSettings();
    statusPanels_->ForgetClock(); // the clock's separators may have changed
    UpdateStatusBar();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->SBInfo && event->type() == QEvent::Resize) {
        SBInfoResize();
    } else if (event->type() == QEvent::FocusOut) {
        // Leaving a field for another control of the window; switching to another window
        // or opening a menu is not leaving it.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            reason != Qt::MenuBarFocusReason) {
            try {
                if (watched == ui_->EParamA) EParamAExit();
                if (watched == ui_->EParamB) EParamBExit();
                if (watched == ui_->EParamC) EParamCExit();
                if (watched == ui_->EBreakPoint) EBreakPointExit();
            } catch (const std::exception& e) {
                Errors().ShowError(e.what());
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange) RegionalSettingsChanged();
    QMainWindow::changeEvent(event);
}

void TForm1::SBInfoResize() {
    statusPanels_->Place();
}

void TForm1::MIExitClick() {
    close();
}

void TForm1::TBDelayChange() {
    TPICUSB* device = station_.Device();
    if (device == nullptr) return;
    // The captions show what the device component holds now, which is what its next
    // transaction uses.
    device->SetSendDelay(static_cast<std::uint16_t>(ui_->TBSendDelay->sliderPosition()));
    ui_->LSendDelay->setText(QStringLiteral("Send Delay: %1ms").arg(device->GetSendDelay()));
    device->SetReceiveDelay(static_cast<std::uint16_t>(ui_->TBReceiveDelay->sliderPosition()));
    ui_->LReceiveDelay->setText(
        QStringLiteral("Receive Delay: %1ms").arg(device->GetReceiveDelay()));
}

void TForm1::EParamAExit() {
    TidyCalibrationEntry(*ui_->EParamA);
}

void TForm1::EParamBExit() {
    TidyCalibrationEntry(*ui_->EParamB);
}

void TForm1::EParamCExit() {
    TidyCalibrationEntry(*ui_->EParamC);
}

void TForm1::EBreakPointExit() {
    TidyCalibrationEntry(*ui_->EBreakPoint);
}

void TForm1::TidyCalibrationEntry(QLineEdit& entry) {
    entry.setText(TidyCalibrationText(entry.text(), station_.Regional().decimalSeparator));
}
