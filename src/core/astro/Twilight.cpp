// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/astro/Twilight.h"

#include <algorithm>
#include <array>

namespace astro {

SkyLight LightOf(double sunAltitude) {
    if (sunAltitude >= kSunriseAltitude) return SkyLight::Day;
    if (sunAltitude >= kCivilAltitude) return SkyLight::Civil;
    if (sunAltitude >= kNauticalAltitude) return SkyLight::Nautical;
    if (sunAltitude >= kAstronomicalAltitude) return SkyLight::Astronomical;
    return SkyLight::Night;
}

QString LightName(SkyLight light) {
    switch (light) {
    case SkyLight::Day:
        return QStringLiteral("day");
    case SkyLight::Civil:
        return QStringLiteral("civil twilight");
    case SkyLight::Nautical:
        return QStringLiteral("nautical twilight");
    case SkyLight::Astronomical:
        return QStringLiteral("astronomical twilight");
    case SkyLight::Night:
        return QStringLiteral("night");
    }
    return {};
}

QString EventName(SkyEventKind kind) {
    switch (kind) {
    case SkyEventKind::Sunset:
        return QStringLiteral("sunset");
    case SkyEventKind::CivilDusk:
        return QStringLiteral("end of civil twilight");
    case SkyEventKind::NauticalDusk:
        return QStringLiteral("end of nautical twilight");
    case SkyEventKind::AstronomicalDusk:
        return QStringLiteral("end of astronomical twilight");
    case SkyEventKind::AstronomicalDawn:
        return QStringLiteral("start of astronomical twilight");
    case SkyEventKind::NauticalDawn:
        return QStringLiteral("start of nautical twilight");
    case SkyEventKind::CivilDawn:
        return QStringLiteral("start of civil twilight");
    case SkyEventKind::Sunrise:
        return QStringLiteral("sunrise");
    case SkyEventKind::Moonrise:
        return QStringLiteral("moonrise");
    case SkyEventKind::Moonset:
        return QStringLiteral("moonset");
    }
    return {};
}

std::vector<SkyEvent> FindEvents(const SkyTrack& track) {
    std::vector<SkyEvent> events;
    if (track.Size() < 2) return events;
    struct Threshold {
        double altitude;
        SkyEventKind falling, rising;
    };
    constexpr std::array<Threshold, 4> sun{{
        {kSunriseAltitude, SkyEventKind::Sunset, SkyEventKind::Sunrise},
        {kCivilAltitude, SkyEventKind::CivilDusk, SkyEventKind::CivilDawn},
        {kNauticalAltitude, SkyEventKind::NauticalDusk, SkyEventKind::NauticalDawn},
        {kAstronomicalAltitude, SkyEventKind::AstronomicalDusk, SkyEventKind::AstronomicalDawn},
    }};
    auto crossing = [&](std::size_t i, double before, double after) {
        const double fraction = before / (before - after); // where the difference is 0
        return static_cast<double>(track.TimeAt(i - 1)) + fraction * track.Step();
    };
    // The Moon's limb above the almanacs' horizon, in degrees (positive: up).
    auto moonAbove = [&](std::size_t i) {
        return track.MoonAltitude(i) +
               track.MoonSemidiameter(static_cast<double>(track.TimeAt(i))) + kHorizonRefraction;
    };
    double moonBefore = moonAbove(0);
    for (std::size_t i = 1; i < track.Size(); ++i) {
        const double a = track.SunAltitude(i - 1), b = track.SunAltitude(i);
        for (const Threshold& t : sun) {
            if (a >= t.altitude && b < t.altitude)
                events.push_back({t.falling, crossing(i, a - t.altitude, b - t.altitude)});
            else if (a < t.altitude && b >= t.altitude)
                events.push_back({t.rising, crossing(i, a - t.altitude, b - t.altitude)});
        }
        const double moonAfter = moonAbove(i);
        if (moonBefore >= 0 && moonAfter < 0)
            events.push_back({SkyEventKind::Moonset, crossing(i, moonBefore, moonAfter)});
        else if (moonBefore < 0 && moonAfter >= 0)
            events.push_back({SkyEventKind::Moonrise, crossing(i, moonBefore, moonAfter)});
        moonBefore = moonAfter;
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const SkyEvent& x, const SkyEvent& y) { return x.utc < y.utc; });
    return events;
}

} // namespace astro
