// SPDX-License-Identifier: GPL-3.0-or-later
// The photometric zero points of a station over its life: each holds from the night that
// begins on its date (12:00 of the station's clock) until the next one's, so a station
// recalibrated, cleaned or given a new sensor keeps its older nights right. One given
// without a date holds from the beginning (the single `zero_point` of older station.conf
// files). Before the first dated one, when none is undated, there is no magnitude.
//
// A zero point may carry a temperature coefficient: the zero point at a temperature T is
// value + perDegree * (T - reference). A second whose temperature reading failed takes the
// zero point at the reference temperature: its light is still good.
//
//     magnitude = zero point - 2.5 log10(mean count)      (mag/arcsec², none for a count <= 0)
#pragma once

#include "core/log/DayRecord.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace sky {

struct ZeroPoint {
    std::optional<std::int64_t> fromNight; // days since 1970-01-01; none: from the beginning
    double value = 0;                      // magnitude of one count a second
    double perDegree = 0;                  // mag per °C
    double referenceCelsius = 0;
    bool operator==(const ZeroPoint&) const = default;
};

class ZeroPoints {
public:
    ZeroPoints() = default;
    // One zero point that holds always.
    explicit ZeroPoints(double value);

    // Adds one; a second undated one replaces the first. False (and nothing changed) when a
    // zero point from that date is already there.
    bool Add(const ZeroPoint& point);

    bool Empty() const { return points_.empty(); }
    const std::vector<ZeroPoint>& Points() const { return points_; } // undated first, then by date
    // The one that holds for the night of `night`, or for the wall time `t`.
    const ZeroPoint* ForNight(std::int64_t night) const;
    const ZeroPoint* At(WallSeconds t) const;
    // The most recent one (what a view with one scale shows); none when empty.
    std::optional<double> Latest() const;

    // The zero point at wall time `t` and a temperature (none: failed or unknown).
    std::optional<double> ValueAt(WallSeconds t, std::optional<double> celsius) const;
    // Magnitude of a mean count at `t`; none without a zero point or for a count <= 0.
    std::optional<double> MagnitudeAt(WallSeconds t, double meanCount,
                                      std::optional<double> celsius) const;
    // Magnitude of one line of a day file: none for a second without light.
    std::optional<double> MagnitudeOf(const DayRecord& record) const;

    bool operator==(const ZeroPoints&) const = default;

private:
    std::vector<ZeroPoint> points_;
};

// The night (evening's day) a wall time belongs to: nights run 12:00 to 12:00.
inline std::int64_t NightOf(WallSeconds t) {
    return DayOf(t - kSecondsPerDay / 2);
}

// Reads the value of one `zero_point` line:
//     VALUE [from YYYY-MM-DD] [per_degree K at CELSIUS]
// e.g. "20.62 from 2025-06-14 per_degree -0.004 at 15". The reason when it does not read.
std::optional<ZeroPoint> ParseZeroPoint(const QString& text, QString* reason);

} // namespace sky
