// SPDX-License-Identifier: GPL-3.0-or-later
// Store and forward without a broker: the lines the publisher is handed, in file order,
// from the log's ring or read back from the day files (after a restart from the cursor,
// across midnight, after the ring let lines go, from a file rewritten with lines in front);
// the cursor file; and the UTC second of a line around the changes of daylight saving.
#include "network/LineFeed.h"
#include "network/LineTime.h"
#include "network/PublishCursor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr WallSeconds kJan26 = 14270 * kSecondsPerDay; // 2009-01-26 00:00
const QString kDay1 = QStringLiteral("20090126.txt");
const QString kDay2 = QStringLiteral("20090127.txt");

DayRecord Record(WallSeconds t, int mean) {
    return DayRecord{t, mean, 215, 3};
}

QByteArray LineOf(const DayRecord& r) {
    // The cursor's own text carries the line as the log writes it.
    const QByteArray text = publishcursor::Text(PublishCursor{{kDay1, 0, r}, 0});
    return text.mid(text.indexOf('\n') + 1).chopped(1);
}

void WriteDay(const QTemporaryDir& dir, const QString& name, const std::vector<DayRecord>& records,
              const QByteArray& front = {}) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(front);
    for (const DayRecord& r : records)
        file.write(LineOf(r) + "\r\n");
}

// Every line the feed hands out now.
std::vector<int> Drain(LineFeed& feed) {
    std::vector<int> means;
    while (std::optional<FileLine> line = feed.Next())
        means.push_back(line->record.mean);
    return means;
}

std::vector<DayRecord> Seconds(WallSeconds from, int count, int firstMean) {
    std::vector<DayRecord> out;
    for (int i = 0; i < count; ++i)
        out.push_back(Record(from + i, firstMean + i));
    return out;
}

