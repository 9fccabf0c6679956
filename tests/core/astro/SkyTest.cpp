// SPDX-License-Identifier: GPL-3.0-or-later
// The sky against facts anyone can look up: the Sun's declination at solstices and an
// equinox, sunrise and sunset from a published almanac, the total solar eclipse of
// 8 April 2024 seen from Dallas, the Moon full and new; the fast track against the full
// computation; the station's wall clock across the changes of daylight saving.
#include "core/astro/AstroTime.h"
#include "core/astro/Illumination.h"
#include "core/astro/SkyPlace.h"
#include "core/astro/SkyTrack.h"
#include "core/astro/SpanSky.h"
#include "core/astro/ZoneClock.h"
#include "core/station/StationDescription.h"

#include <QDateTime>
#include <QTimeZone>

#include <erfa.h>
#include <gtest/gtest.h>

#include <cmath>

using namespace astro;

namespace {

UtcSeconds Utc(int year, int month, int day, int hour, int minute) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC).toSecsSinceEpoch();
}

WallSeconds Wall(int year, int month, int day, int hour, int minute) {
    return StartOfDay(DaysFromCivil(year, month, day)) + hour * 3600 + minute * 60;
}

const Observer kDallas{32.8, -96.8, 140};
const Observer kVienna{48.2, 16.4, 180};

} // namespace

// Apparent geocentric declination at the moments of the seasons of 2024 (UTC, to the
// minute): the solstices reach the true obliquity of the ecliptic, 23.44°.
TEST(Sky, SunDeclinationAtSolsticesAndEquinox) {
    EXPECT_NEAR(SkyAt(kVienna, Utc(2024, 3, 20, 3, 6)).sun.declination, 0.0, 0.01);
    EXPECT_NEAR(SkyAt(kVienna, Utc(2024, 6, 20, 20, 51)).sun.declination, 23.44, 0.01);
    EXPECT_NEAR(SkyAt(kVienna, Utc(2024, 12, 21, 9, 20)).sun.declination, -23.44, 0.01);
    // Three months off the equinox the Sun is far from the equator; a day off, near it.
    EXPECT_GT(std::abs(SkyAt(kVienna, Utc(2024, 4, 21, 3, 6)).sun.declination), 11.0);
    EXPECT_LT(std::abs(SkyAt(kVienna, Utc(2024, 3, 21, 3, 6)).sun.declination), 0.5);
}

// U.S. Naval Observatory, Astronomical Applications Dept., "Rise and Set for the Sun for
// 2008", location W121°55' N37°24' (Cupertino, California), zone 8h west of Greenwich,
// published to the minute. The almanac's sunrise is the Sun's centre at -0.833° airless.
TEST(Sky, SunriseAndSunsetWithinAMinuteOfTheAlmanac) {
    const Observer cupertino{37.0 + 24.0 / 60, -(121.0 + 55.0 / 60), 0};
    const QTimeZone pacificStandard(-8 * 3600);
    struct Day {
        int month, day, riseH, riseM, setH, setM;
    };
    const Day table[] = {{1, 1, 7, 22, 17, 0},
                         {3, 1, 6, 38, 18, 2},
                         {6, 1, 4, 48, 19, 23},
                         {9, 1, 5, 39, 18, 36},
                         {12, 1, 7, 4, 16, 50}};
    for (const Day& d : table) {
        SCOPED_TRACE(d.month);
        const SpanSky sky(cupertino, pacificStandard, Wall(2008, d.month, d.day, 0, 0),
                          Wall(2008, d.month, d.day, 24, 0));
        double rise = -1, set = -1;
        for (const WallEvent& e : sky.Events()) {
            if (e.kind == SkyEventKind::Sunrise) rise = e.wall;
            if (e.kind == SkyEventKind::Sunset) set = e.wall;
        }
        const double midnight = static_cast<double>(Wall(2008, d.month, d.day, 0, 0));
        EXPECT_NEAR((rise - midnight) / 60.0, d.riseH * 60 + d.riseM, 1.0);
        EXPECT_NEAR((set - midnight) / 60.0, d.setH * 60 + d.setM, 1.0);
    }
}

// Mid-totality over Dallas was about 18:42 UTC: the Moon covers the Sun.
TEST(Sky, SunAndMoonTogetherInTheTotalEclipseOf2024) {
    const SkyPlace eclipse = SkyAt(kDallas, Utc(2024, 4, 8, 18, 40));
    EXPECT_LT(eclipse.separation, 0.3);
    EXPECT_GT(eclipse.sun.altitude, 60.0);
    EXPECT_LT(eclipse.moonIlluminated, 0.01);
    // Seen from the Earth's centre the Moon stands elsewhere: the parallax matters.
    EXPECT_GT(SkyAt(kDallas, Utc(2024, 4, 8, 12, 0)).separation, 2.0);
}

