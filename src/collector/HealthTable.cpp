// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/HealthTable.h"

#include <QStringList>

#include <algorithm>

HealthReport MakeHealthReport(const std::vector<StationHealth>& stations, std::int64_t now,
                              std::int64_t staleAfter,
                              const std::vector<stationhealth::StationSky>& skies) {
    const QStringList header = stationhealth::Header() + stationhealth::SkyHeader();
    std::vector<QStringList> rows{header};
    HealthReport report;
    // The cells are the archive's, which the viewer's table shows too.
    for (const StationHealth& s : stations) {
        if (s.Offline()) ++report.offline;
        if (s.Stale(now, staleAfter)) ++report.stale;
        std::optional<stationhealth::StationSky> sky;
        for (const stationhealth::StationSky& k : skies)
            if (k.station == s.name) sky = k;
        rows.push_back(stationhealth::Cells(s, now, staleAfter) + stationhealth::SkyCells(sky));
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
