// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SkyTasks.h"

#include "archive/ArchiveReader.h"
#include "core/cli/ExitStatus.h"
#include "core/nights/SkyglowFile.h"
#include "viewer/CalibrationRun.h"
#include "viewer/DriftChart.h"
#include "viewer/SkyOverlay.h"
#include "viewer/ViewerSource.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

TimeSpan MonthSpan(int year, int month) {
    TimeSpan span;
    span.kind = SpanKind::Day;
    const std::int64_t first = DaysFromCivil(year, month, 1);
    span.day = first + DaysInMonth(year, month) - 1;
    span.from = StartOfDay(first);
    span.to = StartOfDay(span.day + 1);
    return span;
}

QString MonthFileName(const StationDescription& station, int year, int month) {
    QString id =
        station.skyglow.instrumentId.isEmpty() ? station.name : station.skyglow.instrumentId;
    // A name for a file on any system: what the instrument id holds beyond these is '-'.
    for (QChar& c : id)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'-' && c != u'_' && c != u'.')
            c = u'-';
    if (id.isEmpty()) id = QStringLiteral("station");
    return QStringLiteral("%1_%2-%3.dat")
        .arg(id)
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'));
}

sky::Drift FigureStationDrift(RecordSource& source, const QString& station, std::int64_t first,
                              std::int64_t last, const astro::Observer& where,
                              const QTimeZone& zone, const sky::ZeroPoints& zeroPoints) {
    std::vector<sky::TwilightPoint> points;
    for (std::int64_t day = first; day <= last; ++day) {
        const TimeSpan span = TimeSpan::Of(SpanKind::Night, day);
        const SpanLines lines = source.Read(station, span);
        if (lines.records.empty()) continue;
        const std::vector<sky::TwilightPoint> night = sky::TwilightMagnitudes(
            day, sky::NightMinutes(span, lines.records, where, zone), zeroPoints);
        points.insert(points.end(), night.begin(), night.end());
    }
    return sky::FigureDrift(points, zeroPoints.Empty());
}

QString DriftText(const sky::Drift& drift) {
    QStringList lines;
    for (const sky::DriftTrend& t : drift.trends)
        lines << (t.magPerYear
                      ? QStringLiteral("Sun at %1°: %2 mag a year over %3 months")
                            .arg(t.altitude, 0, 'f', 0)
                            .arg(*t.magPerYear >= 0
                                     ? QStringLiteral("+%1").arg(*t.magPerYear, 0, 'f', 3)
                                     : QString::number(*t.magPerYear, 'f', 3))
                            .arg(t.months)
                      : QStringLiteral("Sun at %1°: no trend (%2 months with clear twilights, 3 "
                                       "needed)")
                            .arg(t.altitude, 0, 'f', 0)
                            .arg(t.months));
    if (drift.magPerYear)
        lines << QStringLiteral("Drift: %1%2 mag a year (Theil-Sen, the median of the altitudes)")
                     .arg(*drift.magPerYear >= 0 ? QStringLiteral("+") : QString())
                     .arg(*drift.magPerYear, 0, 'f', 3);
    return lines.join(u'\n');
}

