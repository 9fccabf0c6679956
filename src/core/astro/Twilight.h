// SPDX-License-Identifier: GPL-3.0-or-later
// Day, twilight and night by the Sun's airless altitude, and the moments the Sun and the
// Moon cross the almanacs' altitudes: sunrise and sunset at -0.833° (34' of refraction and
// the Sun's 16' radius), civil, nautical and astronomical twilight at -6°, -12°, -18°,
// moonrise and moonset when the Moon's upper limb meets the horizon, refraction included.
#pragma once

#include "core/astro/SkyTrack.h"

#include <QString>

#include <vector>

namespace astro {

enum class SkyLight { Day, Civil, Nautical, Astronomical, Night };

inline constexpr double kSunriseAltitude = -0.833;
inline constexpr double kCivilAltitude = -6.0;
inline constexpr double kNauticalAltitude = -12.0;
inline constexpr double kAstronomicalAltitude = -18.0;

SkyLight LightOf(double sunAltitude);
// "day", "civil twilight", "nautical twilight", "astronomical twilight", "night".
QString LightName(SkyLight light);

enum class SkyEventKind {
    Sunset,
    CivilDusk, // end of civil twilight in the evening
    NauticalDusk,
    AstronomicalDusk, // astronomical darkness begins
    AstronomicalDawn, // astronomical darkness ends
    NauticalDawn,
    CivilDawn,
    Sunrise,
    Moonrise,
    Moonset,
};

// "sunset", "end of civil twilight", …, "moonrise", "moonset".
QString EventName(SkyEventKind kind);

struct SkyEvent {
    SkyEventKind kind = SkyEventKind::Sunset;
    double utc = 0; // UTC seconds, to a fraction of a second
};

// The events within a track, in time order, each placed between two samples by linear
// interpolation (a minute's track gives them to about a second).
std::vector<SkyEvent> FindEvents(const SkyTrack& track);

} // namespace astro
