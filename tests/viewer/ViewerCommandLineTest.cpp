// SPDX-License-Identifier: GPL-3.0-or-later
// nocturo-view from the command line as a station's timer runs it: no window and no
// display, a picture of the asked size showing the red counts curve, the CSV of a span,
// and exit status 2 with a message for what cannot be done.
#include "DayFiles.h"
#include "QtPrinters.h"
#include "viewer/ViewerOptions.h"

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status = -1;
    QString errors;
};

// The program with no display to talk to, and no platform chosen for it.
Outcome View(const QStringList& arguments, const QString& locale = QStringLiteral("C.UTF-8")) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOCTURO_DATA_DIR"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LC_ALL"), locale);
    process.setProcessEnvironment(environment);
    // A cross build's program runs through its emulator.
    QStringList command =
        QString::fromLatin1(NOCTURO_VIEW_EMULATOR).split(u' ', Qt::SkipEmptyParts);
    command << QStringLiteral(NOCTURO_VIEW) << arguments;
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(60000)) return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(ViewerCommandLine, ExportsANightAsAPictureWithoutADisplay) {
    QTemporaryDir dir;
    ASSERT_TRUE(dayfiles::Write(dir.filePath(QStringLiteral("20090126.txt")),
                                dayfiles::Lines(2009, 1, 26, 0, 86400)));
    ASSERT_TRUE(dayfiles::Write(dir.filePath(QStringLiteral("20090127.txt")),
                                dayfiles::Lines(2009, 1, 27, 0, 86400)));
    const QString png = dir.filePath(QStringLiteral("night.png"));
    const Outcome run = View({QStringLiteral("--export"), png, QStringLiteral("--night"),
                              QStringLiteral("2009-01-26"), QStringLiteral("--size"),
                              QStringLiteral("640x400"), dir.path()});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    const QImage image(png);
    ASSERT_EQ(image.size(), QSize(640, 400));
    // The counts curve is red, and in the upper panel; green and blue curves below it.
    int red = 0, redLow = 0, green = 0, blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60) {
                ++red;
                if (y > image.height() / 2) ++redLow;
            }
            if (c.green() > 100 && c.red() < 60 && c.blue() < 60) ++green;
            if (c.blue() > 200 && c.red() < 60 && c.green() < 60) ++blue;
        }
    }
    EXPECT_GT(red, 400);
    EXPECT_EQ(redLow, 0);
    EXPECT_GT(green, 100);
    EXPECT_GT(blue, 100);

    for (const char* name : {"night.svg", "night.pdf"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        const Outcome other = View({QStringLiteral("--export"), path, QStringLiteral("--night"),
                                    QStringLiteral("2009-01-26"), dir.path()});
        EXPECT_EQ(other.status, 0) << name << other.errors.toStdString();
        EXPECT_GT(QFileInfo(path).size(), 1000) << name;
    }
}

// The lines of the night: lines of the 26th and 27th from two files, equal stamps after
// a clock set back both kept, the failed second kept and its copy in the next day's file
// merged, numbers with '.' though the file and the settings use ','.
TEST(ViewerCommandLine, ExportsTheLinesOfANightAsCsv) {
    QTemporaryDir dir;
    ASSERT_TRUE(dayfiles::Write(dir.filePath(QStringLiteral("20090126.txt")),
                                "2009-01-26 11:59:59  20,0       1 5\r\n"
                                "2009-01-26 12:00:00  20,5       2 5\r\n"
                                "2009-01-26 20:00:00  19,0      10 5\r\n"
                                "2009-01-26 20:00:00  19,0      12 5\r\n"
                                "2009-01-26 23:59:59 -273,1       0 0\r\n"));
    ASSERT_TRUE(dayfiles::Write(dir.filePath(QStringLiteral("20090127.txt")),
                                "2009-01-26 23:59:59 -273,1       0 0\r\n"
                                "2009-01-27 00:00:00  -0,5 12345678 1\r\n"
                                "2009-01-27 11:59:59  17,0      30 5\r\n"
                                "2009-01-27 12:00:00  17,0      31 5"));
    const QString csv = dir.filePath(QStringLiteral("night.csv"));
    const Outcome run =
        View({QStringLiteral("--export"), csv, QStringLiteral("--night=2009-01-26"), dir.path()},
             QStringLiteral("fi_FI.UTF-8"));
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), "time,temperature,mean_count,range\r\n"
                                            "2009-01-26T12:00:00,20.5,2,5\r\n"
                                            "2009-01-26T20:00:00,19.0,10,5\r\n"
                                            "2009-01-26T20:00:00,19.0,12,5\r\n"
                                            "2009-01-26T23:59:59,-273.1,0,0\r\n"
                                            "2009-01-27T00:00:00,-0.5,12345678,1\r\n"
                                            "2009-01-27T11:59:59,17.0,30,5\r\n");
}

