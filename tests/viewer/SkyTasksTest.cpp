// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's tasks on the sky's figures, run as a user runs them on emulated folders: a
// station calibrated against a reference folder and against a reference's skyglow file
// (the emulated sensors' true zero points known), a calibration refused under broken
// cloud, a month's skyglow file that takes each night's own zero point, and the drift of
// an aging sensor from a year and a half of twilights.
#include "EmulatedNights.h"
#include "LightModel.h"
#include "SkyglowTestReader.h"
#include "ViewerRun.h"
#include "core/astro/SkyTrack.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace {

using Outcome = testsupport::ViewerOutcome;

Outcome View(const QStringList& arguments) {
    return testsupport::RunViewer(QStringLiteral(NOCTURO_VIEW), arguments);
}

bool Describe(const QString& folder, const char* text) {
    QFile file(QDir(folder).filePath(QStringLiteral("station.conf")));
    return file.open(QIODevice::WriteOnly) && file.write(text) == qint64(std::strlen(text));
}

constexpr char kPlace[] = "latitude = 52\nlongitude = 0\ntimezone = UTC\n";
const std::int64_t kNewMoon = DaysFromCivil(2026, 3, 18);

// A station and a reference side by side under the same sky, each with its own folder.
struct SideBySide {
    QTemporaryDir station, reference;
    SideBySide(const CloudModel& clouds, double stationZero, double referenceZero) {
        EXPECT_TRUE(WriteDayFiles(station.path(), EmulateNights(clouds, 1, kNewMoon, stationZero)));
        EXPECT_TRUE(
            WriteDayFiles(reference.path(), EmulateNights(clouds, 1, kNewMoon, referenceZero, 7)));
        EXPECT_TRUE(Describe(station.path(), kPlace));
    }
};

std::optional<double> ZeroPointIn(const QString& output) {
    static const QRegularExpression pattern(QStringLiteral("zero point (\\d+\\.\\d+)"));
    const QRegularExpressionMatch match = pattern.match(output);
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toDouble();
}

} // namespace

TEST(SkyTasks, CalibrationAgainstAReferenceFolderFindsTheTrueZeroPoint) {
    SideBySide sides(CloudModel(Site::Rural, {}), 24.30, 24.55);
    ASSERT_TRUE(Describe(sides.reference.path(), "zero_point = 24.55\n"));
    const Outcome run = View({QStringLiteral("--calibrate"), QStringLiteral("--reference-folder"),
                              sides.reference.path(), QStringLiteral("--night"),
                              QStringLiteral("2026-03-18"), sides.station.path()});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    const std::optional<double> found = ZeroPointIn(run.output);
    ASSERT_TRUE(found) << run.output.toStdString();
    EXPECT_NEAR(*found, 24.30, 0.02);
    EXPECT_TRUE(run.output.contains(QStringLiteral("zero_point = 24.30 from 2026-03-18")))
        << run.output.toStdString();

    // The line pastes into station.conf as it reads zero points (a station.conf that does
    // not read stops the program): the station's month file then has the reference's sky.
    const QString line = run.output.section(u'\n', -2, -2).trimmed();
    ASSERT_TRUE(line.startsWith(QStringLiteral("zero_point = "))) << run.output.toStdString();
    ASSERT_TRUE(Describe(sides.station.path(),
                         (QString::fromLatin1(kPlace) + line + u'\n').toLatin1().constData()));
    ASSERT_TRUE(Describe(sides.reference.path(), "zero_point = 24.55\n"));
    const auto midnightMsas = [](const QString& folder, const QString& out) {
        const Outcome month = View({QStringLiteral("--month"), QStringLiteral("2026-03"),
                                    QStringLiteral("--output"), out, folder});
        EXPECT_EQ(month.status, 0) << month.errors.toStdString();
        QFile file(QDir(out).filePath(QDir(out).entryList({QStringLiteral("*.dat")}).value(0)));
        const skyglowtest::Read read = skyglowtest::ReadSkyglow(
            file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        EXPECT_TRUE(read.error.isEmpty()) << read.error.toStdString();
        double sum = 0;
        int n = 0;
        for (const skyglowtest::Row& row : read.rows)
            if (row.utc.time().hour() == 0) sum += row.msas, ++n;
        return n > 0 ? sum / n : 0.0;
    };
    QTemporaryDir out;
    EXPECT_NEAR(midnightMsas(sides.station.path(), out.filePath(QStringLiteral("s"))),
                midnightMsas(sides.reference.path(), out.filePath(QStringLiteral("r"))), 0.02);

    // The reference's zero point given on the command line instead of its station.conf.
    ASSERT_TRUE(Describe(sides.reference.path(), ""));
    const Outcome given =
        View({QStringLiteral("--calibrate"), QStringLiteral("--reference-folder"),
              sides.reference.path(), QStringLiteral("--reference-zero-point"),
              QStringLiteral("24.55"), QStringLiteral("--nights"), QStringLiteral("2026-03-18"),
              QStringLiteral("2026-03-18"), sides.station.path()});
    ASSERT_EQ(given.status, 0) << given.errors.toStdString();
    EXPECT_NEAR(ZeroPointIn(given.output).value_or(0), 24.30, 0.02);
    // Without any zero point the reference cannot calibrate.
    const Outcome none = View({QStringLiteral("--calibrate"), QStringLiteral("--reference-folder"),
                               sides.reference.path(), QStringLiteral("--night"),
                               QStringLiteral("2026-03-18"), sides.station.path()});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.errors.contains(QStringLiteral("no zero point"))) << none.errors.toStdString();
}

