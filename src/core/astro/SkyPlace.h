// SPDX-License-Identifier: GPL-3.0-or-later
// Where the Sun and the Moon stand for an observer at one instant, the full way ERFA
// computes it: the Earth's position and velocity (eraEpv00), the Moon's geocentric
// position (eraMoon98), the observer's place and the CIO-based precession-nutation
// (eraApco13), annual aberration for the Sun, parallax for both, and the observed place
// with refraction (eraAtioq). Tens of microseconds a call: for one instant, for checks and
// for the tests. Curves over hours or years come from SkyTrack.
#pragma once

#include "core/astro/AstroTime.h"
#include "core/astro/Observer.h"

namespace astro {

struct BodyPlace {
    double altitude = 0;        // degrees, observed: with refraction in a standard atmosphere
    double airlessAltitude = 0; // degrees, topocentric, without refraction
    double azimuth = 0;         // degrees, from north through east
    double rightAscension = 0;  // degrees, geocentric apparent, of the CIRS (equator of date)
    double declination = 0;     // degrees, geocentric apparent, of the equator of date
    double distance = 0;        // kilometres from the observer
};

struct SkyPlace {
    BodyPlace sun;
    BodyPlace moon;
    double separation = 0;      // degrees between the Sun and the Moon, seen by the observer
    double moonIlluminated = 0; // illuminated fraction of the Moon's disc, 0 to 1
};

SkyPlace SkyAt(const Observer& observer, double utcSeconds);

} // namespace astro
