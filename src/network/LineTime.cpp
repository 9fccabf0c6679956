// SPDX-License-Identifier: GPL-3.0-or-later
#include "network/LineTime.h"

#include <QDateTime>

#include <cstdlib>

LineTime::LineTime(QTimeZone zone)
    : zone_(std::move(zone)) {}

int LineTime::OffsetAt(std::int64_t utc) const {
    return zone_.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc()));
}

LineTime::Candidates LineTime::Of(WallSeconds wall) const {
    // The offsets a day either side: no zone changes its offset twice within two days, so
    // a wall time has at most these two readings. A reading holds when the offset at the
    // UTC second it gives is the offset it was made with.
    const int before = OffsetAt(wall - kSecondsPerDay);
    const int after = OffsetAt(wall + kSecondsPerDay);
    const std::int64_t withBefore = wall - before;
    const std::int64_t withAfter = wall - after;
    const bool beforeHolds = OffsetAt(withBefore) == before;
    const bool afterHolds = OffsetAt(withAfter) == after;
    Candidates c;
    if (beforeHolds && afterHolds && withBefore != withAfter) {
        c.first = std::min(withBefore, withAfter);
        c.second = std::max(withBefore, withAfter);
    } else if (afterHolds && !beforeHolds) {
        c.first = withAfter;
    } else {
        // Held by the offset before, or a skipped wall time: the offset before the change.
        c.first = withBefore;
    }
    return c;
}

std::int64_t LineTime::Next(WallSeconds wall) {
    const Candidates c = Of(wall);
    std::int64_t utc = c.first;
    if (c.second && previous_ &&
        std::llabs(*c.second - *previous_) <= std::llabs(c.first - *previous_))
        utc = *c.second;
    previous_ = utc;
    return utc;
}