// A year of nights from two day files: the picture and the CSV of its minutes, the
// minute summaries kept in the user's cache folder for the next run.
TEST(ViewerCommandLine, ExportsAYearAsAPictureAndCsv) {
    QTemporaryDir dir;
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    std::string day10 = dayfiles::Lines(2026, 3, 10, 0, 23 * 3600);
    for (int s = 23 * 3600; s < 23 * 3600 + 60; ++s)
        day10 += dayfiles::FailedLine(2026, 3, 10, s);
    day10 += dayfiles::Lines(2026, 3, 10, 23 * 3600 + 60, 86400);
    ASSERT_TRUE(dayfiles::Write(dir.filePath(QStringLiteral("20260310.txt")), day10));
    ASSERT_TRUE(dayfiles::Write(dir.filePath(QStringLiteral("20260311.txt")),
                                dayfiles::Lines(2026, 3, 11, 0, 86400)));

    const QString csv = dir.filePath(QStringLiteral("year.csv"));
    const Outcome run = View({QStringLiteral("--year"), QStringLiteral("2026-03-11"),
                              QStringLiteral("--export"), csv, dir.path()});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    // The header, the morning of the 10th (night of the 9th), the night of the 10th and
    // the afternoon of the 11th: a line per minute, and nothing after the last break.
    ASSERT_EQ(lines.size(), 1 + 720 + 1440 + 720 + 1);
    EXPECT_EQ(lines[0], "night,time,lines,failed,median_mean_count\r");
    EXPECT_EQ(lines[1].left(36), "2026-03-09,2026-03-10T00:00:00,60,0,");
    EXPECT_TRUE(lines.contains("2026-03-10,2026-03-10T23:00:00,60,60,\r"));
    EXPECT_EQ(lines[720 + 1440].left(36), "2026-03-10,2026-03-11T11:59:00,60,0,");
    EXPECT_EQ(lines[720 + 1440 + 720].left(36), "2026-03-11,2026-03-11T23:59:00,60,0,");
    EXPECT_EQ(QDir(cache.filePath(QStringLiteral("nocturo/minutes")))
                  .entryList({QStringLiteral("*.min")}, QDir::Files)
                  .size(),
              2);

    const QString png = dir.filePath(QStringLiteral("year.png"));
    const Outcome picture =
        View({QStringLiteral("--year"), QStringLiteral("2026-03-11"), QStringLiteral("--export"),
              png, QStringLiteral("--size"), QStringLiteral("900x500"), dir.path()});
    ASSERT_EQ(picture.status, 0) << picture.errors.toStdString();
    const QImage image(png);
    ASSERT_EQ(image.size(), QSize(900, 500));
    // The nights with lines are a narrow coloured band at the right (beside the colour
    // scale); the months before them are blank.
    int left = 0, right = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            (x < image.width() / 2 ? left : right) += QColor(image.pixel(x, y)).saturation() > 100;
    EXPECT_LT(left, 50);
    EXPECT_GT(right, 2000);

    // A year without lines, and a year given twice.
    const Outcome none = View({QStringLiteral("--year"), QStringLiteral("2020-01-01"),
                               QStringLiteral("--export"), png, dir.path()});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(
        none.errors.contains(QStringLiteral("No lines in the nights 2019-01-02 to 2020-01-01")))
        << none.errors.toStdString();
    const Outcome twice =
        View({QStringLiteral("--year"), QStringLiteral("2026-03-11"), QStringLiteral("--night"),
              QStringLiteral("2026-03-10"), QStringLiteral("--export"), png, dir.path()});
    EXPECT_EQ(twice.status, 2);
    EXPECT_TRUE(twice.errors.contains(QStringLiteral("one of --day, --night, --week and --year")));
}

