// SPDX-License-Identifier: GPL-3.0-or-later
// The Sun and the Moon for every minute of a year (target: at most 200 ms), beside the
// baseline of the full ERFA computation for one instant, a night's minutes, and the
// events of a year found in the track.
#include "core/astro/SkyPlace.h"
#include "core/astro/SkyTrack.h"
#include "core/astro/SpanSky.h"
#include "core/astro/Twilight.h"

#include <benchmark/benchmark.h>

namespace {

const astro::Observer kVienna{48.2, 16.4, 180};
constexpr UtcSeconds k2026 = 1767225600; // 2026-01-01 00:00 UTC

void YearOfMinutes(benchmark::State& state) {
    for (auto _ : state) {
        const astro::SkyTrack track(kVienna, k2026, 60, 365 * 1440);
        benchmark::DoNotOptimize(track.SunAltitude(track.Size() - 1));
    }
    state.SetItemsProcessed(state.iterations() * 365 * 1440);
}
BENCHMARK(YearOfMinutes)->Unit(benchmark::kMillisecond)->UseRealTime();

void YearOfEvents(benchmark::State& state) {
    const astro::SkyTrack track(kVienna, k2026, 60, 365 * 1440);
    for (auto _ : state)
        benchmark::DoNotOptimize(astro::FindEvents(track).size());
}
BENCHMARK(YearOfEvents)->Unit(benchmark::kMillisecond);

// A night view's sky: a minute's samples over 24 hours, events, phase.
void NightOfMinutes(benchmark::State& state) {
    const QTimeZone zone("Europe/Vienna");
    const WallSeconds evening = 1768737600; // 2026-01-18 12:00 wall time
    for (auto _ : state) {
        const astro::SpanSky sky(kVienna, zone, evening, evening + 86400);
        benchmark::DoNotOptimize(sky.MoonIlluminated());
    }
}
BENCHMARK(NightOfMinutes)->Unit(benchmark::kMicrosecond);

// Baseline: the full computation for one instant, as SkyAt does it.
void OneInstantFull(benchmark::State& state) {
    double t = k2026;
    for (auto _ : state) {
        benchmark::DoNotOptimize(astro::SkyAt(kVienna, t).moon.altitude);
        t += 60;
    }
}
BENCHMARK(OneInstantFull)->Unit(benchmark::kMicrosecond);

} // namespace
