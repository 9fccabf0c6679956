// SPDX-License-Identifier: GPL-3.0-or-later
// A station without a window through a scripted day: a restart in the morning on a day
// whose file holds lines, the save after second 29, an unplugged sensor, a failure that
// arms the reboot, the restart request, the end of the day and the shut-down. What the
// station does is read from its day files and from what its observers were told.
#include "DailyLogTestSupport.h"
#include "StationRig.h"
#include "core/station/LinkStatusHint.h"
#include "sensor/PICUSBClass.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

struct Told : StationObserver {
    int passes = 0;
    std::vector<std::int32_t> plotted; // new second of each record for the plot
    std::vector<std::int32_t> taken;   // completed second of each record the log took
    int armed = 0;
    std::vector<bool> restarts;
    void PassDone() override { ++passes; }
    void RecordForPlot(const SecondRecord& record) override { plotted.push_back(record.newSecond); }
    void RecordTaken(const SecondRecord& record) override { taken.push_back(record.second); }
    void RebootArmed() override { ++armed; }
    void RestartRequested(bool accepted) override { restarts.push_back(accepted); }
    std::vector<std::pair<bool, QString>> links;
    void LinkChanged(bool up, const QString& hint) override { links.emplace_back(up, hint); }
    std::vector<QString> reasons;
    void LinkReasonChanged(const QString& hint) override { reasons.push_back(hint); }
};

constexpr const char* kLine = "  21.5    1200 1\r\n"; // count 10 at range 1, 21.5 °C

std::string LineAt(const char* stamp) {
    return std::string(stamp) + kLine;
}

class StationDay : public ::testing::Test {
protected:
    StationDay() { rig.clock.Set({2009, 1, 26, 10, 0, 0, 0}); }
    // A second read normally, then a pass in the next second whose reading fails: the
    // record of the first second is made with the sensor inactive.
    void FailingSecond(int hour, int minute, int second) {
        rig.PassAt(hour, minute, second);
        rig.pipes.queueFault(FakePipeLibrary::Fault::Timeout);
        rig.PassAt(hour, minute, second + 1);
    }
    // Passes at 0 and 500 ms of each second from..to of the given minute.
    void Read(int hour, int minute, int from, int to) {
        for (int s = from; s <= to; ++s)
            for (int msec : {0, 500})
                rig.PassAt(hour, minute, s, msec);
    }
    DayDir days;
    StationRig rig{days.dir.path()};
    Told told;
};

TEST_F(StationDay, RunsAWholeDayAsTheWindowWould) {
    days.Write("20090126.txt", "2009-01-26 08:00:00  20.0     100 5\r\n");
    Station& station = rig.Start();
    station.AddObserver(&told);
    ASSERT_NE(station.Device(), nullptr);
    EXPECT_TRUE(station.Device()->GetActive());
    EXPECT_EQ(station.Device()->GetSendDelay(), 50);
    EXPECT_EQ(station.Device()->GetReceiveDelay(), 50);
    EXPECT_EQ(station.Log().LineCount(), 1u); // the morning's line, loaded

    // Seconds 27 to 30 of 10:00: the record closing second 29 is saved with the old line.
    Read(10, 0, 27, 31);
    EXPECT_EQ(told.taken, (std::vector<std::int32_t>{36027, 36028, 36029, 36030}));
    EXPECT_EQ(told.plotted, (std::vector<std::int32_t>{36028, 36029, 36030, 36031}));
    EXPECT_EQ(told.passes, 10);
    EXPECT_EQ(days.Read("20090126.txt"),
              "2009-01-26 08:00:00  20.0     100 5\r\n" + LineAt("2009-01-26 10:00:28") +
                  LineAt("2009-01-26 10:00:29") + LineAt("2009-01-26 10:00:30"));

    // Unplugged for three seconds: a failed reading, then no lines while it is away. With
    // the option off nothing is armed.
    rig.pipes.attached = false;
    rig.pipes.queueFault(FakePipeLibrary::Fault::Timeout);
    Read(10, 5, 0, 3);
    EXPECT_EQ(station.Cycle().StatusText(), "Error");
    EXPECT_FALSE(station.RebootTimer().isActive());
    rig.pipes.attached = true;
    Read(10, 5, 4, 6);
    EXPECT_EQ(station.Cycle().StatusText(), "Ok");

    // With the option on, the next failure arms the 30-second timer once; a second failure
    // keeps its phase, a sensor that answers again does not cancel it.
    station.SetRebootOnFailure(true);
    FailingSecond(14, 0, 0);
    ASSERT_TRUE(station.RebootTimer().isActive());
    EXPECT_EQ(station.RebootTimer().interval(), 30000);
    const int timerId = station.RebootTimer().timerId();
    Read(14, 0, 2, 3);
    FailingSecond(14, 0, 4);
    EXPECT_EQ(station.RebootTimer().timerId(), timerId);
    EXPECT_EQ(told.armed, 1);

    // The tick saves first, then asks for the forced restart; refused, it asks again.
    station.TRebootTimer();
    EXPECT_EQ(rig.exitRequests, std::vector<std::uint32_t>{6});
    EXPECT_NE(days.Read("20090126.txt").find("2009-01-26 14:00:05 -273.1    1200 0\r\n"),
              std::string::npos);
    station.TRebootTimer();
    EXPECT_EQ(told.restarts, (std::vector<bool>{false, false}));
    station.SetRebootOnFailure(false);
    EXPECT_FALSE(station.RebootTimer().isActive());

    // The end of the day: the day's file is complete, the next day's begins.
    Read(23, 59, 57, 59);
    rig.clock.Set({2009, 1, 27, 0, 0, 0, 0});
    station.IdleHandler();
    rig.clock.Set({2009, 1, 27, 0, 0, 1, 0});
    station.IdleHandler();
    const std::string day = days.Read("20090126.txt");
    EXPECT_NE(day.find(LineAt("2009-01-26 23:59:59")), std::string::npos);
    EXPECT_EQ(day.find("2009-01-27"), std::string::npos);
    EXPECT_EQ(days.Read("20090127.txt"), LineAt("2009-01-27 00:00:00"));
    EXPECT_EQ(station.Log().LineCount(), 1u); // the new day's own first record

    // Shut-down saves the new day's lines and releases the sensor.
    rig.PassAt(0, 0, 2);
    rig.Stop();
    EXPECT_EQ(days.Read("20090127.txt"), LineAt("2009-01-27 00:00:00") +
                                             LineAt("2009-01-27 00:00:01") +
                                             LineAt("2009-01-27 00:00:02"));
    EXPECT_EQ(rig.pipes.openPipes(), 0);
    EXPECT_TRUE(rig.errors.messages.empty());
}

