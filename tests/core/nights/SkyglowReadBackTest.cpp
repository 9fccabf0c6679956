// SPDX-License-Identifier: GPL-3.0-or-later
// Skyglow files of every case that other programs refused or misread, read back by a
// strict reader of the format: with and without a zero point, counts of 0, no position,
// seconds whose temperature failed, the tz database's less common zones, zero points that
// change within the file, and a header value too long for its line.
#include "SkyglowTestReader.h"
#include "core/nights/SkyglowFile.h"
#include "core/nights/SkyglowReader.h"
#include "core/station/StationDescription.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

WallSeconds Wall(int year, int month, int day, int hour, int minute, int second = 0) {
    return StartOfDay(DaysFromCivil(year, month, day)) + hour * 3600 + minute * 60 + second;
}

// Two minutes around midnight of 14 to 15 January 2026: light, a count of 0, a failed
// temperature, a second without light.
std::vector<DayRecord> Lines() {
    std::vector<DayRecord> lines;
    for (WallSeconds t = Wall(2026, 1, 14, 23, 59); t < Wall(2026, 1, 15, 0, 1); ++t)
        lines.push_back({t, 100, -25, 5});
    lines[10].mean = 0;                        // darker than the sensor tells
    lines[20].temperatureTenths = -2731;       // temperature failed, light read
    lines[30] = {lines[30].time, 0, -2731, 0}; // no light
    return lines;
}

StationDescription Station(const char* conf) {
    return stationdescription::Parse(conf, QStringLiteral("station.conf"));
}

skyglowtest::Read ReadBack(const StationDescription& station) {
    return skyglowtest::ReadSkyglow(skyglow::File(Lines(), station, QStringLiteral("1.0")));
}

} // namespace

TEST(SkyglowReadBack, EveryCaseReads) {
    const char* zones[] = {"Europe/Vienna", "CET", "GMT", "Etc/GMT-14"};
    for (const char* zone : zones) {
        for (const bool position : {true, false}) {
            for (const bool zeroPoint : {true, false}) {
                QByteArray conf = QByteArray("timezone = ") + zone + "\n";
                if (position) conf += "latitude = 48.2\nlongitude = 16.4\n";
                if (zeroPoint) conf += "zero_point = 20.5\n";
                const StationDescription station = Station(conf.constData());
                const skyglowtest::Read read = ReadBack(station);
                const QString what = QStringLiteral("%1, position %2, zero point %3")
                                         .arg(QLatin1String(zone))
                                         .arg(position)
                                         .arg(zeroPoint);
                ASSERT_TRUE(read.error.isEmpty()) << qPrintable(what + ": " + read.error);
                EXPECT_EQ(read.fields, 6);
                EXPECT_EQ(read.header.value(QStringLiteral("Local timezone")), QLatin1String(zone));
                // No light lost: only the second without light is left out.
                ASSERT_EQ(read.rows.size(), 119u) << qPrintable(what);
                const skyglowtest::Row& first = read.rows.front();
                const qint64 offset = QTimeZone(zone).offsetFromUtc(first.utc);
                QDateTime local = first.local;
                local.setTimeSpec(Qt::UTC);
                EXPECT_EQ(first.utc.secsTo(local), offset) << qPrintable(what);
                if (position) {
                    EXPECT_DOUBLE_EQ(read.latitude, 48.2);
                    EXPECT_DOUBLE_EQ(read.longitude, 16.4);
                    EXPECT_DOUBLE_EQ(read.elevation, 0);
                } else {
                    EXPECT_EQ(read.latitude, 0);
                    EXPECT_EQ(read.longitude, 0);
                    EXPECT_TRUE(read.header.values(QStringLiteral("Comment"))
                                    .contains(QStringLiteral("position unknown, written 0, 0, 0")));
                }
                EXPECT_EQ(read.rows[0].msas, zeroPoint ? 15.5 : 0.0);
                EXPECT_EQ(read.rows[10].counts, 0);
                EXPECT_EQ(read.rows[10].msas, zeroPoint ? 20.5 : 0.0); // one count's magnitude
                EXPECT_EQ(read.rows[20].temperature, -273.1);
                EXPECT_EQ(read.rows[20].counts, 100);
                EXPECT_EQ(read.rows[20].msas, zeroPoint ? 15.5 : 0.0);
            }
        }
    }
}

// Zero points that change: each line takes the one of its own night.
TEST(SkyglowReadBack, EachLineTakesTheZeroPointOfItsDate) {
    const StationDescription station = Station("timezone = UTC\nlatitude = 1\nlongitude = 2\n"
                                               "zero_point = 20.0\n"
                                               "zero_point = 21.0 from 2026-01-15 per_degree "
                                               "0.01 at 10\n");
    std::vector<DayRecord> lines{{Wall(2026, 1, 15, 11, 59, 59), 100, 50, 5},
                                 {Wall(2026, 1, 15, 12, 0), 100, 50, 5},
                                 {Wall(2026, 1, 15, 12, 0, 1), 100, -2731, 5}};
    const skyglowtest::Read read =
        skyglowtest::ReadSkyglow(skyglow::File(lines, station, QStringLiteral("1.0")));
    ASSERT_TRUE(read.error.isEmpty()) << qPrintable(read.error);
    ASSERT_EQ(read.rows.size(), 3u);
    EXPECT_DOUBLE_EQ(read.rows[0].msas, 15.0);
    EXPECT_DOUBLE_EQ(read.rows[1].msas, 15.95); // 21 + 0.01 × (5 - 10) - 5
    EXPECT_DOUBLE_EQ(read.rows[2].msas, 16.0);  // temperature failed: the reference's
    EXPECT_TRUE(
        read.header.value(QStringLiteral("Zero point (MSAS = zero point - 2.5 log10 counts)"))
            .contains(QStringLiteral("21.00 from 2026-01-15")));
}

// A header value that would make its line longer than 150 characters is refused, with a
// message that names the line; no file is written, nothing is cut.
TEST(SkyglowReadBack, AValueTooLongForItsLineIsRefused) {
    StationDescription station = Station("latitude = 1\nlongitude = 2\n");
    station.skyglow.dataLicence = QString(98, u'y'); // 151 characters with its key
    EXPECT_THROW(skyglow::File(Lines(), station, QStringLiteral("1.0")), skyglow::HeaderError);
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("night.dat"));
    QString error;
    EXPECT_FALSE(skyglow::Write(path, Lines(), station, QStringLiteral("1.0"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("This data is released under the following license")))
        << qPrintable(error);
    EXPECT_TRUE(error.contains(QStringLiteral("151"))) << qPrintable(error);
    EXPECT_FALSE(QFile::exists(path));

    station.skyglow.dataLicence = QString(97, u'y');
    EXPECT_TRUE(skyglow::Write(path, Lines(), station, QStringLiteral("1.0"), &error))
        << qPrintable(error);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const skyglowtest::Read read = skyglowtest::ReadSkyglow(file.readAll());
    EXPECT_TRUE(read.error.isEmpty()) << qPrintable(read.error);
    EXPECT_EQ(
        read.header.value(QStringLiteral("This data is released under the following license")),
        QString(97, u'y'));
}
