// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sky/Jellyfish.h"

#include <algorithm>
#include <cmath>

namespace sky {
namespace {

bool Counted(Condition c, bool clearOnly) {
    if (clearOnly) return c == Condition::Clear;
    switch (c) {
    case Condition::NauticalTwilight:
    case Condition::AstronomicalTwilight:
    case Condition::Moonlit:
    case Condition::Clear:
    case Condition::Cloudy:
        return true;
    default:
        return false;
    }
}

int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

Jellyfish BuildJellyfish(const YearMinutes& year, const YearConditions& conditions,
                         const ZeroPoints& zeroPoints, bool clearOnly) {
    Jellyfish j;
    j.firstNight = year.firstNight;
    j.nights = year.nights;
    j.clearOnly = clearOnly;
    struct Point {
        int fromMidnight;
        double magnitude;
    };
    std::vector<Point> points;
    const int nights = std::min(year.nights, conditions.nights);
    for (int n = 0; n < nights; ++n)
        for (int row = 0; row < YearMinutes::kRows; ++row) {
            if (!Counted(conditions.At(n, row), clearOnly)) continue;
            const YearCell& cell = year.At(n, row);
            if (std::isnan(cell.median)) continue;
            const std::optional<double> m =
                zeroPoints.MagnitudeAt(year.TimeOf(n, row), cell.median, std::nullopt);
            if (!m) continue;
            points.push_back({row - YearMinutes::kRows / 2, *m});
        }
    if (points.empty()) return j;
    int earliest = points.front().fromMidnight, latest = earliest;
    double brightest = points.front().magnitude, darkest = brightest;
    for (const Point& p : points) {
        earliest = std::min(earliest, p.fromMidnight);
        latest = std::max(latest, p.fromMidnight);
        brightest = std::min(brightest, p.magnitude);
        darkest = std::max(darkest, p.magnitude);
    }
    // Whole hours and half magnitudes, so that the axes start on round values.
    j.firstColumn = FloorDiv(earliest, 60) * 60;
    j.columns = (FloorDiv(latest, 60) * 60 + 60 - j.firstColumn) / Jellyfish::kColumnMinutes;
    j.firstRow = std::floor(brightest * 2) / 2;
    const double top = std::floor(darkest * 2) / 2 + 0.5;
    j.rows = int(std::lround((top - j.firstRow) / Jellyfish::kRowMagnitudes));
    j.minutes.assign(std::size_t(j.columns) * std::size_t(j.rows), 0);
    for (const Point& p : points) {
        const int column = (p.fromMidnight - j.firstColumn) / Jellyfish::kColumnMinutes;
        const int row = std::clamp(
            int(std::floor((p.magnitude - j.firstRow) / Jellyfish::kRowMagnitudes)), 0, j.rows - 1);
        ++j.minutes[std::size_t(column) * std::size_t(j.rows) + std::size_t(row)];
        ++j.counted;
    }
    return j;
}

QByteArray JellyfishCsv(const Jellyfish& j) {
    QByteArray out("minutes_from_midnight,msas,minutes\r\n");
    for (int c = 0; c < j.columns; ++c)
        for (int r = 0; r < j.rows; ++r) {
            const int n = j.At(c, r);
            if (n == 0) continue;
            out += QByteArray::number(j.ColumnStart(c)) + ',' +
                   QByteArray::number(j.RowStart(r), 'f', 2) + ',' + QByteArray::number(n) + "\r\n";
        }
    return out;
}

} // namespace sky
