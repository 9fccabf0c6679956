// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerOptions.h"

#include "core/cli/ProgramCommandLine.h"
#include "viewer/SkyViewOptions.h"
#include "viewer/SpanExport.h"

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

namespace {

ParsedOptions ParseWith(ProgramCommandLine& program, const QStringList& arguments,
                        std::int64_t today, const QString& home, const QString& dataDir) {
    QCommandLineParser& parser = program.Parser();
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
    const QCommandLineOption yearOption(
        QStringLiteral("year"),
        QStringLiteral("The year of nights ending with the night of DATE, minute by minute."),
        QStringLiteral("DATE"));
    const QCommandLineOption locationOption(
        QStringLiteral("location"),
        QStringLiteral("The station's position for twilight and the Moon, when station.conf "
                       "gives none: degrees north, degrees east, metres."),
        QStringLiteral("LAT,LON[,ELEV]"));
    const QCommandLineOption nightsOption(
        QStringLiteral("nights"),
        QStringLiteral("With --export FILE.csv: one line of figures for each night from FROM "
                       "to TO (darkness, Moon, sky brightness, completeness)."),
        QStringLiteral("FROM TO"));
    const QCommandLineOption idaOption(
        QStringLiteral("ida"),
        QStringLiteral("With --export FILE: the span's lines in the skyglow archives' format "
                       "(community standard for skyglow observations 1.0, \"IDA NSB\")."));
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
    parser.addOptions({exportOption, dayOption, nightOption, weekOption, yearOption, sizeOption,
                       locationOption, nightsOption, idaOption, archiveOption, stationOption,
                       fitOption});
    AddSkyViewOptions(parser);
    AddSkyTaskOptions(parser);
    // --nights takes two dates: join them into one value for the parser.
    QStringList joined = arguments;
    for (qsizetype i = 0; i + 1 < joined.size(); ++i) {
        if (joined[i] != QLatin1String("--nights")) continue;
        if (i + 2 >= joined.size() || joined[i + 2].startsWith(u'-'))
            return Failed(QStringLiteral("--nights wants two dates, FROM and TO"));
        joined[i + 1] += u' ' + joined[i + 2];
        joined.removeAt(i + 2);
    }
    parser.addPositionalArgument(
        QStringLiteral("FOLDER | FILE..."),
        QStringLiteral("A folder of day files (yyyymmdd.txt), or day files "
                       "(default: $NOCTURO_DATA_DIR, else ~/Nocturo)."));
    if (CommandLineOutcome outcome; !program.Parse(joined, outcome, true)) {
        if (!outcome.error.isEmpty()) return Failed(outcome.error);
        const bool help = parser.isSet(QStringLiteral("help"));
        return {
            help ? ParsedOptions::Help : ParsedOptions::Version, {}, outcome.output.trimmed(), {}};
    }

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
    if (parser.isSet(yearOption)) {
        const QString value = parser.value(yearOption);
        options.year = DayOfArgument(value, today);
        if (!options.year)
            return Failed(QStringLiteral("--year wants a date yyyy-mm-dd, \"today\" or "
                                         "\"yesterday\", not \"%1\"")
                              .arg(value));
        ++spans;
    }
    if (spans > 1 || parser.values(dayOption).size() + parser.values(nightOption).size() +
                             parser.values(weekOption).size() + parser.values(yearOption).size() >
                         1)
        return Failed(QStringLiteral("give one of --day, --night, --week and --year, once"));

    if (parser.isSet(locationOption)) {
        QString why;
        options.location = astro::ParseLocation(parser.value(locationOption), &why);
        if (!options.location) return Failed(why);
    }
    options.ida = parser.isSet(idaOption);
    if (parser.isSet(nightsOption)) {
        const QStringList dates = parser.value(nightsOption).split(u' ');
        std::optional<std::int64_t> from, to;
        if (dates.size() == 2)
            from = DayOfArgument(dates[0], today), to = DayOfArgument(dates[1], today);
        if (!from || !to || *to < *from)
            return Failed(QStringLiteral("--nights wants two dates FROM TO (yyyy-mm-dd, today, "
                                         "yesterday), FROM not after TO, not \"%1\"")
                              .arg(parser.value(nightsOption)));
        if (*to - *from > 366 * 100)
            return Failed(QStringLiteral("--nights: give at most a hundred years"));
        options.nights = std::pair{*from, *to};
        if (spans > 0)
            return Failed(QStringLiteral("--nights goes without --day, --night or --week"));
    }
    if (QString why; !ReadSkyTaskOptions(parser, options.tasks, &why)) return Failed(why);
    if ((options.nights || options.ida) && !parser.isSet(exportOption) && !options.tasks.Any())
        return Failed(QStringLiteral("--%1 goes with --export FILE")
                          .arg(QLatin1String(options.ida ? "ida" : "nights")));
    if (options.nights && options.ida)
        return Failed(QStringLiteral("give one of --nights and --ida"));
    if (options.tasks.Any() && (options.year || options.ida))
        return Failed(
            QStringLiteral("--calibrate, --drift and --month go without --year and --ida"));
    if (options.year && (options.nights || options.ida))
        return Failed(QStringLiteral("--year goes without --nights and --ida"));

    {
        QString others;
        for (const char* name : {"day", "night", "week", "year", "nights", "ida", "archive"})
            if (others.isEmpty() && parser.isSet(QString::fromLatin1(name)))
                others = QString::fromLatin1(name);
        if (QString why; !ReadSkyViewOptions(parser, others, options.skyViews, &why))
            return Failed(why);
    }
    if (parser.isSet(exportOption)) {
        options.exportPath = parser.value(exportOption);
        if (options.nights && FormatOfName(options.exportPath) != ExportFormat::Csv)
            return Failed(
                QStringLiteral("--nights writes a .csv file, not \"%1\"").arg(options.exportPath));
        if (options.ida) {
            if (!options.span) options.span = TimeSpan::Of(SpanKind::Night, today - 1);
        } else if (FormatOfName(options.exportPath) == ExportFormat::Unknown)
            return Failed(
                QStringLiteral("--export wants a file ending in .png, .svg, .pdf or .csv, "
                               "not \"%1\"")
                    .arg(options.exportPath));
        if (!options.span && !options.year) options.span = TimeSpan::Of(SpanKind::Night, today - 1);
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
        // The year of nights and the sky's exports read day files (the minute cache, the
        // station's description beside them).
        if (options.year || (options.nights && !options.tasks.Any()) || options.ida)
            return Failed(QStringLiteral("--%1 reads day files: not with --archive")
                              .arg(QLatin1String(options.year     ? "year"
                                                 : options.nights ? "nights"
                                                                  : "ida")));
        options.archive = parser.value(archiveOption);
        options.stations = parser.values(stationOption);
        options.stations.removeDuplicates();
        if (options.stations.contains(QString()))
            return Failed(QStringLiteral("--station wants a station's name"));
        for (const QString& station : options.stations)
            if (QString why; !CheckStationName(QStringLiteral("station"), station, &why))
                return Failed(why);
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

} // namespace

ParsedOptions ParseViewerOptions(const QStringList& arguments, std::int64_t today,
                                 const QString& home, const QString& dataDir) {
    ProgramCommandLine program(
        QStringLiteral("nocturo-view"),
        QStringLiteral("Shows the day files of a Nocturo station: a day (00:00 to 24:00), a "
                       "night (12:00 to 12:00 of the next day) or a week, and exports them."));
    ParsedOptions parsed = ParseWith(program, arguments, today, home, dataDir);
    if (parsed.outcome == ParsedOptions::Error) parsed.usage = program.HelpText();
    return parsed;
}
