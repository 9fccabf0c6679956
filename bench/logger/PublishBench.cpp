// SPDX-License-Identifier: GPL-3.0-or-later
// Publishing's cost to the logger, side by side with the logger that does not publish.
//
// Memory after a day with the broker away the whole day: a StationLogger on the scripted
// sensor, its clock moved by hand through 86,400 seconds at two passes a second (as
// bench_logger_day does), once without publishing and once publishing to a port where no
// broker listens (its event loop run every few hundred passes, so that it keeps trying). Each
// runs in a process of its own, so that one's memory does not serve the other. Goal: the
// resident set with publishing at most 5 MB above the one without.
//
// CPU per published line: a full day file (86,400 lines) published from its beginning to a
// Mosquitto of the bench's own, until the broker acknowledged the last line: the logger's
// CPU time (user and system) over the lines.
#include "FakeClock.h"
#include "FakePipeLibrary.h"
#include "ProcessFigures.h"
#include "RecordedLines.h"
#include "SensorReplies.h"
#include "TestBroker.h"
#include "logger/LoggerOptions.h"
#include "logger/StationLogger.h"
#include "network/StationPublisher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testsupport::CpuSeconds;
using testsupport::StatusMb;

PublisherSettings Publishing(const QString& url, const QString& directory) {
    PublisherSettings settings;
    // The broker's side alone: no collector confirms here.
    settings.withoutArchive = true;
    settings.broker.address = *BrokerAddress::Parse(url);
    settings.broker.retryMaxMs = 1000;
    settings.station = QStringLiteral("bench");
    settings.zone = QTimeZone::utc();
    settings.version = QStringLiteral("bench");
    settings.dataDirectory = directory;
    return settings;
}

// A full day, in this process; the resident set at its end, in MB.
double RunDay(bool publish) {
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
    StationLogger logger(
        StationLoggerServices{.pipes = pipes, .clock = clock, .lines = lines, .runPasses = false},
        options);
    std::unique_ptr<StationPublisher> publisher;
    if (publish) {
        publisher = std::make_unique<StationPublisher>(
            Publishing(QStringLiteral("mqtt://127.0.0.1:%1").arg(TestBroker::FreePort()),
                       dir.path()),
            logger.GetStation(), [](int, const QString&) {});
        publisher->Start();
    }
    logger.Start();
    Station& station = logger.GetStation();
    double fullDay = 0;
    for (int s = 0; s < 86400 + 2; ++s) {
        if (s == 86399) fullDay = StatusMb("VmRSS:");
        for (int half = 0; half < 2; ++half) {
            clock.now = midnight + (s + 0.5 * half) / 86400.0;
            station.IdleHandler();
        }
        if (s % 200 == 0) QCoreApplication::processEvents();
    }
    logger.Stop();
    if (publisher) publisher->Stop();
    return fullDay;
}

// RunDay in a child process; its figure comes back through a pipe.
double RunDayApart(bool publish) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const double mb = RunDay(publish);
        if (write(fds[1], &mb, sizeof mb) != sizeof mb) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    double mb = -1;
    if (read(fds[0], &mb, sizeof mb) != sizeof mb) mb = -1;
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return mb;
}

void BM_DayWithTheBrokerAway(benchmark::State& state) {
    for (auto _ : state) {
        const double without = RunDayApart(false);
        const double away = RunDayApart(true);
        state.counters["rss_without_MB"] = without;
        state.counters["rss_broker_away_MB"] = away;
        state.counters["difference_MB"] = away - without;
    }
}
BENCHMARK(BM_DayWithTheBrokerAway)->Iterations(1)->Unit(benchmark::kSecond);

void BM_PublishADayFile(benchmark::State& state) {
    for (auto _ : state) {
        TestBroker broker;
        if (!broker.Start()) {
            state.SkipWithError("mosquitto did not start");
            return;
        }
        QTemporaryDir dir;
        // A full day file of 2009-01-26 (86,399 lines: indices 0 to 86,398), and a station
        // whose clock stands at its end.
        QFile day(dir.filePath(QStringLiteral("20090126.txt")));
        if (!day.open(QIODevice::WriteOnly)) return;
        char line[64];
        for (int s = 0; s < 86399; ++s) {
            std::snprintf(line, sizeof line, "2009-01-26 %02d:%02d:%02d  21.5    4936 3\r\n",
                          s / 3600, s / 60 % 60, s % 60);
            day.write(line);
        }
        day.close();
        FakePipeLibrary pipes;
        pipes.recordCalls = false;
        pipes.setReply('L', LightReply(1234, 3));
        pipes.setReply('T', TemperatureReply(kSixteenths21_5));
        FakeClock clock({2009, 1, 26, 23, 59, 59, 0});
        RecordedLines lines;
        LoggerOptions options;
        options.dataDirectory = dir.path();
        StationLogger logger(
            StationLoggerServices{
                .pipes = pipes, .clock = clock, .lines = lines, .runPasses = false},
            options);
        StationPublisher publisher(Publishing(broker.Url(), dir.path()), logger.GetStation(),
                                   [](int, const QString&) {});
        publisher.Start();
        logger.Start();
        const double cpuBefore = CpuSeconds();
        const auto started = std::chrono::steady_clock::now();
        logger.GetStation().IdleHandler(); // the day's last line: the feed starts
        // Waits in the event loop (a tick wakes it for the deadline), never spinning.
        const QDeadlineTimer deadline(300000);
        QTimer tick;
        tick.start(50);
        while (!deadline.hasExpired() &&
               !(publisher.Acknowledged() && publisher.Acknowledged()->line.index >= 86398))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double cpu = CpuSeconds() - cpuBefore;
        const double sent =
            publisher.Acknowledged() ? double(publisher.Acknowledged()->line.index + 1) : 0;
        publisher.Stop();
        logger.Stop();
        state.counters["lines"] = sent;
        state.counters["lines_per_s"] = sent / seconds;
        state.counters["cpu_us_per_line"] = sent > 0 ? 1e6 * cpu / sent : 0;
    }
}
BENCHMARK(BM_PublishADayFile)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
