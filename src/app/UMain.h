// SPDX-License-Identifier: GPL-3.0-or-later
// TForm1: the main window. It owns one Station and shows it: the status bar, the Data
// page, the plot page and the settings; its handlers hand what the user does to the
// station.
#pragma once

#include "app/ErrorBox.h"
#include "app/StatusPanels.h"
#include "core/NocturoError.h"
#include "core/station/Station.h"
#include "core/text/RegionalSettings.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class LocalClock;
class LogView;
class PlotPage;
class QLineEdit;
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
    // Asks the system for a forced restart; empty: no restart is ever requested.
    SystemExitRequest systemExit = {};
};

class TForm1 : public QMainWindow, private StationObserver {
public:
    explicit TForm1(const TForm1Services& services, QWidget* parent = nullptr);
    ~TForm1() override;

    // One acquisition pass of the station, with the status refresh and the reconnection
    // attempt; true when the sensor is connected and the next pass may follow at once.
    bool IdleHandler();
    void UpdateStatusBar();
    // The reboot timer's tick: saves the log, then asks for the forced restart.
    void TRebootTimer();

    // Shut-down at a termination signal (logout, system shutdown, Ctrl-C): nobody may be
    // there to click a box, so a final save that fails is told on standard error; false
    // then. Closing the window afterwards runs no second shut-down.
    bool ShutDownWithoutBox();

    Station& GetStation() { return station_; }
    PlotPage& Plot() { return *plot_; }

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
    void PassDone() override;
    void ShowDueStatus();

    void SBInfoResize();
    void MIExitClick();
    void TBDelayChange();
    void EParamAExit();
    void EParamBExit();
    void EParamCExit();
    void EBreakPointExit();
    void TidyCalibrationEntry(QLineEdit& entry);
    void ShowRegionalSettings();

    std::unique_ptr<Ui::TForm1> ui_;
    ErrorReporter* errors_;
    ErrorBox errorBox_;
    Station station_;
    std::unique_ptr<LogView> logView_;
    std::unique_ptr<StatusPanels> statusPanels_;
    PlotPage* plot_ = nullptr;
    bool destroyed_ = false;                         // FormDestroy has run
    std::optional<StatusPanels::Reading> statusDue_; // shown at the event loop's next turn
};
