// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/DayRecord.h"

#include <chrono>
#include <cstdio>

// The calendar is C++20's: std::chrono's civil dates are the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    const std::chrono::year_month_day date{std::chrono::year(int(year)),
                                           std::chrono::month(unsigned(month)),
                                           std::chrono::day(unsigned(day))};
    return std::chrono::sys_days(date).time_since_epoch().count();
}

CivilDate CivilFromDays(std::int64_t days) {
    const std::chrono::year_month_day date{std::chrono::sys_days(std::chrono::days(days))};
    CivilDate civil;
    civil.year = int(date.year());
    civil.month = int(unsigned(date.month()));
    civil.day = int(unsigned(date.day()));
    return civil;
}

int DaysInMonth(std::int64_t year, int month) {
    if (month < 1 || month > 12) return 0;
    const std::chrono::year_month_day_last last{
        std::chrono::year(int(year)) / std::chrono::month(unsigned(month)) / std::chrono::last};
    return int(unsigned(last.day()));
}

QString IsoWallTime(WallSeconds t) {
    const std::int64_t day = DayOf(t);
    const CivilDate date = CivilFromDays(day);
    const std::int64_t second = t - StartOfDay(day);
    char text[48];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d", date.year, date.month,
                  date.day, int(second / 3600), int(second / 60 % 60), int(second % 60));
    return QString::fromLatin1(text);
}

QString IsoDate(std::int64_t day) {
    const CivilDate date = CivilFromDays(day);
    char text[32];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d", date.year, date.month, date.day);
    return QString::fromLatin1(text);
}
