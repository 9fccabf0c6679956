// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/DateTimeValue.h"

#include <QDate>
#include <algorithm>
#include <cmath>

namespace {
constexpr std::int64_t kMsPerDay = 86'400'000;
const std::int64_t EpochJulianDay = QDate(1899, 12, 30).toJulianDay();
// 0001-01-01 00:00:00.000 and 9999-12-31 23:59:59.999: the years a four-digit "yyyy" holds.
constexpr double kFirstValue = -693593.0;
constexpr double kLastValue = 2958465.0 + double(kMsPerDay - 1) / double(kMsPerDay);

// Milliseconds since the epoch. A value beyond the years 1 to 9999 counts as the nearest
// end of them and NaN as 0, so that no later step overflows.
std::int64_t TotalMs(double value) {
    if (std::isnan(value)) return 0;
    return std::llround(std::clamp(value, kFirstValue, kLastValue) * double(kMsPerDay));
}
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
} // namespace

double EncodeDateTime(const DateTimeParts& p) {
    const std::int64_t days = QDate(p.year, p.month, p.day).toJulianDay() - EpochJulianDay;
    const std::int64_t ms = ((p.hour * 60 + p.minute) * 60 + p.second) * 1000LL + p.msec;
    return double(days) + double(ms) / double(kMsPerDay);
}

DateTimeParts DecodeDateTime(double value) {
    const std::int64_t total = TotalMs(value);
    const std::int64_t days = FloorDiv(total, kMsPerDay);
    std::int64_t ms = total - days * kMsPerDay;
    DateTimeParts p;
    const QDate date = QDate::fromJulianDay(EpochJulianDay + days);
    p.year = date.year();
    p.month = date.month();
    p.day = date.day();
    p.msec = int(ms % 1000);
    ms /= 1000;
    p.second = int(ms % 60);
    ms /= 60;
    p.minute = int(ms % 60);
    p.hour = int(ms / 60);
    return p;
}

std::int32_t SecondOfDay(double value) {
    const std::int64_t total = TotalMs(value);
    return std::int32_t((total - FloorDiv(total, kMsPerDay) * kMsPerDay) / 1000);
}
