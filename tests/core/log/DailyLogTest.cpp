// SPDX-License-Identifier: GPL-3.0-or-later
#include "DailyLogTestSupport.h"
#include "core/NocturoError.h"
#include "core/log/DayFile.h"
#include "core/text/Formats.h"

#include <QFileInfo>

#include <functional>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString kJan26 = QStringLiteral("20090126.txt");
const QString kJan27 = QStringLiteral("20090127.txt");

// "2009-01-26 hh:nn:ss  21.5    1234 3" for the record completing `second`.
std::string LineOf(std::int32_t second) {
    return LogLine(OnJan26(second), RegionalSettings{}).toStdString() + "\r\n";
}

class DailyLogTest : public ::testing::Test {
protected:
    DayDir days;
    DailyLog log{days.dir.path()};

    std::string MessageOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const NocturoError& e) {
            return e.what();
        }
        return "<no error>";
    }
    std::string Absolute(const QString& name) const {
        return QFileInfo(days.Path(name)).absoluteFilePath().toStdString();
    }
};

TEST_F(DailyLogTest, SavesAfterSecond29OfEachMinuteOnly) {
    for (int second = 0; second < 29; ++second)
        log.Take(OnJan26(second));
    EXPECT_EQ(days.Read(kJan26), "<missing>");
    log.Take(OnJan26(29));
    EXPECT_EQ(days.Read(kJan26), log.Bytes().toStdString());
    const std::string afterFirstSave = days.Read(kJan26);
    for (int second = 30; second < 89; ++second)
        log.Take(OnJan26(second));
    EXPECT_EQ(days.Read(kJan26), afterFirstSave); // neither 30 nor any other second saves
    log.Take(OnJan26(89));
    EXPECT_EQ(days.Read(kJan26), log.Bytes().toStdString());
    EXPECT_EQ(log.LineCount(), 90u);
}

TEST_F(DailyLogTest, FileHoldsTheLogTextExactly) {
    log.Take(Completing(56249, At(2009, 1, 26, 15, 37, 30)));
    log.Save();
    EXPECT_EQ(days.Read(kJan26), "2009-01-26 15:37:30  21.5    1234 3\r\n");
    EXPECT_EQ(log.LogFileName(), kJan26);
}

TEST_F(DailyLogTest, EmptyLogGivesAnEmptyFile) {
    log.SetLogFileName(kJan26);
    log.Save();
    EXPECT_EQ(days.Read(kJan26), "");
}

TEST_F(DailyLogTest, RestartOnTheSameDayKeepsTheOldLinesFirst) {
    days.Write(kJan26, "old one\r\nold two\r\n");
    CountingObserver observer;
    log.AddObserver(&observer);
    log.SetLogFileName(kJan26);
    ASSERT_TRUE(log.Load());
    EXPECT_EQ(observer.loaded, "old one\r\nold two\r\n");
    log.Take(Completing(35999, At(2009, 1, 26, 10, 0, 0)));
    log.Take(Completing(36029, At(2009, 1, 26, 10, 0, 30)));
    const std::string written = days.Read(kJan26);
    EXPECT_EQ(written.rfind("old one\r\nold two\r\n2009-01-26 10:00:00", 0), 0u) << written;
    EXPECT_EQ(written, log.Bytes().toStdString());
}

TEST_F(DailyLogTest, LoadTurnsLoneCrAndLfIntoCrLf) {
    days.Write(kJan26, "a\rb\nc\r\n\nd\r\n");
    log.SetLogFileName(kJan26);
    ASSERT_TRUE(log.Load());
    EXPECT_EQ(log.Text(), "a\r\nb\r\nc\r\n\r\nd\r\n");
    EXPECT_EQ(log.LineCount(), 5u);
}

