// A local clock that tests set and move by hand.
#pragma once

#include "DateTimeValue.h"
#include "LocalClock.h"

class FakeClock : public LocalClock {
public:
    explicit FakeClock(const DateTimeParts& start = {2009, 1, 26, 15, 37, 30, 0})
        : value_(EncodeDateTime(start)) {}
    double Now() override { return value_; }
    void Set(const DateTimeParts& parts) { value_ = EncodeDateTime(parts); }
    void AdvanceMs(double ms) { value_ += ms / 86'400'000.0; }

private:
    double value_;
};
