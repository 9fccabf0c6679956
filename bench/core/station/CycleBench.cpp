// SPDX-License-Identifier: GPL-3.0-or-later
// One acquisition pass with an instant scripted sensor and no window.
#include "FakeClock.h"
#include "FakePipeLibrary.h"
#include "core/station/AcquisitionCycle.h"
#include "sensor/PICUSBClass.h"

#include <benchmark/benchmark.h>

namespace {
struct Discard : RecordHandOver {
    std::int64_t sum = 0;
    void TakeRecord(const SecondRecord& record) override { sum += record.mean; }
};
} // namespace

// Each pass advances the clock by 1 ms, so one pass in a thousand closes a second and
// makes a record, as with a sensor answering a thousand times a second.
static void BM_Pass(benchmark::State& state) {
    FakeClock clock;
    FakePipeLibrary pipes;
    pipes.recordCalls = false;
    pipes.setReply('L', {0x34, 0x12, 0x03});
    pipes.setReply('T', {0x90, 0x01});
    TPICUSB device(pipes);
    Discard records;
    AcquisitionCycle cycle(clock, records);
    cycle.Begin();
    device.SetActive(true);
    cycle.SetDevice(&device);
    for (auto _ : state) {
        clock.AdvanceMs(1);
        cycle.Pass();
        benchmark::DoNotOptimize(cycle.Reconnect());
    }
    benchmark::DoNotOptimize(records.sum);
}
BENCHMARK(BM_Pass);
