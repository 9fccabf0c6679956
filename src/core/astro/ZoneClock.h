// SPDX-License-Identifier: GPL-3.0-or-later
// A station's wall clock against UTC. The day files hold local wall times without an
// offset ("wall seconds", see DayRecord.h); the sky needs UTC. The offsets come from the
// station's QTimeZone once for a stretch of time, so converting a year of minutes costs a
// lookup each. Where daylight saving ends, an hour of wall time happens twice: both are
// kept. Where it begins, an hour of wall time never happens.
#pragma once

#include "core/astro/AstroTime.h"
#include "core/log/DayRecord.h"

#include <QTimeZone>

#include <utility>
#include <vector>

namespace astro {

class ZoneClock {
public:
    ZoneClock() = default; // UTC itself
    // The zone's offsets over the UTC seconds [from, to].
    ZoneClock(const QTimeZone& zone, UtcSeconds from, UtcSeconds to);
    // The zone's offsets around a span of wall time.
    static ZoneClock AroundWall(const QTimeZone& zone, WallSeconds from, WallSeconds to);

    int OffsetAt(UtcSeconds t) const; // seconds east of UTC
    WallSeconds WallOf(UtcSeconds t) const { return t + OffsetAt(t); }
    // The UTC seconds [first, end) from the first whose wall time is `from` or later to
    // the last whose wall time is before `to`: the repeated hour counted twice.
    std::pair<UtcSeconds, UtcSeconds> UtcRange(WallSeconds from, WallSeconds to) const;
    // The UTC instants that show wall time `w`, earliest first: one, two in a repeated
    // hour, none in a skipped one. Returns how many were written to `out`.
    int InstantsOf(WallSeconds w, UtcSeconds out[2]) const;
    // The UTC instant of a line's stamp: the `occurrence`-th (from 0) of the instants
    // that show it, the last when there are fewer; a stamp in a skipped hour is read with
    // the offset before the change, as a clock not yet set forward wrote it.
    UtcSeconds UtcOf(WallSeconds w, int occurrence = 0) const;

private:
    struct Piece {
        UtcSeconds from = 0; // this offset holds from here to the next piece
        int offset = 0;
    };
    std::vector<Piece> pieces_{Piece{}};
};

// UTC instants for lines sorted by their wall stamps (as a span's lines come): lines with
// the same stamp take its instants in turn, earliest first, as a clock set back at the end
// of daylight saving wrote them.
std::vector<UtcSeconds> UtcOfLines(const std::vector<DayRecord>& lines, const ZoneClock& clock);

} // namespace astro
