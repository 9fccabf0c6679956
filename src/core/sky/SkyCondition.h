// SPDX-License-Identifier: GPL-3.0-or-later
// The condition of the sky in every minute of a night, from the light alone:
//
//   no line        the minute has no line in the day files
//   unknown        fewer than 20 of its seconds have light read
//   day, civil, nautical, astronomical   the Sun's altitude (0.833°, 6°, 12°, 18° below)
//   moonlit        the Sun below -18° and the Moon's upper limb above the horizon
//   clear, cloudy  the Sun below -18° and the Moon down: decided by the light
//
// Clear against cloudy. Work in log10 of the minute's mean count. A clear sky changes
// slowly and smoothly; cloud changes it, by how much and which way depending on the site
// (it sends a town's light back down and brightens the sky, it blocks the stars and the
// airglow of a pristine site and darkens it), and broken cloud makes it flicker from
// minute to minute. So a dark minute is cloudy when either
//   - its sky is unsteady: the median of the minute-to-minute changes over the 15 minutes
//     around it exceeds 0.008 dex (2 % a minute), or
//   - it lies more than 0.05 dex (0.125 mag) from the station's own clear-sky baseline for
//     that time of night, in either direction, plus half of what one count is
//     at that brightness (a sky of 6 counts reads 6 or 7: 0.067 dex apart);
// otherwise it is clear. The steadiness is measured on the distance from the baseline, so
// that the slow fall of a town's light through the night, the same every night, does not
// count against it.
//
// The baseline comes from the station's nights themselves (ClearSkyBaseline): for each 10
// minutes of the night (by the wall clock, from 12:00), the steady dark minutes of all the
// nights given within half an hour of it are collected, and the level where they lie most
// densely (the middle of the 0.03 dex window that holds the most) is taken as the clear
// sky. Clear nights all lie at
// one level, within the few per cent airglow and haze change it; overcast ones lie
// wherever the clouds' thickness puts them. Without a baseline (too few nights) only the
// steadiness decides.
//
// Measured on the emulator's nights with clouds (bench/core/sky): see the README for the
// scores per site.
#pragma once

#include "core/astro/AstroTime.h"
#include "core/astro/Observer.h"
#include "core/log/DayRecord.h"
#include "core/log/LogSpan.h"

#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <optional>
#include <vector>

namespace sky {

enum class Condition : std::uint8_t {
    NoLine,
    Unknown,
    Day,
    CivilTwilight,
    NauticalTwilight,
    AstronomicalTwilight,
    Moonlit,
    Clear,
    Cloudy,
};

// "no_line", "unknown", "day", "civil", "nautical", "astronomical", "moonlit", "clear",
// "cloudy": the names a CSV or a message carries.
QString ConditionName(Condition condition);

// What the classifier needs of one minute.
struct Minute {
    std::int32_t ofNight = 0; // minutes since the night's 12:00, by the wall clock
    WallSeconds wall = 0;     // the minute's start, wall clock
    float sunAltitude = 0;    // degrees, at the middle of the minute
    bool moonUp = false;
    float moonLit = 0;             // the Moon's lit fraction, 0 to 1
    std::uint8_t lines = 0;        // seconds with a line
    std::uint8_t lightSeconds = 0; // seconds whose light was read
    float count = 0;               // mean of those seconds' mean counts
    float celsius = 0;             // mean temperature of the seconds that read one
    bool hasCelsius = false;
};

// The minutes of a night (12:00 to 12:00 of the wall clock, whole minutes of UTC) from its
// lines, as AssembleSpan gives them.
std::vector<Minute> NightMinutes(const TimeSpan& night, const std::vector<DayRecord>& records,
                                 const astro::Observer& observer, const QTimeZone& zone);

// What the seconds of one minute add up to, where they are kept elsewhere than in day
// files (the archive sums them up itself).
struct MinuteSum {
    UtcSeconds start = 0;  // the minute's start, a multiple of 60
    int lines = 0;         // seconds with a line
    int lightSeconds = 0;  // of those, the seconds whose light was read
    double countSum = 0;   // the sum of their mean counts
    double celsiusSum = 0; // the sum of the temperatures of the seconds that read one
    int warmSeconds = 0;
};

// The same minutes of a night from such sums, in any order; a minute without one has no
// line, one outside the night is left out.
std::vector<Minute> NightMinutes(const TimeSpan& night, const std::vector<MinuteSum>& sums,
                                 const astro::Observer& observer, const QTimeZone& zone);

class ClearSkyBaseline {
public:
    static constexpr int kBinMinutes = 10;
    static constexpr int kBins = 25 * 60 / kBinMinutes; // a night of 25 hours

    ClearSkyBaseline() = default;
    // From the minutes of many nights of one station.
    static ClearSkyBaseline Build(const std::vector<std::vector<Minute>>& nights);

    bool Empty() const;
    // log10 of the clear sky's count at a minute of the night, interpolated between bins.
    std::optional<double> LevelAt(int ofNight) const;

private:
    std::vector<float> level_; // NaN: not known
};

// The condition of each minute of a night.
std::vector<Condition> Classify(const std::vector<Minute>& night, const ClearSkyBaseline& baseline);

} // namespace sky
