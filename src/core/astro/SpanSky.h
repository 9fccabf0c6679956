// SPDX-License-Identifier: GPL-3.0-or-later
// The sky over a span of a station's local wall time, as the views draw it: the Sun's and
// the Moon's altitude every `step` seconds of UTC from the first instant whose wall time
// is the span's start to the last before its end (the repeated hour at the end of
// daylight saving included, the skipped one left out), each with its wall time; the
// twilight boundaries, moonrise and moonset within; the Moon's phase.
#pragma once

#include "core/astro/Observer.h"
#include "core/astro/SkyTrack.h"
#include "core/astro/Twilight.h"
#include "core/astro/ZoneClock.h"

#include <optional>
#include <vector>

struct StationDescription;

namespace astro {

struct WallEvent {
    SkyEventKind kind = SkyEventKind::Sunset;
    double utc = 0;  // UTC seconds
    double wall = 0; // the station's wall time of it, in wall seconds
};

class SpanSky {
public:
    SpanSky(const Observer& observer, const QTimeZone& zone, WallSeconds from, WallSeconds to,
            int step = 60);

    const SkyTrack& Track() const { return track_; }
    const ZoneClock& Clock() const { return clock_; }
    std::size_t Size() const { return track_.Size(); }
    WallSeconds WallAt(std::size_t i) const { return clock_.WallOf(track_.TimeAt(i)); }
    // The events whose wall time lies within the span, in time order.
    const std::vector<WallEvent>& Events() const { return events_; }
    // The Moon's illuminated fraction at the middle of the span.
    double MoonIlluminated() const;

private:
    ZoneClock clock_;
    SkyTrack track_;
    std::vector<WallEvent> events_;
};

// The twilight boundaries, moonrise and moonset within a span of a station's wall time;
// none when its description gives no position.
std::vector<WallEvent> SkyEventsOf(const StationDescription& station, WallSeconds from,
                                   WallSeconds to);

} // namespace astro
