// SPDX-License-Identifier: GPL-3.0-or-later
// A year of nights, minute by minute: one column per night (12:00 to 12:00 of the next
// day), one row per minute of the night, each cell the minute's lines, failed seconds and
// the median mean count of the seconds that did not fail. Built from the minute summaries
// of the day files (MinuteCache), the files read on every core at once.
#pragma once

#include "core/log/DayFileSet.h"
#include "core/log/MinuteCache.h"

#include <QStringList>

#include <cstdint>
#include <vector>

struct YearCell {
    double median = NAN;     // NaN: no second of the minute that did not fail
    std::uint16_t lines = 0; // 0: the minute has no line
    std::uint16_t failed = 0;
};

struct YearMinutes {
    static constexpr int kRows = 1440; // minutes from 12:00 to 12:00

    std::int64_t firstNight = 0; // the evening of the first column, days since 1970-01-01
    int nights = 0;
    std::vector<YearCell> cells; // column after column, each kRows long

    std::int64_t lines = 0;   // log lines within the nights shown
    std::int64_t failed = 0;  // failed seconds among them
    std::int64_t skipped = 0; // lines that are not log lines, in the files read
    QStringList problems;     // files that could not be read, and why
    int filesRead = 0;        // files read and summarised
    int filesFromCache = 0;   // files whose summary came from the cache

    std::int64_t LastNight() const { return firstNight + nights - 1; }
    const YearCell& At(int night, int row) const {
        return cells[std::size_t(night) * kRows + std::size_t(row)];
    }
    // The wall time a cell starts at.
    WallSeconds TimeOf(int night, int row) const {
        return StartOfDay(firstNight + night) + kSecondsPerDay / 2 + WallSeconds(row) * 60;
    }
};

namespace yearminutes {

// The nights of the year that ends with the night of `lastNight`: from the day after the
// same date a year before (28 February for a 29th) to `lastNight`, 365 or 366 of them.
int NightsOfYearEndingWith(std::int64_t lastNight);

// The nights [firstNight, firstNight + nights) of the files. Files dated `today` or later
// are read every time, never kept in the cache: the station is still writing them.
// `threads` 0: as many as the machine has cores.
YearMinutes Build(const DayFileSet& files, std::int64_t firstNight, int nights,
                  const MinuteCache& cache, std::int64_t today, unsigned threads = 0);

} // namespace yearminutes
