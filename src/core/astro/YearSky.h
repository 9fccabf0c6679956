// SPDX-License-Identifier: GPL-3.0-or-later
// The lines drawn over a year of nights: for each night (12:00 to 12:00 of the station's
// wall clock) the minute astronomical darkness begins and ends, and the minutes the Moon
// rises and sets, placed as the Year view places its rows (minutes after 12:00).
#pragma once

#include "core/astro/Observer.h"

#include <QTimeZone>

#include <array>
#include <cstdint>
#include <vector>

namespace astro {

struct YearSky {
    enum Line { Dusk, Dawn, Moonrise, Moonset }; // Dusk and Dawn: astronomical twilight
    struct Point {
        int night = 0;  // column: nights after the first
        double row = 0; // minutes after 12:00 of that night's wall clock
    };
    std::array<std::vector<Point>, 4> lines; // each in order of nights
};

// The lines of the nights [firstNight, firstNight + nights) (days since 1970-01-01) for
// a station at `observer`, its wall clock in `zone`.
YearSky YearSkyOf(const Observer& observer, const QTimeZone& zone, std::int64_t firstNight,
                  int nights);

} // namespace astro
