// SPDX-License-Identifier: GPL-3.0-or-later
// station.conf as an operator writes it: good files, the defaults, and the errors that
// must name the key, the file and the line.
#include "core/station/StationDescription.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

StationDescription Parse(const char* text) {
    return stationdescription::Parse(QByteArray(text), QStringLiteral("station.conf"));
}

std::string ErrorOf(const char* text) {
    try {
        Parse(text);
    } catch (const StationDescriptionError& error) {
        return error.what();
    }
    return "no error";
}

} // namespace

TEST(StationDescription, ReadsEveryKeyWithCommentsAndSpaces) {
    const StationDescription d = Parse("# the roof\n"
                                       "name = roof-2_a   # on the network\n"
                                       "\n"
                                       "  latitude=48.2\r\n"
                                       "longitude = -16.375\n"
                                       "elevation = 180\n"
                                       "timezone = Europe/Vienna\n"
                                       "zero_point = 20.51\n");
    EXPECT_EQ(d.name, QStringLiteral("roof-2_a"));
    EXPECT_DOUBLE_EQ(*d.latitude, 48.2);
    EXPECT_DOUBLE_EQ(*d.longitude, -16.375);
    EXPECT_DOUBLE_EQ(*d.elevation, 180);
    EXPECT_TRUE(d.HasPosition());
    EXPECT_EQ(d.TimeZone().id(), QByteArray("Europe/Vienna"));
    EXPECT_DOUBLE_EQ(*d.zeroPoints.Latest(), 20.51);
}

TEST(StationDescription, DefaultsWithoutAFileOrKeys) {
    QTemporaryDir dir;
    const StationDescription d = stationdescription::Load(dir.path());
    EXPECT_EQ(d.name, stationdescription::DefaultName());
    EXPECT_TRUE(stationdescription::ValidName(d.name));
    EXPECT_FALSE(d.HasPosition());
    EXPECT_FALSE(d.zeroPoints.Latest().has_value());
    EXPECT_EQ(d.TimeZone(), QTimeZone::systemTimeZone());
    EXPECT_FALSE(Parse("latitude = 10\n").HasPosition());
}

TEST(StationDescription, WrongValuesNameKeyFileAndLine) {
    EXPECT_EQ(ErrorOf("\nname = Roof\n"),
              "station.conf, line 2: name = \"Roof\" must be 1 to 64 of a-z 0-9 _ -");
    EXPECT_EQ(ErrorOf("latitude = north\n"),
              "station.conf, line 1: latitude = \"north\" is not a number");
    EXPECT_EQ(ErrorOf("longitude = 181\n"),
              "station.conf, line 1: longitude = 181 is outside -180 to 180");
    EXPECT_EQ(ErrorOf("latitude = nan\n"),
              "station.conf, line 1: latitude = \"nan\" is not a number");
    EXPECT_EQ(ErrorOf("timezone = Mars/Olympus\n"),
              "station.conf, line 1: timezone = \"Mars/Olympus\" is not a known time zone");
    EXPECT_EQ(ErrorOf("altitude = 3\n"), "station.conf, line 1: unknown key \"altitude\"");
    EXPECT_EQ(ErrorOf("name roof\n"), "station.conf, line 1: \"name roof\" is not key = value");
    EXPECT_NE(ErrorOf((QByteArray("name = ") + QByteArray(65, 'a') + "\n").constData()),
              "no error");
}

// The free values of the skyglow archives' header: read as written, empty when not given,
// refused when too long for a header line.
TEST(StationDescription, SkyglowHeaderValues) {
    const StationDescription d = Parse("data_supplier = Jane Doe, Observatory\n"
                                       "location_name = Wien, roof\n"
                                       "instrument_id = roof-1\n"
                                       "time_synchronization = NTP\n"
                                       "filter = none\n"
                                       "look_direction = 0, 0\n"
                                       "field_of_view = 20\n"
                                       "data_licence = CC BY 4.0\n"
                                       "comment = on a mast\n");
    EXPECT_EQ(d.skyglow.dataSupplier, QStringLiteral("Jane Doe, Observatory"));
    EXPECT_EQ(d.skyglow.locationName, QStringLiteral("Wien, roof"));
    EXPECT_EQ(d.skyglow.instrumentId, QStringLiteral("roof-1"));
    EXPECT_EQ(d.skyglow.timeSynchronization, QStringLiteral("NTP"));
    EXPECT_EQ(d.skyglow.filter, QStringLiteral("none"));
    EXPECT_EQ(d.skyglow.lookDirection, QStringLiteral("0, 0"));
    EXPECT_EQ(d.skyglow.fieldOfView, QStringLiteral("20"));
    EXPECT_EQ(d.skyglow.dataLicence, QStringLiteral("CC BY 4.0"));
    EXPECT_EQ(d.skyglow.comment, QStringLiteral("on a mast"));
    EXPECT_EQ(Parse("").skyglow, StationDescription::Skyglow());
    EXPECT_EQ(ErrorOf((QByteArray("comment = ") + QByteArray(101, 'a') + "\n").constData()),
              "station.conf, line 1: comment is longer than 100 characters");
}

