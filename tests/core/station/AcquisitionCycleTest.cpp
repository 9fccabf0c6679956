// SPDX-License-Identifier: GPL-3.0-or-later
// The acquisition cycle with a scripted sensor and a hand-moved clock.
#include "core/station/AcquisitionCycle.h"
#include "FakeClock.h"
#include "FakePipeLibrary.h"
#include "SensorReplies.h"
#include "core/NocturoError.h"
#include "sensor/PICUSBClass.h"

#include <gtest/gtest.h>

namespace {

struct Records : RecordHandOver {
    std::vector<SecondRecord> taken;
    bool fail = false;
    void TakeRecord(const SecondRecord& record) override {
        taken.push_back(record);
        if (fail) throw NocturoError("Stream write error");
    }
};

struct Cycle : ::testing::Test {
    FakeClock clock{{2009, 1, 26, 15, 37, 30, 0}};
    FakePipeLibrary pipes;
    TPICUSB device{pipes};
    Records records;
    AcquisitionCycle cycle{clock, records};

    void SetUp() override {
        pipes.setReply('T', {0x58, 0x0A}); // 0x0A58 -> 20.6 °C
        cycle.Begin();
        device.SetActive(true);
        cycle.SetDevice(&device);
    }
    // One pass at the given second of 15:37, reading `count` at `range`.
    void PassAt(int second, int count, int range, int msec = 0) {
        pipes.queueReply('L', LightReply(count, range));
        clock.Set({2009, 1, 26, 15, 37, second, msec});
        cycle.Pass();
    }
};

} // namespace

TEST_F(Cycle, StartsWithNothingSeenAndMakesNoRecordOnTheFirstPass) {
    EXPECT_EQ(cycle.LastSecond(), -1);
    EXPECT_FLOAT_EQ(cycle.Temperature(), -1000.0f);
    PassAt(30, 500, 5);
    EXPECT_TRUE(records.taken.empty());
    EXPECT_EQ(cycle.LastSecond(), 15 * 3600 + 37 * 60 + 30);
    EXPECT_EQ(cycle.Flux(), 500);
    EXPECT_FLOAT_EQ(cycle.Temperature(), 20.6f);
    EXPECT_EQ(cycle.StatusText(), "Ok");
}

TEST_F(Cycle, MeanOfASecondRoundsHalvesToEven) {
    PassAt(30, 100, 5);
    PassAt(30, 101, 5, 500);
    PassAt(31, 101, 5);
    PassAt(31, 102, 5, 500);
    PassAt(32, 7, 5);
    ASSERT_EQ(records.taken.size(), 2u);
    EXPECT_EQ(records.taken[0].mean, 100);
    EXPECT_EQ(records.taken[1].mean, 102);

    const SecondRecord& r = records.taken[1];
    const int base = 15 * 3600 + 37 * 60;
    EXPECT_EQ(r.second, base + 31);
    EXPECT_EQ(r.newSecond, base + 32);
    EXPECT_EQ(r.range, 5);
    EXPECT_FLOAT_EQ(r.temperature, 20.6f);
    EXPECT_TRUE(r.deviceActive);
    EXPECT_DOUBLE_EQ(r.timeStamp, clock.Now());
    // Consumed seconds are reset for the next day.
    EXPECT_EQ(cycle.FluxSum(base + 31), 0.0);
    EXPECT_EQ(cycle.FluxCount(base + 31), 0.0);
}

TEST_F(Cycle, CountsAreScaledByTheirRange) {
    const int s = 15 * 3600 + 37 * 60 + 30;
    PassAt(30, 10, 1);
    EXPECT_EQ(cycle.Flux(), 1200);
    PassAt(30, 10, 0, 100);
    EXPECT_EQ(cycle.Flux(), 0);
    PassAt(30, 10, 6, 200);
    EXPECT_EQ(cycle.Flux(), 0);
    for (auto [range, factor] : {std::pair{2, 8}, {3, 4}, {4, 2}, {5, 1}})
        EXPECT_EQ(AcquisitionCycle::GainFactor(range), factor);
    EXPECT_EQ(cycle.FluxSum(s), 1200.0);
    EXPECT_EQ(cycle.FluxCount(s), 3.0); // ranges 0 and 6 still count a pass
    PassAt(31, 10, 5);
    ASSERT_EQ(records.taken.size(), 1u);
    EXPECT_EQ(records.taken[0].mean, 400);
}

