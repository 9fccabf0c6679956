// SPDX-License-Identifier: GPL-3.0-or-later
// The sky's conditions and figures in the viewer, on a month of emulated day files of a
// town with clouds (the emulator's light model, its truth beside): the strip under the
// counts of a cloudy night, the CSV's sky column, the limiting magnitude on the value axis,
// the Year view's clear dark minutes, and the jellyfish picture of the month exported from
// the command line, its minutes summed against the clear minutes.
#include "DayFiles.h"
#include "EmulatedNights.h"
#include "core/log/YearMinutes.h"
#include "core/sky/NightConditions.h"
#include "core/sky/SkyQuality.h"
#include "viewer/ConditionStrip.h"
#include "viewer/JellyfishChart.h"
#include "viewer/SpanChart.h"
#include "viewer/ViewerActions.h"
#include "viewer/ViewerWindow.h"
#include "viewer/YearChart.h"

#include <QAction>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

constexpr double kZeroPoint = 24.0; // the emulated town near 18.5 mag/arcsec²

// 31 emulated nights of a town under random clouds, the evenings of 1 to 31 March 2026,
// written as the daily log writes them, one file per day, with the station's description.
struct Month {
    QTemporaryDir dir;
    QTemporaryDir cache;
    std::vector<EmulatedNight> nights;

    Month() {
        nights = EmulateNights(Site::Town, 11, 31, DaysFromCivil(2026, 3, 1));
        std::map<std::int64_t, std::string> files;
        for (const EmulatedNight& night : nights)
            for (const DayRecord& r : night.lines) {
                const std::int64_t day = DayOf(r.time);
                const CivilDate d = CivilFromDays(day);
                const dayfiles::Values v{r.Temperature(), long(r.mean), r.range};
                files[day] +=
                    dayfiles::Line(d.year, d.month, d.day, int(r.time - StartOfDay(day)), v) +
                    "\r\n";
            }
        for (const auto& [day, text] : files) {
            const CivilDate d = CivilFromDays(day);
            EXPECT_TRUE(dayfiles::Write(dir.filePath(QStringLiteral("%1%2%3.txt")
                                                         .arg(d.year)
                                                         .arg(d.month, 2, 10, QLatin1Char('0'))
                                                         .arg(d.day, 2, 10, QLatin1Char('0'))),
                                        text));
        }
        QFile conf(dir.filePath(QStringLiteral("station.conf")));
        EXPECT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(QByteArray("latitude = 52\nlongitude = 0\ntimezone = UTC\nzero_point = ") +
                   QByteArray::number(kZeroPoint) + "\n");
        conf.close();
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    }

    // A night with both clear and cloudy dark minutes in truth.
    const EmulatedNight& Mixed() const {
        for (const EmulatedNight& night : nights) {
            const std::vector<sky::Condition> c =
                sky::Classify(night.minutes, sky::ClearSkyBaseline());
            int clear = 0, cloudy = 0;
            for (std::size_t i = 0; i < c.size(); ++i) {
                if (c[i] != sky::Condition::Clear && c[i] != sky::Condition::Cloudy) continue;
                (night.cloudyTruth[i] ? cloudy : clear)++;
            }
            if (clear > 60 && cloudy > 60) return night;
        }
        return nights.front();
    }
};

int Count(const std::vector<sky::TimedCondition>& minutes, sky::Condition c) {
    return int(std::count_if(minutes.begin(), minutes.end(),
                             [c](const sky::TimedCondition& m) { return m.condition == c; }));
}

int PixelsOf(const QImage& image, const QColor& colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour) ++n;
    return n;
}

// Cells of the Year view's map that are drawn.
int DrawnCells(YearChart& chart) {
    const auto* map = qobject_cast<QCPColorMap*>(chart.plottable(0));
    int n = 0;
    for (int k = 0; k < map->data()->keySize(); ++k)
        for (int v = 0; v < map->data()->valueSize(); ++v)
            n += !std::isnan(map->data()->cell(k, v));
    return n;
}

