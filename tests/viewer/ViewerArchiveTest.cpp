// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer on the network's archive, against a PostgreSQL server of the test's own
// holding the lines of two stations' day files: the program's exports from the archive
// equal its exports from the day files, several stations share one picture with a legend,
// the window lists stations and days, follows the archive as it grows, and shows every
// station's health.
#include "DayFiles.h"
#include "PostgresServer.h"
#include "QtPrinters.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveSchema.h"
#include "archive/ArchiveSource.h"
#include "archive/PgConnection.h"
#include "core/log/DayFileReader.h"
#include "viewer/DayList.h"
#include "viewer/HealthDialog.h"
#include "viewer/SpanChart.h"
#include "viewer/StationCurves.h"
#include "viewer/ViewerWindow.h"

#include <QImage>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kHour = 3600;
// The stations' clocks run two hours ahead of UTC.
constexpr WallSeconds kZoneOffset = 2 * kHour;

std::int64_t Day(int d) {
    return DaysFromCivil(2009, 1, d);
}

// Two stations' day files. "alpha": the 26th but for 20:00 to 21:00, the 27th with ten
// failed seconds at 02:00 and its clock set back ten seconds at 03:00:10. "beta": dimmer
// light, both days whole but for its 27th ending at 10:00.
struct Stations {
    QTemporaryDir alpha, beta;
    Stations() {
        using namespace dayfiles;
        EXPECT_TRUE(
            Write(alpha.filePath(QStringLiteral("20090126.txt")),
                  Lines(2009, 1, 26, 0, 20 * kHour) + Lines(2009, 1, 26, 21 * kHour, 24 * kHour)));
        std::string day27 = Lines(2009, 1, 27, 0, 2 * kHour);
        for (int s = 2 * kHour; s < 2 * kHour + 10; ++s)
            day27 += FailedLine(2009, 1, 27, s);
        day27 += Lines(2009, 1, 27, 2 * kHour + 10, 3 * kHour + 10) +
                 Lines(2009, 1, 27, 3 * kHour, 24 * kHour);
        EXPECT_TRUE(Write(alpha.filePath(QStringLiteral("20090127.txt")), day27));
        EXPECT_TRUE(Write(beta.filePath(QStringLiteral("20090126.txt")), Dim(26, 0, 24 * kHour)));
        EXPECT_TRUE(Write(beta.filePath(QStringLiteral("20090127.txt")), Dim(27, 0, 10 * kHour)));
    }
    static std::string Dim(int day, int from, int to) {
        std::string text;
        for (int s = from; s < to; ++s) {
            dayfiles::Values v = dayfiles::Daylight(s);
            v.mean = v.mean / 3 + 5;
            v.temperature -= 4;
            text += dayfiles::Line(2009, 1, day, s, v) + "\r\n";
        }
        return text;
    }
};

// The archive: a server, the schema, and the lines of the day files, each stamped in UTC
// one second after the one before (the clock set back is no step back in UTC).
struct Archive {
    testsupport::PostgresServer server;
    PgConnection connection;
    Stations stations;
    bool ready = false;

    Archive() {
        // The collector's schema, and the month the lines are of.
        if (!server.Ok() || !connection.Open(Url()) || !archiveschema::Create(connection) ||
            !archiveschema::EnsureMonth(connection, archiveschema::MonthOf(StartOfDay(Day(26)))))
            return;
        ready = Copy(QStringLiteral("alpha"), stations.alpha.path()) &&
                Copy(QStringLiteral("beta"), stations.beta.path()) &&
                server.Sql(QStringLiteral("INSERT INTO stations (name, online, link_up, hint, "
                                          "last_reading) SELECT station, true, true, 'ok', "
                                          "max(utc) FROM readings GROUP BY station"));
    }
    QString Url() const { return server.Url(); }

    bool Copy(const QString& station, const QString& folder) {
        QByteArray rows;
        for (const char* name : {"20090126.txt", "20090127.txt"}) {
            const dayreader::FileResult read =
                dayreader::ReadFile(QDir(folder).filePath(QString::fromLatin1(name)));
            WallSeconds utc = 0;
            for (const DayRecord& r : read.contents.records) {
                utc = std::max(utc + 1, r.time - kZoneOffset);
                rows += station.toUtf8() + '\t' + IsoWallTime(utc).toLatin1() + "+00\t" +
                        IsoWallTime(r.time).toLatin1() + '\t' +
                        QByteArray::number(r.temperatureTenths) + '\t' +
                        QByteArray::number(r.mean) + '\t' + QByteArray::number(r.range) + '\n';
            }
        }
        return CopyRows(rows);
    }
    bool CopyRows(const QByteArray& rows) {
        QString why;
        const bool copied = connection.Copy(
            QStringLiteral("COPY readings (station, utc, local, temperature_tenths, "
                           "mean_count, range) FROM STDIN"),
            rows, &why);
        EXPECT_TRUE(copied) << why.toStdString();
        return copied;
    }
};