TEST(ViewerCommandLine, SaysWhatItCannotDo) {
    QTemporaryDir dir;
    ASSERT_TRUE(dayfiles::Write(dir.filePath(QStringLiteral("20090126.txt")),
                                dayfiles::Lines(2009, 1, 26, 0, 600) + "garbage\r\n"));
    const QString png = dir.filePath(QStringLiteral("out.png"));
    const struct {
        QStringList arguments;
        const char* says;
    } cases[] = {
        {{"--export", png, "--night", "2009-02-30", dir.path()}, "--night wants a date"},
        {{"--export", png, "--day", "26.01.2009", dir.path()}, "--day wants a date"},
        {{"--export", dir.filePath("out.gif"), dir.path()}, "--export wants a file ending in"},
        {{"--export", png, "--day", "today", "--night", "today", dir.path()}, "one of --day"},
        {{"--export", png, "--size", "10x10", dir.path()}, "--size wants"},
        {{"--export", png, "--size", "wide", dir.path()}, "--size wants"},
        {{"--size", "640x400", dir.path()}, "--size goes with --export"},
        {{"--export", png, "--frobnicate", dir.path()}, "frobnicate"},
        {{"--export", png, dir.filePath("nowhere")}, "no file or folder"},
        {{"--export", png, "--night", "2009-01-26", dir.path()},
         "No lines between 2009-01-26 12:00:00 and 2009-01-27 12:00:00 in"},
    };
    for (const auto& c : cases) {
        const Outcome run = View(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.errors.contains(QString::fromLatin1(c.says)))
            << c.arguments.join(' ').toStdString() << ": " << run.errors.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(png));
    // A span with lines is written, and the garbage line is told on the way.
    const Outcome day = View({"--export", png, "--day", "2009-01-26", dir.path()});
    EXPECT_EQ(day.status, 0);
    EXPECT_TRUE(day.errors.contains(QStringLiteral(
        "1 line skipped that is not a log line, the first in 20090126.txt, line 601")))
        << day.errors.toStdString();
    // A file that cannot be written.
    const Outcome unwritable =
        View({"--export", dir.filePath("none/out.png"), "--day", "2009-01-26", dir.path()});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(unwritable.errors.contains(QStringLiteral("Cannot write")))
        << unwritable.errors.toStdString();
}

TEST(ViewerCommandLine, Options) {
    const std::int64_t today = DaysFromCivil(2009, 1, 27);
    const auto parse = [today](QStringList arguments) {
        arguments.prepend(QStringLiteral("nocturo-view"));
        return ParseViewerOptions(arguments, today, QStringLiteral("/home/station"), QString());
    };
    // A bare export: last night, 1200 x 800, from ~/Nocturo.
    ParsedOptions parsed = parse({"--export", "x.png"});
    ASSERT_EQ(parsed.outcome, ParsedOptions::Run) << parsed.text.toStdString();
    EXPECT_EQ(parsed.options.span, TimeSpan::Of(SpanKind::Night, today - 1));
    EXPECT_EQ(parsed.options.size, QSize(1200, 800));
    EXPECT_EQ(parsed.options.folder, QStringLiteral("/home/station/Nocturo"));
    parsed = parse({"--export", "x.PDF", "--day", "today", "--size", "300x200"});
    EXPECT_EQ(parsed.options.span, TimeSpan::Of(SpanKind::Day, today));
    EXPECT_EQ(parsed.options.size, QSize(300, 200));
    parsed = parse({"--week", "yesterday"});
    EXPECT_TRUE(parsed.options.exportPath.isEmpty());
    EXPECT_EQ(parsed.options.span, TimeSpan::Of(SpanKind::Week, today - 1));
    EXPECT_FALSE(parse({}).options.span.has_value());
    EXPECT_EQ(
        ParseViewerOptions({"nocturo-view"}, today, "/home/station", "/srv/sky").options.folder,
        QStringLiteral("/srv/sky"));
    EXPECT_EQ(parse({"--help"}).outcome, ParsedOptions::Help);
    EXPECT_TRUE(parse({"--help"}).text.contains(QStringLiteral("--export")));

    // The archive with the sky's options: --location and the span's export go along; the
    // year of nights and the figures of nights read day files, and are refused.
    parsed = parse({"--archive", "", "--station", "ridge", "--location", "48.2,16.4", "--export",
                    "x.png", "--night", "2009-01-20"});
    ASSERT_EQ(parsed.outcome, ParsedOptions::Run) << parsed.text.toStdString();
    EXPECT_EQ(parsed.options.archive, QString());
    EXPECT_EQ(parsed.options.stations, QStringList{QStringLiteral("ridge")});
    EXPECT_TRUE(parsed.options.location.has_value());
    EXPECT_EQ(parsed.options.span, TimeSpan::Of(SpanKind::Night, DaysFromCivil(2009, 1, 20)));
    for (const QStringList& refused :
         {QStringList{"--archive", "", "--year", "today"},
          QStringList{"--archive", "", "--export", "n.csv", "--nights", "2009-01-01", "2009-01-05"},
          QStringList{"--archive", "", "--export", "n.dat", "--ida"}}) {
        parsed = parse(refused);
        EXPECT_EQ(parsed.outcome, ParsedOptions::Error) << refused.join(u' ').toStdString();
        EXPECT_TRUE(parsed.text.contains(QStringLiteral("not with --archive")))
            << parsed.text.toStdString();
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
