// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SkyExports.h"

#include "core/Failure.h"
#include "core/cli/ExitStatus.h"
#include "core/log/LogSpan.h"
#include "core/nights/NightFigures.h"
#include "core/nights/SkyglowFile.h"
#include "core/sky/NightConditions.h"
#include "viewer/ViewerOptions.h"
#include "viewer/ViewerTexts.h"

#include <QSaveFile>

bool ExportNightFigures(const DayFileSet& files, DayFileCache& cache, std::int64_t first,
                        std::int64_t last, const SkyOverlay& sky, const QString& path,
                        const MinuteCache* conditions, std::int64_t today, QString* why) {
    const std::optional<astro::Observer> where = sky.Position();
    if (!where)
        return Fail(why, QStringLiteral("The nightly figures need the station's position: give "
                                        "--location LAT,LON or latitude and longitude in "
                                        "station.conf"));
    const QTimeZone zone = sky.Station().TimeZone();
    const sky::ClearSkyBaseline baseline =
        conditions ? sky::BaselineAround(files, *conditions, first, last, today, *where, zone)
                   : sky::ClearSkyBaseline();
    std::vector<NightFigures> nights;
    for (std::int64_t day = first; day <= last; ++day) {
        const TimeSpan night = TimeSpan::Of(SpanKind::Night, day);
        const SpanLines lines = AssembleSpan(files, cache, night);
        std::vector<sky::Condition> minutes;
        if (conditions)
            minutes =
                sky::Classify(sky::NightMinutes(night, lines.records, *where, zone), baseline);
        nights.push_back(FigureNight(night, lines.records, *where, zone, sky.Station().zeroPoints,
                                     conditions ? &minutes : nullptr));
    }
    QSaveFile file(path);
    const QByteArray csv =
        NightFiguresCsv(nights, sky.ZeroPoints() != nullptr, conditions != nullptr);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        return Fail(why, QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    return true;
}

bool ExportSkyglow(const std::vector<DayRecord>& records, const SkyOverlay& sky,
                   const QString& path, QString* why) {
    return skyglow::Write(path, records, sky.Station(), QStringLiteral(NOCTURO_VERSION), why);
}

int RunSkyExport(const ViewerOptions& options, void (*say)(const QString&),
                 const QString& cacheDirectory, std::int64_t today) {
    SkyOverlay sky(options.location);
    sky.SetFolder(StationFolder(options.folder, options.files));
    if (!sky.Problem().isEmpty()) {
        say(sky.Problem());
        return exitstatus::kUsage;
    }
    const DayFileSet files = options.files.isEmpty() ? DayFileSet::FromFolder(options.folder)
                                                     : DayFileSet::FromPaths(options.files);
    DayFileCache cache;
    QString failure;
    bool written = false;
    if (options.nights) {
        const MinuteCache minutes(cacheDirectory);
        written = ExportNightFigures(
            files, cache, options.nights->first, options.nights->second, sky, options.exportPath,
            options.skyViews.conditions ? &minutes : nullptr, today, &failure);
        if (!written && !sky.Position()) {
            say(failure);
            return exitstatus::kUsage;
        }
    } else {
        const SpanLines lines = AssembleSpan(files, cache, *options.span);
        if (const QString notes = NotesText(lines); !notes.isEmpty()) say(notes);
        if (lines.records.empty()) {
            say(SpanSummaryText(lines.span, 0, 0));
            return exitstatus::kUsage;
        }
        written = ExportSkyglow(lines.records, sky, options.exportPath, &failure);
    }
    if (!written) {
        say(failure);
        return exitstatus::kAlert;
    }
    return exitstatus::kOk;
}
