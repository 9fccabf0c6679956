// SPDX-License-Identifier: GPL-3.0-or-later
#include "LightModel.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979323846;
// Range-scaled light at night and at noon, as powers of ten: the night sits inside the
// most sensitive range, noon inside the least sensitive one.
constexpr double kNightLog = 1.3;
constexpr double kNoonLog = 6.6;
// The sensor leaves a range when its count passes HighCount, and goes back to a more
// sensitive range when the count there would stay below LowCount.
constexpr double kHighCount = 60000;
constexpr double kLowCount = 30000;
} // namespace

LightModel::LightModel(double daySeconds, double startOfDay)
    : daySeconds_(daySeconds > 0 ? daySeconds : 86400)
    , startOfDay_(startOfDay) {}

int LightModel::factor(int range) {
    switch (range) {
    case 1:
        return 120;
    case 2:
        return 8;
    case 3:
        return 4;
    case 4:
        return 2;
    case 5:
        return 1;
    default:
        return 0;
    }
}

double LightModel::sunHeight(double elapsed) const {
    const double dayFraction = startOfDay_ / 86400.0 + elapsed / daySeconds_;
    return -std::cos(2 * kPi * dayFraction);
}

std::pair<std::int64_t, double> LightModel::dayAndSeconds(double elapsed) const {
    const double days = startOfDay_ / 86400.0 + elapsed / daySeconds_;
    const double day = std::floor(days);
    return {static_cast<std::int64_t>(day), (days - day) * 86400.0};
}

double LightModel::cloudCover(double elapsed) const {
    if (!clouds_) return 0;
    const auto [day, seconds] = dayAndSeconds(elapsed);
    return clouds_->cover(day, seconds);
}

double LightModel::zeroPoint(double elapsed) const {
    const double years = elapsed / daySeconds_ / 365.25;
    return zeroPoint_ - agingPerYear_ * years;
}

double LightModel::flux(double elapsed) const {
    const double sensitivity =
        scale_ * std::pow(10.0, 0.4 * (zeroPoint(elapsed) - kNominalZeroPoint));
    // Twilight is short: the light rises steeply while the sun is near the horizon.
    const double daylight = (1 + std::tanh(6 * (sunHeight(elapsed) + 0.05))) / 2;
    const double light = std::pow(10.0, kNightLog + (kNoonLog - kNightLog) * daylight);
    if (!clouds_) return sensitivity * light;
    // The night sky's part is the site's, under its clouds; the Sun's is not.
    const auto [day, seconds] = dayAndSeconds(elapsed);
    const double night = std::pow(10.0, kNightLog);
    return sensitivity *
           (light - night + night * clouds_->siteLevel() * clouds_->nightFactor(day, seconds));
}

LightModel::Light LightModel::light(double elapsed) {
    if (heldLight_) return *heldLight_;
    std::uniform_real_distribution<double> jitter(0.995, 1.005);
    const double value = flux(elapsed) * jitter(noise_);
    if (value / factor(range_) > kHighCount && range_ > 1)
        --range_;
    else if (range_ < 5 && value / factor(range_ + 1) < kLowCount)
        ++range_;
    double exact = value / factor(range_);
    // A site's sky: the noise of a real sensor dithers the last count, so that a dim sky's
    // minute still reads between two counts.
    if (clouds_) exact += std::uniform_real_distribution<double>(-0.5, 0.5)(noise_);
    const double count = std::clamp(std::round(exact), 0.0, 65535.0);
    return {static_cast<std::uint16_t>(count), static_cast<std::uint8_t>(range_)};
}

double LightModel::temperature(double elapsed) const {
    if (heldTemperature_) return *heldTemperature_;
    // Warmer by day, plus a slow wander of its own.
    return 12.0 + 5.0 * sunHeight(elapsed) + 0.8 * std::sin(2 * kPi * elapsed / 1000.0);
}
