// SPDX-License-Identifier: GPL-3.0-or-later
// Date-time values: whole days since 30 December 1899 plus the elapsed fraction of the
// day, in local time, to the millisecond.
#pragma once

#include <cstdint>

struct DateTimeParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
};

double EncodeDateTime(const DateTimeParts& parts);
// A value beyond the years 1 to 9999 is taken as the nearest end of them, NaN as 0.
DateTimeParts DecodeDateTime(double value);
// hour * 3600 + minute * 60 + second, milliseconds dropped: 0 .. 86399.
std::int32_t SecondOfDay(double value);
