// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer with full day files (86,400 lines each): reading, opening a night (two files)
// to the first drawn picture, stepping to the next night, a replot while zooming, the
// memory for a week shown at once, and the command-line export of a night to PNG at
// 1200 x 800, process start included.
#include "DayFiles.h"
#include "core/log/DayFileReader.h"
#include "viewer/SpanChart.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr int kDays = 10; // 2009-01-20 .. 2009-01-29

// The folder of full days, written once, gone before the application.
std::unique_ptr<QTemporaryDir> folder;
std::string fullDay;

const QString& Folder() {
    static QString path;
    if (!folder) {
        folder = std::make_unique<QTemporaryDir>();
        for (int d = 20; d < 20 + kDays; ++d)
            dayfiles::Write(folder->filePath(QStringLiteral("200901%1.txt").arg(d)),
                            dayfiles::Lines(2009, 1, d, 0, 86400));
        path = folder->path();
    }
    return path;
}

std::int64_t Day(int d) {
    return DaysFromCivil(2009, 1, d);
}

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

std::unique_ptr<ViewerWindow> OpenNight(int day) {
    ViewerOptions options;
    options.folder = Folder();
    options.span = TimeSpan::Of(SpanKind::Night, Day(day));
    auto window = std::make_unique<ViewerWindow>(options, Day(29));
    window->resize(1200, 800);
    window->show();
    window->Chart().replot(QCustomPlot::rpImmediateRefresh);
    return window;
}

void BM_ParseFullDay(benchmark::State& state) {
    if (fullDay.empty()) fullDay = dayfiles::Lines(2009, 1, 26, 0, 86400);
    for (auto _ : state) {
        const DayFileContents contents = dayreader::Parse(fullDay);
        benchmark::DoNotOptimize(contents.records.data());
    }
    state.SetItemsProcessed(state.iterations() * 86400);
    state.SetBytesProcessed(state.iterations() * std::int64_t(fullDay.size()));
}

void BM_ReadFullDayFile(benchmark::State& state) {
    const QString path = QDir(Folder()).filePath(QStringLiteral("20090126.txt"));
    for (auto _ : state) {
        const dayreader::FileResult read = dayreader::ReadFile(path);
        benchmark::DoNotOptimize(read.contents.records.data());
    }
    state.SetItemsProcessed(state.iterations() * 86400);
}

// A new window on a night: files read, curves built, first picture drawn.
void BM_OpenNightToFirstPicture(benchmark::State& state) {
    Folder();
    for (auto _ : state) {
        auto window = OpenNight(26);
        state.PauseTiming();
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_StepToNextNight(benchmark::State& state) {
    auto window = OpenNight(21);
    int step = 1;
    for (auto _ : state) {
        // Forward through the folder, then back, each step a night the view had not shown.
        if (window->Lines().span.day == Day(27)) step = -1;
        if (window->Lines().span.day == Day(21)) step = 1;
        window->Step(step);
        window->Chart().replot(QCustomPlot::rpImmediateRefresh);
    }
}

void BM_ReplotWhileZooming(benchmark::State& state) {
    auto window = OpenNight(26);
    SpanChart& chart = window->Chart();
    const double midnight = double(StartOfDay(Day(27)));
    int i = 0;
    for (auto _ : state) {
        // In and out about midnight by wheel notches, between the whole night and an hour.
        chart.ZoomTime((i++ / 12) % 2 == 0 ? 0.8 : 1.25, midnight);
        chart.replot(QCustomPlot::rpImmediateRefresh);
    }
}

void BM_WeekShownAtOnce(benchmark::State& state) {
    Folder();
    for (auto _ : state) {
        QApplication::processEvents();
        const double before = ResidentMegabytes();
        ViewerOptions options;
        options.folder = Folder();
        options.span = TimeSpan::Of(SpanKind::Week, Day(27));
        auto window = std::make_unique<ViewerWindow>(options, Day(29));
        window->resize(1200, 800);
        window->show();
        window->Chart().replot(QCustomPlot::rpImmediateRefresh);
        state.counters["lines"] = double(window->Records().size());
        state.counters["MB_added"] = ResidentMegabytes() - before;
        state.counters["MB_resident"] = ResidentMegabytes();
        window.reset();
    }
}

void BM_ExportNightFromCommandLine(benchmark::State& state) {
    const QString out = QDir(Folder()).filePath(QStringLiteral("night.png"));
    for (auto _ : state) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(NOCTURO_VIEW),
                      {QStringLiteral("--export"), out, QStringLiteral("--night"),
                       QStringLiteral("2009-01-26"), QStringLiteral("--size"),
                       QStringLiteral("1200x800"), Folder()});
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            state.SkipWithError("the export failed");
    }
}

} // namespace

BENCHMARK(BM_ParseFullDay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFullDayFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenNightToFirstPicture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StepToNextNight)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReplotWhileZooming)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WeekShownAtOnce)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ExportNightFromCommandLine)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    folder.reset();
    return 0;
}
