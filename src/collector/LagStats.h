// SPDX-License-Identifier: GPL-3.0-or-later
// How long readings took from their second's end to their commit into the archive, over a
// reporting interval: counted in 10 ms steps up to a minute (longer ones in the last), so
// the percentiles cost no memory however many readings pass.
#pragma once

#include <array>
#include <cstdint>

class LagStats {
public:
    static constexpr int kStepMs = 10;
    static constexpr int kSteps = 6000;

    void Add(std::int64_t lagMs);
    std::int64_t Count() const { return count_; }
    // The lag, in seconds, that `fraction` (0..1) of the readings stayed within.
    double Percentile(double fraction) const;
    double MaxSeconds() const { return double(maxMs_) / 1000.0; }
    void Clear();

private:
    std::array<std::int64_t, kSteps> counts_{};
    std::int64_t count_ = 0;
    std::int64_t maxMs_ = 0;
};