TEST(LineFeed, SendsTheLogsLinesAsTheyComeFromItsRing) {
    QTemporaryDir dir;
    LineFeed feed(dir.path());
    feed.StartAfter(std::nullopt); // nothing acknowledged ever: the day's first line on
    for (const DayRecord& r : Seconds(kJan26 + 100, 3, 1))
        feed.Appended(kDay1, r);
    EXPECT_EQ(Drain(feed), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(feed.Live());
    feed.Appended(kDay1, Record(kJan26 + 103, 4));
    EXPECT_EQ(Drain(feed), (std::vector<int>{4}));
}

TEST(LineFeed, GoesOnAfterTheCursorThroughTheDayFilesAcrossMidnightIntoTheRing) {
    QTemporaryDir dir;
    const std::vector<DayRecord> first = Seconds(kJan26 + kSecondsPerDay - 5, 5, 1);
    const std::vector<DayRecord> second = Seconds(kJan26 + kSecondsPerDay, 3, 6);
    WriteDay(dir, kDay1, first);
    WriteDay(dir, kDay2, second);
    LineFeed feed(dir.path());
    // A restart: the log loads the second day's file and appends to it.
    feed.Loaded(kDay2, 3);
    feed.StartAfter(FileLine{kDay1, 1, first[1]});
    EXPECT_EQ(Drain(feed), (std::vector<int>{3, 4, 5, 6, 7, 8}));
    feed.Appended(kDay2, Record(kJan26 + kSecondsPerDay + 3, 9));
    EXPECT_EQ(Drain(feed), (std::vector<int>{9}));
    EXPECT_TRUE(feed.Live());
    EXPECT_EQ(feed.FileLinesHeld(), 0u);
}

TEST(LineFeed, ReadsBackWhatTheRingLetGoAndWaitsForTheSaveOfWhatIsInNeither) {
    QTemporaryDir dir;
    LineFeed feed(dir.path(), 4);
    feed.StartAfter(std::nullopt);
    const std::vector<DayRecord> lines = Seconds(kJan26 + 100, 10, 1);
    for (const DayRecord& r : lines)
        feed.Appended(kDay1, r);
    // Lines 1 to 6 are gone from the ring and not yet saved: nothing may skip them.
    EXPECT_TRUE(Drain(feed).empty());
    WriteDay(dir, kDay1, std::vector<DayRecord>(lines.begin(), lines.begin() + 7));
    EXPECT_EQ(Drain(feed), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_TRUE(feed.Live());
}

TEST(LineFeed, FindsItsLineInAFileRewrittenWithLinesInFront) {
    QTemporaryDir dir;
    const std::vector<DayRecord> lines = Seconds(kJan26 + 100, 4, 1);
    WriteDay(dir, kDay1, lines,
             LineOf(Record(kJan26 + 50, 90)) + "\r\n" + "garbage\r\n" +
                 LineOf(Record(kJan26 + 51, 91)) + "\r\n");
    LineFeed feed(dir.path());
    feed.StartAfter(FileLine{kDay1, 1, lines[1]}); // its place was 1 before the rewrite
    EXPECT_EQ(Drain(feed), (std::vector<int>{3, 4}));
    // A line that is not there at all: the whole file goes again rather than none of it.
    LineFeed lost(dir.path());
    lost.StartAfter(FileLine{kDay1, 1, Record(kJan26 + 7, 77)});
    EXPECT_EQ(Drain(lost), (std::vector<int>{90, 91, 1, 2, 3, 4}));
}

TEST(PublishCursor, IsWrittenAndReadBack) {
    QTemporaryDir dir;
    EXPECT_FALSE(publishcursor::Load(dir.path()).has_value());
    const PublishCursor cursor{{kDay1, 4711, DayRecord{kJan26 + 3723, 1234, -2731, 0}}, 1232939000};
    ASSERT_TRUE(publishcursor::Save(dir.path(), cursor));
    EXPECT_EQ(publishcursor::Load(dir.path()), cursor);
    const PublishCursor negative{{kDay2, 0, DayRecord{kJan26 + 1, 5, -5, 2}}, 7};
    EXPECT_EQ(publishcursor::Parse(publishcursor::Text(negative)), negative);
    QFile broken(dir.filePath(QString::fromLatin1(publishcursor::kFileName)));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("20090126.txt x 1\nnot a line\n");
    broken.close();
    QString why;
    EXPECT_FALSE(publishcursor::Load(dir.path(), &why).has_value());
    EXPECT_FALSE(why.isEmpty());
}

// 2026-10-25 in Vienna: 03:00 summer time (UTC+2) becomes 02:00 winter time (UTC+1).
constexpr WallSeconds kOct25 = 20751 * kSecondsPerDay;
constexpr std::int64_t kOct25Utc = 20751 * kSecondsPerDay;

TEST(LineTime, KeepsTheRepeatedHourAsTwoHoursInFileOrder) {
    LineTime time(QTimeZone("Europe/Vienna"));
    const auto wall = [](int h, int m, int s) { return kOct25 + h * 3600 + m * 60 + s; };
    const auto utc = [](int h, int m, int s) { return kOct25Utc + h * 3600 + m * 60 + s; };
    EXPECT_EQ(time.Next(wall(1, 59, 59)), utc(23 - 24, 59, 59));
    EXPECT_EQ(time.Next(wall(2, 0, 0)), utc(0, 0, 0)); // first pass: summer time
    EXPECT_EQ(time.Next(wall(2, 59, 59)), utc(0, 59, 59));
    EXPECT_EQ(time.Next(wall(2, 0, 0)), utc(1, 0, 0)); // second pass: winter time
    EXPECT_EQ(time.Next(wall(2, 30, 0)), utc(1, 30, 0));
    EXPECT_EQ(time.Next(wall(3, 0, 0)), utc(2, 0, 0));
    // A clock set back by seconds in the first pass stays in the first pass.
    LineTime setBack(QTimeZone("Europe/Vienna"));
    setBack.Next(wall(2, 30, 10));
    EXPECT_EQ(setBack.Next(wall(2, 30, 5)), utc(0, 30, 5));
    // Going on from a cursor in the second pass.
    LineTime resumed(QTimeZone("Europe/Vienna"));
    resumed.Restart(utc(1, 10, 0));
    EXPECT_EQ(resumed.Next(wall(2, 10, 1)), utc(1, 10, 1));
    // The hour skipped in spring (2026-03-29, 02:00 becomes 03:00) reads as winter time.
    LineTime spring(QTimeZone("Europe/Vienna"));
    const WallSeconds mar29 = 20541 * kSecondsPerDay;
    EXPECT_EQ(spring.Next(mar29 + 2 * 3600 + 1800), 20541 * kSecondsPerDay + 3600 + 1800);
    EXPECT_EQ(spring.Next(mar29 + 3 * 3600), 20541 * kSecondsPerDay + 3600);
}

} // namespace
