// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/station/SecondRecord.h"
#include "core/text/DateTimeValue.h"
#include "core/text/Formats.h"

#include <benchmark/benchmark.h>

namespace {
SecondRecord TypicalRecord() {
    SecondRecord record;
    record.timeStamp = EncodeDateTime({2009, 1, 26, 15, 37, 30, 12});
    record.temperature = 21.5f;
    record.mean = 1234;
    record.range = 3;
    return record;
}

void BM_LogLine(benchmark::State& state) {
    const SecondRecord record = TypicalRecord();
    const RegionalSettings settings;
    for (auto _ : state)
        benchmark::DoNotOptimize(LogLine(record, settings));
    state.SetLabel("ns per line");
}
BENCHMARK(BM_LogLine);

// The tie path, where the last decimal is rounded by hand.
void BM_LogLineTie(benchmark::State& state) {
    SecondRecord record = TypicalRecord();
    record.temperature = 21.25f;
    const RegionalSettings settings{",", "."};
    for (auto _ : state)
        benchmark::DoNotOptimize(LogLine(record, settings));
}
BENCHMARK(BM_LogLineTie);
} // namespace
