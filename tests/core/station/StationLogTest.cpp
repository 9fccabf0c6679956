// SPDX-License-Identifier: GPL-3.0-or-later
// The station's part in the daily log: the day's file loaded at start-up, records logged,
// the log saved at shut-down; an unreadable day file does not stop acquisition.
#include "DailyLogTestSupport.h"
#include "StationRig.h"
#include "sensor/PICUSBClass.h"

#include <QFileInfo>

#include <gtest/gtest.h>
#include <memory>

namespace {

class StationLogTest : public ::testing::Test {
protected:
    StationLogTest() {
        rig.pipes.setReply('L', {0xD2, 0x04, 5}); // 1234 at range 5
        rig.pipes.setReply('T', {0x90, 0x01});
    }
    Station& Open() {
        rig.clock.now = start;
        return rig.Start();
    }
    // Passes every half second for `seconds` seconds.
    void RunFor(Station& station, int seconds) {
        for (int i = 0; i < 2 * seconds; ++i) {
            rig.clock.now += 0.5 / 86400;
            station.IdleHandler();
        }
    }

    DayDir days;
    StationRig rig{days.dir.path()};
    const std::vector<std::string>& errors = rig.errors.messages;
    const double start = At(2009, 1, 26, 10, 0, 0) + 0.2 / 86400;
    const QString day = QStringLiteral("20090126.txt");
};

TEST_F(StationLogTest, StartUpLoadsTheDayFileAndShutDownSavesTheLog) {
    days.Write(day, "earlier\r\n");
    Station& station = Open();
    EXPECT_EQ(station.Log().Text(), "earlier\r\n");
    RunFor(station, 3);
    EXPECT_EQ(station.Log().LineCount(), 4u);
    EXPECT_EQ(days.Read(day), "earlier\r\n"); // no save before second 29 or the end
    rig.Stop();
    EXPECT_EQ(days.Read(day), "earlier\r\n"
                              "2009-01-26 10:00:01   3.1    1234 5\r\n"
                              "2009-01-26 10:00:02   3.1    1234 5\r\n"
                              "2009-01-26 10:00:03   3.1    1234 5\r\n");
    EXPECT_TRUE(errors.empty());
}

TEST_F(StationLogTest, UnreadableDayFileIsReportedAndAcquisitionGoesOn) {
    ASSERT_TRUE(QDir(days.dir.path()).mkdir(day));
    const std::string path = QFileInfo(days.Path(day)).absoluteFilePath().toStdString();
    Station& station = Open();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Cannot open file \"" + path + "\". file to open is a directory");
    ASSERT_NE(station.Device(), nullptr);
    EXPECT_TRUE(station.Device()->GetActive());
    RunFor(station, 3);
    EXPECT_EQ(station.Log().LineCount(), 3u);
    rig.Stop(); // the save fails and is reported; shut-down goes on
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].rfind("Cannot create file \"" + path + "\".", 0), 0u);
    EXPECT_TRUE(QFileInfo(days.Path(day)).isDir());
    EXPECT_EQ(rig.pipes.openPipes(), 0); // the sensor was released
}

} // namespace
