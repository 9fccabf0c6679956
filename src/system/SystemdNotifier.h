// SPDX-License-Identifier: GPL-3.0-or-later
// What a service tells systemd about itself (sd_notify): that it is ready, its status line,
// that it is alive (the watchdog), and that it is stopping. Outside systemd, where there is
// no NOTIFY_SOCKET, every call does nothing.
#pragma once

#include <QString>

#include <chrono>

class SystemdNotifier {
public:
    using Clock = std::chrono::steady_clock;

    // Reads the watchdog interval systemd asks for (WATCHDOG_USEC), once.
    SystemdNotifier();

    // READY=1, with the status line.
    void Ready(const QString& status);
    // STATUS=: one line that `systemctl status` shows.
    void Status(const QString& status);
    // STOPPING=1.
    void Stopping();
    // Called from the main loop as often as it likes: sends WATCHDOG=1 once half the
    // watchdog interval has passed since the last one, so that a loop that hangs stops
    // the pings and systemd restarts the process.
    void Alive(Clock::time_point now = Clock::now());

private:
    void Notify(const QString& state);

    std::chrono::microseconds watchdog_{0}; // zero when systemd asks for no watchdog
    Clock::time_point lastPing_{};
};
