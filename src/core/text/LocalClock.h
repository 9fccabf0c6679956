// SPDX-License-Identifier: GPL-3.0-or-later
// The local clock, injected so that tests decide what time it is.
#pragma once

class LocalClock {
public:
    virtual ~LocalClock() = default;
    // The current local date and time as a date-time value, with milliseconds.
    virtual double Now() = 0;
};

// The machine's wall clock in its local time zone.
class SystemClock : public LocalClock {
public:
    double Now() override;
};
