// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/astro/AstroTime.h"

#include <erfa.h>
#include <erfam.h>

#include <cmath>

namespace astro {
namespace {

constexpr double kUnixEpochJd = 2440587.5;
constexpr double kTtMinusTai = 32.184;

} // namespace

JulianDate UtcJulian(double utcSeconds) {
    const double days = std::floor(utcSeconds / ERFA_DAYSEC);
    return {kUnixEpochJd + days, (utcSeconds - days * ERFA_DAYSEC) / ERFA_DAYSEC};
}

double LeapSeconds(double utcSeconds) {
    const double days = std::floor(utcSeconds / ERFA_DAYSEC);
    int year = 0, month = 0, day = 0;
    double fraction = 0;
    if (eraJd2cal(kUnixEpochJd, days, &year, &month, &day, &fraction) != 0)
        return 37; // outside ERFA's calendar: the latest known value
    double deltaAt = 0;
    // Status 1 is "dubious year" (after the table's last known year): its value is still
    // the latest one, as good as any. Before 1960 UTC did not exist; 0 is as good.
    if (eraDat(year, month, day, 0.0, &deltaAt) < 0) return 0;
    return deltaAt;
}

JulianDate TtJulian(double utcSeconds) {
    JulianDate jd = UtcJulian(utcSeconds);
    jd.jd2 += (LeapSeconds(utcSeconds) + kTtMinusTai) / ERFA_DAYSEC;
    return jd;
}

double EarthRotationAngle(double utcSeconds) {
    const JulianDate jd = UtcJulian(utcSeconds);
    return eraEra00(jd.jd1, jd.jd2);
}

} // namespace astro
