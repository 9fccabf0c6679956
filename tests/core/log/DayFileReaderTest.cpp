// SPDX-License-Identifier: GPL-3.0-or-later
// The day-file reader: golden files as the daily log writes them under different
// settings and after its odd cases, lines the writer makes read back exactly, and files
// that must not be read.
#include "core/log/DayFileReader.h"
#include "core/station/SecondRecord.h"
#include "core/text/DateTimeValue.h"
#include "core/text/Formats.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Tenths(std::int32_t tenths) {
    const std::int32_t magnitude = tenths < 0 ? -tenths : tenths;
    return (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." +
           std::to_string(magnitude % 10);
}

// The golden form of what the reader found: a header, then one line per record.
std::string Dump(const DayFileContents& contents) {
    std::string out =
        "lines " + std::to_string(contents.lines) + " skipped " + std::to_string(contents.skipped);
    if (contents.skipped > 0) out += " first " + std::to_string(contents.firstSkippedLine);
    out += "\n";
    for (const DayRecord& r : contents.records) {
        out += IsoWallTime(r.time).toStdString() + " " + Tenths(r.temperatureTenths) + " " +
               std::to_string(r.mean) + " " + std::to_string(r.range);
        out += r.Failed() ? " failed\n" : "\n";
    }
    return out;
}

std::string ReadText(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll().toStdString();
}

TEST(DayFileReader, GoldenFiles) {
    const QDir golden(QStringLiteral(NOCTURO_GOLDEN_DIR));
    const QStringList inputs = golden.entryList({QStringLiteral("*.txt")}, QDir::Files);
    ASSERT_GE(inputs.size(), 7);
    for (const QString& name : inputs) {
        SCOPED_TRACE(name.toStdString());
        const dayreader::FileResult read = dayreader::ReadFile(golden.filePath(name));
        ASSERT_EQ(read.status, dayreader::FileStatus::Read) << read.problem.toStdString();
        QString expected = name;
        expected.replace(QStringLiteral(".txt"), QStringLiteral(".expected"));
        EXPECT_EQ(Dump(read.contents), ReadText(golden.filePath(expected)));
        // The same bytes in memory give the same result.
        const std::string bytes = ReadText(golden.filePath(name));
        EXPECT_EQ(Dump(dayreader::Parse(bytes)), Dump(read.contents));
    }
}

// Every line the daily log writes, with any separators, reads back as the record it came
// from; the same line cut short or with a byte changed to a letter never reads as a
// different record.
TEST(DayFileReader, ReadsBackWhatTheLogWrites) {
    std::mt19937 random(20090126);
    const RegionalSettings settings[] = {{".", ":"}, {",", "."},      {",", ":"},
                                         {".", "h"}, {",", "\u00A0"}, {".", ""}};
    for (int i = 0; i < 20000; ++i) {
        const RegionalSettings& s = settings[i % std::size(settings)];
        DateTimeParts parts;
        parts.year = 1990 + int(random() % 60);
        parts.month = 1 + int(random() % 12);
        parts.day = 1 + int(random() % 28);
        parts.hour = int(random() % 24);
        parts.minute = int(random() % 60);
        parts.second = int(random() % 60);
        parts.msec = int(random() % 1000);
        SecondRecord record;
        record.timeStamp = EncodeDateTime(parts);
        record.temperature = float(int(random() % 20001) - 10000) / 10.0f;
        record.mean = std::int32_t(random() % 2147483) * (i % 7 == 0 ? 1000 : 1);
        record.range = int(random() % 6);
        const QByteArray line = LogLine(record, s).toUtf8();
        SCOPED_TRACE(line.toStdString());

        DayRecord read;
        ASSERT_TRUE(dayreader::ParseLine(line.toStdString(), read));
        EXPECT_EQ(IsoWallTime(read.time).toStdString(),
                  QStringLiteral("%1-%2-%3T%4:%5:%6")
                      .arg(parts.year)
                      .arg(parts.month, 2, 10, QLatin1Char('0'))
                      .arg(parts.day, 2, 10, QLatin1Char('0'))
                      .arg(parts.hour, 2, 10, QLatin1Char('0'))
                      .arg(parts.minute, 2, 10, QLatin1Char('0'))
                      .arg(parts.second, 2, 10, QLatin1Char('0'))
                      .toStdString());
        EXPECT_EQ(Tenths(read.temperatureTenths),
                  FormatFixed(record.temperature, 0, 1, {".", ":"}).toStdString());
        EXPECT_EQ(read.mean, record.mean);
        EXPECT_EQ(read.range, record.range);

        DayRecord other;
        const std::string text = line.toStdString();
        EXPECT_FALSE(dayreader::ParseLine(text.substr(0, random() % text.size()), other));
        std::string changed = text;
        changed[random() % changed.size()] = 'x';
        if (dayreader::ParseLine(changed, other)) {
            EXPECT_EQ(other, read) << changed;
        }
    }
}

