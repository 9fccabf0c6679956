// SPDX-License-Identifier: GPL-3.0-or-later
// StationLogger: the station without a window. It runs one Station with the logger's
// options, tells each event in one line (started, sensor connected or lost, a save or load
// that failed, a save that works again, each new reason while the sensor stays away, reboot armed,
// restart requested or refused, stopped), never one per second and never in a box, and keeps
// systemd informed: ready after the first pass, the link state as the status, watchdog pings from
// the pass loop, stopping at shut-down.
#pragma once

#include "core/NocturoError.h"
#include "core/station/Station.h"
#include "logger/LoggerOptions.h"

#include <QStringList>

class EventLines;
class LocalClock;
class SystemRestart;
class SystemdNotifier;
namespace usbapi {
class PipeLibrary;
class PipeEventSource;
} // namespace usbapi

// What the logger works with; the program hands in the real ones, tests fakes.
struct StationLoggerServices {
    usbapi::PipeLibrary& pipes;
    usbapi::PipeEventSource* pipeEvents = nullptr;
    LocalClock& clock;
    EventLines& lines;
    SystemdNotifier* notifier = nullptr; // nullptr: nothing is told to systemd
    SystemRestart* restart = nullptr;    // nullptr: no restart is ever asked for
    bool runPasses = true;               // false: the caller runs the passes (tests)
};

class StationLogger : private StationObserver, private ErrorReporter {
public:
    StationLogger(const StationLoggerServices& services, const LoggerOptions& options);
    ~StationLogger() override;

    // Tells "started", starts the station with the options, and sets the sensor's
    // time-outs.
    void Start();
    // The station's shut-down, told to systemd first. False when the last save failed;
    // that is told as an error.
    bool Stop();

    Station& GetStation() { return station_; }

private:
    void ShowError(const std::string& message) override;
    void PassDone() override;
    void LinkChanged(bool up, const QString& hint) override;
    void LinkReasonChanged(const QString& hint) override;
    void SaveSucceededAgain() override;
    void RebootArmed() override;
    void RestartRequested(bool accepted) override;

    StationLoggerServices services_;
    LoggerOptions options_;
    QString restartRefusal_; // why the last restart asked for was refused
    Station station_;
    QString status_;          // the link state in words, for systemd's status line
    QStringList reasonsTold_; // the reasons told since the link went down
    bool ready_ = false;
};
