// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensor/libusb/LibusbPipeLibrary.h"

#include <benchmark/benchmark.h>

// A failed open of the sensor's write pipe; the absence is known from hotplug events
// (or a throttled scan), so this must not grow with the number of devices on the bus.
static void BM_OpenWithoutSensor(benchmark::State& state) {
    LibusbPipeLibrary library;
    for (auto _ : state) {
        benchmark::DoNotOptimize(library.UsbOpen(0, "vid_04d8&pid_000c", "\\MCHP_EP1", 0, 0));
    }
}
BENCHMARK(BM_OpenWithoutSensor);

static void BM_HandleEventsIdle(benchmark::State& state) {
    LibusbPipeLibrary library;
    for (auto _ : state)
        library.HandleEvents();
}
BENCHMARK(BM_HandleEventsIdle);