TEST(SkyTasks, CalibrationAgainstAReferencesSkyglowFile) {
    SideBySide sides(CloudModel(Site::Town, {}), 24.80, 24.55);
    ASSERT_TRUE(Describe(sides.reference.path(),
                         "name = reference\nlatitude = 52\nlongitude = 0\ntimezone = UTC\n"
                         "zero_point = 24.55\n"));
    const QString file = sides.reference.filePath(QStringLiteral("reference.dat"));
    const Outcome exported =
        View({QStringLiteral("--export"), file, QStringLiteral("--ida"), QStringLiteral("--night"),
              QStringLiteral("2026-03-18"), sides.reference.path()});
    ASSERT_EQ(exported.status, 0) << exported.errors.toStdString();
    const Outcome run =
        View({QStringLiteral("--calibrate"), QStringLiteral("--reference-skyglow"), file,
              QStringLiteral("--night"), QStringLiteral("2026-03-18"), sides.station.path()});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_NEAR(ZeroPointIn(run.output).value_or(0), 24.80, 0.02) << run.output.toStdString();
}

TEST(SkyTasks, CalibrationRefusedUnderBrokenCloud) {
    // Broken cloud from noon to noon: no minute is steady.
    SideBySide sides(CloudModel(Site::Town, {{12 * 3600.0, 36 * 3600.0 - 1, 0.9, true}}), 24.30,
                     24.55);
    ASSERT_TRUE(Describe(sides.reference.path(), "zero_point = 24.55\n"));
    const Outcome run = View({QStringLiteral("--calibrate"), QStringLiteral("--reference-folder"),
                              sides.reference.path(), QStringLiteral("--night"),
                              QStringLiteral("2026-03-18"), sides.station.path()});
    EXPECT_EQ(run.status, 1) << run.output.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("too few minutes to calibrate on")))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("cloudy or unsteady")))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("30 needed"))) << run.errors.toStdString();
    EXPECT_FALSE(run.output.contains(QStringLiteral("zero_point")));
}

