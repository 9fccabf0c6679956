// SPDX-License-Identifier: GPL-3.0-or-later
// The Year view over a folder of 365 full day files (2026, 86,400 lines each but for the
// days daylight saving begins and ends: 31.5 million lines, 1.2 GB) and a station.conf,
// written by the benchmark into a temporary folder: one file read and summarised; the
// year's minutes from nothing on one core (the baseline) and on all of them; the Year
// view drawn from nothing and from the minute cache, with the lines of twilight and the
// Moon; the memory of the window with the year shown; and the command-line export of the
// year, process start included; the Year view of the clear dark minutes only, beside the
// plain one, and the year's conditions alone, each with the CPU of every thread and how
// often the process waited or was put off its cores; beside them a loop of arithmetic on
// one thread, which shows what the machine's load alone makes of wall time.
#include "DayFiles.h"
#include "ProcessFigures.h"
#include "core/astro/SkyTrack.h"
#include "core/astro/ZoneClock.h"
#include "core/log/MinuteSummary.h"
#include "core/sky/NightConditions.h"
#include "viewer/ViewerActions.h"
#include "viewer/ViewerWindow.h"
#include "viewer/YearChart.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <benchmark/benchmark.h>

#include <cmath>

#include <cstring>
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

// A station in Vienna (48.2° N, 16.4° E, Central European time with daylight saving) under
// the real sky of the year: counts from the Sun's and the Moon's altitudes and the Moon's
// phase, a town's skyglow, every seventh night or so cloudy (the town's light thrown back).
// The hour skipped in March has no lines; the hour repeated in October has two of each.
const astro::Observer kStation{48.2, 16.4, 180};
const char kStationConf[] = "name = vienna\nlatitude = 48.2\nlongitude = 16.4\nelevation = 180\n"
                            "timezone = Europe/Vienna\n";

double MinuteCounts(const astro::SkyTrack& track, UtcSeconds utc, std::int64_t night) {
    const std::size_t i = std::size_t((utc - track.Start()) / track.Step());
    const double sun = track.SunAltitude(i);
    const double moon = track.MoonAltitude(i);
    double counts = sun > -18 ? 60000 * std::pow((sun + 18) / 78, 3) : 0;
    if (moon > 0) counts += 150 * track.MoonIlluminated(double(utc)) * std::sin(moon * M_PI / 180);
    const bool cloudy = (std::uint64_t(night) * 2654435761U >> 7) % 7 == 0;
    return counts + (cloudy ? 45 : 15);
}

// The day files of the year, and the station's description, into `path`.
void MakeFolder(const QString& path) {
    const QTimeZone zone(QByteArrayLiteral("Europe/Vienna"));
    const WallSeconds from = StartOfDay(DaysFromCivil(kYear, 1, 1));
    const WallSeconds to = StartOfDay(LastNight() + 1);
    const astro::ZoneClock clock = astro::ZoneClock::AroundWall(zone, from, to);
    const UtcSeconds start = from - 4 * 3600;
    const astro::SkyTrack track(kStation, start, 60, std::size_t((to - from) / 60 + 8 * 60));
    dayfiles::Write(QDir(path).filePath(QStringLiteral("station.conf")), kStationConf);
    std::string text;
    for (std::int64_t d = DaysFromCivil(kYear, 1, 1); d <= LastNight(); ++d) {
        const CivilDate date = CivilFromDays(d);
        const double season = std::sin(2 * M_PI * double(d - DaysFromCivil(kYear, 4, 20)) / 365.25);
        text.clear();
        for (int m = 0; m < 1440; ++m) {
            const WallSeconds wall = StartOfDay(d) + m * 60;
            UtcSeconds instants[2];
            const int count = clock.InstantsOf(wall, instants);
            for (int k = 0; k < count; ++k) {
                const double counts =
                    MinuteCounts(track, instants[k], DayOf(wall - kSecondsPerDay / 2));
                for (int s = m * 60; s < m * 60 + 60; ++s) {
                    const long mean = std::lround(counts * (1 + (s * 7919 % 13 - 6) * 0.004));
                    const int range = mean > 20000  ? 1
                                      : mean > 2000 ? 2
                                      : mean > 500  ? 3
                                      : mean > 100  ? 4
                                                    : 5;
                    text += dayfiles::Line(date.year, date.month, date.day, s,
                                           {10 + 8 * season + counts / 20000, mean, range});
                    text += "\r\n";
                }
            }
        }
        dayfiles::Write(QDir(path).filePath(QStringLiteral("%1%2%3.txt")
                                                .arg(date.year)
                                                .arg(date.month, 2, 10, QLatin1Char('0'))
                                                .arg(date.day, 2, 10, QLatin1Char('0'))),
                        text);
    }
}

const QString& Folder() {
    static QString path;
    if (folder) return path;
    folder = std::make_unique<QTemporaryDir>();
    cache = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache->path()));
    MakeFolder(folder->path());
    path = folder->path();
    return path;
}

void ClearCache() {
    QDir(cache->filePath(QStringLiteral("nocturo"))).removeRecursively();
}

// CPU seconds of the whole process so far, every thread's (testsupport::CpuSeconds): on a
// shared machine the wall time says more about the other users than about the work.
using testsupport::CpuSeconds;
using testsupport::StatusMb;

// The times the process gave up its cores so far, every thread's: to wait (a join, a read,
// a lock) and because the scheduler ran another program (a machine busier than its cores).
struct Switches {
    double waits = 0, preempted = 0;
    static Switches Now() {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return {double(usage.ru_nvcsw), double(usage.ru_nivcsw)};
    }
};

