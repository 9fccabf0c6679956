// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting in a test for what the code under test does on the event loop.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

// Runs the event loop until `done` holds; false after `ms` (a guard against a hang, not a
// measure). A tick wakes the loop to look again; it never spins.
inline bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    const QDeadlineTimer deadline(ms);
    QTimer tick;
    tick.start(20);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}
