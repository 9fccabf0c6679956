// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/SystemdNotifier.h"

#include <systemd/sd-daemon.h>

namespace {

// One line, as STATUS= takes it.
QString OneLine(QString text) {
    for (QChar& c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) c = QLatin1Char(' ');
    return text;
}

} // namespace

SystemdNotifier::SystemdNotifier() {
    std::uint64_t usec = 0;
    // 0 (no watchdog asked for, or not for this process) or an error: no pings.
    if (sd_watchdog_enabled(0, &usec) > 0) watchdog_ = std::chrono::microseconds(usec);
    lastPing_ = Clock::now();
}

void SystemdNotifier::Notify(const QString& state) {
    // Returns 0 without NOTIFY_SOCKET; a failure to reach systemd changes nothing here.
    sd_notify(0, state.toUtf8().constData());
}

void SystemdNotifier::Ready(const QString& status) {
    Notify(QStringLiteral("READY=1\nSTATUS=") + OneLine(status));
}

void SystemdNotifier::Status(const QString& status) {
    Notify(QStringLiteral("STATUS=") + OneLine(status));
}

void SystemdNotifier::Stopping() {
    Notify(QStringLiteral("STOPPING=1"));
}

void SystemdNotifier::Alive(Clock::time_point now) {
    if (watchdog_.count() == 0 || now - lastPing_ < watchdog_ / 2) return;
    lastPing_ = now;
    Notify(QStringLiteral("WATCHDOG=1"));
}
