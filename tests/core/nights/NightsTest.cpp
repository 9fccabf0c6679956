// SPDX-License-Identifier: GPL-3.0-or-later
// Figures of synthetic nights whose answers are known, and a night in the skyglow
// archives' format across the end of daylight saving.
#include "core/astro/SpanSky.h"
#include "core/nights/Magnitude.h"
#include "core/nights/NightFigures.h"
#include "core/nights/SkyglowFile.h"
#include "core/station/StationDescription.h"

#include <QList>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>

namespace {

const astro::Observer kVienna{48.2, 16.4, 180};
const QTimeZone kViennaZone("Europe/Vienna");

WallSeconds Wall(int year, int month, int day, int hour, int minute, int second = 0) {
    return StartOfDay(DaysFromCivil(year, month, day)) + hour * 3600 + minute * 60 + second;
}

// Counts of a night at the station, by the wall clock: bright while the Sun is up (not
// astronomical night), 100 from 19:00 to 05:00 with 40 from 23:00 to 01:00 and a darkest
// minute of 30 at 02:00, 200 in the rest of the dark.
std::vector<DayRecord> SyntheticNight(const TimeSpan& night) {
    const astro::SpanSky sky(kVienna, kViennaZone, night.from, night.to);
    std::vector<DayRecord> lines;
    const WallSeconds evening = night.from - 12 * 3600; // the evening's midnight
    for (WallSeconds t = night.from; t < night.to; ++t) {
        const std::size_t minute =
            static_cast<std::size_t>((sky.Clock().UtcOf(t) - sky.Track().Start()) / 60);
        const bool dark = sky.Track().SunAltitude(minute) < -18;
        const WallSeconds s = t - evening; // seconds since the evening's midnight
        std::int32_t mean = 50000;
        if (dark) mean = 200;
        if (dark && s >= 19 * 3600 && s < 29 * 3600) mean = 100;
        if (s >= 23 * 3600 && s < 25 * 3600) mean = 40;
        if (s >= 26 * 3600 && s < 26 * 3600 + 60) mean = 30;
        if (s >= 21 * 3600 && s < 21 * 3600 + 600) continue; // ten minutes without lines
        const bool failed = s >= 27 * 3600 && s < 27 * 3600 + 30;
        lines.push_back(failed ? DayRecord{t, 0, -2731, 0} : DayRecord{t, mean, 55, 5});
    }
    return lines;
}

} // namespace

// New moon of 18 January 2026: the Moon stays down through the astronomical night.
TEST(NightFigures, MoonlessNightWithKnownCounts) {
    const TimeSpan night = TimeSpan::Of(SpanKind::Night, DaysFromCivil(2026, 1, 18));
    const NightFigures f =
        FigureNight(night, SyntheticNight(night), kVienna, kViennaZone, sky::ZeroPoints(20.0));

    // Darkness lasts from the end of astronomical dusk to the dawn.
    const astro::SpanSky sky(kVienna, kViennaZone, night.from, night.to);
    double dusk = 0, dawn = 0;
    for (const astro::WallEvent& e : sky.Events()) {
        if (e.kind == astro::SkyEventKind::AstronomicalDusk) dusk = e.utc;
        if (e.kind == astro::SkyEventKind::AstronomicalDawn) dawn = e.utc;
    }
    EXPECT_NEAR(f.darkMinutes, (dawn - dusk) / 60, 1.0);
    EXPECT_GT(f.darkMinutes, 650); // over eleven hours in a Vienna January
    EXPECT_EQ(f.darkMoonlessMinutes, f.darkMinutes);
    EXPECT_EQ(f.measuredMinutes, f.darkMoonlessMinutes - 10);
    EXPECT_EQ(f.seconds, 86400);

    EXPECT_DOUBLE_EQ(f.medianCount.value(), 100);
    EXPECT_DOUBLE_EQ(f.p10Count.value(), 40);
    EXPECT_DOUBLE_EQ(f.p90Count.value(), 200);
    EXPECT_EQ(f.darkestMinute.value(), Wall(2026, 1, 19, 2, 0));
    EXPECT_DOUBLE_EQ(f.darkestCount, 30);
    EXPECT_NEAR(f.medianMagnitude.value(), 15.0, 1e-9);
    EXPECT_NEAR(f.p10Magnitude.value(), 20 - 2.5 * std::log10(200.0), 1e-9);
    EXPECT_NEAR(f.p90Magnitude.value(), 20 - 2.5 * std::log10(40.0), 1e-9);
    EXPECT_NEAR(f.darkestMagnitude.value(), 20 - 2.5 * std::log10(30.0), 1e-9);
    EXPECT_EQ(f.secondsWithoutLine, 600);
    EXPECT_EQ(f.failedSeconds, 30);

    const QList<QByteArray> csv = NightFiguresCsv({f}, true).split('\n');
    ASSERT_EQ(csv.size(), 3);
    EXPECT_TRUE(csv[0].startsWith("night,dark_minutes,dark_moonless_minutes,measured_minutes,"));
    EXPECT_TRUE(csv[1].startsWith("2026-01-18," + QByteArray::number(f.darkMinutes)));
    EXPECT_TRUE(
        csv[1].contains(",100.0,40.0,200.0,2026-01-19T02:00,30.0,15.00,14.25,15.99,16.31,600,30\r"))
        << csv[1].constData();
}

