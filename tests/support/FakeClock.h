// A local clock that tests set and move by hand.
#pragma once

#include "DateTimeValue.h"
#include "LocalClock.h"

class FakeClock : public LocalClock {
public:
    explicit FakeClock(const DateTimeParts& start = {2009, 1, 26, 15, 37, 30, 0})
        : now(EncodeDateTime(start)) {}
    double Now() override { return now; }
    void Set(const DateTimeParts& parts) { now = EncodeDateTime(parts); }
    void AdvanceMs(double ms) { now += ms / 86'400'000.0; }

    double now; // the date-time value Now() returns
};