TEST_F(DailyLogTest, FileLoadedWithoutFinalBreakIsSavedWithoutOne) {
    days.Write(kJan26, "first\r\nsecond");
    log.SetLogFileName(kJan26);
    ASSERT_TRUE(log.Load());
    log.Take(Completing(28, At(2009, 1, 26, 0, 0, 29)));
    log.Take(Completing(29, At(2009, 1, 26, 0, 0, 30)));
    EXPECT_EQ(days.Read(kJan26), "first\r\nsecond\r\n"
                                 "2009-01-26 00:00:29  21.5    1234 3\r\n"
                                 "2009-01-26 00:00:30  21.5    1234 3");
}

TEST_F(DailyLogTest, LoadOfAMissingFileChangesNothing) {
    log.SetLogFileName(kJan26);
    EXPECT_FALSE(log.Load());
    EXPECT_TRUE(log.IsEmpty());
}

TEST_F(DailyLogTest, MidnightSequence) {
    CountingObserver observer;
    log.AddObserver(&observer);
    log.Take(OnJan26(86397)); // made at 23:59:58
    log.Take(OnJan26(86398)); // made at 23:59:59: saved under the day's name, emptied
    EXPECT_EQ(days.Read(kJan26), "2009-01-26 23:59:58  21.5    1234 3\r\n"
                                 "2009-01-26 23:59:59  21.5    1234 3\r\n");
    EXPECT_TRUE(log.IsEmpty());
    EXPECT_EQ(observer.emptied, 1);

    log.Take(OnJan26(86399)); // made at 00:00:00 of the next day, its new second 0
    EXPECT_EQ(log.LogFileName(), kJan27);
    EXPECT_EQ(days.Read(kJan27), "2009-01-27 00:00:00  21.5    1234 3\r\n");
    EXPECT_TRUE(log.IsEmpty());
    EXPECT_EQ(observer.emptied, 2);

    // The new day's lines accumulate; the lone midnight line stays in front of them.
    const double jan27 = At(2009, 1, 27, 0, 0, 0);
    for (int second = 0; second <= 29; ++second)
        log.Take(Completing(second, jan27 + (second + 1) / 86400.0));
    EXPECT_EQ(log.LineCount(), 30u);
    const std::string written = days.Read(kJan27);
    EXPECT_EQ(written.rfind("2009-01-27 00:00:00  21.5    1234 3\r\n"
                            "2009-01-27 00:00:01  21.5    1234 3\r\n",
                            0),
              0u);
    EXPECT_EQ(written.size(), 31 * 37u);
    EXPECT_EQ(days.Read(kJan26).size(), 2 * 37u);
    EXPECT_EQ(observer.appended.size(), 33);
    EXPECT_EQ(observer.appended.front(), "2009-01-26 23:59:58  21.5    1234 3");
}

// --- Failures ------------------------------------------------------------------------

TEST_F(DailyLogTest, SaveIntoAMissingDirectoryCannotCreate) {
    DailyLog elsewhere(days.Path(QStringLiteral("no/such/dir")));
    elsewhere.SetLogFileName(kJan26);
    EXPECT_EQ(MessageOf([&] { elsewhere.Save(); }), "Cannot create file \"" +
                                                        Absolute("no/such/dir/20090126.txt") +
                                                        "\". No such file or directory");
}

TEST_F(DailyLogTest, DirectoryInPlaceOfTheFile) {
    ASSERT_TRUE(QDir(days.dir.path()).mkdir(kJan26));
    log.SetLogFileName(kJan26);
    EXPECT_EQ(MessageOf([&] { log.Load(); }),
              "Cannot open file \"" + Absolute(kJan26) + "\". file to open is a directory");
    EXPECT_EQ(MessageOf([&] { log.Save(); }),
              "Cannot create file \"" + Absolute(kJan26) + "\". Filename refers to a directory");
}