struct Outcome {
    int status = -1;
    QString errors;
};

Outcome View(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOCTURO_DATA_DIR"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(NOCTURO_VIEW), arguments);
    if (!process.waitForFinished(60000)) return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Pixels of a colour (within a small tolerance) in rows [top, bottom) of a picture.
int Pixels(const QImage& image, const QColor& colour, int top, int bottom) {
    int count = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 20 &&
                std::abs(c.green() - colour.green()) < 20 &&
                std::abs(c.blue() - colour.blue()) < 20)
                ++count;
        }
    return count;
}

class ViewerArchive : public ::testing::Test {
protected:
    static void SetUpTestSuite() { archive_ = new Archive; }
    static void TearDownTestSuite() {
        delete archive_;
        archive_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(archive_->ready) << archive_->server.Error().toStdString();
    }
    static Archive* archive_;
};
Archive* ViewerArchive::archive_ = nullptr;

// A night of each station, exported from the archive and from its day files: the same CSV
// byte for byte, the same picture but for the title, which names the station.
TEST_F(ViewerArchive, ExportsANightOfEachStationAsItsDayFilesDo) {
    QTemporaryDir out;
    const QString url = archive_->Url();
    const struct {
        const char* station;
        QString folder;
    } stations[] = {{"alpha", archive_->stations.alpha.path()},
                    {"beta", archive_->stations.beta.path()}};
    for (const auto& [station, folder] : stations) {
        for (const char* format : {"csv", "png"}) {
            const QString fromArchive = out.filePath(
                QStringLiteral("%1-archive.%2").arg(QLatin1String(station), QLatin1String(format)));
            const QString fromFiles = out.filePath(
                QStringLiteral("%1-files.%2").arg(QLatin1String(station), QLatin1String(format)));
            const Outcome a = View({"--archive", url, "--station", QString::fromLatin1(station),
                                    "--night", "2009-01-26", "--export", fromArchive});
            ASSERT_EQ(a.status, 0) << a.errors.toStdString();
            const Outcome f = View({"--night", "2009-01-26", "--export", fromFiles, folder});
            ASSERT_EQ(f.status, 0) << f.errors.toStdString();
            if (QLatin1String(format) == QLatin1String("csv")) {
                const QByteArray csv = Contents(fromArchive);
                EXPECT_GT(csv.count("\r\n"), 79000) << station;
                EXPECT_EQ(csv, Contents(fromFiles)) << station;
                continue;
            }
            const QImage a1(fromArchive), f1(fromFiles);
            ASSERT_EQ(a1.size(), QSize(1200, 800));
            ASSERT_EQ(f1.size(), a1.size());
            // Below the title line, the pictures are the same pixel for pixel.
            constexpr int kTitle = 40;
            EXPECT_EQ(a1.copy(0, kTitle, 1200, 800 - kTitle),
                      f1.copy(0, kTitle, 1200, 800 - kTitle))
                << station;
            EXPECT_NE(a1, f1) << "the archive's title names the station";
        }
    }
}

