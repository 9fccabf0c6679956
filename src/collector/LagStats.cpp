// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/LagStats.h"

#include <algorithm>
#include <cmath>

void LagStats::Add(std::int64_t lagMs) {
    lagMs = std::max<std::int64_t>(lagMs, 0);
    ++counts_[std::size_t(std::min<std::int64_t>(lagMs / kStepMs, kSteps - 1))];
    ++count_;
    maxMs_ = std::max(maxMs_, lagMs);
}

double LagStats::Percentile(double fraction) const {
    if (count_ == 0) return 0;
    const auto wanted = std::int64_t(std::ceil(fraction * double(count_)));
    std::int64_t seen = 0;
    for (int step = 0; step < kSteps; ++step) {
        seen += counts_[std::size_t(step)];
        if (seen >= wanted)
            return double(std::min<std::int64_t>((step + 1) * kStepMs, maxMs_)) / 1000.0;
    }
    return double(maxMs_) / 1000.0;
}

void LagStats::Clear() {
    counts_.fill(0);
    count_ = 0;
    maxMs_ = 0;
}
