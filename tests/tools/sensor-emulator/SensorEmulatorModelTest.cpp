// SPDX-License-Identifier: GPL-3.0-or-later
// The emulated sensor's own logic: the light it reports over a day, the bytes of its
// replies, and the fault timetable.
#include "FaultScript.h"
#include "LightModel.h"
#include "ReplyQueue.h"
#include "SensorProtocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <set>

using namespace std::chrono_literals;

TEST(LightModel, DayCrossesAllRangesOnceEachWayAndTracksTheLight) {
    LightModel model(100, 0); // a 100 s day starting at midnight
    std::set<int> seen;
    int switches = 0;
    int previous = 5;
    for (int step = 0; step < 10000; ++step) {
        const double t = step * 0.01;
        const LightModel::Light light = model.light(t);
        ASSERT_GE(light.range, 1);
        ASSERT_LE(light.range, 5);
        ASSERT_LE(std::abs(light.range - previous), 1) << "at " << t;
        switches += light.range != previous;
        previous = light.range;
        seen.insert(light.range);
        const double scaled = double(light.count) * LightModel::factor(light.range);
        const double flux = model.flux(t);
        ASSERT_NEAR(scaled, flux, 0.01 * flux + LightModel::factor(light.range)) << "at " << t;
    }
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(switches, 8) << "each range boundary crossed once at dawn and once at dusk";
}

TEST(LightModel, NightIsMostSensitiveRangeNoonLeast) {
    LightModel model(100, 0);
    EXPECT_EQ(model.light(0).range, 5);
    for (int step = 0; step <= 50; ++step)
        model.light(step); // the range steps up by one
    EXPECT_EQ(model.light(50).range, 1);
    EXPECT_GT(model.temperature(50), model.temperature(0));
}

TEST(LightModel, StartOfDayFollowsTheGivenTime) {
    LightModel noon(86400, 12 * 3600.0), midnight(86400, 0);
    EXPECT_GT(noon.flux(0), 1000 * midnight.flux(0));
}

// A darker sky: a fifth of the light, read in a more sensitive range at dusk.
TEST(LightModel, ScaledLightIsDarkerOrBrighterAllDay) {
    LightModel plain(100, 0), dark(100, 0);
    dark.scaleLight(0.2);
    for (double t : {0.0, 25.0, 50.0})
        EXPECT_NEAR(dark.flux(t), 0.2 * plain.flux(t), 1e-9 * plain.flux(t)) << t;
    int plainRange = 0, darkRange = 0;
    for (int step = 0; step <= 20; ++step) {
        plainRange = plain.light(step).range;
        darkRange = dark.light(step).range;
    }
    EXPECT_GE(darkRange, plainRange);
}

// The reading side keeps sixteenths of a degree: raw >> 3 (arithmetic) is sixteenths.
// A zero point 0.25 mag lower reads the same sky in 10^(-0.1) of the counts; an aging
// sensor's zero point falls by its rate over an emulated year, whatever the day's length.
TEST(LightModel, ZeroPointAndAging) {
    LightModel nominal(86400, 0), other(86400, 0), aging(864, 0);
    other.setZeroPoint(LightModel::kNominalZeroPoint - 0.25);
    aging.setZeroPoint(24.0, 0.1);
    for (double t : {0.0, 21600.0, 43200.0})
        EXPECT_NEAR(other.flux(t) / nominal.flux(t), std::pow(10.0, -0.1), 1e-9);
    EXPECT_DOUBLE_EQ(aging.zeroPoint(0), 24.0);
    EXPECT_NEAR(aging.zeroPoint(864 * 365.25), 23.9, 1e-9);
    EXPECT_NEAR(aging.zeroPoint(864 * 365.25 * 3), 23.7, 1e-9);
}

TEST(SensorProtocol, TemperatureIsSixteenthsLeftAlignedBy3Bits) {
    EXPECT_EQ(SensorProtocol::rawTemperature(3.125), 0x0190);
    EXPECT_EQ(SensorProtocol::rawTemperature(-1.0), std::int16_t(0xFF80));
    EXPECT_EQ(SensorProtocol::rawTemperature(-0.0625), std::int16_t(0xFFF8));
    EXPECT_EQ(SensorProtocol::rawTemperature(255.875), 0x7FF0);
    EXPECT_EQ(SensorProtocol::rawTemperature(1000), 0x7FF8); // clamped, never wrapped
    EXPECT_EQ(SensorProtocol::rawTemperature(-1000), std::int16_t(0x8000));
}