TEST(StationDescription, LoadsFromTheDataDirectoryAndRefusesWhatIsNotAFile) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("station.conf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("name = hill\nlatitude = 1.5\n");
    file.close();
    EXPECT_EQ(stationdescription::Load(dir.path()).name, QStringLiteral("hill"));

    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    try {
        stationdescription::Load(dir.path()); // must not wait for a writer
        FAIL() << "a FIFO was read as a station description";
    } catch (const StationDescriptionError& error) {
        EXPECT_NE(std::string(error.what()).find("not a regular file"), std::string::npos);
    }
}

TEST(StationDescription, NamesAreCleanedFromHostNames) {
    EXPECT_EQ(stationdescription::CleanName(QStringLiteral("Roof.Example.org")),
              QStringLiteral("roof-example-org"));
    EXPECT_EQ(stationdescription::CleanName(QStringLiteral("..")), QStringLiteral("station"));
    EXPECT_EQ(stationdescription::CleanName(QString(100, u'x')).size(), 64);
}

// Every zone of the tz database, not only those QTimeZone lists as available.
TEST(StationDescription, TakesEveryZoneOfTheTzDatabase) {
    for (const char* zone : {"CET", "GMT", "Etc/GMT-14", "UTC", "EST5EDT", "Pacific/Fiji"}) {
        const StationDescription d = Parse(QByteArray("timezone = ") + zone + "\n");
        EXPECT_EQ(d.TimeZone().id(), QByteArray(zone)) << zone;
        EXPECT_TRUE(d.TimeZone().isValid()) << zone;
    }
    EXPECT_EQ(
        Parse("timezone = Etc/GMT-14\n").TimeZone().offsetFromUtc(QDateTime::currentDateTimeUtc()),
        14 * 3600);
}

// Zero points that change on a date: an undated one before the first date, each dated one
// from the night of its date (12:00 of the station's clock), a temperature coefficient.
TEST(StationDescription, ZeroPointsThatChangeOnADate) {
    const StationDescription d =
        Parse("zero_point = 20.50\n"
              "zero_point = 20.58 from 2026-03-01 per_degree -0.004 at 15  # cleaned\n"
              "zero_point = 20.62 from 2025-06-14\n");
    const sky::ZeroPoints& z = d.zeroPoints;
    ASSERT_EQ(z.Points().size(), 3u);
    const WallSeconds june14 = StartOfDay(DaysFromCivil(2025, 6, 14));
    EXPECT_DOUBLE_EQ(*z.ValueAt(june14 - 1, 10), 20.50);
    EXPECT_DOUBLE_EQ(*z.ValueAt(june14 + 11 * 3600, 10), 20.50); // still the night before
    EXPECT_DOUBLE_EQ(*z.ValueAt(june14 + 12 * 3600, 10), 20.62);
    const WallSeconds march2 = StartOfDay(DaysFromCivil(2026, 3, 2));
    EXPECT_DOUBLE_EQ(*z.ValueAt(march2 + 3600, 15), 20.58); // the morning after its first night
    EXPECT_NEAR(*z.ValueAt(march2 + 3600, 5), 20.58 + 0.04, 1e-12);
    EXPECT_DOUBLE_EQ(*z.ValueAt(march2, std::nullopt), 20.58); // temperature failed
    EXPECT_DOUBLE_EQ(*z.Latest(), 20.58);
    EXPECT_NEAR(*z.MagnitudeOf(DayRecord{march2, 100, -2731, 5}), 20.58 - 5, 1e-12);
    EXPECT_NEAR(*z.MagnitudeOf(DayRecord{march2, 100, 50, 5}), 20.62 - 5, 1e-12);
    EXPECT_FALSE(z.MagnitudeOf(DayRecord{march2, 100, -2731, 0}));
    EXPECT_FALSE(z.MagnitudeOf(DayRecord{march2, 0, 50, 5}));

    // Only dated ones: no magnitude before the first.
    const sky::ZeroPoints dated = Parse("zero_point = 19.9 from 2026-01-01\n").zeroPoints;
    EXPECT_FALSE(dated.ValueAt(StartOfDay(DaysFromCivil(2026, 1, 1)), 10));
    EXPECT_TRUE(dated.ValueAt(StartOfDay(DaysFromCivil(2026, 1, 1)) + 12 * 3600, 10));

    // An older file's one zero point holds always; a second undated one replaces it.
    EXPECT_DOUBLE_EQ(*Parse("zero_point = 20\nzero_point = 21\n").zeroPoints.ValueAt(0, 3), 21);

    EXPECT_EQ(ErrorOf("zero_point = 20 from 2026-02-30\n"),
              "station.conf, line 1: zero_point: \"2026-02-30\" is not a date YYYY-MM-DD");
    EXPECT_EQ(ErrorOf("zero_point = 20 from 2026-01-01\nzero_point = 21 from 2026-01-01\n"),
              "station.conf, line 2: zero_point: a second one from 2026-01-01");
    EXPECT_EQ(ErrorOf("zero_point = bright\n"),
              "station.conf, line 1: zero_point: \"bright\" is not a zero point from -100 to 100");
    EXPECT_EQ(ErrorOf("zero_point = 20 per_degree 5 at 15\n"),
              "station.conf, line 1: zero_point: per_degree \"5\" is not mag per °C from -1 to 1");
    EXPECT_EQ(ErrorOf("zero_point = 20 since 2026-01-01\n"),
              "station.conf, line 1: zero_point: \"20 since 2026-01-01\" is not VALUE [from "
              "YYYY-MM-DD] [per_degree K at CELSIUS]");
}
