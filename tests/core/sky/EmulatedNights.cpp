// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmulatedNights.h"

#include "LightModel.h"
#include "LogSpan.h"

#include <cmath>

const astro::Observer& EmulatedObserver() {
    static const astro::Observer observer{52.0, 0.0, 0};
    return observer;
}

QTimeZone EmulatedZone() {
    return QTimeZone(QByteArrayLiteral("UTC"));
}

std::vector<EmulatedNight> EmulateNights(Site site, std::uint64_t seed, int nights,
                                         std::int64_t first) {
    LightModel model(86400, 12 * 3600); // emulated day 0 begins at 12:00 of the first day
    model.setClouds(CloudModel::Random(site, seed));
    std::vector<EmulatedNight> result;
    for (int n = 0; n < nights; ++n) {
        EmulatedNight night;
        night.day = first + n;
        const TimeSpan span = TimeSpan::Of(SpanKind::Night, night.day);
        night.lines.reserve(86400);
        for (WallSeconds t = span.from; t < span.to; ++t) {
            const double elapsed = static_cast<double>(t - StartOfDay(first) - 12 * 3600);
            const LightModel::Light light = model.light(elapsed);
            const auto tenths =
                static_cast<std::int16_t>(std::lround(model.temperature(elapsed) * 10));
            night.lines.push_back({t, light.count * LightModel::factor(light.range), tenths,
                                   static_cast<std::int16_t>(light.range)});
        }
        night.minutes = sky::NightMinutes(span, night.lines, EmulatedObserver(), EmulatedZone());
        for (const sky::Minute& m : night.minutes) {
            double cover = 0;
            for (int s = 0; s < 60; ++s)
                cover += model.cloudCover(
                    static_cast<double>(m.wall + s - StartOfDay(first) - 12 * 3600));
            night.cloudyTruth.push_back(cover / 60 >= CloudModel::kCloudyCover);
        }
        result.push_back(std::move(night));
    }
    return result;
}

NightScore ScoreNight(const EmulatedNight& night, const std::vector<sky::Condition>& conditions) {
    NightScore score;
    for (std::size_t i = 0; i < conditions.size(); ++i) {
        const sky::Condition c = conditions[i];
        if (c != sky::Condition::Clear && c != sky::Condition::Cloudy) continue;
        ++score.darkMinutes;
        const bool cloudy = night.cloudyTruth[i];
        if ((c == sky::Condition::Cloudy) == cloudy) ++score.right;
        if (!cloudy) {
            ++score.clearMinutes;
            if (c == sky::Condition::Cloudy) ++score.clearCalledCloudy;
        }
    }
    return score;
}
