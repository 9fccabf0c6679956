// SPDX-License-Identifier: GPL-3.0-or-later
// Spans of time from the day files of a folder: a night from two files with the odd
// cases of the daily log around midnight and after a clock set back, what is reported,
// and what a view notices when the files change.
#include "core/log/LogSpan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::int64_t Day(int year, int month, int day) {
    return DaysFromCivil(year, month, day);
}

WallSeconds At(int year, int month, int day, int h, int m, int s) {
    return StartOfDay(Day(year, month, day)) + h * 3600 + m * 60 + s;
}

void Write(const QString& path, const std::string& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.data(), qint64(text.size()));
}

// "time mean" of each record, to compare spans at a glance.
std::vector<std::string> Brief(const SpanLines& lines) {
    std::vector<std::string> out;
    for (const DayRecord& r : lines.records)
        out.push_back(IsoWallTime(r.time).mid(11).toStdString() + " " + std::to_string(r.mean));
    return out;
}

struct Folder {
    QTemporaryDir dir;
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

TEST(LogSpan, NightFromTwoDayFiles) {
    Folder folder;
    // The 26th: a line of the morning (outside the night), the evening with a clock set
    // back by two seconds, and a garbage line.
    Write(folder.Path("20090126.txt"), "2009-01-26 11:59:59  20.0       1 5\r\n"
                                       "2009-01-26 12:00:00  20.0       2 5\r\n"
                                       "2009-01-26 20:00:00  19.0      10 5\r\n"
                                       "2009-01-26 20:00:01  19.0      11 5\r\n"
                                       "not a line\r\n"
                                       "2009-01-26 20:00:00  19.0      12 5\r\n"
                                       "2009-01-26 23:59:58  18.0      20 5\r\n");
    // The 27th, after a midnight without roll-over: the 26th's last lines again (one of
    // them only here), then the morning up to and past noon, written with lone LF.
    Write(folder.Path("20090127.txt"), "2009-01-26 23:59:58  18.0      20 5\n"
                                       "2009-01-26 23:59:59  18.0      21 5\n"
                                       "2009-01-27 00:00:00  18.0      22 5\n"
                                       "2009-01-27 11:59:59  17.0      30 5\n"
                                       "2009-01-27 12:00:00  17.0      31 5\n"
                                       "\x01\x02\n");
    // Files the night does not need, and one that is not a day file at all.
    Write(folder.Path("20090120.txt"), "2009-01-26 20:00:05  19.0      99 5\r\n");
    Write(folder.Path("notes.txt"), "2009-01-26 20:00:06  19.0      98 5\r\n");

    const DayFileSet files = DayFileSet::FromFolder(folder.dir.path());
    ASSERT_EQ(files.Files().size(), 3u);
    DayFileCache cache;
    const SpanLines night =
        AssembleSpan(files, cache, TimeSpan::Of(SpanKind::Night, Day(2009, 1, 26)));
    EXPECT_EQ(Brief(night), (std::vector<std::string>{"12:00:00 2", "20:00:00 10", "20:00:00 12",
                                                      "20:00:01 11", "23:59:58 20", "23:59:59 21",
                                                      "00:00:00 22", "11:59:59 30"}));
    EXPECT_EQ(night.skipped.count, 2);
    EXPECT_EQ(night.skipped.firstFile, folder.Path("20090126.txt"));
    EXPECT_EQ(night.skipped.firstLine, 5);
    EXPECT_TRUE(night.problems.isEmpty());

    // The day of the 27th holds the noon line, the 26th's day its first line.
    const SpanLines day27 =
        AssembleSpan(files, cache, TimeSpan::Of(SpanKind::Day, Day(2009, 1, 27)));
    EXPECT_EQ(Brief(day27),
              (std::vector<std::string>{"00:00:00 22", "11:59:59 30", "12:00:00 31"}));
    EXPECT_EQ(day27.skipped.count, 1);
    EXPECT_EQ(day27.skipped.firstLine, 6);
    const SpanLines day26 =
        AssembleSpan(files, cache, TimeSpan::Of(SpanKind::Day, Day(2009, 1, 26)));
    EXPECT_EQ(day26.records.front().mean, 1);
    EXPECT_EQ(day26.records.back().mean, 21);

    // Named files are read for every span, whatever their names.
    const DayFileSet named = DayFileSet::FromPaths({folder.Path("notes.txt")});
    const SpanLines fromNotes =
        AssembleSpan(named, cache, TimeSpan::Of(SpanKind::Night, Day(2009, 1, 26)));
    EXPECT_EQ(Brief(fromNotes), (std::vector<std::string>{"20:00:06 98"}));
}

TEST(LogSpan, SpansAndSteps) {
    const std::int64_t d = Day(2009, 1, 26);
    const TimeSpan night = TimeSpan::Of(SpanKind::Night, d);
    EXPECT_EQ(night.from, At(2009, 1, 26, 12, 0, 0));
    EXPECT_EQ(night.to, At(2009, 1, 27, 12, 0, 0));
    EXPECT_EQ(night.Stepped(1), TimeSpan::Of(SpanKind::Night, d + 1));
    const TimeSpan day = TimeSpan::Of(SpanKind::Day, Day(2009, 3, 1)).Stepped(-1);
    EXPECT_EQ(IsoWallTime(day.from), QStringLiteral("2009-02-28T00:00:00"));
    EXPECT_EQ(day.to - day.from, kSecondsPerDay);
    const TimeSpan week = TimeSpan::Of(SpanKind::Week, d);
    EXPECT_EQ(IsoWallTime(week.from), QStringLiteral("2009-01-20T00:00:00"));
    EXPECT_EQ(IsoWallTime(week.to), QStringLiteral("2009-01-27T00:00:00"));
    EXPECT_EQ(week.Stepped(1).day, d + 7);
    EXPECT_EQ(IsoWallTime(At(1969, 12, 31, 23, 59, 59)), QStringLiteral("1969-12-31T23:59:59"));
    EXPECT_EQ(IsoDate(Day(2000, 2, 29)), QStringLiteral("2000-02-29"));
    EXPECT_EQ(DayFileSet::DayOfName(QStringLiteral("20090229.txt")), DayFileSet::kUndated);
    EXPECT_EQ(DayFileSet::DayOfName(QStringLiteral("20080229.txt")), Day(2008, 2, 29));
}

TEST(LogSpan, FilesThatCannotBeReadAreReportedNotWaitedFor) {
    Folder folder;
    Write(folder.Path("20090126.txt"), "2009-01-26 13:00:00  20.0       5 5\r\n");
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.Path("20090127.txt")).constData(), 0600), 0);
    {
        QFile large(folder.Path("20090125.txt"));
        ASSERT_TRUE(large.open(QIODevice::WriteOnly));
        ASSERT_TRUE(large.resize(dayreader::kMaxFileSize + 4096));
    }
    QDir(folder.dir.path()).mkdir(QStringLiteral("20090128.txt"));

    const DayFileSet files = DayFileSet::FromFolder(folder.dir.path());
    std::vector<QString> listed;
    for (const DayFileSet::File& f : files.Files())
        listed.push_back(QFileInfo(f.path).fileName());
    // The FIFO and the folder are no day files; the large file is, and is refused.
    EXPECT_EQ(listed, (std::vector<QString>{"20090125.txt", "20090126.txt"}));
    DayFileCache cache;
    const SpanLines day = AssembleSpan(files, cache, TimeSpan::Of(SpanKind::Day, Day(2009, 1, 26)));
    EXPECT_EQ(day.records.size(), 1u);
    ASSERT_EQ(day.problems.size(), 1);
    EXPECT_TRUE(day.problems[0].contains(QStringLiteral("20090125.txt")));
    EXPECT_TRUE(day.problems[0].contains(QStringLiteral("64 MiB")));

    // Named on its own, the FIFO is refused the same way.
    const DayFileSet named = DayFileSet::FromPaths({folder.Path("20090127.txt")});
    const SpanLines fromFifo =
        AssembleSpan(named, cache, TimeSpan::Of(SpanKind::Day, Day(2009, 1, 27)));
    ASSERT_EQ(fromFifo.problems.size(), 1);
    EXPECT_TRUE(fromFifo.problems[0].contains(QStringLiteral("not a regular file")));
}

