// SPDX-License-Identifier: GPL-3.0-or-later
// nocturo-view: looks back at any day, night or week of a station's day files, and
// exports the picture or the lines, from the window or from the command line alone.
#include "LogSpan.h"
#include "SkyExports.h"
#include "SkyOverlay.h"
#include "SpanChart.h"
#include "SpanExport.h"
#include "SpanSeries.h"
#include "ViewerOptions.h"
#include "ViewerTexts.h"
#include "ViewerWindow.h"
#include "YearExport.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

namespace {

void Say(const QString& text) {
    std::fprintf(stderr, "nocturo-view: %s\n", text.toLocal8Bit().constData());
}

// The export without a window: 0 when written, 2 for a span without lines, 1 when the
// file could not be written.
int Export(const ViewerOptions& options) {
    if (options.nights || options.ida) return RunSkyExport(options, Say);
    SkyOverlay sky(options.location);
    sky.SetFolder(StationFolder(options.folder, options.files));
    if (!sky.Problem().isEmpty()) Say(sky.Problem());
    const DayFileSet files = options.files.isEmpty() ? DayFileSet::FromFolder(options.folder)
                                                     : DayFileSet::FromPaths(options.files);
    DayFileCache cache;
    SpanLines lines = AssembleSpan(files, cache, *options.span);
    if (const QString notes = NotesText(lines); !notes.isEmpty()) Say(notes);
    if (lines.records.empty()) {
        const QString where = files.IsFolder() ? QDir::toNativeSeparators(files.Folder())
                                               : options.files.join(QStringLiteral(", "));
        Say(SpanSummaryText(lines.span, 0, 0) + QStringLiteral(" in ") + where);
        return 2;
    }
    const ExportFormat format = FormatOfName(options.exportPath);
    QString failure;
    if (format == ExportFormat::Csv) {
        failure = ExportCsv(lines.records, options.exportPath, sky.ZeroPoint());
    } else {
        SpanChart chart;
        chart.resize(options.size);
        chart.Show(*options.span, SpanSeries(std::move(lines.records)),
                   sky.Title(*options.span, SpanTitle(*options.span)), false);
        sky.Draw(chart, *options.span);
        failure = ExportChart(chart, format, options.exportPath, options.size);
    }
    if (!failure.isEmpty()) {
        Say(failure);
        return 1;
    }
    return 0;
}

// A year of nights, through the minute cache: the same exit statuses as Export.
int ExportYearOf(const ViewerOptions& options, std::int64_t today) {
    const YearExportOutcome outcome = ExportYear(options, today, MinuteCache::DefaultDirectory());
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
    const ParsedOptions parsed =
        ParseViewerOptions(Arguments(argc, argv), today, qEnvironmentVariable("HOME"),
                           qEnvironmentVariable("NOCTURO_DATA_DIR"));
    switch (parsed.outcome) {
    case ParsedOptions::Help:
    case ParsedOptions::Version:
        std::printf("%s\n", parsed.text.toLocal8Bit().constData());
        return 0;
    case ParsedOptions::Error:
        Say(parsed.text + QStringLiteral(" (see --help)"));
        return 2;
    case ParsedOptions::Run:
        break;
    }
    const ViewerOptions& options = parsed.options;
    if (!options.exportPath.isEmpty()) {
        // Exporting needs no display: a station runs it from a timer, with no one logged in.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        if (FormatOfName(options.exportPath) == ExportFormat::Csv) {
            QCoreApplication app(argc, argv);
            return options.year ? ExportYearOf(options, today) : Export(options);
        }
        QApplication app(argc, argv);
        return options.year ? ExportYearOf(options, today) : Export(options);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nocturo Viewer"));
    QApplication::setApplicationDisplayName(QStringLiteral("Nocturo Viewer"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.nocturo.Viewer"));
    ViewerWindow window(options, today);
    window.show();
    return QApplication::exec();
}
