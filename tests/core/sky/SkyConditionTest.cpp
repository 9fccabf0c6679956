// SPDX-License-Identifier: GPL-3.0-or-later
// The sky condition of every minute, scored on seeded emulated nights of a town, a rural
// and a dark site with their clouds (the emulator's truth beside them), and the conditions
// that come from the clock, the Sun and the Moon, and the lines themselves.
#include "core/sky/SkyCondition.h"
#include "EmulatedNights.h"
#include "core/nights/NightFigures.h"

#include <gtest/gtest.h>

namespace {

struct SiteCase {
    Site site;
    const char* name;
};

} // namespace

TEST(SkyCondition, ScoredOnSeededNightsOfEachKindOfSite) {
    for (const SiteCase c : {SiteCase{Site::Town, "town"}, SiteCase{Site::Rural, "rural"},
                             SiteCase{Site::Dark, "dark"}}) {
        const std::vector<EmulatedNight> nights = EmulateNights(c.site, 7, 12);
        std::vector<std::vector<sky::Minute>> minutes;
        for (const EmulatedNight& n : nights)
            minutes.push_back(n.minutes);
        const sky::ClearSkyBaseline baseline = sky::ClearSkyBaseline::Build(minutes);
        ASSERT_FALSE(baseline.Empty()) << c.name;
        int dark = 0, right = 0, cloudyNights = 0, clearNights = 0;
        for (const EmulatedNight& n : nights) {
            const NightScore s = ScoreNight(n, sky::Classify(n.minutes, baseline));
            dark += s.darkMinutes;
            right += s.right;
            if (s.clearMinutes == s.darkMinutes && s.darkMinutes > 0) {
                ++clearNights;
                EXPECT_LE(s.clearCalledCloudy, s.darkMinutes * 5 / 100)
                    << c.name << ", clear night of " << qPrintable(IsoDate(n.day));
            }
            if (s.clearMinutes < s.darkMinutes / 2) ++cloudyNights;
        }
        EXPECT_GT(clearNights, 0) << c.name;
        EXPECT_GT(cloudyNights, 0) << c.name;
        EXPECT_GT(dark, 12 * 300) << c.name; // new Moon on 19 March: long dark nights
        EXPECT_GE(right * 100, dark * 95) << c.name << ": " << right << " of " << dark;
    }
}

// Day, the three twilights, moonlit with its fraction, no line and unknown; and the
// nightly figures over the clear dark moonless minutes only.
TEST(SkyCondition, FromTheSunTheMoonAndTheLines) {
    std::vector<EmulatedNight> nights =
        EmulateNights(Site::Town, 3, 10, DaysFromCivil(2026, 3, 25));
    // The night of 2 April 2026: full Moon. Take away an hour of lines at 23:00 and leave
    // only ten seconds in each minute from 01:00 to 01:10.
    EmulatedNight& full = nights[8];
    ASSERT_EQ(IsoDate(full.day), QStringLiteral("2026-04-02"));
    std::vector<DayRecord> lines;
    for (const DayRecord& r : full.lines) {
        const WallSeconds s = r.time - StartOfDay(full.day);
        if (s >= 23 * 3600 && s < 24 * 3600) continue;
        if (s >= 25 * 3600 && s < 25 * 3600 + 600 && s % 60 >= 10) continue;
        lines.push_back(r);
    }
    const TimeSpan span = TimeSpan::Of(SpanKind::Night, full.day);
    const std::vector<sky::Minute> minutes =
        sky::NightMinutes(span, lines, EmulatedObserver(), EmulatedZone());
    const std::vector<sky::Condition> conditions = sky::Classify(minutes, sky::ClearSkyBaseline());
    auto at = [&](int hour, int minute) {
        const WallSeconds wall = StartOfDay(full.day) + hour * 3600 + minute * 60;
        for (std::size_t i = 0; i < minutes.size(); ++i)
            if (minutes[i].wall == wall) return i;
        ADD_FAILURE() << hour << ":" << minute;
        return std::size_t{0};
    };
    EXPECT_EQ(conditions[at(13, 0)], sky::Condition::Day);
    EXPECT_EQ(conditions[at(23, 30)], sky::Condition::NoLine);
    EXPECT_EQ(conditions[at(25, 5)], sky::Condition::Unknown);
    bool civil = false, nautical = false, astronomical = false, moonlit = false;
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        civil |= conditions[i] == sky::Condition::CivilTwilight;
        nautical |= conditions[i] == sky::Condition::NauticalTwilight;
        astronomical |= conditions[i] == sky::Condition::AstronomicalTwilight;
        if (conditions[i] == sky::Condition::Moonlit) {
            moonlit = true;
            EXPECT_GT(minutes[i].moonLit, 0.97);
        }
    }
    EXPECT_TRUE(civil && nautical && astronomical && moonlit);
    EXPECT_EQ(sky::ConditionName(sky::Condition::Cloudy), QStringLiteral("cloudy"));

    // The figures of a night with clouds count its clear minutes only.
    std::vector<std::vector<sky::Minute>> all;
    for (const EmulatedNight& n : nights)
        all.push_back(n.minutes);
    const sky::ClearSkyBaseline baseline = sky::ClearSkyBaseline::Build(all);
    for (const EmulatedNight& n : nights) {
        const std::vector<sky::Condition> c = sky::Classify(n.minutes, baseline);
        const NightFigures f =
            FigureNight(TimeSpan::Of(SpanKind::Night, n.day), n.lines, EmulatedObserver(),
                        EmulatedZone(), sky::ZeroPoints(20.0), &c);
        int clear = 0;
        for (const sky::Condition x : c)
            clear += x == sky::Condition::Clear;
        EXPECT_EQ(f.clearMinutes, clear);
        EXPECT_LE(f.clearMinutes, f.darkMoonlessMinutes);
        EXPECT_EQ(f.medianCount.has_value(), clear > 0);
    }
}
