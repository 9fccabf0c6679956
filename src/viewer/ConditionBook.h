// SPDX-License-Identifier: GPL-3.0-or-later
// The sky conditions the viewer shows and exports, with the clear-sky baselines they are
// judged against kept while the same nights are asked for again (stepping back and forth,
// a file that grows). Needs the station's position; day files give the baseline, any
// other source is judged by the sky's steadiness alone.
#pragma once

#include "core/log/DayFileSet.h"
#include "core/log/MinuteCache.h"
#include "core/sky/NightConditions.h"
#include "viewer/SkyOverlay.h"

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

class ConditionBook {
public:
    ConditionBook(const MinuteCache& cache, std::int64_t today)
        : cache_(cache)
        , today_(today) {}

    // The conditions of the span's minutes from its lines; empty without a position.
    std::vector<sky::TimedCondition> ForSpan(const SkyOverlay& sky, const DayFileSet* files,
                                             const TimeSpan& span,
                                             const std::vector<DayRecord>& records);
    // The baseline for the nights [first, last] (evenings' days).
    const sky::ClearSkyBaseline& Baseline(const SkyOverlay& sky, const DayFileSet& files,
                                          std::int64_t first, std::int64_t last);
    // Forgets the baselines (another source).
    void Forget() { baselines_.clear(); }

private:
    const MinuteCache& cache_;
    std::int64_t today_;
    std::map<std::pair<std::int64_t, std::int64_t>, sky::ClearSkyBaseline> baselines_;
};
