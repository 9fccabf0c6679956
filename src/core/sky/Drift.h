// SPDX-License-Identifier: GPL-3.0-or-later
// The drift of a station's sensitivity over months and years, from clear twilights. While
// the Sun is a few degrees below the horizon it alone sets the sky's brightness, the same
// at the same altitude of the Sun every clear evening and morning, whatever the town's
// lamps or the Milky Way do later in the night. So the station's magnitude at fixed
// altitudes of the Sun (-8°, -10° and -12° by default) changes over the years only as the
// instrument does: a window that dirties, a sensor that ages.
//
// For each twilight (evening and morning apart) and each altitude, the minutes with the
// Sun within 1.5° of it, the Moon down and light read are fitted with a quadratic in the
// Sun's altitude; a twilight counts when at least 8 minutes are there and they lie within
// 0.03 mag (rms) of the fit (a cloud or a passing light makes the curve lumpy), and gives
// the fit's value at the altitude. A month's figure is the median of its twilights; the
// trend is the Theil-Sen slope (the median of the slopes between every two months, robust
// against a month a fog or snow spoiled) through the months, in mag per year: positive
// when the station reads the same sky darker, as a losing sensor does.
//
// Magnitudes take the station's zero points of their own dates; without any, the
// instrumental magnitude -2.5 log10(count) shows the drift all the same.
#pragma once

#include "core/sky/SkyCondition.h"
#include "core/sky/ZeroPoints.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace sky {

inline const std::vector<double> kDriftAltitudes{-8.0, -10.0, -12.0};

struct TwilightPoint {
    std::int64_t night = 0; // the evening's day
    bool evening = true;
    double altitude = 0; // of the Sun, degrees
    double magnitude = 0;
};

// The twilights of one night's minutes (NightMinutes) at the altitudes.
std::vector<TwilightPoint>
TwilightMagnitudes(std::int64_t night, const std::vector<Minute>& minutes,
                   const ZeroPoints& zeroPoints,
                   const std::vector<double>& altitudes = kDriftAltitudes);

struct DriftMonth {
    int year = 0;
    int month = 0;
    double altitude = 0;
    double magnitude = 0; // median of the month's twilights
    int twilights = 0;
};

struct DriftTrend {
    double altitude = 0;
    std::optional<double> magPerYear; // none with fewer than 3 months
    int months = 0;
};

struct Drift {
    std::vector<DriftMonth> months;   // by altitude, then by month
    std::vector<DriftTrend> trends;   // one an altitude
    std::optional<double> magPerYear; // the median of the altitudes' trends
    bool instrumental = false;        // magnitudes without a zero point
};

Drift FigureDrift(const std::vector<TwilightPoint>& points, bool instrumental,
                  const std::vector<double>& altitudes = kDriftAltitudes);

// The Theil-Sen slope of y against x; none with fewer than two distinct x.
std::optional<double> TheilSenSlope(const std::vector<double>& x, const std::vector<double>& y);

// month,sun_altitude,magnitude,twilights,trend_mag_per_year (the altitude's trend on each
// of its rows).
QByteArray DriftCsv(const Drift& drift);

} // namespace sky