struct Outcome {
    int status = -1;
    QString errors;
};

Outcome View(const QStringList& arguments, const QString& cache) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOCTURO_DATA_DIR"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(NOCTURO_VIEW), arguments);
    if (!process.waitForFinished(300000)) return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QString Shots() {
    return qEnvironmentVariable("NOCTURO_TEST_SHOTS");
}

} // namespace

TEST(SkyViews, StripOfConditionsLimitingMagnitudeAndTheClearYear) {
    const Month month;
    const EmulatedNight& mixed = month.Mixed();
    ViewerOptions options;
    options.folder = month.dir.path();
    options.span = TimeSpan::Of(SpanKind::Night, mixed.day);
    ViewerWindow window(options, DaysFromCivil(2026, 4, 20));
    window.resize(1200, 800);
    window.show();

    // The strip shows the night's minutes: twilight, clear and cloudy, and the clouds the
    // emulator made are where the strip says cloudy.
    ASSERT_TRUE(window.Strip().Shown());
    const std::vector<sky::TimedCondition>& minutes = window.Strip().Minutes();
    EXPECT_GE(minutes.size(), 1430U);
    EXPECT_GT(Count(minutes, sky::Condition::Clear), 60);
    EXPECT_GT(Count(minutes, sky::Condition::Cloudy), 60);
    EXPECT_GT(Count(minutes, sky::Condition::CivilTwilight), 20);
    EXPECT_GT(Count(minutes, sky::Condition::Day), 300);
    int agree = 0, judged = 0;
    for (std::size_t i = 0; i < mixed.minutes.size(); ++i) {
        const sky::Condition c = sky::ConditionAt(minutes, mixed.minutes[i].wall);
        if (c != sky::Condition::Clear && c != sky::Condition::Cloudy) continue;
        ++judged;
        agree += (c == sky::Condition::Cloudy) == bool(mixed.cloudyTruth[i]);
    }
    EXPECT_GE(agree * 100, judged * 90) << agree << " of " << judged;

    // Drawn: the clear minutes' colour and the cloudy minutes' in the picture, a legend.
    const QImage night = window.Chart().toPixmap(1200, 800).toImage();
    EXPECT_GT(PixelsOf(night, ConditionStrip::ColourOf(sky::Condition::Clear)), 500);
    EXPECT_GT(PixelsOf(night, ConditionStrip::ColourOf(sky::Condition::Cloudy)), 500);
    if (!Shots().isEmpty()) night.save(Shots() + QStringLiteral("/strip-night.png"));

    // The CSV carries each line's condition.
    const QTemporaryDir out;
    const QString csv = out.filePath(QStringLiteral("night.csv"));
    QString why;
    ASSERT_TRUE(window.ExportTo(csv, &why)) << why.toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    EXPECT_EQ(rows[0], "time,temperature,mean_count,range,msas,sky\r");
    std::map<QByteArray, int> words;
    for (qsizetype i = 1; i < rows.size(); ++i)
        if (!rows[i].isEmpty()) ++words[rows[i].chopped(1).split(',').last()];
    EXPECT_EQ(words[QByteArray("clear")], Count(minutes, sky::Condition::Clear) * 60);
    EXPECT_EQ(words[QByteArray("cloudy")], Count(minutes, sky::Condition::Cloudy) * 60);
    EXPECT_GT(words[QByteArray("day")], 0);

    // Turned off, the strip goes and the CSV is as before.
    window.Actions().conditions->setChecked(false);
    EXPECT_FALSE(window.Strip().Shown());
    window.Actions().conditions->setChecked(true);
    EXPECT_TRUE(window.Strip().Shown());

    // The value axis in limiting magnitudes: the conversion of each minute's brightness.
    window.Actions().limitingMagnitude->setChecked(true);
    SpanChart& chart = window.Chart();
    EXPECT_TRUE(chart.LimitingMagnitude());
    EXPECT_FALSE(window.Actions().magnitude->isChecked());
    EXPECT_TRUE(chart.ValueAxis(SpanChart::Counts)->label().contains(QStringLiteral("limiting")));
    const auto data = chart.Graph(SpanChart::Counts)->data();
    const DayRecord& first = chart.Series().All().front();
    EXPECT_NEAR(data->at(0)->value,
                sky::LimitingMagnitude(kZeroPoint - 2.5 * std::log10(double(first.mean))), 1e-9);
    window.Actions().magnitude->setChecked(true);
    EXPECT_FALSE(chart.LimitingMagnitude());
    EXPECT_TRUE(chart.Magnitude());
    window.Actions().magnitude->setChecked(false);
    EXPECT_FALSE(chart.Magnitude());

    // The Year view keeps only the clear dark minutes: as many cells as the year's
    // conditions call clear, far fewer than the minutes with lines.
    window.ShowYear(DaysFromCivil(2026, 3, 31));
    const int all = DrawnCells(window.Year());
    window.Actions().clearOnly->setChecked(true);
    const int clear = DrawnCells(window.Year());
    const YearMinutes& year = window.Year().Year();
    const sky::YearConditions conditions =
        sky::ClassifyYear(year, *window.Sky().Position(), window.Sky().Station().TimeZone());
    int clearCells = 0;
    for (std::size_t i = 0; i < conditions.cells.size(); ++i)
        clearCells +=
            conditions.cells[i] == sky::Condition::Clear && !std::isnan(year.cells[i].median);
    EXPECT_EQ(clear, clearCells);
    EXPECT_GT(clear, 31 * 60);
    EXPECT_LT(clear * 4, all);
    if (!Shots().isEmpty())
        window.Year().toPixmap(1200, 800).save(Shots() + QStringLiteral("/year-clear.png"));
}

