// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/astro/SpanSky.h"

#include "core/station/StationDescription.h"

#include <algorithm>

namespace astro {

SpanSky::SpanSky(const Observer& observer, const QTimeZone& zone, WallSeconds from, WallSeconds to,
                 int step)
    : clock_(ZoneClock::AroundWall(zone, from, to)) {
    step = std::max(step, 1);
    const auto [first, end] = clock_.UtcRange(from, to);
    if (end <= first) return;
    // Samples on whole steps of UTC, one at or before the start and one at or after the
    // end, so that curves reach both edges.
    const UtcSeconds start = first - ((first % step) + step) % step;
    const std::size_t count = static_cast<std::size_t>((end - start + step - 1) / step) + 1;
    track_ = SkyTrack(observer, start, step, count);
    for (const SkyEvent& event : FindEvents(track_)) {
        const UtcSeconds whole = static_cast<UtcSeconds>(event.utc);
        if (whole < first || whole >= end) continue;
        const double wall = event.utc + clock_.OffsetAt(whole);
        events_.push_back({event.kind, event.utc, wall});
    }
}

double SpanSky::MoonIlluminated() const {
    if (track_.Empty()) return 0;
    return track_.MoonIlluminated(
        0.5 * static_cast<double>(track_.TimeAt(0) + track_.TimeAt(track_.Size() - 1)));
}

std::vector<WallEvent> SkyEventsOf(const StationDescription& station, WallSeconds from,
                                   WallSeconds to) {
    const std::optional<Observer> observer = ObserverOf(station);
    if (!observer) return {};
    return SpanSky(*observer, station.TimeZone(), from, to).Events();
}

} // namespace astro
