// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/nights/NightFigures.h"

#include "core/sky/SkyQuality.h"

#include "core/astro/SkyTrack.h"
#include "core/astro/Twilight.h"
#include "core/astro/ZoneClock.h"

#include <algorithm>
#include <cmath>

namespace {

enum class Second : std::uint8_t { None, Good, Failed };

QByteArray Number(const std::optional<double>& value, int decimals) {
    return value ? QByteArray::number(*value, 'f', decimals) : QByteArray();
}

} // namespace

std::optional<double> Percentile(std::vector<double>& values, double percent) {
    if (values.empty()) return std::nullopt;
    std::sort(values.begin(), values.end());
    const double h = (static_cast<double>(values.size()) - 1) * percent / 100.0;
    const std::size_t low = static_cast<std::size_t>(std::floor(h));
    const std::size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (h - static_cast<double>(low)) * (values[high] - values[low]);
}

NightFigures FigureNight(const TimeSpan& night, const std::vector<DayRecord>& records,
                         const astro::Observer& observer, const QTimeZone& zone,
                         const sky::ZeroPoints& zeroPoints,
                         const std::vector<sky::Condition>* conditions) {
    NightFigures figures;
    figures.night = night.day;
    const astro::ZoneClock clock = astro::ZoneClock::AroundWall(zone, night.from, night.to);
    const auto [first, end] = clock.UtcRange(night.from, night.to);
    figures.seconds = end - first;
    if (end <= first) return figures;

    // Each second of the night by UTC: its state and, when good, its mean count (the line
    // written last, as the chart draws it).
    const std::size_t seconds = static_cast<std::size_t>(end - first);
    std::vector<Second> state(seconds, Second::None);
    std::vector<std::int32_t> mean(seconds, 0);
    std::vector<std::int16_t> tenths(seconds, 0); // the temperature, or -2731: not read
    const std::vector<UtcSeconds> utc = astro::UtcOfLines(records, clock);
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (utc[i] < first || utc[i] >= end) continue;
        const std::size_t s = static_cast<std::size_t>(utc[i] - first);
        state[s] = records[i].LightRead() ? Second::Good : Second::Failed;
        mean[s] = records[i].mean;
        tenths[s] = records[i].TemperatureRead() ? records[i].temperatureTenths : -2731;
    }
    for (Second s : state) {
        if (s == Second::None) ++figures.secondsWithoutLine;
        if (s == Second::Failed) ++figures.failedSeconds;
    }

    // The sky at the middle of each minute of UTC. Zones offset by whole minutes keep
    // minutes of UTC and of the wall clock the same.
    const UtcSeconds firstMinute = first - ((first % 60) + 60) % 60;
    const std::size_t minutes = static_cast<std::size_t>((end - firstMinute + 59) / 60);
    const astro::SkyTrack sky(observer, firstMinute + 30, 60, minutes);
    std::vector<double> counts, magnitudes;
    for (std::size_t m = 0; m < minutes; ++m) {
        const UtcSeconds minuteStart = firstMinute + static_cast<UtcSeconds>(m) * 60;
        if (minuteStart < first || minuteStart + 60 > end) continue; // a part minute
        if (astro::LightOf(sky.SunAltitude(m)) != astro::SkyLight::Night) continue;
        ++figures.darkMinutes;
        if (sky.MoonUp(m)) continue;
        ++figures.darkMoonlessMinutes;
        double sum = 0, celsius = 0;
        int good = 0, warm = 0;
        for (std::size_t s = static_cast<std::size_t>(minuteStart - first), e = s + 60; s < e;
             ++s) {
            if (state[s] != Second::Good) continue;
            sum += mean[s];
            ++good;
            if (tenths[s] > -2731) {
                celsius += tenths[s] / 10.0;
                ++warm;
            }
        }
        if (good == 0) continue;
        ++figures.measuredMinutes;
        if (conditions) {
            if (m >= conditions->size() || (*conditions)[m] != sky::Condition::Clear) continue;
            ++figures.clearMinutes;
        }
        const double value = sum / good;
        counts.push_back(value);
        const WallSeconds wall = clock.WallOf(minuteStart);
        const std::optional<double> magnitude = zeroPoints.MagnitudeAt(
            wall, value, warm > 0 ? std::optional<double>(celsius / warm) : std::nullopt);
        if (!figures.darkestMinute || value < figures.darkestCount) {
            figures.darkestMinute = wall;
            figures.darkestCount = value;
            figures.darkestMagnitude = magnitude;
        }
        if (magnitude) magnitudes.push_back(*magnitude);
    }
    figures.medianCount = Percentile(counts, 50);
    figures.p10Count = Percentile(counts, 10);
    figures.p90Count = Percentile(counts, 90);
    figures.medianMagnitude = Percentile(magnitudes, 50);
    figures.p10Magnitude = Percentile(magnitudes, 10);
    figures.p90Magnitude = Percentile(magnitudes, 90);
    return figures;
}

QByteArray NightFiguresCsv(const std::vector<NightFigures>& nights, bool withMagnitudes,
                           bool withConditions) {
    QByteArray csv = "night,dark_minutes,dark_moonless_minutes,measured_minutes,median_count,"
                     "p10_count,p90_count,darkest_minute,darkest_count";
    if (withMagnitudes) csv += ",median_msas,p10_msas,p90_msas,darkest_msas";
    csv += ",seconds_without_line,failed_seconds";
    if (withConditions)
        csv += withMagnitudes ? ",clear_minutes,median_nelm,bortle" : ",clear_minutes";
    csv += "\r\n";
    for (const NightFigures& n : nights) {
        csv += IsoDate(n.night).toLatin1() + ',' + QByteArray::number(n.darkMinutes) + ',' +
               QByteArray::number(n.darkMoonlessMinutes) + ',' +
               QByteArray::number(n.measuredMinutes) + ',' + Number(n.medianCount, 1) + ',' +
               Number(n.p10Count, 1) + ',' + Number(n.p90Count, 1) + ',';
        if (n.darkestMinute)
            csv += IsoWallTime(*n.darkestMinute).left(16).toLatin1() + ',' +
                   QByteArray::number(n.darkestCount, 'f', 1);
        else
            csv += ',';
        if (withMagnitudes)
            csv += ',' + Number(n.medianMagnitude, 2) + ',' + Number(n.p10Magnitude, 2) + ',' +
                   Number(n.p90Magnitude, 2) + ',' + Number(n.darkestMagnitude, 2);
        csv += ',' + QByteArray::number(n.secondsWithoutLine) + ',' +
               QByteArray::number(n.failedSeconds);
        if (withConditions) {
            csv += ',' + QByteArray::number(n.clearMinutes);
            if (withMagnitudes) {
                const std::optional<int> bortle = sky::BortleClass(n.medianMagnitude);
                csv += ',' + Number(sky::LimitingMagnitude(n.medianMagnitude), 2) + ',' +
                       (bortle ? QByteArray::number(*bortle) : QByteArray());
            }
        }
        csv += "\r\n";
    }
    return csv;
}