// How the time went for `iterations` runs since `cpu` and `from`: CPU of every thread, and
// what took the cores away.
void CountUsage(benchmark::State& state, double cpu, const Switches& from) {
    const double n = double(state.iterations());
    const Switches to = Switches::Now();
    state.counters["cpu_s_all_threads"] = (CpuSeconds() - cpu) / n;
    state.counters["waits"] = (to.waits - from.waits) / n;
    state.counters["preempted"] = (to.preempted - from.preempted) / n;
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
    const double cpu = CpuSeconds();
    for (auto _ : state) {
        const YearMinutes year = yearminutes::Build(files, first, 365, MinuteCache(),
                                                    LastNight() + 30, unsigned(state.range(0)));
        state.counters["lines"] = double(year.lines);
    }
    state.counters["cpu_s_all_threads"] = (CpuSeconds() - cpu) / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * 365 * 86400);
}

// The window switched to the year and drawn, the cache emptied first.
void BM_YearViewFromNothing(benchmark::State& state) {
    auto window = Window(std::nullopt);
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ClearCache();
        const double before = CpuSeconds();
        state.ResumeTiming();
        window->ShowYear(LastNight());
        window->Year().replot(QCustomPlot::rpImmediateRefresh);
        state.PauseTiming();
        cpu += CpuSeconds() - before;
        state.ResumeTiming();
        state.counters["from_cache"] = window->Year().Year().filesFromCache;
    }
    state.counters["cpu_s_all_threads"] = cpu / double(state.iterations());
    state.counters["cores"] = std::thread::hardware_concurrency();
}

// The same with every file's summary in the cache.
void BM_YearViewFromCache(benchmark::State& state) {
    auto window = Window(std::nullopt);
    window->ShowYear(LastNight()); // fills the cache
    const double cpu = CpuSeconds();
    const Switches switches = Switches::Now();
    for (auto _ : state) {
        window->ShowYear(LastNight());
        window->Year().replot(QCustomPlot::rpImmediateRefresh);
        state.counters["from_cache"] = window->Year().Year().filesFromCache;
    }
    CountUsage(state, cpu, switches);
}

// The same with the Year view's clear dark minutes only: the conditions of every minute of
// the year (the Sun and the Moon for each, the year's clear-sky baseline, the classifier)
// on top of the reading above, the goal at most 0.5 s more.
void BM_YearViewClearOnlyFromCache(benchmark::State& state) {
    auto window = Window(std::nullopt);
    window->ShowYear(LastNight()); // fills the cache
    {
        const QSignalBlocker quiet(window->Actions().clearOnly);
        window->Actions().clearOnly->setChecked(true);
    }
    const double cpu = CpuSeconds();
    const Switches switches = Switches::Now();
    for (auto _ : state) {
        window->ShowYear(LastNight());
        window->Year().replot(QCustomPlot::rpImmediateRefresh);
        if (!window->Year().Masked()) state.SkipWithError("no conditions: no position?");
    }
    CountUsage(state, cpu, switches);
}

// The conditions alone, for the minutes of the year read from the cache.
void BM_YearConditions(benchmark::State& state) {
    const DayFileSet files = DayFileSet::FromFolder(Folder());
    const MinuteCache minutes(cache->filePath(QStringLiteral("nocturo")));
    const YearMinutes year =
        yearminutes::Build(files, LastNight() - 364, 365, minutes, LastNight() + 30);
    const QTimeZone zone(QByteArrayLiteral("Europe/Vienna"));
    const double cpu = CpuSeconds();
    const Switches switches = Switches::Now();
    for (auto _ : state) {
        const sky::YearConditions conditions = sky::ClassifyYear(year, kStation, zone);
        benchmark::DoNotOptimize(conditions.cells.data());
    }
    CountUsage(state, cpu, switches);
}

// Nothing but arithmetic on one thread, about as long as the Year view: what the machine's
// load alone makes of wall time against CPU time, the measure to read the others by.
void BM_CpuOnlyReference(benchmark::State& state) {
    const double cpu = CpuSeconds();
    const Switches switches = Switches::Now();
    for (auto _ : state) {
        double x = 1;
        for (int i = 0; i < 60000000; ++i)
            x = x * 1.0000001 + 1e-9;
        benchmark::DoNotOptimize(x);
    }
    CountUsage(state, cpu, switches);
    state.SetItemsProcessed(state.iterations() * 365 * 1440);
}

// A new window opened on the year (from the cache), drawn: its resident memory.
void BM_YearShownMemory(benchmark::State& state) {
    Folder();
    for (auto _ : state) {
        QApplication::processEvents();
        const double before = StatusMb("VmRSS:");
        auto window = Window(LastNight());
        window->Year().replot(QCustomPlot::rpImmediateRefresh);
        QApplication::processEvents();
        state.counters["MB_added"] = StatusMb("VmRSS:") - before;
        state.counters["MB_resident"] = StatusMb("VmRSS:");
        state.counters["MB_peak"] = StatusMb("VmHWM:");
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
BENCHMARK(BM_YearViewClearOnlyFromCache)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);
BENCHMARK(BM_YearConditions)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_CpuOnlyReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_YearShownMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportYearFromCommandLine)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

int main(int argc, char** argv) {
    // bench_viewer_year --make-folder DIR: only writes the year's day files into DIR.
    if (argc == 3 && std::strcmp(argv[1], "--make-folder") == 0) {
        QCoreApplication app(argc, argv);
        if (!QDir().mkpath(QString::fromLocal8Bit(argv[2]))) return 1;
        MakeFolder(QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    folder.reset();
    cache.reset();
    return 0;
}