TEST(SensorProtocol, RepliesByRequestAndMode) {
    LightModel model(100, 50);
    SensorProtocol sensor(model);
    const std::uint8_t light[] = {'L'}, temperature[] = {'T'}, ledOn[] = {'0', 1},
                       ledAlone[] = {'0'}, unknown[] = {'X'};

    const auto l = sensor.answer(light, 1, 0);
    ASSERT_TRUE(l);
    ASSERT_EQ(l->bytes.size(), 3u);
    EXPECT_GE(l->bytes[2], 1);
    EXPECT_LE(l->bytes[2], 5);
    EXPECT_EQ(l->hold, 0ms);
    const auto t = sensor.answer(temperature, 1, 0);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->bytes.size(), 2u);
    const auto raw = std::int16_t(t->bytes[0] | t->bytes[1] << 8);
    EXPECT_NEAR((raw >> 3) / 16.0, model.temperature(0), 0.07);
    const auto led = sensor.answer(ledOn, 2, 0);
    ASSERT_TRUE(led);
    EXPECT_EQ(led->bytes.size(), 2u);
    EXPECT_FALSE(sensor.answer(ledAlone, 1, 0));
    EXPECT_FALSE(sensor.answer(unknown, 1, 0));

    sensor.setMode(ReplyMode::Short);
    EXPECT_EQ(sensor.answer(light, 1, 0)->bytes.size(), 2u);
    EXPECT_EQ(sensor.answer(temperature, 1, 0)->bytes.size(), 1u);
    sensor.setMode(ReplyMode::Silent);
    EXPECT_FALSE(sensor.answer(light, 1, 0));
    EXPECT_FALSE(sensor.answer(temperature, 1, 0));

    EXPECT_EQ(sensor.lightReplies(), 2u);
    EXPECT_EQ(sensor.temperatureReplies(), 2u);
}

