// SPDX-License-Identifier: GPL-3.0-or-later
// nocturo-view: looks back at any day, night, week or year of a station's day files, or
// any day, night or week of the network's archive, and exports the picture or the lines, from the
// window or from the command line alone.
#include "archive/ArchiveReader.h"
#include "core/cli/ExitStatus.h"
#include "core/log/LogSpan.h"
#include "core/text/RegionalSettings.h"
#include "viewer/ConditionBook.h"
#include "viewer/ConditionStrip.h"
#include "viewer/HealthDialog.h"
#include "viewer/JellyfishExport.h"
#include "viewer/SkyExports.h"
#include "viewer/SkyOverlay.h"
#include "viewer/SkyTasks.h"
#include "viewer/SkyToolActions.h"
#include "viewer/SpanChart.h"
#include "viewer/SpanExport.h"
#include "viewer/SpanSeries.h"
#include "viewer/StationCurves.h"
#include "viewer/ViewerOptions.h"
#include "viewer/ViewerSource.h"
#include "viewer/ViewerTexts.h"
#include "viewer/ViewerWindow.h"
#include "viewer/YearExport.h"

#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QMessageBox>

#include <cstdio>

namespace {

void Say(const QString& text) {
    std::fprintf(stderr, "nocturo-view: %s\n", text.toLocal8Bit().constData());
}

// The export without a window: 0 when written, 2 for a span without lines or a station
// the source does not hold, 1 when the file could not be written.
int Export(const ViewerOptions& options, RecordSource& source, const RegionalSettings& regional,
           std::int64_t today) {
    // The sky's station description lies beside day files; for an archive only
    // --location gives a position.
    SkyOverlay sky(options.location);
    if (!options.archive) {
        sky.SetFolder(StationFolder(options.folder, options.files));
        if (!sky.Problem().isEmpty()) Say(sky.Problem());
    }
    QString why;
    const QStringList stations = StationsToShow(options, source, why);
    if (stations.isEmpty()) {
        Say(why);
        // An archive that did not answer is a server out of reach, not a wrong command line.
        return source.Trouble().isEmpty() ? exitstatus::kUsage : exitstatus::kUnreachable;
    }
    std::vector<SpanLines> lines;
    bool any = false;
    for (const QString& station : stations) {
        lines.push_back(source.Read(station, *options.span));
        if (const QString notes = NotesText(lines.back()); !notes.isEmpty()) Say(notes);
        any = any || !lines.back().records.empty();
    }
    if (!any) {
        const QString where = !options.archive ? source.Name()
                                               : source.Name() + QStringLiteral(" for ") +
                                                     stations.join(QStringLiteral(", "));
        Say(SpanSummaryText(*options.span, 0, 0) + QStringLiteral(" in ") + where);
        return exitstatus::kUsage;
    }
    const ExportFormat format = FormatOfName(options.exportPath);
    QString failure;
    bool written = false;
    if (format == ExportFormat::Csv) {
        std::vector<const std::vector<DayRecord>*> records;
        for (const SpanLines& station : lines)
            records.push_back(&station.records);
        std::vector<sky::TimedCondition> minutes;
        if (options.skyViews.conditions && stations.size() == 1)
            minutes = ConditionBook(MinuteCache(MinuteCache::DefaultDirectory()), today)
                          .ForSpan(sky, source.DayFiles(), *options.span, lines.front().records);
        written =
            stations.size() == 1
                ? ExportCsv(lines.front().records, options.exportPath, sky.ZeroPoints(),
                            options.skyViews.conditions && sky.Position() ? &minutes : nullptr,
                            &failure)
                : ExportStationsCsv(stations, records, options.exportPath, &failure);
    } else {
        SpanChart chart(regional);
        StationCurves curves(chart);
        ConditionStrip strip(chart);
        chart.resize(options.size);
        chart.Show(*options.span, SpanSeries(std::move(lines.front().records)),
                   sky.Title(*options.span, StationsTitle(*options.span, stations)), false);
        sky.Draw(chart, *options.span);
        if (options.skyViews.conditions)
            strip.Show(ConditionBook(MinuteCache(MinuteCache::DefaultDirectory()), today)
                           .ForSpan(sky, source.DayFiles(), *options.span, chart.Series().All()));
        std::vector<StationCurves::Station> others;
        for (std::size_t i = 1; i < lines.size(); ++i)
            others.push_back({stations[qsizetype(i)], SpanSeries(std::move(lines[i].records))});
        curves.Show(stations.front(), std::move(others));
        if (options.fitLines) chart.SetTimeRange(curves.LinesExtent());
        written = ExportChart(chart, format, options.exportPath, options.size, &failure);
    }
    if (!written) {
        Say(failure);
        return exitstatus::kAlert;
    }
    return exitstatus::kOk;
}

// A year of nights, through the minute cache: the same exit statuses as Export.
int ExportYearOf(const ViewerOptions& options, std::int64_t today,
                 const RegionalSettings& regional) {
    const YearExportOutcome outcome =
        ExportYear(options, today, MinuteCache::DefaultDirectory(), regional);
    for (const QString& message : outcome.messages)
        Say(message);
    return outcome.status;
}

QStringList Arguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::int64_t today = LocalToday();
    // Read once, here, and handed to what writes times and numbers.
    const RegionalSettings regional = RegionalSettings::FromSystem();
    const ParsedOptions parsed =
        ParseViewerOptions(Arguments(argc, argv), today, qEnvironmentVariable("HOME"),
                           qEnvironmentVariable("NOCTURO_DATA_DIR"));
    switch (parsed.outcome) {
    case ParsedOptions::Help:
    case ParsedOptions::Version:
        std::printf("%s\n", parsed.text.toLocal8Bit().constData());
        return exitstatus::kOk;
    case ParsedOptions::Error:
        Say(parsed.text);
        std::fputs(parsed.usage.toLocal8Bit().constData(), stderr);
        return exitstatus::kUsage;
    case ParsedOptions::Run:
        break;
    }
    const ViewerOptions& options = parsed.options;
    if (options.tasks.Any()) {
        // Like an export, a task needs no display; only the drift's picture needs widgets.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        const bool picture = options.tasks.drift && options.tasks.output.endsWith(
                                                        QLatin1String(".png"), Qt::CaseInsensitive);
        std::unique_ptr<QCoreApplication> app =
            picture ? std::make_unique<QApplication>(argc, argv)
                    : std::make_unique<QCoreApplication>(argc, argv);
        return RunSkyTask(options, today, Say);
    }
    if (!options.exportPath.isEmpty()) {
        // Exporting needs no display: a station runs it from a timer, with no one logged in.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        const bool csv = FormatOfName(options.exportPath) == ExportFormat::Csv;
        std::unique_ptr<QCoreApplication> app = csv ? std::make_unique<QCoreApplication>(argc, argv)
                                                    : std::make_unique<QApplication>(argc, argv);
        // The year of nights and the sky's exports read day files.
        if (options.year) return ExportYearOf(options, today, regional);
        if (options.skyViews.jellyfish) {
            const YearExportOutcome outcome =
                ExportJellyfish(options, today, MinuteCache::DefaultDirectory(), regional);
            for (const QString& message : outcome.messages)
                Say(message);
            return outcome.status;
        }
        if (options.nights || options.ida)
            return RunSkyExport(options, Say, MinuteCache::DefaultDirectory(), today);
        try {
            const std::unique_ptr<RecordSource> source = OpenSource(options);
            return Export(options, *source, regional, today);
        } catch (const ArchiveError& error) {
            Say(QString::fromStdString(error.what()));
            return exitstatus::kUnreachable;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo Viewer"));
    QApplication::setApplicationDisplayName(QStringLiteral("Nocturo Viewer"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.nocturo.Viewer"));
    std::unique_ptr<RecordSource> source;
    QString why;
    int status = exitstatus::kUsage;
    ViewerOptions shown = options;
    try {
        source = OpenSource(options);
        shown.stations = StationsToShow(options, *source, why);
    } catch (const ArchiveError& error) {
        why = QString::fromStdString(error.what());
        status = exitstatus::kUnreachable;
    }
    if (!why.isEmpty()) {
        Say(why);
        QMessageBox::critical(nullptr, QStringLiteral("Nocturo Viewer"), why + QLatin1Char('.'));
        return status;
    }
    ViewerWindow window(std::move(source), shown, today, regional);
    // On the archive, the table of every station's health.
    if (options.archive) AddHealthAction(window, *options.archive);
    AddSkyToolActions(window, options, today);
    window.show();
    return QApplication::exec();
}
