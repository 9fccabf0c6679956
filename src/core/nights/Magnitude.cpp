// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/nights/Magnitude.h"

#include <cmath>

std::optional<double> MagnitudeOf(double meanCount, double zeroPoint) {
    if (!(meanCount > 0) || !std::isfinite(meanCount)) return std::nullopt;
    return zeroPoint - 2.5 * std::log10(meanCount);
}

std::optional<double> MagnitudeOf(const DayRecord& record, double zeroPoint) {
    if (!record.LightRead()) return std::nullopt;
    return MagnitudeOf(static_cast<double>(record.mean), zeroPoint);
}
