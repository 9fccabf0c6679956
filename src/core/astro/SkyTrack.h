// SPDX-License-Identifier: GPL-3.0-or-later
// The Sun's and the Moon's altitude for an observer at evenly spaced instants, fast enough
// for every minute of years: a minute of a year costs well under a microsecond.
//
// ERFA gives the positions at nodes: the Sun (eraEpv00, with annual aberration, eraAb)
// and the precession-nutation (eraC2i06a) once a day, the Moon (eraMoon98) every six
// hours. Between nodes the geocentric positions follow the cubic that matches ERFA's
// positions and velocities at both ends (Hermite), and the matrix is interpolated
// linearly; the observer turns with the Earth rotation angle. Altitudes are topocentric
// and airless: the almanacs' rise, set and twilight altitudes (-0.833°, -6°, -12°, -18°)
// already allow for refraction. Against SkyAt they agree within 0.01°.
#pragma once

#include "core/astro/AstroTime.h"
#include "core/astro/Observer.h"

#include <cstddef>
#include <vector>

namespace astro {

class SkyTrack {
public:
    SkyTrack() = default;
    // `count` instants from `start` (UTC seconds), `step` seconds apart.
    SkyTrack(const Observer& observer, UtcSeconds start, int step, std::size_t count);

    const Observer& Where() const { return observer_; }
    UtcSeconds Start() const { return start_; }
    int Step() const { return step_; }
    std::size_t Size() const { return sun_.size(); }
    bool Empty() const { return sun_.empty(); }
    UtcSeconds TimeAt(std::size_t i) const { return start_ + static_cast<UtcSeconds>(i) * step_; }

    // Airless topocentric altitude of the centre, degrees.
    float SunAltitude(std::size_t i) const { return sun_[i]; }
    float MoonAltitude(std::size_t i) const { return moon_[i]; }

    // The Moon's apparent semidiameter (degrees) and illuminated fraction at a UTC instant
    // within the track, from the six-hourly nodes.
    double MoonSemidiameter(double utcSeconds) const;
    double MoonIlluminated(double utcSeconds) const;
    // The Moon's upper limb is above the horizon, refraction (34') included: the Moon is up
    // as the almanacs count moonrise and moonset.
    bool MoonUp(std::size_t i) const;

private:
    struct MoonNode {
        double semidiameter = 0; // degrees
        double illuminated = 0;
    };
    double MoonNodeValue(double utcSeconds, double MoonNode::*field) const;

    Observer observer_;
    UtcSeconds start_ = 0;
    int step_ = 60;
    std::vector<float> sun_;
    std::vector<float> moon_;
    UtcSeconds moonNodeStart_ = 0;
    std::vector<MoonNode> moonNodes_;
};

// Degrees of the refraction at the horizon that the almanacs allow for (34').
inline constexpr double kHorizonRefraction = 34.0 / 60.0;

} // namespace astro
