// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ConditionBook.h"

namespace {
constexpr std::size_t kKept = 16; // baselines kept at most
} // namespace

const sky::ClearSkyBaseline& ConditionBook::Baseline(const SkyOverlay& sky, const DayFileSet& files,
                                                     std::int64_t first, std::int64_t last) {
    const auto key = std::pair{first, last};
    if (const auto it = baselines_.find(key); it != baselines_.end()) return it->second;
    if (baselines_.size() >= kKept) baselines_.clear();
    return baselines_[key] = sky::BaselineAround(files, cache_, first, last, today_,
                                                 *sky.Position(), sky.Station().TimeZone());
}

std::vector<sky::TimedCondition> ConditionBook::ForSpan(const SkyOverlay& sky,
                                                        const DayFileSet* files,
                                                        const TimeSpan& span,
                                                        const std::vector<DayRecord>& records) {
    const std::optional<astro::Observer> where = sky.Position();
    if (!where) return {};
    static const sky::ClearSkyBaseline kNone;
    const std::int64_t first = DayOf(span.from - kSecondsPerDay / 2);
    const std::int64_t last = DayOf(span.to - 1 - kSecondsPerDay / 2);
    const sky::ClearSkyBaseline& baseline = files ? Baseline(sky, *files, first, last) : kNone;
    return sky::SpanConditions(span, records, *where, sky.Station().TimeZone(), baseline);
}