TEST_F(DailyLogTest, UnreadableFileIsNeitherLoadedNorReplaced) {
    if (geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
    days.Write(kJan26, "held\r\n");
    ASSERT_TRUE(QFile::setPermissions(days.Path(kJan26), QFileDevice::WriteOwner));
    log.SetLogFileName(kJan26);
    EXPECT_EQ(MessageOf([&] { log.Load(); }),
              "Cannot open file \"" + Absolute(kJan26) + "\". Permission denied");
    EXPECT_EQ(MessageOf([&] { log.Take(OnJan26(29)); }),
              "Cannot open file \"" + Absolute(kJan26) + "\". Permission denied");
    QFile::setPermissions(days.Path(kJan26), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    log.Save();
    EXPECT_EQ(days.Read(kJan26), "held\r\n" + log.Bytes().toStdString());
}

// Files may grow no larger than `bytes` bytes while it lives; writing past that fails
// the way a full disk does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    sighandler_t previousHandler_;
};

TEST_F(DailyLogTest, WriteFailureLeavesTheOldFileWholeAndNoTemporaryFile) {
    for (int second = 0; second <= 29; ++second)
        log.Take(OnJan26(second));
    const std::string saved = days.Read(kJan26);
    for (int second = 30; second < 89; ++second)
        log.Take(OnJan26(second));
    {
        FileSizeLimit limit(saved.size() + 100);
        EXPECT_EQ(MessageOf([&] { log.Take(OnJan26(89)); }), "Stream write error");
    }
    EXPECT_EQ(days.Read(kJan26), saved);
    EXPECT_EQ(days.Entries(), QStringList{kJan26});
    EXPECT_EQ(log.LineCount(), 90u); // the lines wait for the next save
    log.Save();
    EXPECT_EQ(days.Read(kJan26), log.Bytes().toStdString());
    EXPECT_EQ(days.Entries(), QStringList{kJan26});
}

TEST_F(DailyLogTest, FailedRollOverEmptiesNothingAndTheNextDaySavesTheLines) {
    CountingObserver observer;
    log.AddObserver(&observer);
    ASSERT_TRUE(QDir(days.dir.path()).mkdir(kJan26));
    log.Take(OnJan26(86397));
    EXPECT_NE(MessageOf([&] { log.Take(OnJan26(86398)); }), "<no error>");
    EXPECT_EQ(log.LineCount(), 2u);
    EXPECT_EQ(observer.emptied, 0);

    ASSERT_TRUE(QDir(days.dir.path()).rmdir(kJan26));
    log.Take(OnJan26(86399)); // after midnight: rolls over, saving every day it holds
    EXPECT_EQ(days.Read(kJan26), LineOf(86397) + LineOf(86398));
    EXPECT_EQ(days.Read(kJan27), "2009-01-27 00:00:00  21.5    1234 3\r\n");
    EXPECT_TRUE(log.IsEmpty());
}

// --- No save removes a line a day file holds ------------------------------------------

TEST_F(DailyLogTest, ClockSetBackWithinTheDay) {
    for (int second = 36000; second <= 36029; ++second)
        log.Take(OnJan26(second));
    // The clock goes back an hour: the record's new second is smaller, so the log rolls
    // over, and the next save would write the earlier hour alone.
    log.Take(Completing(36030, At(2009, 1, 26, 9, 0, 0)));
    const std::string beforeSetBack = days.Read(kJan26);
    for (int second = 32400; second <= 32429; ++second)
        log.Take(OnJan26(second));
    const std::string written = days.Read(kJan26);
    EXPECT_EQ(written, beforeSetBack + log.Bytes().toStdString());
    log.Save(); // saving again changes nothing
    EXPECT_EQ(days.Read(kJan26), written);
}

TEST_F(DailyLogTest, ClockSetBackAcrossMidnightKeepsEachLineInItsOwnDay) {
    days.Write(kJan26, "earlier on the 26th\r\n");
    const double jan27 = At(2009, 1, 27, 0, 0, 0);
    for (int second = 10; second <= 20; ++second)
        log.Take(Completing(second, jan27 + (second + 1) / 86400.0));
    // Set back to 23:50:00 of the day before: the new second is larger, no roll-over.
    log.Take(Completing(21, At(2009, 1, 26, 23, 50, 0)));
    EXPECT_EQ(log.LogFileName(), kJan26);
    log.Save();
    const std::string jan26 = days.Read(kJan26);
    const std::string jan27Text = days.Read(kJan27);
    EXPECT_EQ(jan26, "earlier on the 26th\r\n2009-01-26 23:50:00  21.5    1234 3\r\n");
    EXPECT_EQ(jan27Text.find("2009-01-26"), std::string::npos);
    EXPECT_EQ(jan27Text.size(), 11 * 37u);
}

TEST_F(DailyLogTest, EmptyLogSavedAfterTheEndOfDaySaveKeepsTheFile) {
    log.Take(OnJan26(86397));
    log.Take(OnJan26(86398));
    const std::string saved = days.Read(kJan26);
    log.Save(); // the window closes before the next record
    EXPECT_EQ(days.Read(kJan26), saved);
    EXPECT_EQ(saved.size(), 2 * 37u);
}

TEST_F(DailyLogTest, MissingEndOfDayRecordsLeaveTheDaysLinesInTheirDay) {
    for (int second = 86300; second <= 86340; ++second)
        log.Take(OnJan26(second));
    // No records after 23:59:01; the sensor is read again at 00:00:05.
    const double jan27 = At(2009, 1, 27, 0, 0, 0);
    for (int second = 5; second <= 29; ++second)
        log.Take(Completing(second, jan27 + (second + 1) / 86400.0));
    const std::string jan26 = days.Read(kJan26);
    const std::string jan27Text = days.Read(kJan27);
    EXPECT_EQ(jan26.size(), 41 * 37u);
    EXPECT_NE(jan26.find("2009-01-26 23:59:01"), std::string::npos);
    EXPECT_EQ(jan27Text.find("2009-01-26"), std::string::npos);
    EXPECT_EQ(jan27Text.size(), 25 * 37u);
    EXPECT_EQ(log.LineCount(), 66u); // the log itself is emptied only at a roll-over
}

TEST_F(DailyLogTest, SaveAfterAFailedLoadKeepsTheFilesLines) {
    // The load failed, so the log knows nothing of what the file holds.
    days.Write(kJan26, "held one\nheld two");
    log.Take(OnJan26(36028));
    log.Take(OnJan26(36029));
    EXPECT_EQ(days.Read(kJan26), "held one\r\nheld two\r\n" + log.Bytes().toStdString());
    log.Take(OnJan26(36089));
    EXPECT_EQ(days.Read(kJan26), "held one\r\nheld two\r\n" + log.Bytes().toStdString());
}

TEST(DayFileMerge, KeepsEveryHeldLineTheLogDoesNotCarry) {
    EXPECT_EQ(dayfile::Merge("a\r\nb\r\n", "b\r\nc\r\n"), "a\r\nb\r\nc\r\n");
    // Repeated lines count: the file held "a" twice, the log carries it once.
    EXPECT_EQ(dayfile::Merge("a\r\na\r\n", "a\r\n"), "a\r\na\r\n");
    EXPECT_EQ(dayfile::Merge("x\ry\nz", "y\r\n"), "x\r\nz\r\ny\r\n");
    EXPECT_EQ(dayfile::Merge("", "a"), "a");
}

// --- Observers -------------------------------------------------------------------------

TEST_F(DailyLogTest, ObserversFollowTheLog) {
    CountingObserver first, second;
    log.AddObserver(&first);
    log.AddObserver(&second);
    log.AddObserver(&first); // added once only
    log.Take(OnJan26(100));
    log.RemoveObserver(&second);
    log.Take(OnJan26(101));
    EXPECT_EQ(first.appended, (QStringList{"2009-01-26 00:01:41  21.5    1234 3",
                                           "2009-01-26 00:01:42  21.5    1234 3"}));
    EXPECT_EQ(second.appended.size(), 1);
    log.Empty();
    EXPECT_EQ(first.emptied, 1);
    EXPECT_EQ(second.emptied, 0);
}

} // namespace
