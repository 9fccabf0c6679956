// SPDX-License-Identifier: GPL-3.0-or-later
// Station: the one object that runs a light-monitoring station. It owns the sensor
// component, the acquisition cycle, the daily log, the pass driver and the reboot timer
// with its rule, and it runs the start-up and shut-down sequences. It knows no widget:
// the window, a program without one, and the tests all drive the same station and follow
// it through its observers.
#pragma once

#include "core/NocturoError.h"
#include "core/log/DailyLog.h"
#include "core/station/AcquisitionCycle.h"
#include "core/station/SecondRecord.h"
#include "core/station/SystemExit.h"
#include "core/text/RegionalSettings.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class LocalClock;
class PassDriver;
class TPICUSB;
namespace usbapi {
class PipeLibrary;
class PipeEventSource;
} // namespace usbapi

// What a station works with; each program and each test hands in its own.
struct StationServices {
    usbapi::PipeLibrary& pipes;
    usbapi::PipeEventSource* pipeEvents = nullptr; // nullptr: no hotplug events
    LocalClock& clock;
    ErrorReporter& errors;                       // the one place errors are shown
    QString dataDirectory = QStringLiteral("."); // where the day files go
    // Reads the user's regional settings; empty: the system's.
    std::function<RegionalSettings()> regionalSettings = {};
    // Asks the system for a forced restart; empty: no restart is ever requested.
    SystemExitRequest systemExit = {};
    bool runPasses = true; // false: the caller runs IdleHandler itself (tests)
};

// Views follow the station through these calls; each has nothing to do by default.
class StationObserver {
public:
    virtual ~StationObserver() = default;
    // A pass has run (readings, record, status text); its reconnection attempt follows.
    virtual void PassDone() {}
    // The record of a completed second for the plot: only while the sensor is active.
    virtual void RecordForPlot(const SecondRecord&) {}
    // A completed second was taken by the log (also when the line's save failed).
    virtual void RecordTaken(const SecondRecord&) {}
    // The reboot timer was started by a failure.
    virtual void RebootArmed() {}
    // The reboot timer ran out and the restart was asked for; `accepted` is the answer.
    virtual void RestartRequested(bool /*accepted*/) {}
    // The link state changed: told once at start-up, once the sensor was opened or not,
    // then after each pass whose readings went otherwise than the last one's ("Status: Ok"
    // against "Status: Error"), never for every pass. While it is down, `hint` says why,
    // as far as the pass's reconnection attempt could tell; it is empty while it is up.
    virtual void LinkChanged(bool /*up*/, const QString& /*hint*/) {}
    // While the link stays down, the reason the reconnection attempts give changed (the
    // sensor was found but does not answer, where before it was not there at all).
    virtual void LinkReasonChanged(const QString& /*hint*/) {}
    // A save of the log succeeded after one or more had failed: the lines kept in memory
    // meanwhile are on disk now.
    virtual void SaveSucceededAgain() {}
};

class Station : public QObject, private RecordHandOver, private DailyLogObserver {
public:
    static constexpr int kRebootIntervalMs = 30000;
    static constexpr std::uint16_t kStartDelayMs = 50;

    explicit Station(const StationServices& services, QObject* parent = nullptr);
    ~Station() override;

    // Start-up: regional settings, the clock, the day's file loaded (a failure is reported
    // and acquisition starts all the same), the sensor created and opened with 50 ms
    // time-outs, and the passes started.
    void Start();
    // Shut-down: passes stop, the log is saved, the sensor released. Throws NocturoError
    // when the save fails, after the sensor was released. Runs once; later calls do nothing.
    void Stop();

    // One acquisition pass, the observers' PassDone, and a reconnection attempt when the
    // sensor is inactive; true when it is connected and the next pass may follow at once.
    // A failed save of the log ends the pass with NocturoError, after the observers had it.
    bool IdleHandler();

    // The "Reboot 30 seconds after failure" option. Switching it off cancels a pending
    // restart; switching it on arms nothing until the next failure.
    void SetRebootOnFailure(bool on);
    // The reboot timer's tick: saves the log, then asks for the forced restart.
    void TRebootTimer();
    const QTimer& RebootTimer() const { return *TReboot; }

    // Reads the regional settings again and hands them to the log.
    void RegionalSettingsChanged();
    const RegionalSettings& Regional() const { return regional_; }

    void AddObserver(StationObserver* observer);
    void RemoveObserver(StationObserver* observer);

    // nullptr before Start and after Stop.
    TPICUSB* Device() const { return device_.get(); }
    const AcquisitionCycle& Cycle() const { return cycle_; }
    DailyLog& Log() { return log_; }
    const DailyLog& Log() const { return log_; }
    ErrorReporter& Errors() const { return services_.errors; }

    // The link state observers were last told: the latest pass read the sensor.
    bool LinkUp() const { return linkUp_.value_or(false); }

private:
    void TakeRecord(const SecondRecord& record) override;
    void ReadRegionalSettings();
    void TellLink();
    // The log's own calls: only a successful save matters here.
    void LineAppended(const QString&) override {}
    void Emptied() override {}
    void Loaded(const QByteArray&) override {}
    void Saved(bool complete) override;

    StationServices services_;
    RegionalSettings regional_;
    AcquisitionCycle cycle_;
    DailyLog log_;
    std::unique_ptr<TPICUSB> device_;
    std::unique_ptr<PassDriver> driver_;
    QTimer* TReboot;
    bool rebootOnFailure_ = false;
    bool stopped_ = false;
    bool saveFailing_ = false;   // the latest save failed
    std::optional<bool> linkUp_; // nothing told yet
    QString linkHint_;           // the reason last told while it is down
    QString newHint_;            // another reason, given by the latest attempt alone
    std::vector<StationObserver*> observers_;
};