namespace {

void Print(const QString& text) {
    std::printf("%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

// The nights a task covers: --nights, the nights of a span, else `fallback`.
std::pair<std::int64_t, std::int64_t> NightsOf(const ViewerOptions& options,
                                               std::pair<std::int64_t, std::int64_t> fallback) {
    if (options.nights) return *options.nights;
    if (options.span) {
        if (options.span->kind == SpanKind::Night) return {options.span->day, options.span->day};
        return {DayOf(options.span->from), DayOf(options.span->to - 1)};
    }
    return fallback;
}

// The first and last evening the day files hold.
std::optional<std::pair<std::int64_t, std::int64_t>> FolderNights(const RecordSource& source) {
    const DayFileSet* files = source.DayFiles();
    if (!files) return std::nullopt;
    std::optional<std::pair<std::int64_t, std::int64_t>> range;
    for (const DayFileSet::File& f : files->Files()) {
        if (f.day == DayFileSet::kUndated) continue;
        if (!range)
            range = std::pair{f.day - 1, f.day};
        else
            range = std::pair{std::min(range->first, f.day - 1), std::max(range->second, f.day)};
    }
    return range;
}

int Calibrate(const ViewerOptions& options, std::int64_t today, RecordSource& source,
              const QString& station, const SkyOverlay& sky, void (*say)(const QString&)) {
    const std::optional<astro::Observer> where = sky.Position();
    if (!where) {
        say(QStringLiteral("calibrating needs the station's position: give --location LAT,LON or "
                           "latitude and longitude in station.conf"));
        return exitstatus::kUsage;
    }
    const SkyTasks& tasks = options.tasks;
    QString why;
    std::optional<CalibrationReference> reference;
    if (!tasks.referenceFolder.isEmpty())
        reference = FolderReference(tasks.referenceFolder, tasks.referenceZeroPoint, &why);
    else if (!tasks.referenceSkyglow.isEmpty())
        reference = SkyglowReference(tasks.referenceSkyglow, sky.Station().TimeZone(), &why);
    else
        reference = StationReference(source, tasks.referenceStation, *tasks.referenceZeroPoint);
    if (!reference) {
        say(why);
        return exitstatus::kUsage;
    }
    const auto [first, last] = NightsOf(options, {today - 1, today - 1});
    const sky::Calibration result =
        RunCalibration(source, station, *reference, first, last, *where, sky.Station().TimeZone());
    if (!result.zeroPoint) {
        say(QStringLiteral("cannot calibrate against %1: %2").arg(reference->name, result.refusal));
        return exitstatus::kAlert;
    }
    Print(CalibrationReport(result, reference->name));
    return exitstatus::kOk;
}

int Month(const ViewerOptions& options, RecordSource& source, const QStringList& stations,
          const SkyOverlay& sky, void (*say)(const QString&)) {
    const auto [year, month] = *options.tasks.month;
    const TimeSpan span = MonthSpan(year, month);
    const QString folder =
        options.tasks.output.isEmpty() ? QDir::currentPath() : options.tasks.output;
    if (!QDir().mkpath(folder)) {
        say(QStringLiteral("cannot make the folder \"%1\"").arg(folder));
        return exitstatus::kAlert;
    }
    int written = 0;
    for (const QString& name : stations) {
        const SpanLines lines = source.Read(name, span);
        for (const QString& problem : lines.problems)
            say(problem);
        StationDescription station = sky.Station();
        if (options.archive) {
            // The archive knows a station by its name; where it stands comes from
            // --location, and its counts have no zero point there.
            station = StationDescription{};
            station.name = name;
            if (const std::optional<astro::Observer> at = sky.Position()) {
                station.latitude = at->latitude;
                station.longitude = at->longitude;
                station.elevation = at->elevation;
            }
        }
        const QString label = name.isEmpty() ? source.Name() : name;
        if (lines.records.empty()) {
            say(QStringLiteral("no lines for %1-%2 in %3")
                    .arg(year)
                    .arg(month, 2, 10, QLatin1Char('0'))
                    .arg(label));
            continue;
        }
        const QString path = QDir(folder).filePath(MonthFileName(station, year, month));
        if (QString failure; !skyglow::Write(path, lines.records, station,
                                             QStringLiteral(NOCTURO_VERSION), &failure)) {
            say(failure);
            return exitstatus::kAlert;
        }
        Print(QStringLiteral("%1: %2 lines").arg(path).arg(lines.records.size()));
        ++written;
    }
    return written > 0 ? exitstatus::kOk : exitstatus::kUsage;
}

int DriftTask(const ViewerOptions& options, RecordSource& source, const QString& station,
              const SkyOverlay& sky, void (*say)(const QString&)) {
    const std::optional<astro::Observer> where = sky.Position();
    if (!where) {
        say(QStringLiteral("the drift needs the station's position: give --location LAT,LON or "
                           "latitude and longitude in station.conf"));
        return exitstatus::kUsage;
    }
    const std::optional<std::pair<std::int64_t, std::int64_t>> held = FolderNights(source);
    if (!options.nights && !options.span && !held) {
        say(QStringLiteral("--drift on the archive wants --nights FROM TO"));
        return exitstatus::kUsage;
    }
    const auto [first, last] = NightsOf(options, held.value_or(std::pair{0, -1}));
    const sky::Drift drift =
        FigureStationDrift(source, station, first, last, *where, sky.Station().TimeZone(),
                           options.archive ? sky::ZeroPoints{} : sky.Station().zeroPoints);
    if (drift.months.empty()) {
        say(QStringLiteral("no clear twilight with the Moon down from %1 to %2: no drift to "
                           "figure")
                .arg(IsoDate(first), IsoDate(last)));
        return exitstatus::kUsage;
    }
    const QString& output = options.tasks.output;
    if (output.isEmpty()) {
        std::fputs(sky::DriftCsv(drift).constData(), stdout);
        say(DriftText(drift));
        return exitstatus::kOk;
    }
    QString failure;
    bool written = true;
    if (QFileInfo(output).suffix().toLower() == QLatin1String("png")) {
        written = ExportDriftPicture(drift, output, options.size, &failure);
    } else {
        QSaveFile file(output);
        const QByteArray csv = sky::DriftCsv(drift);
        written = file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size() && file.commit();
        if (!written)
            failure = QStringLiteral("cannot write \"%1\": %2").arg(output, file.errorString());
    }
    if (!written) {
        say(failure);
        return exitstatus::kAlert;
    }
    Print(DriftText(drift));
    return exitstatus::kOk;
}

} // namespace

int RunSkyTask(const ViewerOptions& options, std::int64_t today, void (*say)(const QString&)) {
    SkyOverlay sky(options.location);
    if (!options.archive) {
        sky.SetFolder(StationFolder(options.folder, options.files));
        if (!sky.Problem().isEmpty()) {
            say(sky.Problem());
            return exitstatus::kUsage;
        }
    }
    try {
        const std::unique_ptr<RecordSource> source = OpenSource(options);
        QString why;
        ViewerOptions asked = options;
        // A month of the archive, without --station: every station it holds.
        if (options.tasks.month && options.archive && options.stations.isEmpty())
            asked.stations = source->Stations();
        const QStringList stations = StationsToShow(asked, *source, why);
        if (stations.isEmpty()) {
            say(why.isEmpty() ? QStringLiteral("%1 holds no station").arg(source->Name()) : why);
            return source->Trouble().isEmpty() ? exitstatus::kUsage : exitstatus::kUnreachable;
        }
        if (options.tasks.month) return Month(options, *source, stations, sky, say);
        if (options.tasks.drift) return DriftTask(options, *source, stations.front(), sky, say);
        if (!options.tasks.referenceStation.isEmpty() &&
            !source->Stations().contains(options.tasks.referenceStation)) {
            say(QStringLiteral("there is no station \"%1\" in %2")
                    .arg(options.tasks.referenceStation, source->Name()));
            return exitstatus::kUsage;
        }
        return Calibrate(options, today, *source, stations.front(), sky, say);
    } catch (const ArchiveError& error) {
        say(QString::fromStdString(error.what()));
        return exitstatus::kUnreachable;
    }
}
