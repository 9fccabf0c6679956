// SPDX-License-Identifier: GPL-3.0-or-later
// A local clock that tests set and move by hand.
#pragma once

#include "core/text/DateTimeValue.h"
#include "core/text/LocalClock.h"

class FakeClock : public LocalClock {
public:
    explicit FakeClock(const DateTimeParts& start = {2009, 1, 26, 15, 37, 30, 0})
        : now(EncodeDateTime(start)) {}
    double Now() override {
        ++calls;
        now += stepMs / 86'400'000.0;
        return now;
    }
    void Set(const DateTimeParts& parts) { now = EncodeDateTime(parts); }
    // A time of the day the clock shows now.
    void Set(int hour, int minute, int second, int msec = 0) {
        DateTimeParts parts = DecodeDateTime(now);
        parts.hour = hour;
        parts.minute = minute;
        parts.second = second;
        parts.msec = msec;
        Set(parts);
    }
    void AdvanceMs(double ms) { now += ms / 86'400'000.0; }

    double now;        // the date-time value Now() returns
    double stepMs = 0; // how far each reading moves the clock on first
    int calls = 0;     // readings so far
};
