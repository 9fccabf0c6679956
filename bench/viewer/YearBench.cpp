// SPDX-License-Identifier: GPL-3.0-or-later
// The Year view over a folder of 365 full day files (2026, 86,400 lines each: 31.5 million
// lines, 1.2 GB), written by the benchmark into a temporary folder: one file read and
// summarised; the year's minutes from nothing on one core (the baseline) and on all of
// them; the Year view drawn from nothing and from the minute cache; the memory of the
// window with the year shown; and the command-line export of the year, process start
// included.
#include "DayFiles.h"
#include "MinuteSummary.h"
#include "ViewerWindow.h"
#include "YearChart.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr int kYear = 2026;

std::unique_ptr<QTemporaryDir> folder; // the day files
std::unique_ptr<QTemporaryDir> cache;  // $XDG_CACHE_HOME

std::int64_t LastNight() {
    return DaysFromCivil(kYear, 12, 31);
}

// A full day written once; each file is a copy with its own date in every line (the lines
// have a fixed width).
const QString& Folder() {
    static QString path;
    if (folder) return path;
    folder = std::make_unique<QTemporaryDir>();
    cache = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache->path()));
    std::string day = dayfiles::Lines(kYear, 1, 1, 0, 86400);
    const std::size_t width = day.size() / 86400;
    for (std::int64_t d = DaysFromCivil(kYear, 1, 1); d <= LastNight(); ++d) {
        const CivilDate date = CivilFromDays(d);
        char stamp[11];
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d", date.year, date.month, date.day);
        for (std::size_t i = 0; i < day.size(); i += width)
            std::memcpy(&day[i], stamp, 10);
        dayfiles::Write(folder->filePath(QStringLiteral("%1%2%3.txt")
                                             .arg(date.year)
                                             .arg(date.month, 2, 10, QLatin1Char('0'))
                                             .arg(date.day, 2, 10, QLatin1Char('0'))),
                        day);
    }
    path = folder->path();
    return path;
}

void ClearCache() {
    QDir(cache->filePath(QStringLiteral("nocturo"))).removeRecursively();
}

double StatusMegabytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field))) / 1024.0;
    return 0;
}

std::unique_ptr<ViewerWindow> Window(std::optional<std::int64_t> year) {
    ViewerOptions options;
    options.folder = Folder();
    options.span = TimeSpan::Of(SpanKind::Night, LastNight());
    options.year = year;
    auto window = std::make_unique<ViewerWindow>(options, LastNight() + 30);
    window->resize(1200, 800);
    window->show();
    return window;
}

void BM_SummariseFullDayFile(benchmark::State& state) {
    const QString path = QDir(Folder()).filePath(QStringLiteral("20260615.txt"));
    for (auto _ : state) {
        const minutes::FileSummary file = minutes::SummariseFile(path);
        benchmark::DoNotOptimize(file.summary.minutes.data());
    }
    state.SetItemsProcessed(state.iterations() * 86400);
}

// The year's minutes from the files alone (no cache), on `threads` cores.
void BM_YearMinutesFromNothing(benchmark::State& state) {
    const DayFileSet files = DayFileSet::FromFolder(Folder());
    const std::int64_t first = LastNight() - 364;
    for (auto _ : state) {
        const YearMinutes year = yearminutes::Build(files, first, 365, MinuteCache(),
                                                    LastNight() + 30, unsigned(state.range(0)));
        state.counters["lines"] = double(year.lines);
    }
    state.SetItemsProcessed(state.iterations() * 365 * 86400);
}

// The window switched to the year and drawn, the cache emptied first.
void BM_YearViewFromNothing(benchmark::State& state) {
    auto window = Window(std::nullopt);
    for (auto _ : state) {
        state.PauseTiming();
        ClearCache();
        state.ResumeTiming();
        window->ShowYear(LastNight());
        window->Year().replot(QCustomPlot::rpImmediateRefresh);
        state.counters["from_cache"] = window->Year().Year().filesFromCache;
    }
    state.counters["cores"] = std::thread::hardware_concurrency();
}

// The same with every file's summary in the cache.
void BM_YearViewFromCache(benchmark::State& state) {
    auto window = Window(std::nullopt);
    window->ShowYear(LastNight()); // fills the cache
    for (auto _ : state) {
        window->ShowYear(LastNight());
        window->Year().replot(QCustomPlot::rpImmediateRefresh);
        state.counters["from_cache"] = window->Year().Year().filesFromCache;
    }
}

// A new window opened on the year (from the cache), drawn: its resident memory.
void BM_YearShownMemory(benchmark::State& state) {
    Folder();
    for (auto _ : state) {
        QApplication::processEvents();
        const double before = StatusMegabytes("VmRSS:");
        auto window = Window(LastNight());
        window->Year().replot(QCustomPlot::rpImmediateRefresh);
        QApplication::processEvents();
        state.counters["MB_added"] = StatusMegabytes("VmRSS:") - before;
        state.counters["MB_resident"] = StatusMegabytes("VmRSS:");
        state.counters["MB_peak"] = StatusMegabytes("VmHWM:");
        state.counters["lines"] = double(window->Year().Year().lines);
    }
}

// nocturo-view --year 2026-12-31 --export year.png FOLDER, the cache filled, from the
// process start to its end; its peak resident memory as the system counted it.
void BM_ExportYearFromCommandLine(benchmark::State& state) {
    const QString out = QDir(Folder()).filePath(QStringLiteral("year.png"));
    for (auto _ : state) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(environment);
        // GNU time tells the peak memory, where it is installed.
        const bool timed = QFileInfo::exists(QStringLiteral("/usr/bin/time"));
        QStringList command = {QStringLiteral(NOCTURO_VIEW),
                               QStringLiteral("--year"),
                               QStringLiteral("2026-12-31"),
                               QStringLiteral("--export"),
                               out,
                               Folder()};
        if (timed) command = QStringList{QStringLiteral("-f"), QStringLiteral("%M")} + command;
        process.start(timed ? QStringLiteral("/usr/bin/time") : command.takeFirst(), command);
        if (!process.waitForFinished(60000) || process.exitCode() != 0) {
            state.SkipWithError("the export failed");
            break;
        }
        const QList<QByteArray> errors = process.readAllStandardError().trimmed().split('\n');
        if (timed) state.counters["MB_peak"] = errors.last().toDouble() / 1024.0;
    }
}

} // namespace

BENCHMARK(BM_SummariseFullDayFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YearMinutesFromNothing)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_YearViewFromNothing)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_YearViewFromCache)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_YearShownMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportYearFromCommandLine)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    folder.reset();
    cache.reset();
    return 0;
}