TEST_F(StationDay, ShutDownAfterAStartThatNeverHappenedTouchesNothing) {
    days.Write("20090126.txt", "held\r\n");
    rig.pipes.recordCalls = true;
    {
        Station station(StationServices{.pipes = rig.pipes,
                                        .clock = rig.clock,
                                        .errors = rig.errors,
                                        .dataDirectory = days.dir.path()});
        station.Stop();
        EXPECT_EQ(station.Device(), nullptr);
    }
    EXPECT_EQ(days.Read("20090126.txt"), "held\r\n");
    EXPECT_EQ(rig.pipes.count(FakePipeLibrary::Op::Open), 0);
}

TEST_F(StationDay, AFailedLastSaveStillReleasesTheSensorAndStopsOnce) {
    StationRig blocked(QStringLiteral("/nonexistent/nocturo-test"));
    Station& station = blocked.Start();
    blocked.errors.messages.clear();
    blocked.PassAt(10, 0, 0);
    blocked.PassAt(10, 0, 1);
    EXPECT_THROW(station.Stop(), NocturoError);
    EXPECT_EQ(blocked.pipes.openPipes(), 0);
    EXPECT_NO_THROW(station.Stop()); // a second shut-down has nothing left to do
}

TEST_F(StationDay, TellsTheLinkOnlyWhenItChanges) {
    using Link = std::pair<bool, QString>;
    const QString noSensor = LinkStatusHint(false, usbapi::OpenFailure::NoDevice);
    const QString noAnswer = LinkStatusHint(false, usbapi::OpenFailure::Other);
    rig.pipes.attached = false;
    rig.station = std::make_unique<Station>(StationServices{.pipes = rig.pipes,
                                                            .clock = rig.clock,
                                                            .errors = rig.errors,
                                                            .dataDirectory = days.dir.path(),
                                                            .runPasses = false});
    Station& station = *rig.station;
    station.AddObserver(&told);
    station.Start();
    EXPECT_EQ(told.links, std::vector<Link>{Link(false, noSensor)}); // at start-up, once
    EXPECT_FALSE(station.LinkUp());
    Read(10, 0, 0, 2);
    EXPECT_EQ(told.links.size(), 1u) << "nothing new while the sensor stays away";
    EXPECT_TRUE(told.reasons.empty());

    // Still away, for another reason, and back to the first: each change is told once.
    rig.pipes.failure = usbapi::OpenFailure::AccessDenied;
    Read(10, 0, 2, 2);
    rig.pipes.failure = usbapi::OpenFailure::NoDevice;
    Read(10, 0, 2, 2);
    EXPECT_EQ(
        told.reasons,
        (std::vector<QString>{LinkStatusHint(false, usbapi::OpenFailure::AccessDenied), noSensor}));
    EXPECT_EQ(told.links.size(), 1u);
    told.reasons.clear();

    // Plugged in: the pass that reconnects has read nothing yet; the next one has.
    rig.pipes.attached = true;
    rig.PassAt(10, 0, 3);
    EXPECT_EQ(told.links.size(), 1u);
    rig.PassAt(10, 0, 3, 500);
    EXPECT_EQ(told.links.back(), Link(true, QString()));
    EXPECT_TRUE(station.LinkUp());

    // A sensor that stops answering is reopened after every failed pass: one change only,
    // with the reason the reopened sensor gives, and one more when it answers again.
    rig.pipes.queueFault(FakePipeLibrary::Fault::Timeout, 6);
    Read(10, 0, 4, 6);
    EXPECT_EQ(told.links.back(), Link(false, noAnswer));
    EXPECT_EQ(told.links.size(), 3u);
    Read(10, 0, 7, 8);
    EXPECT_EQ(told.links.back(), Link(true, QString()));
    EXPECT_EQ(told.links.size(), 4u);
    EXPECT_TRUE(told.reasons.empty()) << "the reopened sensor gave one reason throughout";
}

} // namespace
