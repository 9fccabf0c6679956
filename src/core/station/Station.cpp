// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/station/Station.h"

#include "core/station/LinkStatusHint.h"
#include "core/station/PassDriver.h"
#include "sensor/PICUSBClass.h"

#include <algorithm>
#include <exception>

Station::Station(const StationServices& services, QObject* parent)
    : QObject(parent)
    , services_(services)
    , cycle_(services.clock, *this)
    , log_(services.dataDirectory)
    , TReboot(new QTimer(this)) {
    TReboot->setInterval(kRebootIntervalMs);
    connect(TReboot, &QTimer::timeout, this, &Station::TRebootTimer);
    log_.AddObserver(this);
}

Station::~Station() {
    // A station that was never stopped still releases its sensor; the log is left as it
    // is, since an error could no longer be shown.
    if (driver_) driver_->Stop();
}

void Station::Start() {
    ReadRegionalSettings();
    cycle_.Begin();
    // A day file that cannot be read is reported, and acquisition starts all the same: the
    // saves keep every line the file holds, or fail while it stays unreadable.
    log_.SetLogFileName(DailyLog::FileNameFor(cycle_.CurrentTime()));
    try {
        log_.Load();
    } catch (const NocturoError& e) {
        services_.errors.ShowError(e.what());
    }
    device_ = std::make_unique<TPICUSB>(services_.pipes);
    cycle_.SetDevice(device_.get());
    device_->SetActive(true);
    device_->SetSendDelay(kStartDelayMs);
    device_->SetReceiveDelay(kStartDelayMs);
    cycle_.UpdateStatusText();
    TellLink();
    driver_ = std::make_unique<PassDriver>([this] { return IdleHandler(); }, services_.errors,
                                           services_.pipeEvents, this);
    if (services_.runPasses) driver_->Start();
}

void Station::Stop() {
    if (stopped_) return;
    stopped_ = true;
    if (driver_) driver_->Stop();
    TReboot->stop();
    // After a start-up that never got as far as the sensor there is no log to save and
    // nothing to release.
    if (!device_) return;
    // The sensor is released even when the last save fails; the failure is told after.
    try {
        log_.Save();
    } catch (...) {
        cycle_.SetDevice(nullptr);
        device_.reset();
        throw;
    }
    cycle_.SetDevice(nullptr);
    device_.reset();
}

bool Station::IdleHandler() {
    cycle_.Pass();
    for (StationObserver* observer : observers_)
        observer->PassDone();
    const bool connected = cycle_.Reconnect();
    TellLink();
    return connected;
}

void Station::TellLink() {
    // The state the status bar shows: whether the latest readings (or, at start-up, the
    // opening) succeeded. Its reason is read after the reconnection attempt, which knows
    // best why the sensor cannot be had.
    const bool up = cycle_.StatusText() == "Ok";
    const QString hint =
        up || !device_ ? QString() : LinkStatusHint(false, device_->LastOpenFailure());
    if (linkUp_ == up) {
        // A new reason is told once two attempts in a row give it: the pass that has just
        // reopened the sensor has read nothing yet, and says only that it does not answer.
        if (up || hint == linkHint_) {
            newHint_.clear();
        } else if (hint != newHint_) {
            newHint_ = hint;
        } else {
            linkHint_ = hint;
            newHint_.clear();
            for (StationObserver* observer : observers_)
                observer->LinkReasonChanged(hint);
        }
        return;
    }
    linkUp_ = up;
    linkHint_ = hint;
    newHint_.clear();
    for (StationObserver* observer : observers_)
        observer->LinkChanged(up, hint);
}

void Station::Saved(bool complete) {
    if (!complete) {
        saveFailing_ = true;
        return;
    }
    if (!saveFailing_) return;
    saveFailing_ = false;
    for (StationObserver* observer : observers_)
        observer->SaveSucceededAgain();
}

void Station::TakeRecord(const SecondRecord& record) {
    // The line is in the log even when its save fails; the plot and the reboot arming
    // still take the record, and the failure is reported after them.
    std::exception_ptr logFailure;
    try {
        log_.Take(record);
    } catch (const NocturoError&) {
        logFailure = std::current_exception();
    }
    for (StationObserver* observer : observers_)
        observer->RecordTaken(record);
    if (record.deviceActive) {
        for (StationObserver* observer : observers_)
            observer->RecordForPlot(record);
    } else if (rebootOnFailure_ && !TReboot->isActive()) {
        TReboot->start(); // a running timer keeps its phase
        for (StationObserver* observer : observers_)
            observer->RebootArmed();
    }
    if (logFailure) std::rethrow_exception(logFailure);
}

void Station::SetRebootOnFailure(bool on) {
    rebootOnFailure_ = on;
    if (!on) TReboot->stop();
}

void Station::TRebootTimer() {
    // Whatever a forced restart would lose goes to disk first; a failed save does not hold
    // back the restart and is not shown, since nobody may be there to close a box.
    try {
        log_.Save();
    } catch (const NocturoError&) {
    }
    if (!services_.systemExit) return;
    const bool accepted = services_.systemExit(kForcedReboot);
    for (StationObserver* observer : observers_)
        observer->RestartRequested(accepted);
}

void Station::ReadRegionalSettings() {
    regional_ =
        services_.regionalSettings ? services_.regionalSettings() : RegionalSettings::FromSystem();
    log_.SetRegionalSettings(regional_);
}

void Station::RegionalSettingsChanged() {
    ReadRegionalSettings();
}

void Station::AddObserver(StationObserver* observer) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
        observers_.push_back(observer);
}

void Station::RemoveObserver(StationObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}
