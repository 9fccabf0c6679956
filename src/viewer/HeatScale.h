// SPDX-License-Identifier: GPL-3.0-or-later
// What the Year view's colours stand for: a value made from a minute's median mean count
// (and the minute's wall time, for what changes with the date), with its name for the
// colour scale. The log of the counts by default; another scale
// (a sky brightness in magnitudes, say) is one more function of the same kind.
#pragma once

#include "core/sky/ZeroPoints.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <functional>

struct HeatScale {
    QString label;                                    // under the colour scale
    std::function<double(double, WallSeconds)> value; // of a median at a time; NaN: blank
    bool darkIsHigh = false;                          // true: high values are the dark sky

    // log10 of the median mean count. A median of 0 (a sensor that saw nothing at all)
    // is drawn as 0.1 counts, below any other.
    static HeatScale LogCounts() {
        return {QStringLiteral("log\u2081\u2080 counts (median of the minute)"),
                [](double median, WallSeconds) { return std::log10(std::max(median, 0.1)); },
                false};
    }
    // Sky brightness, zero point - 2.5 log10(median), with the zero point of the minute's
    // date: high is dark. A median of 0, or a minute before the first zero point, has no
    // magnitude and is left blank.
    static HeatScale Magnitudes(sky::ZeroPoints zeroPoints) {
        return {QStringLiteral("mag/arcsec\u00B2 (median of the minute)"),
                [zeroPoints = std::move(zeroPoints)](double median, WallSeconds t) {
                    return zeroPoints.MagnitudeAt(t, median, std::nullopt).value_or(NAN);
                },
                true};
    }
};
