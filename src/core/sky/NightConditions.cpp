// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sky/NightConditions.h"

#include "core/astro/SkyTrack.h"
#include "core/astro/ZoneClock.h"

#include <algorithm>
#include <cmath>

namespace sky {
namespace {
constexpr int kBaselineNights = 15; // on each side of the nights classified
} // namespace

std::vector<std::vector<Minute>>
SummaryMinutes(const YearMinutes& year, const astro::Observer& observer, const QTimeZone& zone) {
    std::vector<std::vector<Minute>> nights(std::size_t(std::max(year.nights, 0)));
    if (year.nights <= 0) return nights;
    const WallSeconds from = year.TimeOf(0, 0);
    const WallSeconds to = year.TimeOf(year.nights - 1, YearMinutes::kRows - 1) + 60;
    const astro::ZoneClock clock = astro::ZoneClock::AroundWall(zone, from, to);
    // One track for the whole run, a minute apart, at the middle of each UTC minute.
    const UtcSeconds first = clock.UtcOf(from) - 2 * 3600;
    const UtcSeconds firstMinute = first - ((first % 60) + 60) % 60;
    const UtcSeconds last = clock.UtcOf(to) + 2 * 3600;
    const std::size_t count = std::size_t((last - firstMinute) / 60 + 1);
    const astro::SkyTrack track(observer, firstMinute + 30, 60, count);
    for (int n = 0; n < year.nights; ++n) {
        std::vector<Minute>& night = nights[std::size_t(n)];
        night.resize(YearMinutes::kRows);
        for (int row = 0; row < YearMinutes::kRows; ++row) {
            const YearCell& cell = year.At(n, row);
            Minute& m = night[std::size_t(row)];
            m.ofNight = row;
            m.wall = year.TimeOf(n, row);
            const UtcSeconds utc = clock.UtcOf(m.wall);
            const std::size_t i = std::size_t(
                std::clamp<UtcSeconds>((utc - firstMinute) / 60, 0, UtcSeconds(count - 1)));
            m.sunAltitude = track.SunAltitude(i);
            m.moonUp = track.MoonUp(i);
            m.lines = std::uint8_t(std::min<int>(cell.lines, 255));
            const int good = std::max(0, int(cell.lines) - int(cell.failed));
            m.lightSeconds = std::uint8_t(std::min(good, 255));
            if (good > 0 && !std::isnan(cell.median)) m.count = float(cell.median);
            if (m.moonUp) m.moonLit = float(track.MoonIlluminated(double(utc + 30)));
        }
    }
    return nights;
}

YearConditions ClassifyYear(const YearMinutes& year, const astro::Observer& observer,
                            const QTimeZone& zone) {
    YearConditions result;
    result.firstNight = year.firstNight;
    result.nights = year.nights;
    const std::vector<std::vector<Minute>> nights = SummaryMinutes(year, observer, zone);
    result.baseline = ClearSkyBaseline::Build(nights);
    result.cells.reserve(year.cells.size());
    for (const std::vector<Minute>& night : nights) {
        const std::vector<Condition> conditions = Classify(night, result.baseline);
        result.cells.insert(result.cells.end(), conditions.begin(), conditions.end());
    }
    return result;
}

std::vector<bool> ClearCells(const YearConditions& conditions) {
    std::vector<bool> clear(conditions.cells.size());
    for (std::size_t i = 0; i < clear.size(); ++i)
        clear[i] = conditions.cells[i] == Condition::Clear;
    return clear;
}

ClearSkyBaseline BaselineAround(const DayFileSet& files, const MinuteCache& cache,
                                std::int64_t first, std::int64_t last, std::int64_t today,
                                const astro::Observer& observer, const QTimeZone& zone) {
    const std::int64_t from = first - kBaselineNights;
    const int nights = int(last + kBaselineNights - from + 1);
    const YearMinutes around = yearminutes::Build(files, from, nights, cache, today);
    return ClearSkyBaseline::Build(SummaryMinutes(around, observer, zone));
}

std::vector<TimedCondition> SpanConditions(const TimeSpan& span,
                                           const std::vector<DayRecord>& records,
                                           const astro::Observer& observer, const QTimeZone& zone,
                                           const ClearSkyBaseline& baseline) {
    std::vector<TimedCondition> result;
    if (span.to <= span.from) return result;
    const std::int64_t firstNight = DayOf(span.from - kSecondsPerDay / 2);
    const std::int64_t lastNight = DayOf(span.to - 1 - kSecondsPerDay / 2);
    for (std::int64_t day = firstNight; day <= lastNight; ++day) {
        const TimeSpan night = TimeSpan::Of(SpanKind::Night, day);
        const std::vector<Minute> minutes = NightMinutes(night, records, observer, zone);
        const std::vector<Condition> conditions = Classify(minutes, baseline);
        for (std::size_t i = 0; i < minutes.size(); ++i)
            if (span.Contains(minutes[i].wall)) result.push_back({minutes[i].wall, conditions[i]});
    }
    // The repeated hour of autumn comes twice; time order for ConditionAt.
    std::stable_sort(
        result.begin(), result.end(),
        [](const TimedCondition& a, const TimedCondition& b) { return a.wall < b.wall; });
    return result;
}

Condition ConditionAt(const std::vector<TimedCondition>& minutes, WallSeconds t) {
    const auto it =
        std::upper_bound(minutes.begin(), minutes.end(), t,
                         [](WallSeconds v, const TimedCondition& m) { return v < m.wall; });
    if (it == minutes.begin()) return Condition::NoLine;
    const TimedCondition& m = *(it - 1);
    return t - m.wall < 60 ? m.condition : Condition::NoLine;
}

} // namespace sky