// A view follows the files it shows: a save of the daily log (a new file renamed over
// the old one), and the next day's file appearing.
TEST(LogSpan, NoticesSavesAndNewFiles) {
    Folder folder;
    Write(folder.Path("20090126.txt"), "2009-01-26 13:00:00  20.0       5 5\r\n");
    DayFileSet files = DayFileSet::FromFolder(folder.dir.path());
    DayFileCache cache;
    const TimeSpan span = TimeSpan::Of(SpanKind::Night, Day(2009, 1, 26));
    SpanLines night = AssembleSpan(files, cache, span);
    EXPECT_FALSE(SourcesChanged(night, files));

    Write(folder.Path("20090126.txt.tmp"), "2009-01-26 13:00:00  20.0       5 5\r\n"
                                           "2009-01-26 13:00:01  20.0       6 5\r\n");
    ASSERT_TRUE(QFile::remove(folder.Path("20090126.txt")));
    ASSERT_TRUE(QFile::rename(folder.Path("20090126.txt.tmp"), folder.Path("20090126.txt")));
    EXPECT_FALSE(files.Rescan());
    EXPECT_TRUE(SourcesChanged(night, files));
    night = AssembleSpan(files, cache, span);
    EXPECT_EQ(night.records.size(), 2u);

    Write(folder.Path("20090127.txt"), "2009-01-27 00:00:00  20.0       7 5\r\n");
    EXPECT_TRUE(files.Rescan());
    EXPECT_TRUE(SourcesChanged(night, files));
    night = AssembleSpan(files, cache, span);
    EXPECT_EQ(night.records.size(), 3u);
    EXPECT_FALSE(SourcesChanged(night, files));
}

