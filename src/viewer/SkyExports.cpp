// SPDX-License-Identifier: GPL-3.0-or-later
#include "SkyExports.h"

#include "LogSpan.h"
#include "NightFigures.h"
#include "SkyglowFile.h"
#include "ViewerOptions.h"
#include "ViewerTexts.h"

#include <QSaveFile>

QString ExportNightFigures(const DayFileSet& files, DayFileCache& cache, std::int64_t first,
                           std::int64_t last, const SkyOverlay& sky, const QString& path) {
    const std::optional<astro::Observer> where = sky.Position();
    if (!where)
        return QStringLiteral("The nightly figures need the station's position: give --location "
                              "LAT,LON or latitude and longitude in station.conf");
    std::vector<NightFigures> nights;
    for (std::int64_t day = first; day <= last; ++day) {
        const TimeSpan night = TimeSpan::Of(SpanKind::Night, day);
        const SpanLines lines = AssembleSpan(files, cache, night);
        nights.push_back(FigureNight(night, lines.records, *where, sky.Station().TimeZone(),
                                     sky.Station().zeroPoints));
    }
    QSaveFile file(path);
    const QByteArray csv = NightFiguresCsv(nights, sky.ZeroPoint().has_value());
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        return QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString());
    return {};
}

QString ExportSkyglow(const std::vector<DayRecord>& records, const SkyOverlay& sky,
                      const QString& path) {
    return skyglow::Write(path, records, sky.Station(), QStringLiteral(NOCTURO_VERSION));
}

int RunSkyExport(const ViewerOptions& options, void (*say)(const QString&)) {
    SkyOverlay sky(options.location);
    sky.SetFolder(StationFolder(options.folder, options.files));
    if (!sky.Problem().isEmpty()) {
        say(sky.Problem());
        return 2;
    }
    const DayFileSet files = options.files.isEmpty() ? DayFileSet::FromFolder(options.folder)
                                                     : DayFileSet::FromPaths(options.files);
    DayFileCache cache;
    QString failure;
    if (options.nights) {
        failure = ExportNightFigures(files, cache, options.nights->first, options.nights->second,
                                     sky, options.exportPath);
        if (!failure.isEmpty() && !sky.Position()) {
            say(failure);
            return 2;
        }
    } else {
        const SpanLines lines = AssembleSpan(files, cache, *options.span);
        if (const QString notes = NotesText(lines); !notes.isEmpty()) say(notes);
        if (lines.records.empty()) {
            say(SpanSummaryText(lines.span, 0, 0));
            return 2;
        }
        failure = ExportSkyglow(lines.records, sky, options.exportPath);
    }
    if (!failure.isEmpty()) {
        say(failure);
        return 1;
    }
    return 0;
}
