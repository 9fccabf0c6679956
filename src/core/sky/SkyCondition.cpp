// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sky/SkyCondition.h"

#include "core/astro/SkyTrack.h"
#include "core/astro/Twilight.h"
#include "core/astro/ZoneClock.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>

namespace sky {
namespace {

constexpr int kMinLightSeconds = 20;
constexpr int kHalfWindow = 7;      // minutes either side for the steadiness
constexpr double kUnsteady = 0.008; // dex a minute, median over the window
constexpr double kSteadyForBaseline = 0.004;
constexpr double kOffBaseline = 0.05;   // dex
constexpr double kDensestWidth = 0.03;  // dex
constexpr int kMinBaselineMinutes = 10; // steady minutes a bin needs
constexpr int kPool = 3;                // bins either side pooled with a bin

double LogCount(float count) {
    return std::log10(std::max(static_cast<double>(count), 0.5)); // a count of 0: below 1
}

// The condition that does not depend on the light's steadiness; Clear for a dark moonless
// minute still to be decided.
Condition Fixed(const Minute& m) {
    if (m.lines == 0) return Condition::NoLine;
    if (m.lightSeconds < kMinLightSeconds) return Condition::Unknown;
    switch (astro::LightOf(m.sunAltitude)) {
    case astro::SkyLight::Day:
        return Condition::Day;
    case astro::SkyLight::Civil:
        return Condition::CivilTwilight;
    case astro::SkyLight::Nautical:
        return Condition::NauticalTwilight;
    case astro::SkyLight::Astronomical:
        return Condition::AstronomicalTwilight;
    case astro::SkyLight::Night:
        break;
    }
    return m.moonUp ? Condition::Moonlit : Condition::Clear;
}

// For each minute to decide: the median change a minute of `value` over the window
// around it (consecutive minutes both to decide); NaN elsewhere.
std::vector<double> Roughness(const std::vector<Condition>& fixed,
                              const std::vector<double>& value) {
    const std::size_t n = value.size();
    std::vector<double> step(n, std::numeric_limits<double>::quiet_NaN()); // i-1 to i
    for (std::size_t i = 1; i < n; ++i)
        if (fixed[i] == Condition::Clear && fixed[i - 1] == Condition::Clear)
            step[i] = std::abs(value[i] - value[i - 1]);
    std::vector<double> rough(n, std::numeric_limits<double>::quiet_NaN());
    std::vector<double> window;
    for (std::size_t i = 0; i < n; ++i) {
        if (fixed[i] != Condition::Clear) continue;
        window.clear();
        const std::size_t from = i > kHalfWindow ? i - kHalfWindow : 1;
        const std::size_t to = std::min(n - 1, i + kHalfWindow);
        for (std::size_t j = std::max<std::size_t>(from, 1); j <= to; ++j)
            if (!std::isnan(step[j])) window.push_back(step[j]);
        if (window.empty()) {
            rough[i] = 0; // a lone minute: nothing says it is unsteady
            continue;
        }
        std::nth_element(window.begin(), window.begin() + window.size() / 2, window.end());
        rough[i] = window[window.size() / 2];
    }
    return rough;
}

} // namespace

QString ConditionName(Condition condition) {
    switch (condition) {
    case Condition::NoLine:
        return QStringLiteral("no_line");
    case Condition::Unknown:
        return QStringLiteral("unknown");
    case Condition::Day:
        return QStringLiteral("day");
    case Condition::CivilTwilight:
        return QStringLiteral("civil");
    case Condition::NauticalTwilight:
        return QStringLiteral("nautical");
    case Condition::AstronomicalTwilight:
        return QStringLiteral("astronomical");
    case Condition::Moonlit:
        return QStringLiteral("moonlit");
    case Condition::Clear:
        return QStringLiteral("clear");
    case Condition::Cloudy:
        return QStringLiteral("cloudy");
    }
    return {};
}

namespace {

// The minutes of `night` from what each of its UTC minutes' seconds add up to (`sum` of
// the mean counts and `celsius` of the temperatures of `warm` seconds), with the Sun and
// the Moon of each; `minutes` holds their lines and light seconds already.
void FinishMinutes(const TimeSpan& night, const astro::ZoneClock& clock, UtcSeconds firstMinute,
                   std::vector<Minute>& minutes, const std::vector<double>& sum,
                   const std::vector<double>& celsius, const std::vector<int>& warm,
                   const astro::Observer& observer) {
    const std::size_t count = minutes.size();
    const astro::SkyTrack sky(observer, firstMinute + 30, 60, count);
    for (std::size_t m = 0; m < count; ++m) {
        Minute& minute = minutes[m];
        const UtcSeconds start = firstMinute + static_cast<UtcSeconds>(m) * 60;
        minute.wall = clock.WallOf(start);
        minute.ofNight = static_cast<std::int32_t>((minute.wall - night.from) / 60);
        minute.sunAltitude = sky.SunAltitude(m);
        minute.moonUp = sky.MoonUp(m);
        minute.moonLit = static_cast<float>(sky.MoonIlluminated(static_cast<double>(start + 30)));
        if (minute.lightSeconds > 0)
            minute.count = static_cast<float>(sum[m] / minute.lightSeconds);
        if (warm[m] > 0) {
            minute.celsius = static_cast<float>(celsius[m] / warm[m]);
            minute.hasCelsius = true;
        }
    }
}

UtcSeconds MinuteStart(UtcSeconds t) {
    return t - ((t % 60) + 60) % 60;
}

// A night's UTC minutes, empty, with what their seconds add up to: filled from lines or
// from minute sums, then finished alike.
struct NightSums {
    astro::ZoneClock clock;
    UtcSeconds first = 0, end = 0, firstMinute = 0;
    std::vector<Minute> minutes;
    std::vector<double> sum, celsius;
    std::vector<int> warm;