TEST_F(Cycle, AFailureDuringASecondStillRecordsItWithTheDeviceInactive) {
    PassAt(30, 200, 5);
    pipes.queueFault(FakePipeLibrary::Fault::Timeout);
    PassAt(31, 300, 5); // the light reading fails: counted as 0, device closed
    EXPECT_FALSE(device.GetActive());
    EXPECT_FLOAT_EQ(cycle.Temperature(), -273.15f);
    EXPECT_EQ(cycle.StatusText(), "Error");
    ASSERT_EQ(records.taken.size(), 1u);
    EXPECT_FALSE(records.taken[0].deviceActive);
    EXPECT_EQ(records.taken[0].range, 0);
    EXPECT_EQ(records.taken[0].mean, 200);
    PassAt(32, 0, 5); // second 31 holds one failed pass: a record of 0
    ASSERT_EQ(records.taken.size(), 2u);
    EXPECT_EQ(records.taken[1].mean, 0);
}

TEST_F(Cycle, AnAbsentDeviceMakesNoRecordsAndReconnectsWhenBack) {
    pipes.attached = false;
    device.SetActive(false);
    for (int s = 30; s < 36; ++s) {
        PassAt(s, 100, 5);
        EXPECT_FALSE(cycle.Reconnect());
    }
    EXPECT_TRUE(records.taken.empty());
    EXPECT_EQ(pipes.count(FakePipeLibrary::Op::Write), 0);
    pipes.attached = true;
    EXPECT_TRUE(cycle.Reconnect());
    PassAt(37, 100, 5);
    PassAt(38, 100, 5);
    EXPECT_EQ(records.taken.size(), 1u);
}

TEST_F(Cycle, AClockSetBackGivesARecordWhoseNewSecondIsSmaller) {
    PassAt(30, 100, 5);
    PassAt(20, 100, 5);
    ASSERT_EQ(records.taken.size(), 1u);
    EXPECT_LT(records.taken[0].newSecond, records.taken[0].second);
}

TEST_F(Cycle, AFailingConsumerDoesNotLeaveTheSecondsSumsBehind) {
    const int base = 15 * 3600 + 37 * 60;
    PassAt(30, 100, 5);
    records.fail = true;
    EXPECT_THROW(PassAt(31, 300, 5), NocturoError);
    records.fail = false;
    EXPECT_EQ(cycle.LastSecond(), base + 31);
    // A later second closes second 31, whose reading would otherwise wait for tomorrow.
    PassAt(33, 50, 5);
    ASSERT_EQ(records.taken.size(), 2u);
    EXPECT_EQ(records.taken[1].second, base + 31);
    EXPECT_EQ(records.taken[1].mean, 300);
    EXPECT_EQ(cycle.FluxCount(base + 31), 0.0);
    EXPECT_EQ(cycle.FluxCount(base + 30), 0.0);
}

TEST(DateTimeValues, RoundTripAndSecondOfDay) {
    const DateTimeParts p{2009, 1, 26, 15, 37, 30, 999};
    const double v = EncodeDateTime(p);
    EXPECT_NEAR(v - EncodeDateTime({2009, 1, 26, 0, 0, 0, 0}),
                (15 * 3600 + 37 * 60 + 30.999) / 86400.0, 1e-9);
    const DateTimeParts back = DecodeDateTime(v);
    EXPECT_EQ(back.year, 2009);
    EXPECT_EQ(back.day, 26);
    EXPECT_EQ(back.second, 30);
    EXPECT_EQ(back.msec, 999);
    EXPECT_EQ(SecondOfDay(v), 15 * 3600 + 37 * 60 + 30);
    EXPECT_EQ(SecondOfDay(EncodeDateTime({2009, 1, 26, 23, 59, 59, 999})), 86399);
    EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_EQ(EncodeDateTime({1900, 1, 1, 12, 0, 0, 0}), 2.5);
}