// Both stations on one picture: a curve of each colour in the counts panel, and the CSV
// of both, one after the other, with the station in front.
TEST_F(ViewerArchive, ShowsSeveralStationsOnOnePicture) {
    QTemporaryDir out;
    const QString png = out.filePath(QStringLiteral("both.png"));
    const QString csv = out.filePath(QStringLiteral("both.csv"));
    for (const QString& path : {png, csv}) {
        const Outcome run = View({"--archive", archive_->Url(), "--station", "alpha", "--station",
                                  "beta", "--night", "2009-01-26", "--export", path});
        ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    }
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    // To look at: VIEWER_ARCHIVE_SHOTS=FOLDER keeps the picture there.
    if (const QString shots = qEnvironmentVariable("VIEWER_ARCHIVE_SHOTS"); !shots.isEmpty())
        image.save(QDir(shots).filePath(QStringLiteral("two-stations.png")));
    EXPECT_GT(Pixels(image, StationCurves::Colour(0), 40, 380), 400);
    EXPECT_GT(Pixels(image, StationCurves::Colour(1), 40, 380), 400);
    // Temperatures and ranges too, in each station's colour.
    EXPECT_GT(Pixels(image, StationCurves::Colour(1), 400, 800), 200);
    const QByteArray lines = Contents(csv);
    EXPECT_TRUE(lines.startsWith("station,time,temperature,mean_count,range\r\n"));
    EXPECT_TRUE(lines.contains("\r\nalpha,2009-01-26T12:00:00,"));
    EXPECT_TRUE(lines.contains("\r\nbeta,2009-01-27T09:59:59,"));
    EXPECT_EQ(lines.count("\r\nalpha,") + lines.count("\r\nbeta,"), lines.count("\r\n") - 1);

    // Beta's 27th ends at 10:00: the whole day leaves the right of the picture empty, and
    // --fit-lines spreads the lines over it.
    const auto rightmostRed = [](const QString& path) {
        const QImage picture(path);
        int rightmost = -1;
        for (int y = 40; y < 380; ++y)
            for (int x = 0; x < picture.width(); ++x)
                if (const QColor c = picture.pixelColor(x, y); c.red() - c.green() > 60)
                    rightmost = std::max(rightmost, x);
        return rightmost;
    };
    const QString whole = out.filePath(QStringLiteral("whole.png"));
    const QString fitted = out.filePath(QStringLiteral("fitted.png"));
    for (const QString& path : {whole, fitted}) {
        QStringList arguments{"--archive", archive_->Url(), "--station", "beta",
                              "--day",     "2009-01-27",    "--export",  path};
        if (path == fitted) arguments << QStringLiteral("--fit-lines");
        const Outcome run = View(arguments);
        ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    }
    EXPECT_LT(rightmostRed(whole), 600);
    EXPECT_GT(rightmostRed(fitted), 1100);

    // What it cannot do.
    Outcome run = View({"--archive", archive_->Url(), "--station", "gamma", "--export", png});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("no station \"gamma\"")))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("alpha, beta"))) << run.errors.toStdString();
    run = View({"--archive", "postgresql:///none?host=" + out.path(), "--export", png});
    EXPECT_EQ(run.status, 3); // a server that cannot be reached
    EXPECT_TRUE(run.errors.contains(QStringLiteral("cannot reach the archive")))
        << run.errors.toStdString();
    run = View({"--archive", archive_->Url(), "--station", "alpha", out.path()});
    EXPECT_EQ(run.status, 2);
    run = View({"--station", "alpha", "--export", png, out.path()});
    EXPECT_TRUE(run.errors.contains(QStringLiteral("--station goes with --archive")));
}

