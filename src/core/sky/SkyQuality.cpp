// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sky/SkyQuality.h"

#include <cmath>

namespace sky {
namespace {
// The darkest brightness of each class, from class 1 down to 8; class 9 is brighter.
constexpr double kBortleLimits[] = {21.99, 21.89, 21.69, 20.49, 19.50, 18.94, 18.38, 18.00};
} // namespace

double LimitingMagnitude(double s) {
    return 7.93 - 5.0 * std::log10(std::pow(10.0, 4.316 - s / 5.0) + 1.0);
}

std::optional<double> LimitingMagnitude(std::optional<double> s) {
    if (!s) return std::nullopt;
    return LimitingMagnitude(*s);
}

int BortleClass(double s) {
    int bortle = 1;
    for (double limit : kBortleLimits) {
        if (s >= limit) return bortle;
        ++bortle;
    }
    return 9;
}

std::optional<int> BortleClass(std::optional<double> s) {
    if (!s) return std::nullopt;
    return BortleClass(*s);
}

} // namespace sky
