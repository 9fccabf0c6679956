// TForm1: the main window. Thin glue: it owns the sensor component, the acquisition
// cycle and the pass driver, shows their state, and hands each second record on.
#pragma once

#include "AcquisitionCycle.h"
#include "DailyLog.h"
#include "ErrorBox.h"
#include "NocturoError.h"
#include "RegionalSettings.h"
#include "SecondRecord.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class LocalClock;
class LogView;
class PassDriver;
class PlotPage;
class TPICUSB;
class QLabel;
class QLineEdit;
class QTimer;
namespace usbapi {
class PipeLibrary;
class PipeEventSource;
} // namespace usbapi
namespace Ui {
class TForm1;
}

// What the window works with; tests put fakes in.
struct TForm1Services {
    usbapi::PipeLibrary& pipes;
    usbapi::PipeEventSource* pipeEvents = nullptr;
    LocalClock& clock;
    ErrorReporter* errors = nullptr;             // nullptr: the window's own error box
    bool runPasses = true;                       // false: tests call IdleHandler themselves
    QString dataDirectory = QStringLiteral("."); // where the day files go
    // Reads the user's regional settings; empty: the system's.
    std::function<RegionalSettings()> regionalSettings = {};
    // Asks the system for a forced restart with the given exit flags; true when accepted.
    // Empty: no restart is ever requested.
    std::function<bool(std::uint32_t flags)> systemExit = {};
};

class TForm1 : public QMainWindow, private RecordHandOver {
public:
    static constexpr int StatusPanels = 5;
    static constexpr int RebootIntervalMs = 30000;
    static constexpr std::uint32_t ForcedReboot = 2 | 4; // reboot | force

    explicit TForm1(const TForm1Services& services, QWidget* parent = nullptr);
    ~TForm1() override;

    // One acquisition pass with its status refresh and reconnection attempt; true when the
    // sensor is connected and the next pass may follow at once.
    bool IdleHandler();
    void UpdateStatusBar();

    TPICUSB* Device() const { return device_.get(); }
    const AcquisitionCycle& Cycle() const { return cycle_; }
    DailyLog& Log() { return log_; }
    PlotPage& Plot() { return *plot_; }
    Ui::TForm1& Form() { return *ui_; }
    QLabel* Panel(int index) const { return panels_[index]; }
    const RegionalSettings& Regional() const { return regional_; }
    ErrorBox& OwnErrorBox() { return errorBox_; }
    QTimer& RebootTimer() { return *TReboot; }
    // The reboot timer's tick: saves the log, then asks for the forced restart.
    void TRebootTimer();

    // The one place errors are shown.
    ErrorReporter& Errors() { return errors_ != nullptr ? *errors_ : errorBox_; }
    // Wraps an event handler so that what it throws reaches the error box, as a handler's
    // error does anywhere in the window.
    template <class Handler> auto Guarded(Handler handler) {
        return [this, handler] {
            try {
                handler();
            } catch (const std::exception& e) {
                Errors().ShowError(e.what());
            }
        };
    }
    // Reads the regional settings again and hands them to everything that writes numbers,
    // dates or times.
    void RegionalSettingsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetUpWindow();
    void SetUpStatusBar();
    void SetUpSettingsPage();
    void SetUpPlotPage();
    void FormCreate();
    void FormDestroy();
    void TakeRecord(const SecondRecord& record) override;

    void SBInfoResize();
    void MIExitClick();
    void TBDelayChange();
    void EParamAExit();
    void EParamBExit();
    void EParamCExit();
    void EBreakPointExit();
    void TidyCalibrationEntry(QLineEdit& entry);
    void ReadRegionalSettings();
    void CBRebootClick(bool checked);

    std::unique_ptr<Ui::TForm1> ui_;
    TForm1Services services_;
    ErrorReporter* errors_;
    ErrorBox errorBox_;
    RegionalSettings regional_;
    AcquisitionCycle cycle_;
    DailyLog log_;
    std::unique_ptr<TPICUSB> device_;
    std::unique_ptr<PassDriver> driver_;
    std::unique_ptr<LogView> logView_;
    std::unique_ptr<DailyLogObserver> plotRollOver_;
    QTimer* TReboot = nullptr;
    double statusClockShown_ = -1; // CurrentTime last written into the clock panel
    std::array<QLabel*, StatusPanels> panels_{};
    PlotPage* plot_ = nullptr;
};
