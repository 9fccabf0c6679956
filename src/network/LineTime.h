// SPDX-License-Identifier: GPL-3.0-or-later
// The UTC second of a day file's line. The day files hold the station's wall-clock times
// without a zone; the station's time zone turns them into UTC. A wall time that the end of
// daylight saving repeats has two UTC seconds an hour apart: of the two, the one nearer
// the previous line's is taken, so that in file order the hour repeated stays two distinct
// hours (the first pass keeps the summer offset, the second takes the winter one) while a
// clock set back by a few seconds stays within its hour (a tie goes forward in time).
// Without a previous line the earlier of the two is taken. A wall time that the start of
// daylight saving skips (no clock shows it) is read with the offset in force before the
// change.
#pragma once

#include "core/log/DayRecord.h"

#include <QTimeZone>

#include <cstdint>
#include <optional>

class LineTime {
public:
    explicit LineTime(QTimeZone zone);

    // The UTC second (since 1970) of the next line in file order.
    std::int64_t Next(WallSeconds wall);
    // Where the lines go on from: the line before the next one and its UTC second, or
    // none (a file's beginning with nothing known before it).
    void Restart(std::optional<std::int64_t> previousUtc) { previous_ = previousUtc; }

    // The candidates alone: the earlier (or only) UTC second of a wall time, and the later
    // one when the wall time is repeated.
    struct Candidates {
        std::int64_t first = 0;
        std::optional<std::int64_t> second;
    };
    Candidates Of(WallSeconds wall) const;

private:
    int OffsetAt(std::int64_t utc) const;

    QTimeZone zone_;
    std::optional<std::int64_t> previous_;
};
