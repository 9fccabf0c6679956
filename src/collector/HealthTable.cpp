// SPDX-License-Identifier: GPL-3.0-or-later
#include "HealthTable.h"

#include <QStringList>

#include <algorithm>

QString AgeText(std::int64_t seconds) {
    if (seconds < 0) return QStringLiteral("ahead %1").arg(AgeText(-seconds));
    if (seconds < 120) return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 2 * 3600) return QStringLiteral("%1 min").arg(seconds / 60);
    if (seconds < 2 * 86400) return QStringLiteral("%1 h").arg(seconds / 3600);
    return QStringLiteral("%1 d").arg(seconds / 86400);
}

HealthReport MakeHealthReport(const std::vector<StationHealth>& stations, std::int64_t now,
                              std::int64_t staleAfter) {
    const QStringList header = {QStringLiteral("STATION"),   QStringLiteral("STATE"),
                                QStringLiteral("LINK"),      QStringLiteral("LAST READING"),
                                QStringLiteral("LAST HOUR"), QStringLiteral("LAST EVENT")};
    std::vector<QStringList> rows{header};
    HealthReport report;
    for (const StationHealth& s : stations) {
        QString state = !s.online   ? QStringLiteral("unknown")
                        : *s.online ? QStringLiteral("online")
                                    : QStringLiteral("OFFLINE");
        if (s.Offline()) ++report.offline;
        if (s.Stale(now, staleAfter)) {
            ++report.stale;
            state = s.online ? QStringLiteral("STALE") : QStringLiteral("unknown, STALE");
        }
        // The link of a station that is offline is not known.
        QString link = !s.online || !*s.online ? QStringLiteral("-")
                       : s.linkUp              ? QStringLiteral("up")
                                               : QStringLiteral("down");
        if (s.online && *s.online && !s.linkUp && !s.hint.isEmpty())
            link += QStringLiteral(" (%1)").arg(s.hint);
        const QString age = s.lastReading ? AgeText(now - *s.lastReading) + QStringLiteral(" ago")
                                          : QStringLiteral("never");
        const QString hour = QStringLiteral("%1/3600").arg(s.linesLastHour);
        const QString event = s.lastEventAt ? QStringLiteral("%1 ago: %2")
                                                  .arg(AgeText(now - *s.lastEventAt),
                                                       s.lastEvent.left(80).simplified())
                                            : QStringLiteral("-");
        rows.push_back({s.name, state, link, age, hour, event});
    }
    std::vector<qsizetype> widths(header.size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], row[i].size());
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[std::size_t(i)] + 2) : row[i];
        report.table += line.trimmed() + u'\n';
    }
    report.table +=
        QStringLiteral("%1 stations, %2 offline, %3 stale (no reading for more than %4)\n")
            .arg(stations.size())
            .arg(report.offline)
            .arg(report.stale)
            .arg(AgeText(staleAfter));
    return report;
}