TEST(SkyTasks, MonthFileTakesTheZeroPointOfEachNight) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("roof"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(Describe(folder, "name = roof\nlatitude = 52\nlongitude = 0\ntimezone = UTC\n"
                                 "zero_point = 20.00\nzero_point = 20.50 from 2026-03-15\n"));
    // An hour at 22:00 on four days, two of them outside March.
    for (const auto& [month, day] :
         {std::pair{2, 28}, std::pair{3, 10}, std::pair{3, 20}, std::pair{4, 1}}) {
        QFile file(QDir(folder).filePath(QString::asprintf("2026%02d%02d.txt", month, day)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (int s = 22 * 3600; s < 23 * 3600; ++s)
            file.write(QString::asprintf("2026-%02d-%02d %02d:%02d:%02d  10.0     100 5\r\n", month,
                                         day, s / 3600, s / 60 % 60, s % 60)
                           .toLatin1());
    }
    const QString out = dir.filePath(QStringLiteral("out"));
    const Outcome run = View({QStringLiteral("--month"), QStringLiteral("2026-03"),
                              QStringLiteral("--output"), out, folder});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    QFile written(QDir(out).filePath(QStringLiteral("roof_2026-03.dat")));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << run.output.toStdString();
    const skyglowtest::Read read = skyglowtest::ReadSkyglow(written.readAll());
    ASSERT_TRUE(read.error.isEmpty()) << read.error.toStdString();
    ASSERT_EQ(read.rows.size(), 2u * 3600u);
    EXPECT_EQ(read.rows.front().utc.date(), QDate(2026, 3, 10));
    EXPECT_EQ(read.rows.back().utc.date(), QDate(2026, 3, 20));
    EXPECT_DOUBLE_EQ(read.rows.front().msas, 15.00); // 20.00 - 2.5 log10 100
    EXPECT_DOUBLE_EQ(read.rows.back().msas, 15.50);  // 20.50 from the 15th
    EXPECT_EQ(read.latitude, 52);

    const Outcome wrong = View({QStringLiteral("--month"), QStringLiteral("2026-13"), folder});
    EXPECT_EQ(wrong.status, 2);
    const Outcome empty = View({QStringLiteral("--month"), QStringLiteral("2025-03"),
                                QStringLiteral("--output"), out, folder});
    EXPECT_EQ(empty.status, 2);
    EXPECT_TRUE(empty.errors.contains(QStringLiteral("no lines"))) << empty.errors.toStdString();
}

TEST(SkyTasks, DriftOfAnAgingSensor) {
    // Twilights every fifth evening and morning for a year and a half, the sky at the Sun's
    // altitude h set by the Sun alone (brighter by 0.9 mag a degree above -16°) over a
    // night sky of 21 mag/arcsec², read by a sensor that loses 0.1 mag a year.
    QTemporaryDir dir;
    ASSERT_TRUE(Describe(dir.path(), "latitude = 52\nlongitude = 0\ntimezone = UTC\n"
                                     "zero_point = 24.55\n"));
    const astro::Observer where{52.0, 0.0, 0};
    const std::int64_t first = DaysFromCivil(2025, 1, 1);
    std::map<std::int64_t, QByteArray> days;
    for (std::int64_t night = first; night < first + 548; night += 5) {
        const UtcSeconds start = StartOfDay(night) + 12 * 3600;
        const astro::SkyTrack sky(where, start + 30, 60, 1440);
        const double years = static_cast<double>(night - first) / 365.25;
        const double zero = 24.55 - 0.1 * years;
        for (std::size_t m = 0; m < 1440; ++m) {
            const double h = sky.SunAltitude(m);
            if (h > -4 || h < -16) continue;
            const double twilight = std::pow(10.0, -0.4 * (21.0 - 0.9 * (-h - 16)));
            const double magnitude = -2.5 * std::log10(twilight + std::pow(10.0, -0.4 * 21.0));
            const UtcSeconds t = start + static_cast<UtcSeconds>(m) * 60;
            for (int s = 0; s < 60; s += 2) {
                const double wobble = 1 + 0.004 * std::sin(double(t + s) * 0.7);
                const long count = std::lround(std::pow(10.0, 0.4 * (zero - magnitude)) * wobble);
                const std::int64_t day = DayOf(t + s);
                const CivilDate date = CivilFromDays(day);
                const int of = static_cast<int>(t + s - StartOfDay(day));
                days[day] +=
                    QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d  10.0 %7ld 5\r\n", date.year,
                                      date.month, date.day, of / 3600, of / 60 % 60, of % 60, count)
                        .toLatin1();
            }
        }
    }
    for (const auto& [day, text] : days) {
        const CivilDate date = CivilFromDays(day);
        QFile file(
            dir.filePath(QString::asprintf("%04d%02d%02d.txt", date.year, date.month, date.day)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    const QString csv = dir.filePath(QStringLiteral("drift.csv"));
    const Outcome run =
        View({QStringLiteral("--drift"), QStringLiteral("--output"), csv, dir.path()});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    ASSERT_EQ(rows.front(), "month,sun_altitude,magnitude,twilights,trend_mag_per_year");
    std::map<double, double> trends;
    int months = 0;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const QList<QByteArray> f = rows[i].split(',');
        if (f.size() != 5) continue;
        ++months;
        trends[f[1].toDouble()] = f[4].toDouble();
    }
    EXPECT_GE(months, 3 * 15);
    ASSERT_EQ(trends.size(), 3u);
    for (const auto& [altitude, trend] : trends)
        EXPECT_NEAR(trend, 0.1, 0.02) << "at " << altitude << "°";
    static const QRegularExpression overall(QStringLiteral("Drift: \\+(0\\.\\d+) mag a year"));
    const QRegularExpressionMatch said = overall.match(run.output);
    ASSERT_TRUE(said.hasMatch()) << run.output.toStdString();
    EXPECT_NEAR(said.captured(1).toDouble(), 0.1, 0.02);

    const QString png = dir.filePath(QStringLiteral("drift.png"));
    const Outcome picture =
        View({QStringLiteral("--drift"), QStringLiteral("--output"), png, dir.path()});
    ASSERT_EQ(picture.status, 0) << picture.errors.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(1200, 800));
}

TEST(SkyTasks, WrongCommandLines) {
    QTemporaryDir dir;
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--calibrate"), dir.path()},
          QStringList{QStringLiteral("--calibrate"), QStringLiteral("--reference-station"),
                      QStringLiteral("ref"), QStringLiteral("--reference-zero-point"),
                      QStringLiteral("20"), dir.path()},
          QStringList{QStringLiteral("--calibrate"), QStringLiteral("--reference-folder"),
                      dir.filePath(QStringLiteral("missing")), dir.path()},
          QStringList{QStringLiteral("--reference-zero-point"), QStringLiteral("20"), dir.path()},
          QStringList{QStringLiteral("--drift"), QStringLiteral("--output"),
                      QStringLiteral("x.svg"), dir.path()},
          QStringList{QStringLiteral("--drift"), QStringLiteral("--month"),
                      QStringLiteral("2026-03"), dir.path()}}) {
        const Outcome run = View(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(u' ').toStdString();
        EXPECT_FALSE(run.errors.isEmpty());
    }
}
