// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/astro/YearSky.h"

#include "core/astro/SpanSky.h"

#include <cmath>

namespace astro {

YearSky YearSkyOf(const Observer& observer, const QTimeZone& zone, std::int64_t firstNight,
                  int nights) {
    YearSky sky;
    if (nights <= 0) return sky;
    const WallSeconds from = StartOfDay(firstNight) + kSecondsPerDay / 2;
    const WallSeconds to = from + WallSeconds(nights) * kSecondsPerDay;
    // One track for the whole year: every minute's Sun and Moon, the events between them.
    const SpanSky span(observer, zone, from, to);
    for (const WallEvent& event : span.Events()) {
        int line = -1;
        switch (event.kind) {
        case SkyEventKind::AstronomicalDusk:
            line = YearSky::Dusk;
            break;
        case SkyEventKind::AstronomicalDawn:
            line = YearSky::Dawn;
            break;
        case SkyEventKind::Moonrise:
            line = YearSky::Moonrise;
            break;
        case SkyEventKind::Moonset:
            line = YearSky::Moonset;
            break;
        default:
            break;
        }
        if (line < 0) continue;
        const double sinceNoon = event.wall - double(from);
        const double night = std::floor(sinceNoon / kSecondsPerDay);
        if (night < 0 || night >= nights) continue;
        sky.lines[std::size_t(line)].push_back(
            {int(night), (sinceNoon - night * kSecondsPerDay) / 60.0});
    }
    return sky;
}

} // namespace astro
