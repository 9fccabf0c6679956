#include "UMain.h"
#include "ui_UMain.h"

#include "CalibrationNumber.h"
#include "Formats.h"
#include "LinkStatusHint.h"
#include "LocalClock.h"
#include "LogView.h"
#include "PICUSBClass.h"
#include "PassDriver.h"
#include "PlotPage.h"
#include "UsbAPI.h"

#include <QFocusEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace {

// The first of the families that is installed; the last one when none is.
QString FirstInstalled(const QStringList& families) {
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families)
        if (installed.contains(family, Qt::CaseInsensitive)) return family;
    return families.back();
}

constexpr int PanelIndent = 2;

// The status bar repaints for the running clock alone at most every 100 ms: the passes come
// far faster than an eye can read, and each repaint costs more than a pass (on X, a station
// without its sensor would otherwise spend about 2% of a core on the clock).
constexpr double ClockRefreshDays = 100.0 / 86'400'000.0;

// Empties the plot when the day's log rolls over, so the plot starts the new day with it.
class PlotRollOver : public DailyLogObserver {
public:
    explicit PlotRollOver(PlotPage& plot)
        : plot_(plot) {}
    void LineAppended(const QString&) override {}
    void Emptied() override { plot_.ClearAllSeries(); }
    void Loaded(const QByteArray&) override {}

private:
    PlotPage& plot_;
};

const char* const InitialPanelTexts[TForm1::StatusPanels] = {"DLL Version: unknown",
                                                             "Status: Error", "2008-27-12 05:12:00",
                                                             "Temperature: n/a", "Flux: n/a"};

} // namespace

