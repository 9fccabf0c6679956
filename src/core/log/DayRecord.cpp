// SPDX-License-Identifier: GPL-3.0-or-later
#include "DayRecord.h"

#include <cstdio>

// The civil-calendar conversions count eras of 400 years (146,097 days), in which the
// Gregorian calendar repeats, with the year starting on 1 March so that the leap day
// comes last.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    CivilDate date;
    date.day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    date.month = int(mp < 10 ? mp + 3 : mp - 9);
    date.year = int(yearOfEra + era * 400 + (date.month <= 2));
    return date;
}

int DaysInMonth(std::int64_t year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month != 2) return kDays[month - 1];
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 29 : 28;
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
