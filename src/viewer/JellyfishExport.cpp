// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/JellyfishExport.h"

#include "core/Failure.h"
#include "core/cli/ExitStatus.h"
#include "core/log/YearMinutes.h"
#include "core/sky/NightConditions.h"
#include "viewer/JellyfishChart.h"
#include "viewer/SpanExport.h"

#include <QSaveFile>

std::optional<sky::Jellyfish> MakeJellyfish(const DayFileSet& files, const SkyOverlay& sky,
                                            const JellyfishPeriod& period, bool clearOnly,
                                            const MinuteCache& cache, std::int64_t today,
                                            QString* why) {
    const auto fail = [why](const QString& reason) {
        if (why) *why = reason;
        return std::nullopt;
    };
    const std::optional<astro::Observer> where = sky.Position();
    if (!where)
        return fail(QStringLiteral("The jellyfish needs the station's position: give --location "
                                   "LAT,LON or latitude and longitude in station.conf"));
    if (sky.Station().zeroPoints.Empty())
        return fail(QStringLiteral("The jellyfish needs magnitudes: give zero_point in "
                                   "station.conf"));
    const YearMinutes minutes =
        yearminutes::Build(files, period.firstNight, period.nights, cache, today);
    const sky::YearConditions conditions =
        sky::ClassifyYear(minutes, *where, sky.Station().TimeZone());
    sky::Jellyfish jellyfish =
        sky::BuildJellyfish(minutes, conditions, sky.Station().zeroPoints, clearOnly);
    if (jellyfish.counted == 0)
        return fail(QStringLiteral("No %1 minute with a magnitude in %2")
                        .arg(clearOnly ? QStringLiteral("clear dark") : QStringLiteral("dark"),
                             period.name));
    return jellyfish;
}

bool WriteJellyfish(const sky::Jellyfish& jellyfish, const QString& name, const QString& path,
                    QSize size, const RegionalSettings& regional, QString* why) {
    const ExportFormat format = FormatOfName(path);
    if (format == ExportFormat::Csv) {
        QSaveFile file(path);
        const QByteArray csv = sky::JellyfishCsv(jellyfish);
        if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
            return Fail(why,
                        QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
        return true;
    }
    JellyfishChart chart(regional);
    chart.resize(size);
    chart.Show(jellyfish, JellyfishTitle(jellyfish, name));
    return ExportChart(chart, format, path, size, why);
}

YearExportOutcome ExportJellyfish(const ViewerOptions& options, std::int64_t today,
                                  const QString& cacheDirectory, const RegionalSettings& regional) {
    YearExportOutcome outcome;
    SkyOverlay sky(options.location);
    sky.SetFolder(StationFolder(options.folder, options.files));
    if (!sky.Problem().isEmpty()) {
        outcome.messages << sky.Problem();
        outcome.status = exitstatus::kUsage;
        return outcome;
    }
    const DayFileSet files = options.files.isEmpty() ? DayFileSet::FromFolder(options.folder)
                                                     : DayFileSet::FromPaths(options.files);
    const JellyfishPeriod& period = *options.skyViews.jellyfish;
    QString why;
    const std::optional<sky::Jellyfish> jellyfish = MakeJellyfish(
        files, sky, period, options.skyViews.clearOnly, MinuteCache(cacheDirectory), today, &why);
    if (!jellyfish) {
        outcome.messages << why;
        outcome.status = exitstatus::kUsage;
        return outcome;
    }
    if (QString failure; !WriteJellyfish(*jellyfish, period.name, options.exportPath, options.size,
                                         regional, &failure)) {
        outcome.messages << failure;
        outcome.status = exitstatus::kAlert;
    }
    return outcome;
}