// Full moon of 3 January 2026: the Moon is up all through the dark, nothing to measure.
TEST(NightFigures, MoonlitNightHasNoMoonlessMinutes) {
    const TimeSpan night = TimeSpan::Of(SpanKind::Night, DaysFromCivil(2026, 1, 3));
    const NightFigures f =
        FigureNight(night, SyntheticNight(night), kVienna, kViennaZone, sky::ZeroPoints());
    EXPECT_GT(f.darkMinutes, 650);
    EXPECT_EQ(f.darkMoonlessMinutes, 0);
    EXPECT_FALSE(f.medianCount);
    EXPECT_FALSE(f.darkestMinute);
    const QList<QByteArray> csv = NightFiguresCsv({f}, false).split('\n');
    EXPECT_EQ(csv[1], "2026-01-03," + QByteArray::number(f.darkMinutes) + ",0,0,,,,,,600,30\r");
}

TEST(Magnitude, UndefinedForNothingAndForFailures) {
    EXPECT_NEAR(MagnitudeOf(100.0, 20.0).value(), 15.0, 1e-12);
    EXPECT_FALSE(MagnitudeOf(0.0, 20.0));
    EXPECT_FALSE(MagnitudeOf(DayRecord{0, 100, -2731, 0}, 20.0));
}

