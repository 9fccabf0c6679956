// SPDX-License-Identifier: GPL-3.0-or-later
// Limits how often the bus is scanned for a device that was not there, where the
// platform cannot report arrivals: after a scan that found nothing, further opens fail
// at once until the interval has passed.
#pragma once

#include <chrono>

class ScanThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit ScanThrottle(Clock::duration interval)
        : interval_(interval) {}

    bool MayScan(Clock::time_point now) const { return !blocked_ || now - lastMiss_ >= interval_; }
    void NoteMiss(Clock::time_point now) {
        blocked_ = true;
        lastMiss_ = now;
    }
    void NoteFound() { blocked_ = false; }

private:
    Clock::duration interval_;
    Clock::time_point lastMiss_{};
    bool blocked_ = false;
};
