// SPDX-License-Identifier: GPL-3.0-or-later
#include "ViewerOptions.h"

#include "SpanExport.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
constexpr int kMinSide = 16;
constexpr int kMaxSide = 8000;

std::optional<std::int64_t> DayOfArgument(const QString& text, std::int64_t today) {
    if (text == QLatin1StringView("today")) return today;
    if (text == QLatin1StringView("yesterday")) return today - 1;
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) return std::nullopt;
    const int year = match.captured(1).toInt();
    const int month = match.captured(2).toInt();
    const int day = match.captured(3).toInt();
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
    return DaysFromCivil(year, month, day);
}

ParsedOptions Failed(const QString& message) {
    ParsedOptions parsed;
    parsed.outcome = ParsedOptions::Error;
    parsed.text = message;
    return parsed;
}
} // namespace

std::int64_t LocalToday() {
    const QDate today = QDate::currentDate();
    return DaysFromCivil(today.year(), today.month(), today.day());
}

ParsedOptions ParseViewerOptions(const QStringList& arguments, std::int64_t today,
                                 const QString& home, const QString& dataDir) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the day files of a Nocturo station: a day (00:00 to 24:00), a "
                       "night (12:00 to 12:00 of the next day) or a week, and exports them."));
    const QCommandLineOption exportOption(
        QStringLiteral("export"),
        QStringLiteral("Write the span to FILE (.png, .svg, .pdf or .csv) without a window; "
                       "the night of yesterday unless a span is given."),
        QStringLiteral("FILE"));
    const QCommandLineOption dayOption(
        QStringLiteral("day"), QStringLiteral("The day DATE (yyyy-mm-dd, today, yesterday)."),
        QStringLiteral("DATE"));
    const QCommandLineOption nightOption(
        QStringLiteral("night"),
        QStringLiteral("The night from 12:00 of DATE to 12:00 of the next day."),
        QStringLiteral("DATE"));
    const QCommandLineOption weekOption(QStringLiteral("week"),
                                        QStringLiteral("The seven days ending with DATE."),
                                        QStringLiteral("DATE"));
    const QCommandLineOption sizeOption(
        QStringLiteral("size"), QStringLiteral("Size of an exported picture (default 1200x800)."),
        QStringLiteral("WxH"));
    const QCommandLineOption archiveOption(
        QStringLiteral("archive"),
        QStringLiteral("Read the network's archive at ADDRESS (postgresql://…; \"\" for the "
                       "PG* environment variables) instead of day files."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption stationOption(
        QStringLiteral("station"),
        QStringLiteral("Show the archive's station NAME; give it again for several stations on "
                       "one picture (default: the archive's first station)."),
        QStringLiteral("NAME"));
    const QCommandLineOption fitOption(
        QStringLiteral("fit-lines"),
        QStringLiteral("The time axis spans the lines shown (from the first to the last), not the "
                       "whole day, night or week."));
    parser.addOptions({exportOption, dayOption, nightOption, weekOption, sizeOption, archiveOption,
                       stationOption, fitOption});
    parser.addPositionalArgument(
        QStringLiteral("FOLDER | FILE..."),
        QStringLiteral("A folder of day files (yyyymmdd.txt), or day files "
                       "(default: $NOCTURO_DATA_DIR, else ~/Nocturo)."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    if (!parser.parse(arguments)) return Failed(parser.errorText());
    if (parser.isSet(help)) return {ParsedOptions::Help, {}, parser.helpText()};
    if (parser.isSet(version)) return {ParsedOptions::Version, {}, QStringLiteral(NOCTURO_VERSION)};

    ParsedOptions parsed;
    ViewerOptions& options = parsed.options;
    int spans = 0;
    for (const auto& [option, kind] :
         {std::pair{&dayOption, SpanKind::Day}, std::pair{&nightOption, SpanKind::Night},
          std::pair{&weekOption, SpanKind::Week}}) {
        if (!parser.isSet(*option)) continue;
        const QString value = parser.value(*option);
        const std::optional<std::int64_t> day = DayOfArgument(value, today);
        if (!day)
            return Failed(
                QStringLiteral("--%1 wants a date yyyy-mm-dd, \"today\" or \"yesterday\", "
                               "not \"%2\"")
                    .arg(option->names().first(), value));
        options.span = TimeSpan::Of(kind, *day);
        ++spans;
    }
    if (spans > 1 || parser.values(dayOption).size() + parser.values(nightOption).size() +
                             parser.values(weekOption).size() >
                         1)
        return Failed(QStringLiteral("give one of --day, --night and --week, once"));

    if (parser.isSet(exportOption)) {
        options.exportPath = parser.value(exportOption);
        if (FormatOfName(options.exportPath) == ExportFormat::Unknown)
            return Failed(
                QStringLiteral("--export wants a file ending in .png, .svg, .pdf or .csv, "
                               "not \"%1\"")
                    .arg(options.exportPath));
        if (!options.span) options.span = TimeSpan::Of(SpanKind::Night, today - 1);
    }
    if (parser.isSet(sizeOption)) {
        if (options.exportPath.isEmpty())
            return Failed(QStringLiteral("--size goes with --export"));
        static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
        const QRegularExpressionMatch match = pattern.match(parser.value(sizeOption));
        const int width = match.hasMatch() ? match.captured(1).toInt() : 0;
        const int height = match.hasMatch() ? match.captured(2).toInt() : 0;
        if (width < kMinSide || width > kMaxSide || height < kMinSide || height > kMaxSide)
            return Failed(QStringLiteral("--size wants WIDTHxHEIGHT in pixels, each from %1 to %2, "
                                         "not \"%3\"")
                              .arg(kMinSide)
                              .arg(kMaxSide)
                              .arg(parser.value(sizeOption)));
        options.size = QSize(width, height);
    }

    options.fitLines = parser.isSet(fitOption);
    const QStringList paths = parser.positionalArguments();
    if (parser.isSet(archiveOption)) {
        if (!paths.isEmpty())
            return Failed(QStringLiteral("give --archive or day files, not both"));
        options.archive = parser.value(archiveOption);
        options.stations = parser.values(stationOption);
        options.stations.removeDuplicates();
        if (options.stations.contains(QString()))
            return Failed(QStringLiteral("--station wants a station's name"));
        return parsed;
    }
    if (parser.isSet(stationOption)) return Failed(QStringLiteral("--station goes with --archive"));
    if (paths.isEmpty()) {
        options.folder =
            !dataDir.isEmpty() ? dataDir : QDir(home).filePath(QStringLiteral("Nocturo"));
    } else if (paths.size() == 1 && QFileInfo(paths[0]).isDir()) {
        options.folder = paths[0];
    } else {
        for (const QString& path : paths) {
            const QFileInfo info(path);
            if (info.isDir())
                return Failed(
                    QStringLiteral("\"%1\" is a folder: give one folder, or day files").arg(path));
            if (!info.exists())
                return Failed(QStringLiteral("there is no file or folder \"%1\"").arg(path));
            options.files << path;
        }
    }
    return parsed;
}
