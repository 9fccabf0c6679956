// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/astro/SkyPlace.h"

#include "core/astro/Illumination.h"

#include <erfa.h>
#include <erfam.h>

namespace astro {
namespace {

constexpr double kTemperature = 10.0; // °C, of the standard atmosphere at the ground
constexpr double kHumidity = 0.5;
constexpr double kWavelength = 0.55; // micrometres: visible light

// The observer's place of a body whose direction from the observer is `topocentric`
// (GCRS axes, au); `geocentric` the same from the Earth's centre, for right ascension
// and declination.
BodyPlace Place(const double topocentric[3], const double geocentric[3], bool aberrate,
                const eraASTROM& astrom) {
    BodyPlace place;
    double distance = 0, unit[3], apparent[3], cirs[3];
    eraPn(const_cast<double*>(topocentric), &distance, unit);
    place.distance = distance * ERFA_DAU / 1000.0;
    // Annual aberration moves the Sun by up to 20". The Moon travels with the Earth: its
    // light time (1.3 s) and the aberration of the Earth's motion cancel to below 1".
    if (aberrate)
        eraAb(unit, const_cast<double*>(astrom.v), astrom.em, astrom.bm1, apparent);
    else
        eraCp(unit, apparent);
    eraRxp(const_cast<double(*)[3]>(astrom.bpn), apparent, cirs);
    double ri = 0, di = 0;
    eraC2s(cirs, &ri, &di);
    double aob = 0, zob = 0, hob = 0, dob = 0, rob = 0;
    eraASTROM observed = astrom;
    eraAtioq(ri, di, &observed, &aob, &zob, &hob, &dob, &rob);
    place.altitude = 90.0 - zob * ERFA_DR2D;
    place.azimuth = aob * ERFA_DR2D;
    eraASTROM airless = astrom;
    airless.refa = 0;
    airless.refb = 0;
    eraAtioq(ri, di, &airless, &aob, &zob, &hob, &dob, &rob);
    place.airlessAltitude = 90.0 - zob * ERFA_DR2D;

    double geoUnit[3], geoApparent[3], geoCirs[3], geoDistance = 0;
    eraPn(const_cast<double*>(geocentric), &geoDistance, geoUnit);
    if (aberrate)
        eraAb(geoUnit, const_cast<double*>(astrom.v), astrom.em, astrom.bm1, geoApparent);
    else
        eraCp(geoUnit, geoApparent);
    eraRxp(const_cast<double(*)[3]>(astrom.bpn), geoApparent, geoCirs);
    double ra = 0, dec = 0;
    eraC2s(geoCirs, &ra, &dec);
    place.rightAscension = eraAnp(ra) * ERFA_DR2D;
    place.declination = dec * ERFA_DR2D;
    return place;
}

} // namespace

SkyPlace SkyAt(const Observer& observer, double utcSeconds) {
    const JulianDate utc = UtcJulian(utcSeconds);
    const JulianDate tt = TtJulian(utcSeconds);
    eraASTROM astrom{};
    double eo = 0;
    eraApco13(utc.jd1, utc.jd2, 0.0, observer.longitude * ERFA_DD2R, observer.latitude * ERFA_DD2R,
              observer.elevation, 0.0, 0.0, observer.Pressure(), kTemperature, kHumidity,
              kWavelength, &astrom, &eo);

    double earthHelio[2][3], earthBary[2][3], moon[2][3];
    eraEpv00(tt.jd1, tt.jd2, earthHelio, earthBary);
    eraMoon98(tt.jd1, tt.jd2, moon);

    // The observer's geocentric position (au, GCRS axes): its barycentric one less the
    // Earth's.
    double site[3];
    eraPmp(astrom.eb, earthBary[0], site);
    double sunGeo[3], sunTopo[3], moonTopo[3];
    eraSxp(-1.0, earthHelio[0], sunGeo);
    eraPmp(sunGeo, site, sunTopo);
    eraPmp(moon[0], site, moonTopo);

    SkyPlace sky;
    sky.sun = Place(sunTopo, sunGeo, true, astrom);
    sky.moon = Place(moonTopo, moon[0], false, astrom);
    sky.separation = eraSepp(sunTopo, moonTopo) * ERFA_DR2D;
    sky.moonIlluminated = IlluminatedFraction(sunGeo, moon[0]);
    return sky;
}

} // namespace astro
