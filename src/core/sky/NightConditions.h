// SPDX-License-Identifier: GPL-3.0-or-later
// The sky condition of every minute where the viewer needs it: the cells of a year of
// nights (the Year view's clear-only mode, the jellyfish picture) and the minutes of a
// day, night or week of lines (the conditions strip, the CSV's `sky` column, the nightly
// figures).
//
// Both are judged against the station's own clear-sky baseline (ClearSkyBaseline), built
// from minute summaries (MinuteCache), which keep the median count of a minute and no
// mean: for a year of nights from the year's own nights, for a span of lines from the 15
// nights before it to the 15 after. A year's cells are classified from their medians too;
// a span's minutes from the means of their seconds, as sky::NightMinutes gives them.
#pragma once

#include "core/astro/Observer.h"
#include "core/log/DayFileSet.h"
#include "core/log/LogSpan.h"
#include "core/log/MinuteCache.h"
#include "core/log/YearMinutes.h"
#include "core/sky/SkyCondition.h"

#include <QTimeZone>

#include <cstdint>
#include <vector>

namespace sky {

// The minutes of each night of `year` as the classifier sees them: the median count as
// the minute's count, the seconds not failed as the seconds with light read.
std::vector<std::vector<Minute>>
SummaryMinutes(const YearMinutes& year, const astro::Observer& observer, const QTimeZone& zone);

// The condition of every cell of a year of nights, in the order of its cells.
struct YearConditions {
    std::int64_t firstNight = 0;
    int nights = 0;
    std::vector<Condition> cells; // column after column, YearMinutes::kRows each
    ClearSkyBaseline baseline;

    Condition At(int night, int row) const {
        return cells[std::size_t(night) * YearMinutes::kRows + std::size_t(row)];
    }
};

YearConditions ClassifyYear(const YearMinutes& year, const astro::Observer& observer,
                            const QTimeZone& zone);
// For each cell: clear (dark, the Moon down, a clear sky).
std::vector<bool> ClearCells(const YearConditions& conditions);

// The baseline of the nights around the evenings [first, last]: from 15 nights before to
// 15 after, from the minute summaries of `files`.
ClearSkyBaseline BaselineAround(const DayFileSet& files, const MinuteCache& cache,
                                std::int64_t first, std::int64_t last, std::int64_t today,
                                const astro::Observer& observer, const QTimeZone& zone);

// A minute of wall time and its condition.
struct TimedCondition {
    WallSeconds wall = 0; // the minute's start
    Condition condition = Condition::NoLine;
};

// The minutes of `span` (in time order) and their conditions, from the span's lines: every
// night that touches the span, classified whole, its minutes within the span kept.
std::vector<TimedCondition> SpanConditions(const TimeSpan& span,
                                           const std::vector<DayRecord>& records,
                                           const astro::Observer& observer, const QTimeZone& zone,
                                           const ClearSkyBaseline& baseline);

// The condition of the minute that holds wall time `t` (NoLine outside the minutes
// given); `minutes` in time order, as SpanConditions gives them.
Condition ConditionAt(const std::vector<TimedCondition>& minutes, WallSeconds t);

} // namespace sky
