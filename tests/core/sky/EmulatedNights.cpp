// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmulatedNights.h"

#include "LightModel.h"
#include "core/log/LogSpan.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>

const astro::Observer& EmulatedObserver() {
    static const astro::Observer observer{52.0, 0.0, 0};
    return observer;
}

QTimeZone EmulatedZone() {
    return QTimeZone(QByteArrayLiteral("UTC"));
}

std::vector<EmulatedNight> EmulateNights(Site site, std::uint64_t seed, int nights,
                                         std::int64_t first) {
    return EmulateNights(CloudModel::Random(site, seed), nights, first,
                         LightModel::kNominalZeroPoint);
}

bool WriteDayFiles(const QString& folder, const std::vector<EmulatedNight>& nights) {
    std::map<std::int64_t, std::string> days;
    for (const EmulatedNight& night : nights)
        for (const DayRecord& r : night.lines) {
            const std::int64_t day = DayOf(r.time);
            const CivilDate date = CivilFromDays(day);
            char text[96];
            const int s = static_cast<int>(r.time - StartOfDay(day));
            std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %5.1f %7d %1d\r\n",
                          date.year, date.month, date.day, s / 3600, s / 60 % 60, s % 60,
                          r.Temperature(), r.mean, r.range);
            days[day] += text;
        }
    for (const auto& [day, text] : days) {
        const CivilDate date = CivilFromDays(day);
        QFile file(QDir(folder).filePath(
            QString::asprintf("%04d%02d%02d.txt", date.year, date.month, date.day)));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append) ||
            file.write(text.data(), qint64(text.size())) != qint64(text.size()))
            return false;
    }
    return true;
}

std::vector<EmulatedNight> EmulateNights(const CloudModel& clouds, int nights, std::int64_t first,
                                         double zeroPoint, std::uint32_t noiseSeed) {
    LightModel model(86400, 12 * 3600); // emulated day 0 begins at 12:00 of the first day
    model.setClouds(clouds);
    model.setZeroPoint(zeroPoint);
    model.seedNoise(noiseSeed);
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
