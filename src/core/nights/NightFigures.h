// SPDX-License-Identifier: GPL-3.0-or-later
// The figures a site is judged by, one set per night (12:00 to 12:00 of the station's
// wall clock): how long it was astronomically dark (the Sun below -18°), how much of that
// the Moon was below the horizon, and how bright the sky was over those dark, moonless
// minutes: the median, 10th and 90th percentile of the minutes' mean counts (and
// magnitudes, each minute with the zero point of its own date), the darkest minute; and how
// complete the record is: the seconds without a line and the failed seconds of the whole night.
//
// A minute's value is the mean of the mean counts of its seconds whose light was read (a
// failed temperature does not spoil the light); a minute without one is
// left out of the percentiles. Percentiles interpolate linearly between the sorted
// values (the common "type 7"). Nights across a change of daylight saving last 23 or 25
// hours; every second of them counts.
#pragma once

#include "core/astro/Observer.h"
#include "core/log/DayRecord.h"
#include "core/log/LogSpan.h"
#include "core/sky/SkyCondition.h"
#include "core/sky/ZeroPoints.h"

#include <QByteArray>
#include <QTimeZone>

#include <cstdint>
#include <optional>
#include <vector>

struct NightFigures {
    std::int64_t night = 0;      // the evening's day, days since 1970-01-01
    std::int64_t seconds = 0;    // length of the night in seconds of UTC
    int darkMinutes = 0;         // the Sun below -18°
    int darkMoonlessMinutes = 0; // and the Moon's upper limb below the horizon
    int measuredMinutes = 0;     // of those, minutes with at least one good second
    int clearMinutes = 0;        // of those, clear (with the conditions given)
    std::optional<double> medianCount, p10Count, p90Count;
    std::optional<double> medianMagnitude, p10Magnitude, p90Magnitude;
    std::optional<WallSeconds> darkestMinute; // start of the minute, wall time
    double darkestCount = 0;
    std::optional<double> darkestMagnitude;
    std::int64_t secondsWithoutLine = 0;
    std::int64_t failedSeconds = 0; // no light read
};

// `records` are the lines of the night's span, as AssembleSpan gives them. With the
// night's `conditions` (sky::Classify of sky::NightMinutes of the same night) the
// brightness figures are over the clear dark moonless minutes only: a cloudy minute at a
// town reads brighter than the sky is, at a dark site darker.
NightFigures FigureNight(const TimeSpan& night, const std::vector<DayRecord>& records,
                         const astro::Observer& observer, const QTimeZone& zone,
                         const sky::ZeroPoints& zeroPoints,
                         const std::vector<sky::Condition>* conditions = nullptr);

// The linear-interpolation percentile (0 to 100) of values, which it sorts.
std::optional<double> Percentile(std::vector<double>& values, double percent);

// One header line, then one line per night, CR LF after each; '.' decimals; an empty field
// where a figure does not exist (no dark minute, no zero point). `withConditions` (the
// figures were made with the nights' conditions) adds, at the end, the clear minutes and,
// with magnitudes, the naked-eye limiting magnitude and the Bortle class of the median
// (sky::LimitingMagnitude, sky::BortleClass).
QByteArray NightFiguresCsv(const std::vector<NightFigures>& nights, bool withMagnitudes,
                           bool withConditions = false);
