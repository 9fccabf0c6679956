// SPDX-License-Identifier: GPL-3.0-or-later
// Instants for the astronomy: UTC as seconds since 1970-01-01 00:00 UTC (leap seconds not
// counted, as every clock of the system counts them), and the two-part Julian dates ERFA
// takes. Terrestrial Time is UTC plus TAI-UTC (ERFA's table of leap seconds) plus 32.184 s.
// UT1 is taken as UTC: they differ by less than 0.9 s, a few thousandths of a degree of
// the sky's turn.
#pragma once

#include <cstdint>

using UtcSeconds = std::int64_t;

namespace astro {

struct JulianDate {
    double jd1 = 0; // the larger part, a whole or half day
    double jd2 = 0; // the rest
    double Days() const { return jd1 + jd2; }
};

// 2440587.5 + seconds / 86400, split so that no precision is lost.
JulianDate UtcJulian(double utcSeconds);
// TAI-UTC in seconds for the UTC day that holds `utcSeconds` (constant within a day: leap
// seconds come at the end of a day).
double LeapSeconds(double utcSeconds);
// Terrestrial Time of a UTC instant.
JulianDate TtJulian(double utcSeconds);
// The Earth rotation angle (radians, 0 to 2 pi) at a UTC instant, UT1 taken as UTC.
double EarthRotationAngle(double utcSeconds);

} // namespace astro
