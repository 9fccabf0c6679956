// SPDX-License-Identifier: GPL-3.0-or-later
// The sky's tasks on the network's archive, against a PostgreSQL server of the test's own
// holding a night of two emulated stations side by side: one calibrated against the
// other, and a month's skyglow file written for each station.
#include "EmulatedNights.h"
#include "PostgresServer.h"
#include "SkyglowTestReader.h"
#include "ViewerRun.h"
#include "archive/ArchiveSchema.h"
#include "archive/PgConnection.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Outcome = testsupport::ViewerOutcome;

Outcome View(const QStringList& arguments) {
    return testsupport::RunViewer(QStringLiteral(NOCTURO_VIEW), arguments);
}

// The stations' clocks are on UTC: a line's UTC is its wall time.
bool Copy(PgConnection& connection, const QString& station, const std::vector<DayRecord>& lines) {
    QByteArray rows;
    for (const DayRecord& r : lines)
        rows += station.toUtf8() + '\t' + IsoWallTime(r.time).toLatin1() + "+00\t" +
                IsoWallTime(r.time).toLatin1() + '\t' + QByteArray::number(r.temperatureTenths) +
                '\t' + QByteArray::number(r.mean) + '\t' + QByteArray::number(r.range) + '\n';
    return connection.Copy(QStringLiteral("COPY readings (station, utc, local, temperature_tenths, "
                                          "mean_count, range) FROM STDIN"),
                           rows);
}

} // namespace

TEST(SkyTasksArchive, CalibratesOneStationAgainstAnotherAndWritesTheirMonths) {
    testsupport::PostgresServer server;
    PgConnection connection;
    const std::int64_t night = DaysFromCivil(2026, 3, 18);
    ASSERT_TRUE(server.Ok()) << server.Error().toStdString();
    ASSERT_TRUE(connection.Open(server.Url()) && archiveschema::Create(connection));
    for (const std::int64_t day : {night, night + 1})
        ASSERT_TRUE(
            archiveschema::EnsureMonth(connection, archiveschema::MonthOf(StartOfDay(day))));
    const CloudModel clear(Site::Rural, {});
    ASSERT_TRUE(Copy(connection, QStringLiteral("roof"),
                     EmulateNights(clear, 1, night, 24.10, 11).front().lines));
    ASSERT_TRUE(Copy(connection, QStringLiteral("mast"),
                     EmulateNights(clear, 1, night, 24.55, 12).front().lines));
    ASSERT_TRUE(server.Sql(QStringLiteral("INSERT INTO stations (name, online, link_up, hint, "
                                          "last_reading) SELECT station, true, true, 'ok', "
                                          "max(utc) FROM readings GROUP BY station")));

    const QStringList place{QStringLiteral("--archive"), server.Url(), QStringLiteral("--location"),
                            QStringLiteral("52,0")};
    const Outcome calibrated = View(
        QStringList(place) << QStringLiteral("--station") << QStringLiteral("roof")
                           << QStringLiteral("--calibrate") << QStringLiteral("--reference-station")
                           << QStringLiteral("mast") << QStringLiteral("--reference-zero-point")
                           << QStringLiteral("24.55") << QStringLiteral("--night")
                           << QStringLiteral("2026-03-18"));
    ASSERT_EQ(calibrated.status, 0) << calibrated.errors.toStdString();
    static const QRegularExpression found(QStringLiteral("zero point (\\d+\\.\\d+)"));
    const QRegularExpressionMatch match = found.match(calibrated.output);
    ASSERT_TRUE(match.hasMatch()) << calibrated.output.toStdString();
    EXPECT_NEAR(match.captured(1).toDouble(), 24.10, 0.02);
    EXPECT_TRUE(calibrated.output.contains(QStringLiteral("zero_point = 24.10 from 2026-03-18")));

    const Outcome unknown = View(
        QStringList(place) << QStringLiteral("--calibrate") << QStringLiteral("--reference-station")
                           << QStringLiteral("nowhere") << QStringLiteral("--reference-zero-point")
                           << QStringLiteral("20"));
    EXPECT_EQ(unknown.status, 2);

    QTemporaryDir out;
    const Outcome month =
        View(QStringList(place) << QStringLiteral("--month") << QStringLiteral("2026-03")
                                << QStringLiteral("--output") << out.path());
    ASSERT_EQ(month.status, 0) << month.errors.toStdString();
    for (const char* name : {"roof_2026-03.dat", "mast_2026-03.dat"}) {
        QFile file(out.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name << month.output.toStdString();
        const skyglowtest::Read read = skyglowtest::ReadSkyglow(file.readAll());
        EXPECT_TRUE(read.error.isEmpty()) << read.error.toStdString();
        EXPECT_EQ(read.rows.size(), 86400u) << name; // the night, 12:00 to 12:00 in March
        EXPECT_EQ(read.latitude, 52);
    }
}