// Full moon of 23 April 2024, 23:49 UTC; new moon of 8 April 2024, 18:21 UTC.
TEST(Sky, MoonFullAndNew) {
    EXPECT_GT(SkyAt(kVienna, Utc(2024, 4, 23, 23, 49)).moonIlluminated, 0.99);
    EXPECT_LT(SkyAt(kVienna, Utc(2024, 4, 8, 18, 21)).moonIlluminated, 0.01);
    const SkyTrack track(kVienna, Utc(2024, 4, 1, 0, 0), 3600, 24 * 30);
    EXPECT_GT(track.MoonIlluminated(static_cast<double>(Utc(2024, 4, 23, 23, 49))), 0.99);
    EXPECT_LT(track.MoonIlluminated(static_cast<double>(Utc(2024, 4, 8, 18, 21))), 0.01);
}

// The fast track follows the full computation, minute by minute over a year, at places
// north and south, high and low.
TEST(Sky, TrackAgreesWithTheFullComputation) {
    const Observer places[] = {kVienna, {-33.9, 18.4, 0}, {78.2, 15.6, 10}, {19.8, -155.5, 4200}};
    for (const Observer& place : places) {
        SCOPED_TRACE(place.latitude);
        const SkyTrack track(place, Utc(2026, 1, 1, 0, 0), 60, 365 * 1440);
        for (std::size_t i = 17; i < track.Size(); i += 9973) {
            const SkyPlace exact = SkyAt(place, static_cast<double>(track.TimeAt(i)));
            EXPECT_NEAR(track.SunAltitude(i), exact.sun.airlessAltitude, 0.01);
            EXPECT_NEAR(track.MoonAltitude(i), exact.moon.airlessAltitude, 0.01);
        }
    }
}

// A night ends with the dawn, contains darkness in winter and none in the polar summer,
// and the Moon rises and sets as it stands above or below the horizon.
TEST(Sky, EventsOfANightMatchTheAltitudes) {
    StationDescription station;
    station.latitude = 48.2;
    station.longitude = 16.4;
    station.timezone = QStringLiteral("Europe/Vienna");
    const auto events = SkyEventsOf(station, Wall(2026, 1, 10, 12, 0), Wall(2026, 1, 11, 12, 0));
    std::vector<SkyEventKind> sun;
    for (const WallEvent& e : events)
        if (e.kind != SkyEventKind::Moonrise && e.kind != SkyEventKind::Moonset)
            sun.push_back(e.kind);
    const std::vector<SkyEventKind> night{
        SkyEventKind::Sunset,           SkyEventKind::CivilDusk,        SkyEventKind::NauticalDusk,
        SkyEventKind::AstronomicalDusk, SkyEventKind::AstronomicalDawn, SkyEventKind::NauticalDawn,
        SkyEventKind::CivilDawn,        SkyEventKind::Sunrise};
    EXPECT_EQ(sun, night);
    const SpanSky sky(kVienna, QTimeZone("Europe/Vienna"), Wall(2026, 1, 10, 12, 0),
                      Wall(2026, 1, 11, 12, 0));
    for (const WallEvent& e : sky.Events()) {
        const std::size_t i = static_cast<std::size_t>((e.utc - sky.Track().Start()) / 60);
        if (e.kind == SkyEventKind::Moonrise) {
            EXPECT_TRUE(sky.Track().MoonUp(i + 1));
            EXPECT_FALSE(sky.Track().MoonUp(i));
        }
        if (e.kind == SkyEventKind::Moonset) {
            EXPECT_FALSE(sky.Track().MoonUp(i + 1));
            EXPECT_TRUE(sky.Track().MoonUp(i));
        }
    }
    station.latitude = 69.6; // Tromsø at midsummer: the Sun never sets
    station.longitude = 18.9;
    station.timezone = QStringLiteral("Europe/Oslo");
    for (const WallEvent& e :
         SkyEventsOf(station, Wall(2026, 6, 20, 12, 0), Wall(2026, 6, 21, 12, 0)))
        EXPECT_TRUE(e.kind == SkyEventKind::Moonrise || e.kind == SkyEventKind::Moonset);
    station.latitude.reset();
    EXPECT_TRUE(SkyEventsOf(station, Wall(2026, 1, 10, 12, 0), Wall(2026, 1, 11, 12, 0)).empty());
}

