// SPDX-License-Identifier: GPL-3.0-or-later
// The Night view's first picture with the sky drawn (target: at most 150 ms), beside the
// same night without a position, in one run: files read, curves built, twilight shades and
// the Moon's curve made, first picture drawn. Also the figures of a month of nights.
#include "DayFiles.h"
#include "viewer/SkyExports.h"
#include "viewer/SpanChart.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

// Two folders of the same full days of January 2026, one with station.conf.
std::unique_ptr<QTemporaryDir> plain, located;

const QString& Folder(bool withSky) {
    static QString paths[2];
    if (!plain) {
        plain = std::make_unique<QTemporaryDir>();
        located = std::make_unique<QTemporaryDir>();
        for (int d = 1; d <= 31; ++d) {
            const std::string day = dayfiles::Lines(2026, 1, d, 0, 86400);
            for (QTemporaryDir* dir : {plain.get(), located.get()})
                dayfiles::Write(
                    dir->filePath(QStringLiteral("202601%1.txt").arg(d, 2, 10, QChar(u'0'))), day);
        }
        QFile conf(located->filePath(QStringLiteral("station.conf")));
        if (conf.open(QIODevice::WriteOnly))
            conf.write(
                "latitude = 48.2\nlongitude = 16.4\ntimezone = Europe/Vienna\nzero_point = 20.5\n");
        paths[0] = plain->path();
        paths[1] = located->path();
    }
    return paths[withSky ? 1 : 0];
}

void BM_OpenNightToFirstPicture(benchmark::State& state) {
    const bool withSky = state.range(0) != 0;
    Folder(withSky);
    for (auto _ : state) {
        ViewerOptions options;
        options.folder = Folder(withSky);
        options.span = TimeSpan::Of(SpanKind::Night, DaysFromCivil(2026, 1, 18));
        auto window = std::make_unique<ViewerWindow>(options, DaysFromCivil(2026, 2, 1));
        window->resize(1200, 800);
        window->show();
        window->Chart().replot(QCustomPlot::rpImmediateRefresh);
        state.PauseTiming();
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetLabel(withSky ? "with twilight and Moon" : "without a position");
}
BENCHMARK(BM_OpenNightToFirstPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FiguresOfAMonthOfNights(benchmark::State& state) {
    SkyOverlay sky;
    sky.SetFolder(Folder(true));
    const DayFileSet files = DayFileSet::FromFolder(Folder(true));
    const QString out = QDir(Folder(true)).filePath(QStringLiteral("nights.csv"));
    for (auto _ : state) {
        DayFileCache cache;
        benchmark::DoNotOptimize(ExportNightFigures(files, cache, DaysFromCivil(2026, 1, 1),
                                                    DaysFromCivil(2026, 1, 30), sky, out));
    }
}
BENCHMARK(BM_FiguresOfAMonthOfNights)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    plain.reset();
    located.reset();
    return 0;
}