// The window on the archive: stations and their days listed, the newest night of the
// first station shown, a second station picked beside it, lines that arrive shown, and
// the table of the stations' health.
TEST_F(ViewerArchive, WindowListsStationsAndShowsThemTogether) {
    ViewerOptions options;
    auto source = std::make_unique<ArchiveSource>(std::make_unique<ArchiveReader>(archive_->Url()));
    ViewerWindow window(std::move(source), options, Day(28));
    window.resize(1200, 800);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.Stations(), QStringList{QStringLiteral("alpha")});
    EXPECT_EQ(window.Lines().span, TimeSpan::Of(SpanKind::Night, Day(27)));
    // The night of the 27th holds alpha's 27th after noon: 12 hours and the 10 s repeated.
    EXPECT_EQ(window.Records().size(), std::size_t(12 * kHour));

    DayList& days = window.Days();
    days.SummariseAll();
    ASSERT_EQ(days.topLevelItemCount(), 4);
    EXPECT_FALSE(days.isColumnHidden(DayList::kStation));
    const QStringList first{"2009-01-27", "36000", "00:00:00", "09:59:59", "beta"};
    QTreeWidgetItem* beta27 = days.Row(Day(27), QStringLiteral("beta"));
    ASSERT_NE(beta27, nullptr);
    for (int column = 0; column < 5; ++column)
        EXPECT_EQ(beta27->text(column), first[column]);
    EXPECT_EQ(days.Row(Day(26), QStringLiteral("alpha"))->text(DayList::kLines),
              QStringLiteral("82800"));
    EXPECT_EQ(days.Row(Day(27), QStringLiteral("alpha"))->text(DayList::kLines),
              QStringLiteral("86410"));

    // A click on alpha's 26th, a Ctrl+click on beta's: both stations' night of the 26th.
    QTreeWidgetItem* alpha26 = days.Row(Day(26), QStringLiteral("alpha"));
    QTest::mouseClick(days.viewport(), Qt::LeftButton, {}, days.visualItemRect(alpha26).center());
    EXPECT_EQ(window.Lines().span, TimeSpan::Of(SpanKind::Night, Day(26)));
    QTreeWidgetItem* beta26 = days.Row(Day(26), QStringLiteral("beta"));
    QTest::mouseClick(days.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      days.visualItemRect(beta26).center());
    EXPECT_EQ(window.Stations(), (QStringList{"beta", "alpha"}));
    const StationCurves& curves = window.Curves();
    ASSERT_EQ(curves.Others().size(), std::size_t(1));
    EXPECT_EQ(curves.Others()[0].name, QStringLiteral("alpha"));
    EXPECT_TRUE(curves.Legend()->visible());
    EXPECT_EQ(curves.Legend()->itemCount(), 2);
    EXPECT_EQ(window.Records().size(), std::size_t(12 * kHour + 10 * kHour));
    EXPECT_EQ(curves.Others()[0].series.All().size(), std::size_t(11 * kHour + 12 * kHour + 10));
    // Each station has its colour in every panel, on the one time axis.
    EXPECT_EQ(window.Chart().Graph(SpanChart::Temperature)->pen().color(),
              StationCurves::Colour(0));
    EXPECT_EQ(window.Chart().graphCount(), 3 + 1 + 3);
    if (const QString shots = qEnvironmentVariable("VIEWER_ARCHIVE_SHOTS"); !shots.isEmpty())
        window.Chart().replot(), window.grab().save(QDir(shots).filePath("window.png"));

    // Beta's 27th goes on to 11:00; the window, looking again, shows it.
    QByteArray rows;
    for (int s = 10 * kHour; s < 11 * kHour; ++s) {
        const WallSeconds local = StartOfDay(Day(27)) + s;
        rows += "beta\t" + IsoWallTime(local - kZoneOffset).toLatin1() + "+00\t" +
                IsoWallTime(local).toLatin1() + "\t100\t42\t5\n";
    }
    ASSERT_TRUE(archive_->CopyRows(rows));
    window.Refresh();
    EXPECT_EQ(window.Records().size(), std::size_t(12 * kHour + 11 * kHour));
    days.SummariseAll();
    EXPECT_EQ(days.Row(Day(27), QStringLiteral("beta"))->text(DayList::kLines),
              QStringLiteral("39600"));

    // Back to one station: its own colours, no legend.
    days.setFocus();
    QTest::mouseClick(days.viewport(), Qt::LeftButton, {}, days.visualItemRect(alpha26).center());
    EXPECT_EQ(window.Stations(), QStringList{QStringLiteral("alpha")});
    EXPECT_FALSE(window.Curves().Legend()->visible());
    EXPECT_EQ(window.Chart().Graph(SpanChart::Counts)->pen().color(), QColor(255, 0, 0));
    EXPECT_EQ(window.Chart().graphCount(), 4);
}

// Alpha is online but silent for ten minutes, beta offline by its last will, gamma has
// a status but no lines yet.
TEST_F(ViewerArchive, HealthTableFlagsOfflineAndSilentStations) {
    ASSERT_TRUE(archive_->server.Sql(QStringLiteral(
        "UPDATE stations SET last_reading = now() - interval '10 minutes', last_event = "
        "'sensor unplugged', last_event_at = now() - interval '3 hours' WHERE name = 'alpha';"
        "UPDATE stations SET online = false, link_up = false, hint = 'no sensor', "
        "last_reading = now() - interval '1 minute' WHERE name = 'beta';"
        "INSERT INTO stations (name, online) VALUES ('gamma', true);")));
    HealthDialog dialog(archive_->Url());
    const QTableWidget& table = dialog.Table();
    ASSERT_EQ(table.rowCount(), 3) << dialog.SummaryText().toStdString();
    const auto text = [&table](int row, int column) { return table.item(row, column)->text(); };
    // The cells of `nocturo-collect --status`.
    const QStringList alpha{"alpha",      "STALE",  "up",
                            "10 min ago", "0/3600", "3 h ago: sensor unplugged"};
    for (int column = 0; column < 6; ++column)
        EXPECT_EQ(text(0, column), alpha[column]);
    EXPECT_EQ(text(1, 1), QStringLiteral("OFFLINE"));
    EXPECT_EQ(text(1, 2), QStringLiteral("-"));
    EXPECT_EQ(text(2, 1), QStringLiteral("STALE"));
    EXPECT_EQ(text(2, 3), QStringLiteral("never"));
    EXPECT_EQ(text(2, 5), QStringLiteral("-"));
    EXPECT_EQ(table.item(0, 0)->foreground().color(), QColor(180, 0, 0));
    EXPECT_EQ(dialog.SummaryText(),
              QStringLiteral("3 stations, 1 offline, 2 stale (no reading for more than 5 min)"));
    ASSERT_TRUE(archive_->server.Sql(QStringLiteral("DELETE FROM stations WHERE name = 'gamma'")));
}

} // namespace