TForm1::TForm1(const TForm1Services& services, QWidget* parent)
    : QMainWindow(parent)
    , ui_(std::make_unique<Ui::TForm1>())
    , services_(services)
    , errors_(services.errors)
    , errorBox_(this)
    , cycle_(services.clock, *this)
    , log_(services.dataDirectory) {
    ui_->setupUi(this);
    SetUpWindow();
    SetUpStatusBar();
    SetUpSettingsPage();
    SetUpPlotPage();
    logView_ = std::make_unique<LogView>(*ui_->Memo1);
    log_.AddObserver(logView_.get());
    plotRollOver_ = std::make_unique<PlotRollOver>(*plot_);
    log_.AddObserver(plotRollOver_.get());
    TReboot = new QTimer(this);
    TReboot->setInterval(RebootIntervalMs);
    connect(TReboot, &QTimer::timeout, this, &TForm1::TRebootTimer);
    connect(ui_->CBReboot, &QCheckBox::toggled, this, &TForm1::CBRebootClick);
    connect(ui_->MIExit, &QAction::triggered, this, Guarded([this] { MIExitClick(); }));
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
        // No event loop runs after this: the box waits for its click here.
        if (errors_ != nullptr)
            errors_->ShowError(e.what());
        else
            errorBox_.ShowErrorAndWait(e.what());
    }
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
    // The panels are placed by SBInfoResize rather than by the status bar's own layout,
    // which would add margins and spacing: each panel is exactly a fifth of the bar.
    for (int i = 0; i < StatusPanels; ++i) {
        auto* panel = new QLabel(QString::fromLatin1(InitialPanelTexts[i]), ui_->SBInfo);
        panel->setObjectName(QStringLiteral("SBInfoPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setIndent(PanelIndent);
        panels_[i] = panel;
    }
    // The clock is the widest text: at the window's opening width it must fit its panel
    // whole, so the panels' font gives up half points until it does.
    QFont panelFont = font();
    const int room = width() / StatusPanels - 2 * panels_[0]->frameWidth() - 2 * PanelIndent;
    while (QFontMetrics(panelFont).horizontalAdvance(QStringLiteral("0000-00-00 00:00:00.000")) >
               room &&
           panelFont.pointSizeF() > 6)
        panelFont.setPointSizeF(panelFont.pointSizeF() - 0.5);
    for (QLabel* panel : panels_)
        panel->setFont(panelFont);
    ui_->SBInfo->setFixedHeight(std::max(19, QFontMetrics(panelFont).height() + 6));
    ui_->SBInfo->installEventFilter(this);
    SBInfoResize();
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
    // The item flips its own check mark before the command runs.
    connect(ui_->MILogarithmic, &QAction::triggered, this,
            Guarded([this] { plot_->MILogarithmicClick(); }));
    connect(ui_->MIClear, &QAction::triggered, this, Guarded([this] { plot_->MIClearClick(); }));
}

void TForm1::FormCreate() {
    ReadRegionalSettings();
    cycle_.Begin();
    plot_->ClearAllSeries();
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
    panels_[0]->setText(QStringLiteral("DLL Version: ") +
                        QString::fromStdString(device_->GetVersion()));
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
    log_.RemoveObserver(logView_.get());
    log_.RemoveObserver(plotRollOver_.get());
    // The sensor is released even when the last save fails; the failure is shown after.
    try {
        log_.Save();
    } catch (...) {
        device_.reset();
        throw;
    }
    device_.reset();
}

bool TForm1::IdleHandler() {
    cycle_.Pass();
    UpdateStatusBar();
    return cycle_.Reconnect();
}

void TForm1::UpdateStatusBar() {
    if (!isVisible()) return;
    // Labels ignore a text they already show, so only a changed panel repaints.
    bool changed = false;
    auto show = [&](int panel, const QString& text) {
        if (panels_[panel]->text() == text) return;
        panels_[panel]->setText(text);
        changed = true;
    };
    show(1, QStringLiteral("Status: ") + QString::fromStdString(cycle_.StatusText()));
    // Why the link is down, as far as the pipe library can tell, for a look with the mouse.
    const QString hint =
        device_ ? LinkStatusHint(device_->GetActive(), device_->lastOpenFailure()) : QString();
    if (panels_[1]->toolTip() != hint) panels_[1]->setToolTip(hint);
    show(3, TemperatureText(cycle_.Temperature(), regional_));
    show(4, FluxText(cycle_.Flux()));
    const double now = cycle_.CurrentTime();
    if (changed || now < statusClockShown_ || now - statusClockShown_ >= ClockRefreshDays) {
        statusClockShown_ = now;
        panels_[2]->setText(
            FormatDateTime(now, QStringLiteral("yyyy-mm-dd hh:nn:ss.zzz"), regional_));
    }
}

void TForm1::TakeRecord(const SecondRecord& record) {
    // The line is in the log even when its save fails; the plot and the reboot arming
    // still take the record, and the failure is reported after them.
    std::exception_ptr logFailure;
    try {
        log_.Take(record);
    } catch (const NocturoError&) {
        logFailure = std::current_exception();
    }
    if (record.deviceActive) {
        plot_->AddRecordPoints(
            record.newSecond, record.mean, record.temperature, record.range,
            FormatDateTime(record.timeStamp, QStringLiteral("hh:nn:ss"), regional_));
    } else if (ui_->CBReboot->isChecked() && !TReboot->isActive()) {
        TReboot->start(); // a running timer keeps its phase
    }
    if (logFailure) std::rethrow_exception(logFailure);
}

void TForm1::CBRebootClick(bool checked) {
    // Switching the option off cancels a pending restart; switching it on arms nothing until
    // the next failure.
    if (!checked) TReboot->stop();
}

void TForm1::TRebootTimer() {
    // Whatever a forced restart would lose goes to disk first; a failed save does not hold
    // back the restart and is not shown, since nobody may be there to close the box.
    try {
        log_.Save();
    } catch (const NocturoError&) {
    }
    if (services_.systemExit) services_.systemExit(ForcedReboot);
}

void TForm1::ReadRegionalSettings() {
    regional_ =
        services_.regionalSettings ? services_.regionalSettings() : RegionalSettings::FromSystem();
    log_.SetRegionalSettings(regional_);
    if (plot_ != nullptr)
        plot_->SetNumberSeparators(regional_.decimalSeparator, QLocale::system().groupSeparator());
}

void TForm1::RegionalSettingsChanged() {
    ReadRegionalSettings();
    statusClockShown_ = -1; // the clock's separators may have changed
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
    const int width = ui_->SBInfo->width() / StatusPanels;
    const int height = ui_->SBInfo->height();
    // A fixed size also keeps a panel's new text from asking the bar to lay itself out
    // again, which would repaint every panel whenever the clock ticks.
    for (int i = 0; i < StatusPanels; ++i) {
        panels_[i]->setFixedSize(width, height);
        panels_[i]->move(i * width, 0);
    }
}

void TForm1::MIExitClick() {
    close();
}

void TForm1::TBDelayChange() {
    if (!device_) return;
    // The captions show what the device component holds now, which is what its next
    // transaction uses.
    device_->SetSendDelay(static_cast<std::uint16_t>(ui_->TBSendDelay->sliderPosition()));
    ui_->LSendDelay->setText(QStringLiteral("Send Delay: %1ms").arg(device_->GetSendDelay()));
    device_->SetReceiveDelay(static_cast<std::uint16_t>(ui_->TBReceiveDelay->sliderPosition()));
    ui_->LReceiveDelay->setText(
        QStringLiteral("Receive Delay: %1ms").arg(device_->GetReceiveDelay()));
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
    entry.setText(TidyCalibrationText(entry.text(), regional_.decimalSeparator));
}
