// SPDX-License-Identifier: GPL-3.0-or-later
// The sky from the command line: a night's picture shaded by twilight where the position
// is known and unchanged where it is not, the figures of a run of nights, a night for
// the skyglow archives, the span's CSV with magnitudes (each at the zero point of its
// date), and what is refused.
#include "DayFiles.h"
#include "ViewerRun.h"
#include "viewer/ViewerOptions.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace {

using Outcome = testsupport::ViewerOutcome;

Outcome View(const QStringList& arguments) {
    return testsupport::RunViewer(QStringLiteral(NOCTURO_VIEW), arguments, 120000,
                                  QStringLiteral(NOCTURO_VIEW_EMULATOR));
}

// Two nights of full day files, 17 to 19 January 2026.
struct Folder {
    QTemporaryDir dir;
    Folder() {
        for (int day : {17, 18, 19, 20})
            dayfiles::Write(dir.filePath(QStringLiteral("202601%1.txt").arg(day)),
                            dayfiles::Lines(2026, 1, day, 0, 86400));
    }
    void Describe(const char* text) {
        QFile file(dir.filePath(QStringLiteral("station.conf")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

// Pixels of the night's shade (the darkest of the twilight shades).
int NightPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == QColor(178, 193, 226)) ++n;
    return n;
}

QList<QByteArray> Rows(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QList<QByteArray> rows = file.readAll().split('\n');
    if (!rows.isEmpty() && rows.last().isEmpty()) rows.removeLast();
    return rows;
}

// The span CSV of one day of the folder, as the command line exports it.
QList<QByteArray> ExportedDay(Folder& folder, const QString& day) {
    const QString lines = folder.Path("lines.csv");
    EXPECT_EQ(
        View({QStringLiteral("--export"), lines, QStringLiteral("--day"), day, folder.dir.path()})
            .status,
        0);
    return Rows(lines);
}

} // namespace

TEST(SkyCommandLine, NightPictureShadedWhereThePositionIsKnown) {
    Folder folder;
    const QStringList night{QStringLiteral("--night"), QStringLiteral("2026-01-18"),
                            QStringLiteral("--size"), QStringLiteral("600x400")};
    const Outcome plain = View(QStringList{QStringLiteral("--export"), folder.Path("plain.png")}
                               << night << folder.dir.path());
    ASSERT_EQ(plain.status, 0) << plain.errors.toStdString();
    EXPECT_EQ(NightPixels(QImage(folder.Path("plain.png"))), 0);

    const Outcome located =
        View(QStringList{QStringLiteral("--export"), folder.Path("sky.png"),
                         QStringLiteral("--location"), QStringLiteral("48.2,16.4,180")}
             << night << folder.dir.path());
    ASSERT_EQ(located.status, 0) << located.errors.toStdString();
    // Astronomical night is about half of a January night at 48° N.
    EXPECT_GT(NightPixels(QImage(folder.Path("sky.png"))), 30000);

    folder.Describe("latitude = 48.2\nlongitude = 16.4\ntimezone = Europe/Vienna\n");
    const Outcome described = View(QStringList{QStringLiteral("--export"), folder.Path("conf.png")}
                                   << night << folder.dir.path());
    ASSERT_EQ(described.status, 0) << described.errors.toStdString();
    EXPECT_GT(NightPixels(QImage(folder.Path("conf.png"))), 30000);

    const Outcome wrong =
        View({QStringLiteral("--export"), folder.Path("x.png"), QStringLiteral("--location"),
              QStringLiteral("91,16"), folder.dir.path()});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_TRUE(wrong.errors.contains(QStringLiteral("latitude"))) << wrong.errors.toStdString();
}

TEST(SkyCommandLine, NightlyFiguresAndMagnitudes) {
    Folder folder;
    const QString csv = folder.Path("nights.csv");
    const QStringList nights{QStringLiteral("--export"), csv, QStringLiteral("--nights"),
                             QStringLiteral("2026-01-17"), QStringLiteral("2026-01-19")};
    // Without a position there is no darkness to figure.
    const Outcome nowhere = View(QStringList(nights) << folder.dir.path());
    EXPECT_EQ(nowhere.status, 2);
    EXPECT_TRUE(nowhere.errors.contains(QStringLiteral("position")))
        << nowhere.errors.toStdString();
    EXPECT_FALSE(QFile::exists(csv));

    folder.Describe("latitude = 48.2\nlongitude = 16.4\ntimezone = Europe/Vienna\n"
                    "zero_point = 20.5\n");
    const Outcome run = View(QStringList(nights) << folder.dir.path());
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    const QList<QByteArray> rows = Rows(csv);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_TRUE(rows[0].contains(",median_msas,"));
    for (int i = 1; i < 4; ++i) {
        const QList<QByteArray> f = rows[i].chopped(1).split(',');
        ASSERT_EQ(f.size(), 15) << rows[i].constData();
        EXPECT_EQ(f[0], QByteArray("2026-01-1") + char('6' + i));
        EXPECT_GT(f[1].toInt(), 600);      // dark minutes
        EXPECT_FALSE(f[4].isEmpty());      // a median count where the Moon was down
        EXPECT_EQ(f[13], QByteArray("0")); // every second has its line
    }

    // The span's CSV takes the magnitude as a fifth column.
    const QList<QByteArray> span = ExportedDay(folder, QStringLiteral("2026-01-18"));
    ASSERT_EQ(span.size(), 86401);
    EXPECT_EQ(span[0], "time,temperature,mean_count,range,msas\r");
    EXPECT_EQ(span[1].split(',').size(), 5);
}

// Two zero points, the second from the night of 19 January: the CSV of that day takes the
// first until 12:00 and the second after, each line by its own date.
TEST(SkyCommandLine, SpanCsvTakesTheZeroPointOfEachDate) {
    Folder folder;
    folder.Describe("latitude = 48.2\nlongitude = 16.4\ntimezone = Europe/Vienna\n"
                    "zero_point = 20.0\nzero_point = 21.0 from 2026-01-19\n");
    const QList<QByteArray> span = ExportedDay(folder, QStringLiteral("2026-01-19"));
    ASSERT_EQ(span.size(), 86401);
    int before = 0, after = 0;
    for (qsizetype i = 1; i < span.size(); ++i) {
        const QList<QByteArray> f = span[i].trimmed().split(',');
        ASSERT_EQ(f.size(), 5) << span[i].toStdString();
        const double mean = f[2].toDouble();
        if (mean <= 0) continue;
        const bool evening = f[0].mid(11) >= "12:00:00";
        EXPECT_NEAR(f[4].toDouble(), (evening ? 21.0 : 20.0) - 2.5 * std::log10(mean), 0.006)
            << span[i].toStdString();
        ++(evening ? after : before);
    }
    EXPECT_GT(before, 40000);
    EXPECT_GT(after, 40000);
}

TEST(SkyCommandLine, NightForTheSkyglowArchive) {
    Folder folder;
    folder.Describe("name = roof\nlatitude = 48.2\nlongitude = 16.4\nelevation = 180\n"
                    "timezone = Europe/Vienna\nzero_point = 20.5\n"
                    "data_supplier = Jane Doe\nlocation_name = Wien\n");
    const QString dat = folder.Path("night.dat");
    const Outcome run =
        View({QStringLiteral("--export"), dat, QStringLiteral("--ida"), QStringLiteral("--night"),
              QStringLiteral("2026-01-18"), folder.dir.path()});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    const QList<QByteArray> rows = Rows(dat);
    ASSERT_EQ(rows.size(), 35 + 86400);
    EXPECT_EQ(rows[2], "# Number of header lines: 35\r");
    EXPECT_EQ(rows[6], "# Data supplier: Jane Doe\r");
    EXPECT_EQ(rows[17], "# Number of fields per line: 6\r");
    EXPECT_EQ(rows[34], "# END OF HEADER\r");
    // Vienna is an hour ahead of UTC in January.
    EXPECT_TRUE(rows[35].startsWith("2026-01-18T11:00:00.000;2026-01-18T12:00:00.000;"))
        << rows[35].constData();
    EXPECT_EQ(rows[35].split(';').size(), 6);

    const Outcome refused = View({QStringLiteral("--ida"), folder.dir.path()});
    EXPECT_EQ(refused.status, 2);
}

// What the sky's options take and what they refuse.
TEST(SkyCommandLine, Options) {
    const std::int64_t today = DaysFromCivil(2026, 1, 20);
    const auto parse = [today](QStringList arguments) {
        arguments.prepend(QStringLiteral("nocturo-view"));
        return ParseViewerOptions(arguments, today, QStringLiteral("/home/station"), QString());
    };
    ParsedOptions parsed = parse({"--location", "48.2,-16.4,180"});
    ASSERT_EQ(parsed.outcome, ParsedOptions::Run) << parsed.text.toStdString();
    EXPECT_EQ(parsed.options.location, (astro::Observer{48.2, -16.4, 180}));
    parsed = parse({"--export", "n.csv", "--nights", "2026-01-01", "yesterday", "/tmp"});
    ASSERT_EQ(parsed.outcome, ParsedOptions::Run) << parsed.text.toStdString();
    EXPECT_EQ(parsed.options.nights, (std::pair{DaysFromCivil(2026, 1, 1), today - 1}));
    EXPECT_EQ(parsed.options.folder, QStringLiteral("/tmp"));
    parsed = parse({"--export", "n.dat", "--ida", "--night", "2026-01-18"});
    ASSERT_EQ(parsed.outcome, ParsedOptions::Run) << parsed.text.toStdString();
    EXPECT_TRUE(parsed.options.ida);
    EXPECT_EQ(parsed.options.span, TimeSpan::Of(SpanKind::Night, DaysFromCivil(2026, 1, 18)));

    for (const QStringList& wrong :
         {QStringList{"--location", "48.2"}, QStringList{"--location", "48.2,east"},
          QStringList{"--location", "48.2,16.4,20000"},
          QStringList{"--export", "n.csv", "--nights", "2026-01-02", "2026-01-01"},
          QStringList{"--export", "n.csv", "--nights", "2026-01-02"},
          QStringList{"--export", "n.png", "--nights", "2026-01-01", "2026-01-02"},
          QStringList{"--export", "n.csv", "--nights", "2026-01-01", "2026-01-02", "--day",
                      "today"},
          QStringList{"--nights", "2026-01-01", "2026-01-02"}, QStringList{"--ida"},
          QStringList{"--export", "n.csv", "--ida", "--nights", "2026-01-01", "2026-01-02"}}) {
        EXPECT_EQ(parse(wrong).outcome, ParsedOptions::Error) << wrong.join(u' ').toStdString();
        EXPECT_FALSE(parse(wrong).text.isEmpty());
    }
}
