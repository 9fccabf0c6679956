// SPDX-License-Identifier: GPL-3.0-or-later
// Turns SIGTERM, SIGHUP and SIGINT (shutdown, reboot, logout, Ctrl-C) into a call made from
// the event loop, so the program ends through its normal shut-down: the log is saved and
// the sensor released. The signal handler only writes the signal's number into a pipe; a
// socket notifier on the pipe's other end makes the call.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <signal.h>

class QSocketNotifier;

class TerminationSignals : public QObject {
public:
    using Handler = std::function<void(int signalNumber)>;

    // Installs the handlers; at most one instance at a time (throws std::logic_error
    // otherwise, std::system_error when the pipe cannot be made).
    explicit TerminationSignals(Handler handler, QObject* parent = nullptr);
    // Restores the handlers that were in place before.
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void Drain();

    Handler handler_;
    int readFd_ = -1;
    int writeFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previous_[3];
};