TEST(FaultScript, ParsesTimetableAndKeys) {
    std::string error;
    const auto events = parseFaultScript("10:unplug,15:replug,30:silent,35:answer,40:short,"
                                         "45:normal,0.5:plug",
                                         error);
    ASSERT_TRUE(events) << error;
    ASSERT_EQ(events->size(), 7u);
    EXPECT_DOUBLE_EQ((*events)[0].at, 10);
    EXPECT_EQ((*events)[0].action, FaultAction::Unplug);
    EXPECT_EQ((*events)[3].action, FaultAction::Answer);
    EXPECT_EQ((*events)[5].action, FaultAction::Normal);
    EXPECT_DOUBLE_EQ((*events)[6].at, 0.5);
    EXPECT_EQ((*events)[6].action, FaultAction::Replug);
    EXPECT_TRUE(parseFaultScript("", error)->empty());

    for (const char* bad : {"x:unplug", "10:explode", "10", "-1:unplug", ":unplug", "5s:silent"}) {
        error.clear();
        EXPECT_FALSE(parseFaultScript(bad, error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }

    EXPECT_EQ(faultActionForKey('u'), FaultAction::Unplug);
    EXPECT_EQ(faultActionForKey('p'), FaultAction::Replug);
    EXPECT_EQ(faultActionForKey('s'), FaultAction::Silent);
    EXPECT_EQ(faultActionForKey('a'), FaultAction::Answer);
    EXPECT_EQ(faultActionForKey('h'), FaultAction::Short);
    EXPECT_EQ(faultActionForKey('n'), FaultAction::Normal);
    EXPECT_EQ(faultActionForKey('l'), FaultAction::Late);
    EXPECT_EQ(faultActionForName("late"), FaultAction::Late);
    EXPECT_FALSE(faultActionForKey('x'));
}

// The late fault holds one reply; the device hands replies out in the order it made
// them, so the held one keeps the next behind it, and all stay until read or reset.
TEST(ReplyQueue, HeldReplyComesLateAndInOrderAndStaysUntilReadOrReset) {
    LightModel model(100, 50);
    model.holdTemperature(21.5);
    SensorProtocol sensor(model);
    const std::uint8_t light[] = {'L'}, temperature[] = {'T'};
    ReplyQueue queue;
    const ReplyQueue::Clock::time_point t0{};

    sensor.holdNextReply(300ms);
    auto late = sensor.answer(light, 1, 0);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->hold, 300ms);
    queue.push(std::move(*late), t0);
    const auto next = sensor.answer(temperature, 1, 0);
    EXPECT_EQ(next->hold, 0ms) << "only the next reply is held";
    queue.push(*next, t0 + 50ms);

    EXPECT_FALSE(queue.take(t0 + 50ms));
    EXPECT_FALSE(queue.take(t0 + 299ms));
    EXPECT_EQ(queue.nextReady(), t0 + 300ms);
    EXPECT_EQ(queue.take(t0 + 300ms)->size(), 3u) << "the held light reply first";
    EXPECT_EQ(queue.take(t0 + 300ms)->size(), 2u) << "then the temperature behind it";
    EXPECT_FALSE(queue.nextReady());

    // Nobody reads: a few replies are kept, the newest are lost, a reset loses all.
    for (int i = 0; i < 10; ++i)
        queue.push(*sensor.answer(i < 5 ? light : temperature, 1, 0), t0 + 1s);
    EXPECT_EQ(queue.size(), ReplyQueue::kCapacity);
    EXPECT_EQ(queue.take(t0 + 1s)->size(), 3u);
    queue.clear();
    EXPECT_FALSE(queue.take(t0 + 2s));
}

// Clouds brighten a town's night and darken a dark site's; broken cloud comes and goes;
// a seed gives the same nights again; the timetable's words are checked.
TEST(CloudModel, SitesCloudsAndTimetables) {
    std::string error;
    const auto town = parseClouds(Site::Town, "22:00-02:00:1", error);
    const auto dark = parseClouds(Site::Dark, "22:00-02:00:1", error);
    ASSERT_TRUE(town && dark) << error;
    EXPECT_EQ(town->cover(0, 21 * 3600), 0);
    EXPECT_DOUBLE_EQ(town->cover(0, 23 * 3600), 1);
    EXPECT_DOUBLE_EQ(town->cover(1, 1 * 3600), 1); // past midnight
    EXPECT_GT(town->nightFactor(0, 23 * 3600), 3.5 * town->nightFactor(0, 21 * 3600) * 0.9);
    EXPECT_LT(dark->nightFactor(0, 23 * 3600), 0.6 * dark->nightFactor(0, 21 * 3600) * 1.1);

    const auto broken = parseClouds(Site::Rural, "22:00-23:00:1:broken", error);
    ASSERT_TRUE(broken) << error;
    double low = 1, high = 0;
    for (double t = 22 * 3600 + 900; t < 23 * 3600 - 900; t += 30) {
        low = std::min(low, broken->cover(0, t));
        high = std::max(high, broken->cover(0, t));
    }
    EXPECT_LT(low, 0.6);
    EXPECT_GT(high, 0.8);

    const CloudModel a = CloudModel::Random(Site::Town, 5), b = CloudModel::Random(Site::Town, 5);
    int cloudy = 0;
    for (int day = 0; day < 30; ++day)
        for (double t = 43200; t < 86400; t += 600) {
            EXPECT_EQ(a.cover(day, t), b.cover(day, t));
            cloudy += a.cover(day, t) >= CloudModel::kCloudyCover;
        }
    EXPECT_GT(cloudy, 0);

    EXPECT_FALSE(parseClouds(Site::Town, "22:00-23:00:2", error));
    EXPECT_FALSE(parseClouds(Site::Town, "random:x", error));
    EXPECT_FALSE(parseSite("city"));

    // In the light: a town under cloud at night reads brighter than clear.
    LightModel clear(86400, 0), cloudyTown(86400, 0);
    clear.setClouds(CloudModel(Site::Town, {}));
    cloudyTown.setClouds(*town);
    EXPECT_GT(cloudyTown.flux(23 * 3600), 3 * clear.flux(23 * 3600));
}