TEST(SkyViews, JellyfishOfAMonthFromTheCommandLine) {
    const Month month;
    const QTemporaryDir out;
    const QString folder = month.dir.path();
    const QString cache = month.cache.path();
    const QString csv = out.filePath(QStringLiteral("jellyfish.csv"));
    const Outcome run =
        View({QStringLiteral("--jellyfish"), QStringLiteral("2026-03"),
              QStringLiteral("--clear-only"), QStringLiteral("--export"), csv, folder},
             cache);
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().split('\n');
    ASSERT_EQ(rows[0], "minutes_from_midnight,msas,minutes\r");
    int sum = 0;
    double darkest = 0;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        if (rows[i].isEmpty()) continue;
        const QList<QByteArray> f = rows[i].chopped(1).split(',');
        ASSERT_EQ(f.size(), 3);
        EXPECT_EQ(f[0].toInt() % 5, 0);
        EXPECT_GT(f[2].toInt(), 0);
        darkest = std::max(darkest, f[1].toDouble());
        sum += f[2].toInt();
    }
    // Every clear dark minute of the month's nights once: the month's own conditions, from
    // the same minute summaries.
    const DayFileSet files = DayFileSet::FromFolder(folder);
    const YearMinutes minutes = yearminutes::Build(files, DaysFromCivil(2026, 3, 1), 31,
                                                   MinuteCache(), DaysFromCivil(2026, 5, 1));
    const sky::YearConditions conditions =
        sky::ClassifyYear(minutes, EmulatedObserver(), EmulatedZone());
    int clear = 0;
    for (std::size_t i = 0; i < conditions.cells.size(); ++i)
        clear += conditions.cells[i] == sky::Condition::Clear &&
                 !std::isnan(minutes.cells[i].median) && minutes.cells[i].median > 0;
    EXPECT_EQ(sum, clear);
    // And near the truth: the emulator's clear dark moonless minutes of those nights.
    int truth = 0;
    for (const EmulatedNight& night : month.nights) {
        const std::vector<sky::Condition> c = sky::Classify(night.minutes, {});
        for (std::size_t i = 0; i < c.size(); ++i)
            truth += (c[i] == sky::Condition::Clear || c[i] == sky::Condition::Cloudy) &&
                     !night.cloudyTruth[i];
    }
    EXPECT_NEAR(sum, truth, truth * 0.1) << "clear minutes " << sum << ", in truth " << truth;
    EXPECT_GT(darkest, 15.0);

    // All night holds more; the pictures are made; a wrong period is refused.
    const QString allCsv = out.filePath(QStringLiteral("all.csv"));
    ASSERT_EQ(View({QStringLiteral("--jellyfish"), QStringLiteral("2026-03"),
                    QStringLiteral("--export"), allCsv, folder},
                   cache)
                  .status,
              0);
    QFile allFile(allCsv);
    ASSERT_TRUE(allFile.open(QIODevice::ReadOnly));
    int allSum = 0;
    for (const QByteArray& row : allFile.readAll().split('\n').mid(1))
        if (!row.isEmpty()) allSum += row.split(',')[2].trimmed().toInt();
    EXPECT_GT(allSum, sum);
    for (const char* name : {"jellyfish.png", "jellyfish.svg", "jellyfish.pdf"}) {
        const QString path = out.filePath(QString::fromLatin1(name));
        const Outcome picture =
            View({QStringLiteral("--jellyfish"), QStringLiteral("2026-03"),
                  QStringLiteral("--clear-only"), QStringLiteral("--export"), path,
                  QStringLiteral("--size"), QStringLiteral("900x600"), folder},
                 cache);
        ASSERT_EQ(picture.status, 0) << name << picture.errors.toStdString();
        EXPECT_GT(QFileInfo(path).size(), 1000) << name;
    }
    const QImage png(out.filePath(QStringLiteral("jellyfish.png")));
    EXPECT_EQ(png.size(), QSize(900, 600));
    if (!Shots().isEmpty()) png.save(Shots() + QStringLiteral("/jellyfish.png"));
    const Outcome wrong = View({QStringLiteral("--jellyfish"), QStringLiteral("2026-13"),
                                QStringLiteral("--export"), csv, folder},
                               cache);
    EXPECT_EQ(wrong.status, 2);
    EXPECT_TRUE(wrong.errors.contains(QStringLiteral("YYYY-MM"))) << wrong.errors.toStdString();
    const Outcome alone =
        View({QStringLiteral("--jellyfish"), QStringLiteral("2026"), folder}, cache);
    EXPECT_EQ(alone.status, 2);

    // The nightly figures over the clear minutes, with limiting magnitude and Bortle class.
    const QString nights = out.filePath(QStringLiteral("nights.csv"));
    ASSERT_EQ(View({QStringLiteral("--export"), nights, QStringLiteral("--nights"),
                    QStringLiteral("2026-03-10"), QStringLiteral("2026-03-20"),
                    QStringLiteral("--conditions"), folder},
                   cache)
                  .status,
              0);
    QFile figures(nights);
    ASSERT_TRUE(figures.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = figures.readAll().split('\n');
    ASSERT_TRUE(lines[0].endsWith(",clear_minutes,median_nelm,bortle\r")) << lines[0].constData();
    int withMedian = 0;
    for (int i = 1; i <= 11; ++i) {
        const QList<QByteArray> f = lines[i].chopped(1).split(',');
        ASSERT_EQ(f.size(), 18) << lines[i].constData();
        if (f[9].isEmpty()) continue; // no clear minute that night
        ++withMedian;
        EXPECT_NEAR(f[16].toDouble(), sky::LimitingMagnitude(f[9].toDouble()), 0.006);
        EXPECT_EQ(f[17].toInt(), sky::BortleClass(f[9].toDouble()));
    }
    EXPECT_GT(withMedian, 3);
}
