// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sky/SkyglowReference.h"

#include "core/astro/ZoneClock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sky {

std::optional<ReferenceLines> ReferenceFromSkyglow(const skyglow::Parsed& file,
                                                   const QTimeZone& stationZone, QString* why) {
    ReferenceLines reference;
    reference.zeroPoints = ZeroPoints(kSkyglowReferenceZeroPoint);
    if (file.rows.empty()) {
        if (why) *why = QStringLiteral("the reference file holds no lines");
        return std::nullopt;
    }
    const astro::ZoneClock clock(stationZone, file.rows.front().utc.toSecsSinceEpoch() - 86400,
                                 file.rows.back().utc.toSecsSinceEpoch() + 86400);
    reference.lines.reserve(file.rows.size());
    for (const skyglow::Row& row : file.rows) {
        if (!(row.msas > 0)) continue;
        const double count = std::pow(10.0, 0.4 * (kSkyglowReferenceZeroPoint - row.msas));
        DayRecord line;
        line.time = clock.WallOf(row.utc.toSecsSinceEpoch());
        line.mean = static_cast<std::int32_t>(
            std::min(std::round(count), double(std::numeric_limits<std::int32_t>::max())));
        line.temperatureTenths = row.temperature > -273
                                     ? static_cast<std::int16_t>(std::lround(
                                           std::clamp(row.temperature, -270.0, 300.0) * 10))
                                     : std::int16_t{-2731};
        line.range = 5;
        reference.lines.push_back(line);
    }
    if (reference.lines.empty()) {
        if (why)
            *why = QStringLiteral("the reference file has no magnitudes (every MSAS is 0.00 or "
                                  "less): it cannot calibrate");
        return std::nullopt;
    }
    std::stable_sort(reference.lines.begin(), reference.lines.end(),
                     [](const DayRecord& a, const DayRecord& b) { return a.time < b.time; });
    return reference;
}

} // namespace sky
