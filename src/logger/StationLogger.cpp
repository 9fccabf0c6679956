// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/StationLogger.h"

#include "sensor/PICUSBClass.h"
#include "system/JournalLines.h"
#include "system/SystemRestart.h"
#include "system/SystemdNotifier.h"

#include <QCoreApplication>

using Priority = EventLines::Priority;

namespace {

// The station asks for the restart with the flags alone; the reason of a refusal goes to
// `refusal`, for the line that tells the answer (RestartRequested).
StationServices ServicesOfTheStation(const StationLoggerServices& services,
                                     const LoggerOptions& options, ErrorReporter& errors,
                                     QString* refusal) {
    SystemExitRequest systemExit;
    if (SystemRestart* restart = services.restart)
        systemExit = [restart, refusal](std::uint32_t flags) {
            refusal->clear();
            return restart->Request(flags, refusal);
        };
    return StationServices{.pipes = services.pipes,
                           .pipeEvents = services.pipeEvents,
                           .clock = services.clock,
                           .errors = errors,
                           .dataDirectory = options.dataDirectory,
                           .systemExit = std::move(systemExit),
                           .runPasses = services.runPasses};
}

QString OnOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

} // namespace

StationLogger::StationLogger(const StationLoggerServices& services, const LoggerOptions& options)
    : services_(services)
    , options_(options)
    , station_(ServicesOfTheStation(services, options, *this, &restartRefusal_)) {
    station_.AddObserver(this);
    station_.SetRebootOnFailure(options.rebootAfterFailure);
}

StationLogger::~StationLogger() {
    station_.RemoveObserver(this);
}

void StationLogger::Start() {
    services_.lines.Line(
        Priority::Info,
        QStringLiteral("started: version %1, pipe library %2, data directory %3, reboot after "
                       "failure %4, send delay %5 ms, receive delay %6 ms")
            .arg(QCoreApplication::applicationVersion(),
                 QString::fromStdString(TPICUSB::VersionText(services_.pipes.UsbGetDllVersion())),
                 options_.dataDirectory, OnOff(options_.rebootAfterFailure))
            .arg(options_.sendDelay)
            .arg(options_.receiveDelay));
    station_.Start();
    if (TPICUSB* device = station_.Device()) {
        device->SetSendDelay(options_.sendDelay);
        device->SetReceiveDelay(options_.receiveDelay);
    }
}

bool StationLogger::Stop() {
    if (services_.notifier) services_.notifier->Stopping();
    bool saved = true;
    try {
        station_.Stop();
    } catch (const std::exception& e) {
        ShowError(e.what());
        saved = false;
    }
    services_.lines.Line(saved ? Priority::Info : Priority::Error,
                         saved ? QStringLiteral("stopped; the day's file is saved")
                               : QStringLiteral("stopped; the last save failed"));
    return saved;
}

void StationLogger::ShowError(const std::string& message) {
    // The texts the window's error box would show.
    services_.lines.Line(Priority::Error, QString::fromStdString(ErrorBoxText(message)));
}

void StationLogger::PassDone() {
    if (services_.notifier == nullptr) return;
    // The day's file was loaded before the first pass; from here on it is recording.
    if (!ready_) {
        ready_ = true;
        services_.notifier->Ready(status_);
    }
    services_.notifier->Alive();
}

void StationLogger::LinkChanged(bool up, const QString& hint) {
    if (up) {
        services_.lines.Line(Priority::Notice, QStringLiteral("sensor connected"));
        status_ = QStringLiteral("Status: Ok; recording");
    } else {
        // At start-up the sensor was never there; later it was lost.
        const bool atStart = status_.isEmpty();
        services_.lines.Line(Priority::Warning, (atStart ? QStringLiteral("sensor not connected: ")
                                                         : QStringLiteral("sensor lost: ")) +
                                                    hint);
        status_ = QStringLiteral("Status: Error; ") + hint;
    }
    reasonsTold_ = up ? QStringList() : QStringList{hint};
    if (services_.notifier && ready_) services_.notifier->Status(status_);
}

void StationLogger::LinkReasonChanged(const QString& hint) {
    status_ = QStringLiteral("Status: Error; ") + hint;
    if (services_.notifier && ready_) services_.notifier->Status(status_);
    // Each reason once an outage: one that comes and goes with every attempt is told once.
    if (reasonsTold_.contains(hint)) return;
    reasonsTold_.append(hint);
    services_.lines.Line(Priority::Warning, QStringLiteral("sensor still not connected: ") + hint);
}

void StationLogger::SaveSucceededAgain() {
    services_.lines.Line(Priority::Notice,
                         QStringLiteral("saving works again: %1 holds the lines kept meanwhile")
                             .arg(station_.Log().FilePath(station_.Log().LogFileName())));
}

void StationLogger::RebootArmed() {
    services_.lines.Line(Priority::Warning,
                         QStringLiteral("reboot armed: the sensor failed; a forced restart will "
                                        "be asked for in %1 s")
                             .arg(Station::kRebootIntervalMs / 1000));
}

void StationLogger::RestartRequested(bool accepted) {
    if (accepted) {
        services_.lines.Line(Priority::Warning,
                             QStringLiteral("restart requested: the system accepted a forced "
                                            "reboot"));
        return;
    }
    services_.lines.Line(
        Priority::Error,
        QStringLiteral("restart requested and refused: %1; asking again in %2 s")
            .arg(restartRefusal_.isEmpty() ? QStringLiteral("no reason given") : restartRefusal_)
            .arg(Station::kRebootIntervalMs / 1000));
}
