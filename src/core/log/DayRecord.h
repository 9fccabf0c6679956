// SPDX-License-Identifier: GPL-3.0-or-later
// One line of a day file as read back: its time stamp and the three values it carries.
//
// The day files hold local wall-clock times without a time zone. They are kept here as
// "wall seconds": seconds since 1970-01-01 00:00 of that same wall clock, so each line is
// placed by what it says, whatever the time zone or daylight saving did meanwhile. A
// clock set back simply gives two lines with the same stamp.
#pragma once

#include <QString>

#include <cstdint>

using WallSeconds = std::int64_t;
constexpr WallSeconds kSecondsPerDay = 86400;

// 16 bytes, so that a week of lines and the files it comes from fit in little memory. The
// fields hold whatever the daily log can write: a 32-bit mean, a temperature the sensor's
// 16 bits (or the failure and start values) give, a range read from one byte.
struct DayRecord {
    WallSeconds time = 0;
    std::int32_t mean = 0;              // mean range-scaled count of the second
    std::int16_t temperatureTenths = 0; // °C times ten: the log writes one decimal
    std::int16_t range = 0;             // gain range, 1 to 5; 0 when the reading failed (0..255)

    double Temperature() const { return temperatureTenths / 10.0; }
    // A second whose closing reading failed: range 0, or a temperature at or below the
    // failure value -273.1 (-273.15 written with one decimal).
    bool Failed() const { return range == 0 || temperatureTenths <= -2731; }
    // The light was read (range 1 to 5), whether or not the temperature was: a line of
    // -273.1 and a range from 1 to 5 is good light with a failed temperature.
    bool LightRead() const { return range >= 1 && range <= 5; }
    bool TemperatureRead() const { return temperatureTenths > -2731; }
    bool operator==(const DayRecord&) const = default;
};

struct CivilDate {
    int year = 1970;
    int month = 1;
    int day = 1;
};

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);
CivilDate CivilFromDays(std::int64_t days);
int DaysInMonth(std::int64_t year, int month);

// The day (days since 1970-01-01) a wall time falls on, and that day's midnight.
inline std::int64_t DayOf(WallSeconds t) {
    return t >= 0 ? t / kSecondsPerDay : -((-t - 1) / kSecondsPerDay) - 1;
}
inline WallSeconds StartOfDay(std::int64_t day) {
    return day * kSecondsPerDay;
}

// "yyyy-mm-ddThh:mm:ss" (ISO 8601, local time, no zone).
QString IsoWallTime(WallSeconds t);
// "yyyy-mm-dd" of a day.
QString IsoDate(std::int64_t day);