TEST(LogSpan, DaySummaries) {
    const DayFileContents contents = dayreader::Parse("2009-01-26 23:59:58  18.0      20 5\n"
                                                      "2009-01-27 10:00:00  18.0      22 5\n"
                                                      "2009-01-27 00:00:01  18.0      22 5\n"
                                                      "2009-01-26 23:59:59  18.0      21 5\n");
    const std::vector<DaySummary> days = SummariseDays(contents);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].day, Day(2009, 1, 26));
    EXPECT_EQ(days[0].lines, 2);
    EXPECT_EQ(days[1].lines, 2);
    EXPECT_EQ(days[1].first, At(2009, 1, 27, 0, 0, 1));
    EXPECT_EQ(days[1].last, At(2009, 1, 27, 10, 0, 0));
}

} // namespace

// The calendar under every span and file name: days since 1970 and back, across eras,
// leap days and the year 2100 that is not a leap year.
TEST(Calendar, DaysAndDatesAgree) {
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
    EXPECT_EQ(DaysFromCivil(2024, 2, 29), 19782);
    EXPECT_EQ(DaysFromCivil(1969, 12, 31), -1);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2100, 2), 28);
    EXPECT_EQ(DaysInMonth(2026, 4), 30);
    EXPECT_EQ(DaysInMonth(2026, 13), 0);
    for (std::int64_t day = -200000; day <= 200000; ++day) {
        const CivilDate date = CivilFromDays(day);
        ASSERT_EQ(DaysFromCivil(date.year, date.month, date.day), day);
        ASSERT_GE(date.day, 1);
        ASSERT_LE(date.day, DaysInMonth(date.year, date.month));
    }
    EXPECT_EQ(IsoDate(DaysFromCivil(2026, 12, 9)), QStringLiteral("2026-12-09"));
}