    static std::optional<NightSums> Of(const TimeSpan& night, const QTimeZone& zone) {
        NightSums n{
            astro::ZoneClock::AroundWall(zone, night.from, night.to), 0, 0, 0, {}, {}, {}, {}};
        std::tie(n.first, n.end) = n.clock.UtcRange(night.from, night.to);
        if (n.end <= n.first) return std::nullopt;
        n.firstMinute = MinuteStart(n.first);
        const std::size_t count = static_cast<std::size_t>((n.end - n.firstMinute + 59) / 60);
        n.minutes.resize(count);
        n.sum.assign(count, 0);
        n.celsius.assign(count, 0);
        n.warm.assign(count, 0);
        return n;
    }
};

} // namespace

std::vector<Minute> NightMinutes(const TimeSpan& night, const std::vector<DayRecord>& records,
                                 const astro::Observer& observer, const QTimeZone& zone) {
    std::optional<NightSums> grid = NightSums::Of(night, zone);
    if (!grid) return {};
    const astro::ZoneClock& clock = grid->clock;
    const UtcSeconds first = grid->first, end = grid->end, firstMinute = grid->firstMinute;
    std::vector<Minute>& minutes = grid->minutes;
    std::vector<double>&sum = grid->sum, &celsius = grid->celsius;
    std::vector<int>& warm = grid->warm;
    const std::vector<UtcSeconds> utc = astro::UtcOfLines(records, clock);
    // The line written last for each second, as elsewhere.
    std::vector<std::int32_t> last(static_cast<std::size_t>(end - first), -1);
    for (std::size_t i = 0; i < records.size(); ++i)
        if (utc[i] >= first && utc[i] < end)
            last[static_cast<std::size_t>(utc[i] - first)] = static_cast<std::int32_t>(i);
    for (std::size_t s = 0; s < last.size(); ++s) {
        if (last[s] < 0) continue;
        const DayRecord& r = records[static_cast<std::size_t>(last[s])];
        const std::size_t m =
            static_cast<std::size_t>((first + static_cast<UtcSeconds>(s) - firstMinute) / 60);
        ++minutes[m].lines;
        if (!r.LightRead()) continue;
        ++minutes[m].lightSeconds;
        sum[m] += r.mean;
        if (r.TemperatureRead()) {
            celsius[m] += r.Temperature();
            ++warm[m];
        }
    }
    FinishMinutes(night, clock, firstMinute, minutes, sum, celsius, warm, observer);
    return minutes;
}

std::vector<Minute> NightMinutes(const TimeSpan& night, const std::vector<MinuteSum>& sums,
                                 const astro::Observer& observer, const QTimeZone& zone) {
    std::optional<NightSums> grid = NightSums::Of(night, zone);
    if (!grid) return {};
    const astro::ZoneClock& clock = grid->clock;
    const UtcSeconds end = grid->end, firstMinute = grid->firstMinute;
    std::vector<Minute>& minutes = grid->minutes;
    std::vector<double>&sum = grid->sum, &celsius = grid->celsius;
    std::vector<int>& warm = grid->warm;
    for (const MinuteSum& s : sums) {
        if (s.start < firstMinute || s.start >= end) continue;
        const std::size_t m = static_cast<std::size_t>((s.start - firstMinute) / 60);
        minutes[m].lines = static_cast<std::uint8_t>(std::clamp(s.lines, 0, 60));
        minutes[m].lightSeconds = static_cast<std::uint8_t>(std::clamp(s.lightSeconds, 0, 60));
        sum[m] = s.countSum;
        celsius[m] = s.celsiusSum;
        warm[m] = s.warmSeconds;
    }
    FinishMinutes(night, clock, firstMinute, minutes, sum, celsius, warm, observer);
    return minutes;
}

ClearSkyBaseline ClearSkyBaseline::Build(const std::vector<std::vector<Minute>>& nights) {
    std::vector<std::vector<double>> bins(kBins);
    for (const std::vector<Minute>& night : nights) {
        std::vector<Condition> fixed(night.size());
        std::vector<double> value(night.size());
        for (std::size_t i = 0; i < night.size(); ++i) {
            fixed[i] = Fixed(night[i]);
            value[i] = LogCount(night[i].count);
        }
        const std::vector<double> rough = Roughness(fixed, value);
        for (std::size_t i = 0; i < night.size(); ++i) {
            if (fixed[i] != Condition::Clear || !(rough[i] < kSteadyForBaseline)) continue;
            const int bin = night[i].ofNight / kBinMinutes;
            if (bin >= 0 && bin < kBins) bins[static_cast<std::size_t>(bin)].push_back(value[i]);
        }
    }
    ClearSkyBaseline baseline;
    baseline.level_.assign(kBins, std::numeric_limits<float>::quiet_NaN());
    std::vector<double> v;
    for (int b = 0; b < kBins; ++b) {
        // The bins around it too: at the night's edges few nights are dark and steady in
        // one bin, and an overcast night's level there must not pass for the clear sky's.
        v.clear();
        for (int k = std::max(0, b - kPool); k <= std::min(kBins - 1, b + kPool); ++k)
            v.insert(v.end(), bins[static_cast<std::size_t>(k)].begin(),
                     bins[static_cast<std::size_t>(k)].end());
        if (bins[static_cast<std::size_t>(b)].empty() ||
            static_cast<int>(v.size()) < kMinBaselineMinutes)
            continue;
        std::sort(v.begin(), v.end());
        std::size_t best = 0, bestFrom = 0, j = 0;
        for (std::size_t i = 0; i < v.size(); ++i) {
            j = std::max(j, i);
            while (j + 1 < v.size() && v[j + 1] - v[i] <= kDensestWidth)
                ++j;
            if (j - i + 1 > best) best = j - i + 1, bestFrom = i;
        }
        if (static_cast<int>(best) < kMinBaselineMinutes) continue;
        baseline.level_[static_cast<std::size_t>(b)] = static_cast<float>(v[bestFrom + best / 2]);
    }
    return baseline;
}

bool ClearSkyBaseline::Empty() const {
    return std::none_of(level_.begin(), level_.end(), [](float v) { return !std::isnan(v); });
}

std::optional<double> ClearSkyBaseline::LevelAt(int ofNight) const {
    if (level_.empty()) return std::nullopt;
    // Bin centres; between two known ones linearly, else the one known nearby.
    const double at = (ofNight + 0.5) / kBinMinutes - 0.5;
    const int low = static_cast<int>(std::floor(at));
    auto known = [this](int b) {
        return b >= 0 && b < kBins && !std::isnan(level_[static_cast<std::size_t>(b)]);
    };
    if (known(low) && known(low + 1)) {
        const double x = at - low;
        return level_[static_cast<std::size_t>(low)] * (1 - x) +
               level_[static_cast<std::size_t>(low + 1)] * x;
    }
    if (known(low)) return level_[static_cast<std::size_t>(low)];
    if (known(low + 1)) return level_[static_cast<std::size_t>(low + 1)];
    return std::nullopt;
}

std::vector<Condition> Classify(const std::vector<Minute>& night,
                                const ClearSkyBaseline& baseline) {
    std::vector<Condition> result(night.size());
    std::vector<double> value(night.size(), 0);
    std::vector<std::optional<double>> level(night.size());
    for (std::size_t i = 0; i < night.size(); ++i) {
        result[i] = Fixed(night[i]);
        if (result[i] != Condition::Clear) continue;
        level[i] = baseline.LevelAt(night[i].ofNight);
        value[i] = LogCount(night[i].count) - level[i].value_or(0);
    }
    const std::vector<double> rough = Roughness(result, value);
    for (std::size_t i = 0; i < night.size(); ++i) {
        if (result[i] != Condition::Clear) continue;
        const bool unsteady = rough[i] > kUnsteady;
        // A dim sky reads in few counts: one count more or less is part of the reading.
        const double resolution =
            0.5 * std::log10(1.0 + 1.0 / std::max(static_cast<double>(night[i].count), 1.0));
        const bool off = level[i] && std::abs(value[i]) > kOffBaseline + resolution;
        if (unsteady || off) result[i] = Condition::Cloudy;
    }
    return result;
}

} // namespace sky