// The night of the end of daylight saving in Vienna (25 October 2026, 03:00 CEST becomes
// 02:00 CET): the station's clock wrote 02:00 to 02:59 twice.
TEST(SkyglowFile, NightAcrossTheEndOfDaylightSaving) {
    StationDescription station;
    station.name = QStringLiteral("roof");
    station.latitude = 48.2;
    station.longitude = 16.4;
    station.elevation = 180;
    station.timezone = QStringLiteral("Europe/Vienna");
    station.zeroPoints = sky::ZeroPoints(20.5);
    station.skyglow.locationName = QStringLiteral("Wien, Dach der Sternwarte, Höhe über alles");
    station.skyglow.dataSupplier = QString(100, u'x');
    // "# This data is released under the following license: " and 97 more: 150 in all.
    station.skyglow.dataLicence = QString(97, u'y');

    std::vector<DayRecord> lines;
    for (WallSeconds t = Wall(2026, 10, 24, 12, 0); t < Wall(2026, 10, 25, 12, 0); ++t) {
        const bool repeated = t >= Wall(2026, 10, 25, 2, 0) && t < Wall(2026, 10, 25, 3, 0);
        const bool failed = t >= Wall(2026, 10, 25, 4, 0) && t < Wall(2026, 10, 25, 4, 0, 10);
        const DayRecord line = failed ? DayRecord{t, 0, -2731, 0} : DayRecord{t, 100, -25, 4};
        lines.push_back(line);
        if (repeated) lines.push_back({t, 0, -25, 5}); // the second pass, in file order
    }
    const QByteArray file = skyglow::File(lines, station, QStringLiteral("1.2.3"));

    EXPECT_FALSE(file.contains('\t'));
    for (const char c : file)
        ASSERT_TRUE(static_cast<unsigned char>(c) < 0x80);
    ASSERT_TRUE(file.endsWith("\r\n"));
    QList<QByteArray> rows = file.split('\n');
    rows.removeLast();
    for (const QByteArray& row : rows)
        ASSERT_TRUE(row.endsWith('\r'));
    ASSERT_GT(rows.size(), 35);
    for (int i = 0; i < 35; ++i) {
        EXPECT_TRUE(rows[i].startsWith("# ")) << i;
        EXPECT_LE(rows[i].size() - 1, 150) << i;
    }
    EXPECT_EQ(rows[0], "# Definition of the community standard for skyglow observations 1.0\r");
    EXPECT_EQ(rows[2], "# Number of header lines: 35\r");
    EXPECT_EQ(rows[7], "# Location name: Wien, Dach der Sternwarte, Hohe uber alles\r");
    EXPECT_EQ(rows[8], "# Position (lat, lon, elev(m)): 48.2, 16.4, 180\r");
    EXPECT_EQ(rows[9], "# Local timezone: Europe/Vienna\r");
    EXPECT_EQ(rows[34], "# END OF HEADER\r");
    const QRegularExpression fieldsLine(QStringLiteral("^# Number of fields per line: (\\d+)\r$"));
    int fields = 0;
    for (int i = 0; i < 35; ++i)
        if (auto m = fieldsLine.match(QString::fromLatin1(rows[i])); m.hasMatch())
            fields = m.captured(1).toInt();
    EXPECT_EQ(fields, 6);

    // 25 hours of seconds, less the ten failed ones, in order of UTC, one second apart
    // but for the failed ones; local time two hours ahead, then one.
    ASSERT_EQ(rows.size() - 35, 25 * 3600 - 10);
    QDateTime previous;
    for (qsizetype i = 35; i < rows.size(); ++i) {
        const QList<QByteArray> f = rows[i].chopped(1).split(';');
        ASSERT_EQ(f.size(), fields) << rows[i].constData();
        const QDateTime utc = QDateTime::fromString(QString::fromLatin1(f[0]), Qt::ISODateWithMs);
        QDateTime local = QDateTime::fromString(QString::fromLatin1(f[1]), Qt::ISODateWithMs);
        ASSERT_TRUE(utc.isValid() && local.isValid()) << rows[i].constData();
        local.setTimeSpec(Qt::UTC);
        const qint64 offset = utc.secsTo(local);
        EXPECT_EQ(offset, utc < QDateTime(QDate(2026, 10, 25), QTime(1, 0), Qt::UTC) ? 7200 : 3600);
        if (previous.isValid() && previous.secsTo(utc) != 1) {
            EXPECT_EQ(f[0], "2026-10-25T03:00:10.000"); // after the failed seconds
        }
        previous = utc;
        EXPECT_EQ(f[2], "-2.5");
        // A count of 0 is darker than the sensor tells: the magnitude of one count.
        EXPECT_EQ(f[5], f[3] == "0" ? QByteArray("20.50") : QByteArray("15.50"));
    }
    EXPECT_EQ(rows[35], "2026-10-24T10:00:00.000;2026-10-24T12:00:00.000;-2.5;100;4;15.50\r");

    // Without a zero point there is no magnitude, but the same six fields: readers take
    // every field as a number.
    station.zeroPoints = sky::ZeroPoints();
    const QByteArray plain = skyglow::File(lines, station, QStringLiteral("1.2.3"));
    EXPECT_TRUE(plain.contains("# Number of fields per line: 6\r\n"));
    EXPECT_TRUE(
        plain.contains("\r\n2026-10-24T10:00:00.000;2026-10-24T12:00:00.000;-2.5;100;4;0.00\r\n"));
}