// A night across the end of daylight saving lasts 25 hours of UTC, across its start 23;
// the repeated hour's lines take its two instants in turn.
TEST(Sky, WallClockAcrossDaylightSaving) {
    const QTimeZone vienna("Europe/Vienna");
    const SpanSky autumn(kVienna, vienna, Wall(2026, 10, 24, 12, 0), Wall(2026, 10, 25, 12, 0));
    const auto [aFirst, aEnd] =
        autumn.Clock().UtcRange(Wall(2026, 10, 24, 12, 0), Wall(2026, 10, 25, 12, 0));
    EXPECT_EQ(aFirst, Utc(2026, 10, 24, 10, 0));
    EXPECT_EQ(aEnd - aFirst, 25 * 3600);
    EXPECT_EQ(autumn.WallAt(0), Wall(2026, 10, 24, 12, 0));
    EXPECT_EQ(autumn.WallAt(autumn.Size() - 1), Wall(2026, 10, 25, 12, 0));
    const ZoneClock spring =
        ZoneClock::AroundWall(vienna, Wall(2026, 3, 28, 12, 0), Wall(2026, 3, 29, 12, 0));
    const auto [sFirst, sEnd] = spring.UtcRange(Wall(2026, 3, 28, 12, 0), Wall(2026, 3, 29, 12, 0));
    EXPECT_EQ(sEnd - sFirst, 23 * 3600);

    const ZoneClock& clock = autumn.Clock();
    UtcSeconds instants[2];
    ASSERT_EQ(clock.InstantsOf(Wall(2026, 10, 25, 2, 30), instants), 2);
    EXPECT_EQ(instants[0], Utc(2026, 10, 25, 0, 30)); // CEST
    EXPECT_EQ(instants[1], Utc(2026, 10, 25, 1, 30)); // CET
    EXPECT_EQ(clock.InstantsOf(Wall(2026, 10, 25, 3, 30), instants), 1);
    EXPECT_EQ(spring.InstantsOf(Wall(2026, 3, 29, 2, 30), instants), 0);
    EXPECT_EQ(spring.UtcOf(Wall(2026, 3, 29, 2, 30)), Utc(2026, 3, 29, 1, 30));

    std::vector<DayRecord> lines;
    for (WallSeconds t : {Wall(2026, 10, 25, 1, 59), Wall(2026, 10, 25, 2, 0),
                          Wall(2026, 10, 25, 2, 0), Wall(2026, 10, 25, 3, 0)})
        lines.push_back(DayRecord{t, 10, 100, 1});
    const std::vector<UtcSeconds> utc = UtcOfLines(lines, clock);
    EXPECT_EQ(utc, (std::vector<UtcSeconds>{Utc(2026, 10, 24, 23, 59), Utc(2026, 10, 25, 0, 0),
                                            Utc(2026, 10, 25, 1, 0), Utc(2026, 10, 25, 2, 0)}));
}

// The Moon's lit fraction against ERFA's ephemerides taken directly at each instant (the
// Earth's heliocentric position, eraEpv00, and the Moon's geocentric one, eraMoon98), away
// from full and new Moon where a Sun of the wrong instant puts it off most: every three
// hours over 2026 at Fiji, and the night of 30 November 2026 there.
TEST(Sky, MoonLitFractionAgainstTheEphemerides) {
    const Observer fiji{-18.14, 178.44, 0};
    const UtcSeconds start = Utc(2026, 1, 1, 0, 0);
    const SkyTrack track(fiji, start, 3 * 3600, 365 * 8);
    double worst = 0;
    int compared = 0;
    for (std::size_t i = 0; i < track.Size(); ++i) {
        const double t = static_cast<double>(track.TimeAt(i));
        const JulianDate tt = TtJulian(t);
        double helio[2][3], bary[2][3], moon[2][3], sun[3];
        eraEpv00(tt.jd1, tt.jd2, helio, bary);
        eraMoon98(tt.jd1, tt.jd2, moon);
        eraSxp(-1.0, helio[0], sun); // the Sun seen from the Earth's centre
        const double truth = IlluminatedFraction(sun, moon[0]);
        if (truth < 0.1 || truth > 0.9) continue;
        ++compared;
        worst = std::max(worst, std::abs(track.MoonIlluminated(t) - truth));
    }
    EXPECT_GT(compared, 1500);
    EXPECT_LT(worst, 0.002);

    const UtcSeconds night = Utc(2026, 11, 30, 6, 0); // evening at Fiji
    const SkyTrack one(fiji, night, 60, 12 * 60);
    for (std::size_t i = 0; i < one.Size(); i += 37) {
        const double t = static_cast<double>(one.TimeAt(i));
        const JulianDate tt = TtJulian(t);
        double helio[2][3], bary[2][3], moon[2][3], sun[3];
        eraEpv00(tt.jd1, tt.jd2, helio, bary);
        eraMoon98(tt.jd1, tt.jd2, moon);
        eraSxp(-1.0, helio[0], sun);
        EXPECT_NEAR(one.MoonIlluminated(t), IlluminatedFraction(sun, moon[0]), 0.002) << i;
    }
}
