// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/station/ZoneAgreement.h"

#include <QDateTime>

#include <cstdlib>

#include <set>

namespace zoneagreement {
namespace {

QString Offset(int seconds) {
    const int minutes = std::abs(seconds) / 60;
    return QStringLiteral("UTC%1%2:%3")
        .arg(QChar(seconds < 0 ? u'-' : u'+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// The moments a zone's offset changes between `from` and `to`.
void Transitions(const QTimeZone& zone, const QDateTime& from, const QDateTime& to,
                 std::set<std::int64_t>& into) {
    for (const QTimeZone::OffsetData& t : zone.transitions(from, to))
        if (t.atUtc.isValid()) into.insert(t.atUtc.toSecsSinceEpoch());
}

} // namespace

QString Difference(const QTimeZone& station, const QTimeZone& computer, std::int64_t nowUtc) {
    const QDateTime from = QDateTime::fromSecsSinceEpoch(nowUtc - kBefore, Qt::UTC);
    const QDateTime to = QDateTime::fromSecsSinceEpoch(nowUtc + kAfter, Qt::UTC);
    // Between two changes of either zone both offsets hold still: comparing them at the
    // start and at every change covers the whole span.
    std::set<std::int64_t> moments{from.toSecsSinceEpoch()};
    Transitions(station, from, to, moments);
    Transitions(computer, from, to, moments);
    for (const std::int64_t moment : moments) {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(moment, Qt::UTC);
        const int a = station.offsetFromUtc(at);
        const int b = computer.offsetFromUtc(at);
        if (a != b)
            return QStringLiteral("%1 is %2 and %3 is %4 on %5")
                .arg(QString::fromUtf8(station.id()), Offset(a), QString::fromUtf8(computer.id()),
                     Offset(b), at.toString(QStringLiteral("yyyy-MM-dd")));
    }
    return QString();
}

} // namespace zoneagreement
