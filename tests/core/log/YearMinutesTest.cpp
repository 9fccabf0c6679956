// SPDX-License-Identifier: GPL-3.0-or-later
// A year of nights minute by minute, from a folder of synthetic day files: the medians,
// gaps and failed seconds each minute ends up with, and the minute cache on disk kept,
// used, rebuilt after a file changed and never trusted when damaged.
#include "core/log/YearMinutes.h"
#include "DayFiles.h"
#include "core/log/MinuteCache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int kHour = 3600;

// A night's sky: the clear-day curve, with 2 counts from 02:00 to 03:00 (the darkest hour).
dayfiles::Values Sky(int s) {
    dayfiles::Values v = dayfiles::Daylight(s);
    if (s >= 2 * kHour && s < 3 * kHour) v.mean = 2;
    return v;
}

std::string Day(int day, int from = 0, int to = 24 * kHour) {
    return dayfiles::LinesWith(2026, 3, day, from, to, Sky);
}

QString Name(int day) {
    return QStringLiteral("202603%1.txt").arg(day, 2, 10, QLatin1Char('0'));
}

std::int64_t Night(int day) {
    return DaysFromCivil(2026, 3, day);
}

int Row(int hour, int minute = 0) {
    return ((hour + 12) % 24) * 60 + minute;
}

// 10th to 13th of March 2026. The 11th has nothing from 22:00 to 22:30 and, from 23:00:00,
// 20 failed seconds among lines of 1000 counts; the 12th also holds the last hour of the
// 11th again, as some versions of the daily log saved it.
struct Folder {
    QTemporaryDir dir;
    QTemporaryDir cacheDir;
    QString Path(int day) const { return dir.filePath(Name(day)); }
    Folder() {
        EXPECT_TRUE(dayfiles::Write(Path(10), Day(10)));
        std::string day11 = Day(11, 0, 22 * kHour) + Day(11, 22 * kHour + 1800, 23 * kHour);
        for (int s = 23 * kHour; s < 23 * kHour + 60; ++s)
            day11 += s < 23 * kHour + 20 ? dayfiles::FailedLine(2026, 3, 11, s)
                                         : dayfiles::Line(2026, 3, 11, s, {9.5, 1000, 4}) + "\r\n";
        day11 += Day(11, 23 * kHour + 60, 24 * kHour);
        EXPECT_TRUE(dayfiles::Write(Path(11), day11));
        EXPECT_TRUE(dayfiles::Write(Path(12), Day(11, 23 * kHour + 60, 24 * kHour) + Day(12)));
        EXPECT_TRUE(dayfiles::Write(Path(13), Day(13)));
    }
    YearMinutes Build(std::int64_t today = Night(20)) const {
        return yearminutes::Build(DayFileSet::FromFolder(dir.path()), Night(10), 3,
                                  MinuteCache(cacheDir.path()), today);
    }
};

TEST(YearMinutes, EachMinuteOfEachNight) {
    Folder folder;
    const YearMinutes year = folder.Build();
    ASSERT_EQ(year.nights, 3);
    ASSERT_EQ(year.cells.size(), 3U * 1440);
    EXPECT_EQ(year.filesRead, 4);
    EXPECT_TRUE(year.problems.isEmpty());

    // The dark hour is the darkest stretch of every night, and the only one at 2 counts.
    for (int n = 0; n < 3; ++n) {
        for (int r = 0; r < YearMinutes::kRows; ++r) {
            const YearCell& cell = year.At(n, r);
            const bool dark = r >= Row(2) && r < Row(3);
            if (std::isnan(cell.median)) continue;
            EXPECT_EQ(cell.median == 2, dark) << n << " " << r;
            if (!dark) {
                EXPECT_GE(cell.median, 20) << n << " " << r;
            }
        }
    }
    // A gap stays empty: no line, no median.
    for (int r = Row(22); r < Row(22, 30); ++r) {
        EXPECT_EQ(year.At(1, r).lines, 0);
        EXPECT_TRUE(std::isnan(year.At(1, r).median));
    }
    EXPECT_EQ(year.At(1, Row(22, 30)).lines, 60);
    // Failed seconds are counted but left out of the median.
    const YearCell& mixed = year.At(1, Row(23));
    EXPECT_EQ(mixed.lines, 60);
    EXPECT_EQ(mixed.failed, 20);
    EXPECT_EQ(mixed.median, 1000);
    // The last hour of the 11th, in two files, counts once.
    EXPECT_EQ(year.At(1, Row(23, 30)).lines, 60);
    EXPECT_EQ(year.lines, 3 * 86400 - 1800);
    EXPECT_EQ(year.failed, 20);
    // The morning of the 10th (night of the 9th) and the evening of the 13th are not shown.
    EXPECT_EQ(year.TimeOf(0, 0), StartOfDay(Night(10)) + 12 * kHour);
}

