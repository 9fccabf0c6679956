// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/astro/ZoneClock.h"

#include <QDateTime>

#include <algorithm>

namespace astro {
namespace {

constexpr UtcSeconds kMaxOffset = 26 * 3600; // beyond any zone's offset from UTC

} // namespace

ZoneClock::ZoneClock(const QTimeZone& zone, UtcSeconds from, UtcSeconds to) {
    if (!zone.isValid()) return;
    const QDateTime start = QDateTime::fromSecsSinceEpoch(from, Qt::UTC);
    pieces_ = {Piece{from, zone.offsetFromUtc(start)}};
    if (!zone.hasTransitions()) return;
    const QDateTime end = QDateTime::fromSecsSinceEpoch(to, Qt::UTC);
    for (const QTimeZone::OffsetData& change : zone.transitions(start, end)) {
        const UtcSeconds at = change.atUtc.toSecsSinceEpoch();
        if (at <= pieces_.back().from)
            pieces_.back().offset = change.offsetFromUtc;
        else if (change.offsetFromUtc != pieces_.back().offset)
            pieces_.push_back({at, change.offsetFromUtc});
    }
}

ZoneClock ZoneClock::AroundWall(const QTimeZone& zone, WallSeconds from, WallSeconds to) {
    return ZoneClock(zone, from - kMaxOffset, to + kMaxOffset);
}

int ZoneClock::OffsetAt(UtcSeconds t) const {
    auto next = std::upper_bound(pieces_.begin() + 1, pieces_.end(), t,
                                 [](UtcSeconds x, const Piece& p) { return x < p.from; });
    return std::prev(next)->offset;
}

std::pair<UtcSeconds, UtcSeconds> ZoneClock::UtcRange(WallSeconds from, WallSeconds to) const {
    UtcSeconds first = 0, end = 0;
    bool any = false;
    for (std::size_t k = 0; k < pieces_.size(); ++k) {
        // Within a piece the wall time runs with UTC at its offset.
        const UtcSeconds pieceFrom =
            k == 0 ? std::numeric_limits<UtcSeconds>::min() / 2 : pieces_[k].from;
        const UtcSeconds pieceTo = k + 1 < pieces_.size()
                                       ? pieces_[k + 1].from
                                       : std::numeric_limits<UtcSeconds>::max() / 2;
        const UtcSeconds a = std::max(pieceFrom, from - pieces_[k].offset);
        const UtcSeconds b = std::min(pieceTo, to - pieces_[k].offset);
        if (a >= b) continue;
        first = any ? std::min(first, a) : a;
        end = any ? std::max(end, b) : b;
        any = true;
    }
    return any ? std::make_pair(first, end) : std::make_pair(from, from);
}

int ZoneClock::InstantsOf(WallSeconds w, UtcSeconds out[2]) const {
    int n = 0;
    for (std::size_t k = 0; k < pieces_.size() && n < 2; ++k) {
        const UtcSeconds t = w - pieces_[k].offset;
        const bool afterStart = k == 0 || t >= pieces_[k].from;
        const bool beforeEnd = k + 1 == pieces_.size() || t < pieces_[k + 1].from;
        if (afterStart && beforeEnd) out[n++] = t;
    }
    return n;
}

UtcSeconds ZoneClock::UtcOf(WallSeconds w, int occurrence) const {
    UtcSeconds instants[2];
    const int n = InstantsOf(w, instants);
    if (n > 0) return instants[std::min(occurrence, n - 1)];
    // A skipped hour: the offset in force just before the wall time jumped over it.
    for (std::size_t k = pieces_.size(); k-- > 1;) {
        if (w - pieces_[k - 1].offset >= pieces_[k].from) return w - pieces_[k - 1].offset;
    }
    return w - pieces_.front().offset;
}

std::vector<UtcSeconds> UtcOfLines(const std::vector<DayRecord>& lines, const ZoneClock& clock) {
    std::vector<UtcSeconds> utc(lines.size());
    int occurrence = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        occurrence = i > 0 && lines[i].time == lines[i - 1].time ? occurrence + 1 : 0;
        utc[i] = clock.UtcOf(lines[i].time, occurrence);
    }
    return utc;
}

} // namespace astro
