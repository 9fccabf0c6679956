// SPDX-License-Identifier: GPL-3.0-or-later
// What may stand in a day file's place: only a regular file of at most dayfile::MaxBytes is
// read, and only a regular file is ever replaced. A named pipe, a device, a link to one, a
// file too large to be a day file: the load and every save fail with a reason, the lines
// wait in memory, and the thing in the file's place is left exactly as it was.
#include "core/log/DayFile.h"
#include "DailyLogTestSupport.h"
#include "core/NocturoError.h"

#include <QFileInfo>

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kJan26 = QStringLiteral("20090126.txt");

class DayFileTest : public ::testing::Test {
protected:
    DayDir days;
    DailyLog log{days.dir.path()};

    DayFileTest() { log.SetLogFileName(kJan26); }

    static std::string MessageOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const NocturoError& e) {
            return e.what();
        }
        return "<no error>";
    }
    std::string Quoted(const QString& name) const {
        return "\"" + QFileInfo(days.Path(name)).absoluteFilePath().toStdString() + "\". ";
    }
    // Thirty seconds of records; the last one's save is the one that counts.
    std::string TakeUpToASave() {
        for (int second = 0; second < 29; ++second)
            log.Take(OnJan26(second));
        return MessageOf([&] { log.Take(OnJan26(29)); });
    }
};

TEST_F(DayFileTest, NamedPipeIsNeitherOpenedForLongNorReplaced) {
    const QByteArray fifo = QFile::encodeName(days.Path(kJan26));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    // No writer ever comes: a blocking open would hang here.
    const std::string reason = "Cannot open file " + Quoted(kJan26) + "not a regular file";
    EXPECT_EQ(MessageOf([&] { log.Load(); }), reason);
    EXPECT_EQ(TakeUpToASave(), reason);
    EXPECT_EQ(log.LineCount(), 30u);
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(days.Entries(), QStringList{kJan26}); // no temporary file left behind
}

TEST_F(DayFileTest, LinkToADeviceIsNotFollowedIntoIt) {
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), days.Path(kJan26)));
    const std::string reason = "Cannot open file " + Quoted(kJan26) + "not a regular file";
    EXPECT_EQ(MessageOf([&] { log.Load(); }), reason); // /dev/zero never ends
    EXPECT_EQ(TakeUpToASave(), reason);
    // Writing goes through the same check when no read comes first.
    EXPECT_EQ(MessageOf([&] { dayfile::Write(days.Path(kJan26), "x\r\n"); }),
              "Cannot create file " + Quoted(kJan26) + "not a regular file");
    EXPECT_EQ(QFileInfo(days.Path(kJan26)).symLinkTarget(), QStringLiteral("/dev/zero"));
    EXPECT_EQ(days.Entries(), QStringList{kJan26});
}

TEST_F(DayFileTest, LinkToARegularFileIsLoadedAndItsTargetSaved) {
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("kept.txt"));
    {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("held\r\n");
    }
    ASSERT_TRUE(QFile::link(target, days.Path(kJan26)));
    ASSERT_TRUE(log.Load());
    EXPECT_EQ(TakeUpToASave(), "<no error>");
    EXPECT_EQ(QFileInfo(days.Path(kJan26)).symLinkTarget(), target); // still the link
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), log.Bytes());
    EXPECT_TRUE(log.Bytes().startsWith("held\r\n2009-01-26 00:00:01"));
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("kept.txt")});
}

TEST_F(DayFileTest, FileLargerThanTheBoundIsReportedAndKeptUntilMovedAway) {
    const QString path = days.Path(kJan26);
    {
        QFile file(path); // sparse: only its size matters
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(dayfile::kMaxBytes + 1));
    }
    const QDateTime modified = QFileInfo(path).lastModified();
    const std::string reason =
        "Cannot open file " + Quoted(kJan26) + "larger than 64 MiB, too large for a day file";
    EXPECT_EQ(MessageOf([&] { log.Load(); }), reason);
    EXPECT_TRUE(log.IsEmpty());
    EXPECT_EQ(TakeUpToASave(), reason);
    EXPECT_EQ(QFileInfo(path).size(), dayfile::kMaxBytes + 1);
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);

    // Moved away, the file is not missed: the next save writes the lines kept meanwhile.
    ASSERT_TRUE(QFile::rename(path, days.Path(QStringLiteral("big.bin"))));
    log.Save();
    EXPECT_EQ(days.Read(kJan26), log.Bytes().toStdString());
    EXPECT_EQ(log.LineCount(), 30u);
}

TEST_F(DayFileTest, FileOfExactlyTheBoundIsLoaded) {
    {
        QFile file(days.Path(kJan26));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("first\r\n");
        ASSERT_TRUE(file.resize(dayfile::kMaxBytes));
    }
    ASSERT_TRUE(log.Load());
    EXPECT_EQ(log.Bytes().size(), dayfile::kMaxBytes);
    EXPECT_EQ(log.LineCount(), 2u); // "first" and one long line of NUL bytes
}

// Found by fuzzing: with a line held more often than the log carries it, each save moved
// lines about, and a file was rewritten at every other save.
TEST_F(DayFileTest, ASecondSaveOverAMergedFileChangesNothing) {
    days.Write(kJan26, "L\r\nM\r\nL\r\nM\r\n");
    log.Append(QStringLiteral("M")); // the file was not loaded: the log has lines of its own
    log.Append(QStringLiteral("L"));
    log.Save();
    EXPECT_EQ(days.Read(kJan26), "L\r\nM\r\nM\r\nL\r\n");
    log.Save();
    EXPECT_EQ(days.Read(kJan26), "L\r\nM\r\nM\r\nL\r\n");
    EXPECT_EQ(dayfile::Merge("L\r\nM\r\nM\r\nL\r\n", "M\r\nL\r\n"), "L\r\nM\r\nM\r\nL\r\n");
}

} // namespace
