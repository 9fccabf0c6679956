// SPDX-License-Identifier: GPL-3.0-or-later
// The daily log's costs on a full day (86,400 lines): loading the day's file at start-up,
// appending one line a second, and one save with its flush to disk.
#include "core/log/DailyLog.h"
#include "core/station/SecondRecord.h"
#include "core/text/DateTimeValue.h"
#include "core/text/Formats.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kSecondsPerDay = 86400;
const QString kDay = QStringLiteral("20090126.txt");

SecondRecord RecordAt(int second) {
    SecondRecord record;
    record.timeStamp = EncodeDateTime({2009, 1, 26, 0, 0, 0, 0}) + second / 86400.0;
    record.temperature = 21.5f;
    record.mean = 1000 + second;
    record.range = 3;
    record.second = second;
    record.newSecond = second + 1;
    return record;
}

// A day file with one line for every second, in a fresh directory on the program's disk.
struct FullDay {
    QTemporaryDir dir{QStringLiteral("bench-dailylog-XXXXXX")};
    FullDay() {
        DailyLog log(dir.path());
        log.SetLogFileName(kDay);
        for (int second = 0; second < kSecondsPerDay; ++second)
            log.Append(LogLine(RecordAt(second), RegionalSettings{}));
        log.Save();
    }
};

void BM_LoadFullDay(benchmark::State& state) {
    FullDay day;
    for (auto _ : state) {
        DailyLog log(day.dir.path());
        log.SetLogFileName(kDay);
        log.Load();
        benchmark::DoNotOptimize(log.LineCount());
    }
}
BENCHMARK(BM_LoadFullDay)->Unit(benchmark::kMillisecond);

// Appending a made line to a log that grows to a full day, then starts again.
void BM_AppendLine(benchmark::State& state) {
    DailyLog log(QStringLiteral("."));
    log.SetLogFileName(kDay);
    const QString line = LogLine(RecordAt(36000), RegionalSettings{});
    for (auto _ : state) {
        log.Append(line);
        if (log.LineCount() == kSecondsPerDay) {
            state.PauseTiming();
            log.Empty();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_AppendLine);

// The whole part of the log in a record that does not save: file name, line, append.
void BM_TakeRecord(benchmark::State& state) {
    DailyLog log(QStringLiteral("."));
    const SecondRecord record = RecordAt(36000);
    for (auto _ : state) {
        log.Take(record);
        if (log.LineCount() == kSecondsPerDay) {
            state.PauseTiming();
            log.Empty();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_TakeRecord);

// The once-a-minute save late in the day: the file holds the previous save, the log one
// more line. Read-back, write of a temporary file, flush to disk, rename, directory flush.
void BM_SaveFullDay(benchmark::State& state) {
    FullDay day;
    DailyLog log(day.dir.path());
    log.SetLogFileName(kDay);
    log.Load();
    const QString line = LogLine(RecordAt(kSecondsPerDay - 1), RegionalSettings{});
    for (auto _ : state) {
        state.PauseTiming();
        log.Append(line);
        state.ResumeTiming();
        log.Save();
    }
}
BENCHMARK(BM_SaveFullDay)->Unit(benchmark::kMillisecond)->UseRealTime();

// The save after the clock was set back: the file holds a full day the log does not
// carry, so every line is matched and kept in front.
void BM_SaveKeepingAFullDay(benchmark::State& state) {
    FullDay day;
    const QByteArray held = [&] {
        QFile file(day.dir.filePath(kDay));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    DailyLog log(day.dir.path());
    log.SetLogFileName(kDay);
    for (int second = 0; second < kSecondsPerDay / 2; ++second)
        log.Append(LogLine(RecordAt(second + 7), RegionalSettings{}));
    for (auto _ : state) {
        state.PauseTiming();
        QFile file(day.dir.filePath(kDay));
        if (file.open(QIODevice::WriteOnly)) file.write(held);
        file.close();
        state.ResumeTiming();
        log.Save();
    }
}
BENCHMARK(BM_SaveKeepingAFullDay)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