TEST(YearMinutes, MedianOfAnEvenCountAndLinesOutOfOrder) {
    // Four seconds of one minute, written out of order after a clock set back.
    DayFileContents contents = dayreader::Parse("2026-03-10 20:00:03  10.0      40 5\r\n"
                                                "2026-03-10 20:01:00  10.0       7 5\r\n"
                                                "2026-03-10 20:00:01  10.0      10 5\r\n"
                                                "2026-03-10 20:00:02  10.0      31 5\r\n"
                                                "2026-03-10 20:00:00  10.0      20 5\r\n"
                                                "2026-03-10 20:00:04 -273.1       0 0\r\n"
                                                "not a line\r\n");
    const MinuteSummary summary = minutes::Summarise(contents);
    ASSERT_EQ(summary.minutes.size(), 2U);
    EXPECT_EQ(summary.minutes[0].lines, 5);
    EXPECT_EQ(summary.minutes[0].failed, 1);
    EXPECT_EQ(summary.minutes[0].median, 25.5);
    EXPECT_EQ(summary.minutes[1].median, 7);
    EXPECT_EQ(summary.lines, 6);
    EXPECT_EQ(summary.skipped, 1);
    EXPECT_EQ(minutes::Decode(minutes::Encode(summary).toStdString()), summary);
}

TEST(YearMinutes, CacheIsUsedRebuiltWhenAFileChangedAndNeverTrustedWhenDamaged) {
    Folder folder;
    const YearMinutes first = folder.Build();
    EXPECT_EQ(first.filesFromCache, 0);
    const YearMinutes second = folder.Build();
    EXPECT_EQ(second.filesFromCache, 4);
    EXPECT_EQ(second.lines, first.lines);
    EXPECT_EQ(second.At(1, Row(23)).median, 1000);

    // The 13th gains a line at 02:10: its entry is rebuilt, the others are used.
    const MinuteCache cache(folder.cacheDir.path());
    std::string day13 = Day(13) + dayfiles::Line(2026, 3, 13, 2 * kHour + 600, {5, 1000000, 1});
    ASSERT_TRUE(dayfiles::Replace(folder.Path(13), day13));
    const YearMinutes changed = folder.Build();
    EXPECT_EQ(changed.filesFromCache, 3);
    EXPECT_EQ(changed.At(2, Row(2, 10)).lines, 61);
    EXPECT_EQ(changed.lines, first.lines + 1);
    // Same size and content, another modification time: read again as well.
    const QString path12 = folder.Path(12);
    QFile file12(path12);
    ASSERT_TRUE(file12.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file12.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                   QFileDevice::FileModificationTime));
    file12.close();
    EXPECT_EQ(folder.Build().filesFromCache, 3);

    // A damaged entry: every way of damaging it is read past and the entry rebuilt.
    const QString entry = cache.EntryPath(folder.Path(10));
    QFile stored(entry);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    const QByteArray whole = stored.readAll();
    stored.close();
    ASSERT_GT(whole.size(), 1000);
    QByteArray flipped = whole;
    flipped[flipped.size() - 100] = char(flipped[flipped.size() - 100] ^ 0x40);
    for (const QByteArray& damaged :
         {whole.left(whole.size() - 7), flipped, QByteArray("garbage"), QByteArray()}) {
        ASSERT_TRUE(dayfiles::Write(entry, damaged.toStdString()));
        const minutes::FileSummary again = cache.Get(folder.Path(10), true);
        EXPECT_FALSE(again.fromCache);
        EXPECT_EQ(again.summary.lines, 86400);
        EXPECT_TRUE(cache.Get(folder.Path(10), true).fromCache);
    }
    // Another file's entry put in its place is not taken for it.
    QFile::remove(entry);
    ASSERT_TRUE(QFile::copy(cache.EntryPath(folder.Path(13)), entry));
    EXPECT_FALSE(cache.Get(folder.Path(10), true).fromCache);
    EXPECT_EQ(folder.Build().At(0, Row(2, 10)).lines, 60);
}

TEST(YearMinutes, TodaysFileIsAlwaysReadAgain) {
    Folder folder;
    const MinuteCache cache(folder.cacheDir.path());
    // The 12th and 13th are being written (today is the 12th): never kept.
    folder.Build(Night(12));
    EXPECT_TRUE(QFile::exists(cache.EntryPath(folder.Path(11))));
    EXPECT_FALSE(QFile::exists(cache.EntryPath(folder.Path(12))));
    // Even with entries for them (kept on a later day), they are read each time.
    EXPECT_EQ(folder.Build().filesFromCache, 2);
    const YearMinutes again = folder.Build(Night(12));
    EXPECT_TRUE(QFile::exists(cache.EntryPath(folder.Path(12))));
    EXPECT_EQ(again.filesRead, 4);
    EXPECT_EQ(again.filesFromCache, 2);
    // Without a cache folder, nothing is kept anywhere.
    const YearMinutes uncached = yearminutes::Build(DayFileSet::FromFolder(folder.dir.path()),
                                                    Night(10), 3, MinuteCache(), Night(20), 1);
    EXPECT_EQ(uncached.filesFromCache, 0);
    EXPECT_EQ(uncached.lines, again.lines);
}

TEST(YearMinutes, NightsOfAYear) {
    EXPECT_EQ(yearminutes::NightsOfYearEndingWith(DaysFromCivil(2026, 12, 31)), 365);
    EXPECT_EQ(yearminutes::NightsOfYearEndingWith(DaysFromCivil(2024, 12, 31)), 366);
    EXPECT_EQ(yearminutes::NightsOfYearEndingWith(DaysFromCivil(2024, 2, 29)), 366);
    EXPECT_EQ(yearminutes::NightsOfYearEndingWith(DaysFromCivil(2025, 2, 28)), 366);
    EXPECT_EQ(yearminutes::NightsOfYearEndingWith(DaysFromCivil(2025, 3, 1)), 365);
}

} // namespace
