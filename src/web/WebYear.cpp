// SPDX-License-Identifier: GPL-3.0-or-later
// The cells of the year's heat map (WebApi::Year): a night's from its seconds, or the
// archive's nights from its minute summaries, each kept once the night is over.
#include "web/WebApi.h"

#include "core/log/YearMinutes.h"
#include "core/nights/NightFigures.h"
#include "web/SpanJson.h"

#include <cmath>
#include <map>
#include <mutex>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// A night's cells of `step` minutes from its minutes (wall start, median count): each the
// median of the medians of its minutes, NaN without one.
std::vector<float> CellsOf(const std::vector<std::pair<WallSeconds, double>>& minutes,
                           WallSeconds from, int step) {
    const int rows = YearMinutes::kRows / step;
    std::vector<float> cells(std::size_t(rows), float(NAN));
    std::vector<std::vector<double>> values(static_cast<std::size_t>(rows));
    for (const auto& [start, median] : minutes) {
        const auto row = (start - from) / 60 / step;
        if (row >= 0 && row < rows && !std::isnan(median))
            values[std::size_t(row)].push_back(median);
    }
    for (int r = 0; r < rows; ++r)
        if (auto median = Percentile(values[std::size_t(r)], 50))
            cells[std::size_t(r)] = float(*median);
    return cells;
}

} // namespace

std::vector<float> WebApi::NightCells(const QString& station, std::int64_t night, int step,
                                      std::int64_t lastDay) {
    const auto key = std::make_tuple(station, night, step);
    {
        std::lock_guard lock(nightsMutex_);
        if (const auto it = nightCells_.find(key); it != nightCells_.end()) return it->second;
    }
    const TimeSpan span = TimeSpan::Of(SpanKind::Night, night);
    std::vector<std::pair<WallSeconds, double>> minutes;
    for (const MinuteRow& m : MinutesOf(store_.Read(station, span).records))
        minutes.emplace_back(m.start, m.median);
    const std::vector<float> cells = CellsOf(minutes, span.from, step);
    // A night still being written is read again next time.
    if (night + 1 < lastDay) {
        std::lock_guard lock(nightsMutex_);
        if (nightCells_.size() > 20000) nightCells_.clear();
        nightCells_[key] = cells;
    }
    return cells;
}

std::map<std::int64_t, std::vector<float>>
WebApi::SummedNightCells(const QString& station, const std::vector<std::int64_t>& nights, int step,
                         std::int64_t lastDay) {
    std::vector<std::int64_t> wanted;
    {
        std::lock_guard lock(nightsMutex_);
        for (const std::int64_t night : nights)
            if (!nightCells_.count(std::make_tuple(station, night, step))) wanted.push_back(night);
    }
    std::map<std::int64_t, std::vector<float>> made;
    if (wanted.empty()) return made;
    // The minutes of every night wanted, in one question: the archive's collector sums up
    // each minute from its seconds as they come in, so a year is half a million rows rather
    // than thirty million lines.
    std::map<std::int64_t, std::vector<std::pair<WallSeconds, double>>> ofNight;
    for (const auto& minute : store_.NightMinuteMedians(station, wanted.front(), wanted.back()))
        ofNight[DayOf(minute.first - kSecondsPerDay / 2)].push_back(minute);
    for (const std::int64_t night : wanted) {
        const auto it = ofNight.find(night);
        // A night the archive holds lines of but no summaries (stored before the archive
        // kept them) is read from its seconds, by NightCells().
        if (it == ofNight.end()) continue;
        made[night] = CellsOf(it->second, TimeSpan::Of(SpanKind::Night, night).from, step);
    }
    // Kept as NightCells() keeps them: a night still being written is read again next time.
    std::lock_guard lock(nightsMutex_);
    if (nightCells_.size() > 20000) nightCells_.clear();
    for (const auto& [night, cells] : made)
        if (night + 1 < lastDay) nightCells_[std::make_tuple(station, night, step)] = cells;
    return made;
}
