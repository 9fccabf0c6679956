// SPDX-License-Identifier: GPL-3.0-or-later
// Where the live station learns the sky condition of the last complete minute: day,
// twilight, moonlit, clear or cloudy. The classifier lives with the sky's figures; the
// observatory only asks it, once a minute, for the minute that just ended.
#pragma once

#include <QString>

#include <cstdint>

class SkyConditionSource {
public:
    virtual ~SkyConditionSource() = default;
    // The condition of the minute that ended at `utcMinuteEnd` (ms since 1970), whose
    // readings had this mean count; empty when it cannot be told (no position, no zero
    // point, too few readings). One of "day", "twilight", "moonlit", "clear", "cloudy".
    virtual QString ConditionOf(std::int64_t utcMinuteEnd, double meanCount, int seconds) = 0;
};