TEST(DayFileReader, RandomBytesAreSkippedNotTrusted) {
    std::mt19937 random(7);
    const std::string good = "2009-01-26 15:37:30  21.5    1234 3\r\n";
    for (int i = 0; i < 300; ++i) {
        std::string bytes;
        const std::size_t size = random() % 4000;
        for (std::size_t k = 0; k < size; ++k)
            bytes.push_back(char(random() % 4 == 0 ? good[k % good.size()] : random()));
        const DayFileContents contents = dayreader::Parse(bytes);
        EXPECT_LE(std::size_t(contents.lines), bytes.size() + 1);
        EXPECT_LE(contents.records.size() + std::size_t(contents.skipped),
                  std::size_t(contents.lines));
    }
    // One endless line (no break in 1 MiB) is one skipped line, read once.
    const DayFileContents endless = dayreader::Parse(std::string(1 << 20, 'x'));
    EXPECT_EQ(endless.lines, 1);
    EXPECT_EQ(endless.skipped, 1);
    EXPECT_TRUE(dayreader::Parse("").records.empty());
    // A range the sensor's byte cannot hold was never written by the log (found by fuzzing).
    DayRecord record;
    EXPECT_FALSE(dayreader::ParseLine("2009-01-26 15:37:30  21.5    1234 -3", record));
    EXPECT_FALSE(dayreader::ParseLine("2009-01-26 15:37:30  21.5    1234 256", record));
    EXPECT_TRUE(dayreader::ParseLine("2009-01-26 15:37:30  21.5    1234 255", record));
}

TEST(DayFileReader, ReadsRegularFilesOnly) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("20090126.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // With no writer, a blocking open would wait for ever.
    const dayreader::FileResult fromFifo = dayreader::ReadFile(fifo);
    EXPECT_EQ(fromFifo.status, dayreader::FileStatus::NotRegular);
    EXPECT_TRUE(fromFifo.problem.contains(QStringLiteral("not a regular file")));

    EXPECT_EQ(dayreader::ReadFile(QStringLiteral("/dev/zero")).status,
              dayreader::FileStatus::NotRegular);
    EXPECT_EQ(dayreader::ReadFile(dir.path()).status, dayreader::FileStatus::NotRegular);
    EXPECT_EQ(dayreader::ReadFile(dir.filePath(QStringLiteral("none.txt"))).status,
              dayreader::FileStatus::Missing);

    // A file over 64 MiB (sparse, so the test writes next to nothing) is refused.
    const QString large = dir.filePath(QStringLiteral("20090127.txt"));
    {
        QFile file(large);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(dayreader::kMaxFileSize + 1));
    }
    const dayreader::FileResult fromLarge = dayreader::ReadFile(large);
    EXPECT_EQ(fromLarge.status, dayreader::FileStatus::TooLarge);
    EXPECT_TRUE(fromLarge.problem.contains(QStringLiteral("64 MiB")))
        << fromLarge.problem.toStdString();
    EXPECT_TRUE(fromLarge.contents.records.empty());

    if (::geteuid() != 0) {
        const QString locked = dir.filePath(QStringLiteral("20090128.txt"));
        QFile file(locked);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        file.setPermissions({});
        const dayreader::FileResult fromLocked = dayreader::ReadFile(locked);
        EXPECT_EQ(fromLocked.status, dayreader::FileStatus::Unreadable);
        EXPECT_TRUE(fromLocked.problem.contains(QStringLiteral("Cannot read")));
    }
}

} // namespace
