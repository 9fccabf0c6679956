// SPDX-License-Identifier: GPL-3.0-or-later
// The "jellyfish" picture of a month or a year of nights: how many minutes had each sky
// brightness (mag/arcsec²) at each time of the night. Columns are 5 minutes of the wall
// clock, counted from midnight (negative in the evening); rows are 0.05 mag/arcsec². A
// minute's brightness is its median count with the zero point of its own date.
//
// Which minutes: with `clearOnly`, the clear ones (dark, the Moon down, a clear sky, as
// sky::Classify says); otherwise every minute from the end of civil twilight in the
// evening to its start in the morning (the Sun below -6°): nautical and astronomical
// twilight, moonlit, clear and cloudy. The grid spans every minute counted: none is left
// out.
#pragma once

#include "core/log/YearMinutes.h"
#include "core/sky/NightConditions.h"
#include "core/sky/ZeroPoints.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace sky {

struct Jellyfish {
    static constexpr int kColumnMinutes = 5;
    static constexpr double kRowMagnitudes = 0.05;

    std::int64_t firstNight = 0;
    int nights = 0;
    bool clearOnly = false;
    int firstColumn = 0; // minutes from midnight where the first column starts (multiple of 5)
    int columns = 0;
    double firstRow = 0; // mag/arcsec² where the first row starts (a multiple of 0.5)
    int rows = 0;
    std::vector<int> minutes; // column after column, `rows` each
    int counted = 0;          // minutes in the grid (their sum)

    int At(int column, int row) const {
        return minutes[std::size_t(column) * std::size_t(rows) + std::size_t(row)];
    }
    int ColumnStart(int column) const { return firstColumn + column * kColumnMinutes; }
    double RowStart(int row) const { return firstRow + row * kRowMagnitudes; }
};

// The minutes of `year` (any run of nights) with their conditions. Empty (no column)
// without a zero point or without a minute to count.
Jellyfish BuildJellyfish(const YearMinutes& year, const YearConditions& conditions,
                         const ZeroPoints& zeroPoints, bool clearOnly);

// One header line "minutes_from_midnight,msas,minutes", then one line for each cell that
// holds a minute, column after column, darker rows later, CR LF after each: the cell's
// start in minutes from midnight, its lower brightness with two decimals, its minutes.
QByteArray JellyfishCsv(const Jellyfish& jellyfish);

} // namespace sky
