// SPDX-License-Identifier: GPL-3.0-or-later
// The logger's memory through a whole day: a StationLogger on the scripted sensor, its
// clock moved by hand through 86,400 seconds at two passes a second, its day file saved
// after second 29 of every minute into a temporary directory. The resident set is read just
// before the end-of-day roll-over empties the log, when the day's 86,398 lines are all in
// memory, and its peak at the end. The target: at most 30 MB.
#include "FakeClock.h"
#include "FakePipeLibrary.h"
#include "ProcessFigures.h"
#include "RecordedLines.h"
#include "SensorReplies.h"
#include "logger/LoggerOptions.h"
#include "logger/StationLogger.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

using testsupport::StatusMb;

void BM_LoggerThroughAFullDay(benchmark::State& state) {
    for (auto _ : state) {
        QTemporaryDir dir;
        FakePipeLibrary pipes;
        pipes.recordCalls = false;
        pipes.setReply('L', LightReply(1234, 3));
        pipes.setReply('T', TemperatureReply(kSixteenths21_5));
        FakeClock clock({2009, 1, 26, 0, 0, 0, 0});
        const double midnight = clock.now;
        RecordedLines lines;
        LoggerOptions options;
        options.dataDirectory = dir.path();
        const double atStart = StatusMb("VmRSS:");
        StationLogger logger(
            StationLoggerServices{
                .pipes = pipes, .clock = clock, .lines = lines, .runPasses = false},
            options);
        logger.Start();
        Station& station = logger.GetStation();
        double fullDay = 0;
        std::size_t linesHeld = 0;
        for (int s = 0; s < 86400 + 2; ++s) {
            if (s == 86399) {
                fullDay = StatusMb("VmRSS:");
                linesHeld = station.Log().LineCount();
            }
            for (int half = 0; half < 2; ++half) {
                clock.now = midnight + (s + 0.5 * half) / 86400.0;
                station.IdleHandler();
            }
        }
        logger.Stop();
        state.counters["rss_start_MB"] = atStart;
        state.counters["rss_full_day_MB"] = fullDay;
        // The kernel updates the high-water mark lazily; the highest figure seen counts.
        state.counters["rss_peak_MB"] = std::max(StatusMb("VmHWM:"), fullDay);
        state.counters["lines_held"] = static_cast<double>(linesHeld);
        state.counters["event_lines"] = static_cast<double>(lines.lines.size());
    }
}
BENCHMARK(BM_LoggerThroughAFullDay)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
