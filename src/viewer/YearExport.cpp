// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/YearExport.h"

#include "core/Failure.h"
#include "core/sky/NightConditions.h"

#include "viewer/SpanExport.h"
#include "viewer/YearChart.h"

#include <QDir>
#include <QSaveFile>

#include <cmath>
#include <cstdio>

QByteArray YearCsv(const YearMinutes& year) {
    QByteArray csv;
    csv.reserve(qsizetype(year.lines / 60 + 1) * 56 + 64);
    csv.append("night,time,lines,failed,median_mean_count\r\n");
    char line[96];
    for (int n = 0; n < year.nights; ++n) {
        const QByteArray night = IsoDate(year.firstNight + n).toLatin1() + ',';
        for (int r = 0; r < YearMinutes::kRows; ++r) {
            const YearCell& cell = year.At(n, r);
            if (cell.lines == 0) continue;
            csv.append(night);
            csv.append(IsoWallTime(year.TimeOf(n, r)).toLatin1());
            // A median is a whole count or half of one: "%.1f" writes it exactly.
            const double median = cell.median;
            const bool whole = !std::isnan(median) && median == std::floor(median);
            const int length =
                std::isnan(median)
                    ? std::snprintf(line, sizeof line, ",%u,%u,\r\n", cell.lines, cell.failed)
                    : std::snprintf(line, sizeof line,
                                    whole ? ",%u,%u,%.0f\r\n" : ",%u,%u,%.1f\r\n", cell.lines,
                                    cell.failed, median);
            csv.append(line, length);
        }
    }
    return csv;
}

bool ExportYearCsv(const YearMinutes& year, const QString& path, QString* why) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Fail(why, QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    const QByteArray csv = YearCsv(year);
    if (file.write(csv) != csv.size() || !file.commit())
        return Fail(why, QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    return true;
}

QString YearTitle(const YearMinutes& year) {
    return QStringLiteral("Year %1 to %2").arg(IsoDate(year.firstNight), IsoDate(year.LastNight()));
}

std::optional<astro::YearSky> YearSkyFor(const SkyOverlay& sky, const YearMinutes& year) {
    const std::optional<astro::Observer> position = sky.Position();
    if (!position) return std::nullopt;
    return astro::YearSkyOf(*position, sky.Station().TimeZone(), year.firstNight, year.nights);
}

HeatScale YearScale(const SkyOverlay& sky, bool magnitudes) {
    if (magnitudes && sky.ZeroPoints()) return HeatScale::Magnitudes(*sky.ZeroPoints());
    return HeatScale::LogCounts();
}

YearExportOutcome ExportYear(const ViewerOptions& options, std::int64_t today,
                             const QString& cacheDirectory, const RegionalSettings& regional) {
    YearExportOutcome outcome;
    const DayFileSet files = options.files.isEmpty() ? DayFileSet::FromFolder(options.folder)
                                                     : DayFileSet::FromPaths(options.files);
    const std::int64_t last = *options.year;
    const int nights = yearminutes::NightsOfYearEndingWith(last);
    YearMinutes year =
        yearminutes::Build(files, last - nights + 1, nights, MinuteCache(cacheDirectory), today);
    outcome.messages << year.problems;
    if (year.lines == 0) {
        const QString where = files.IsFolder() ? QDir::toNativeSeparators(files.Folder())
                                               : options.files.join(QStringLiteral(", "));
        outcome.messages << QStringLiteral("No lines in the nights %1 to %2 in %3")
                                .arg(IsoDate(year.firstNight), IsoDate(year.LastNight()), where);
        outcome.status = 2;
        return outcome;
    }
    const ExportFormat format = FormatOfName(options.exportPath);
    QString failure;
    bool written = false;
    if (format == ExportFormat::Csv) {
        written = ExportYearCsv(year, options.exportPath, &failure);
    } else {
        SkyOverlay overlay(options.location);
        overlay.SetFolder(StationFolder(options.folder, options.files));
        const std::optional<astro::YearSky> sky = YearSkyFor(overlay, year);
        YearChart chart(regional);
        chart.resize(options.size);
        QString title = YearTitle(year);
        std::vector<bool> kept;
        if (options.skyViews.clearOnly) {
            const std::optional<astro::Observer> where = overlay.Position();
            if (!where) {
                outcome.messages << QStringLiteral("--clear-only needs the station's position: "
                                                   "give --location LAT,LON or latitude and "
                                                   "longitude in station.conf");
                outcome.status = 2;
                return outcome;
            }
            kept = sky::ClearCells(sky::ClassifyYear(year, *where, overlay.Station().TimeZone()));
            title += QStringLiteral(" \u00B7 clear dark minutes");
        }
        chart.Show(std::move(year), title, HeatScale::LogCounts(), std::move(kept));
        if (sky) chart.SetSky(*sky);
        written = ExportChart(chart, format, options.exportPath, options.size, &failure);
    }
    if (!written) {
        outcome.messages << failure;
        outcome.status = 1;
    }
    return outcome;
}
