// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SkyViewOptions.h"

#include "core/Failure.h"
#include "core/log/DayRecord.h"

#include <QCommandLineParser>
#include <QRegularExpression>

std::optional<JellyfishPeriod> ParseJellyfishPeriod(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})(?:-(\\d{2}))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) return std::nullopt;
    const int year = match.captured(1).toInt();
    JellyfishPeriod period;
    period.name = text;
    if (match.captured(2).isEmpty()) {
        period.firstNight = DaysFromCivil(year, 1, 1);
        period.nights = int(DaysFromCivil(year + 1, 1, 1) - period.firstNight);
        return period;
    }
    const int month = match.captured(2).toInt();
    if (month < 1 || month > 12) return std::nullopt;
    period.firstNight = DaysFromCivil(year, month, 1);
    period.nights = DaysInMonth(year, month);
    return period;
}

void AddSkyViewOptions(QCommandLineParser& parser) {
    parser.addOptions({
        QCommandLineOption(
            QStringLiteral("conditions"),
            QStringLiteral("The sky's condition of every minute (day, twilight, moonlit, clear, "
                           "cloudy): a sky column in the span's CSV; the nightly figures over "
                           "clear dark moonless minutes, with limiting magnitude and Bortle "
                           "class.")),
        QCommandLineOption(
            QStringLiteral("jellyfish"),
            QStringLiteral("With --export FILE: the sky brightness of the minutes of the month "
                           "YYYY-MM or the year YYYY against the time of night."),
            QStringLiteral("PERIOD")),
        QCommandLineOption(QStringLiteral("clear-only"),
                           QStringLiteral("With --jellyfish or --year: the clear dark minutes "
                                          "only.")),
    });
}

bool ReadSkyViewOptions(const QCommandLineParser& parser, const QString& others,
                        SkyViewOptions& options, QString* why) {
    options.conditions = parser.isSet(QStringLiteral("conditions"));
    options.clearOnly = parser.isSet(QStringLiteral("clear-only"));
    if (parser.isSet(QStringLiteral("jellyfish"))) {
        const QString value = parser.value(QStringLiteral("jellyfish"));
        options.jellyfish = ParseJellyfishPeriod(value);
        if (!options.jellyfish)
            return Fail(
                why, QStringLiteral("--jellyfish wants a month YYYY-MM or a year YYYY, not \"%1\"")
                         .arg(value));
        if (!parser.isSet(QStringLiteral("export")))
            return Fail(why, QStringLiteral("--jellyfish goes with --export FILE"));
        if (!others.isEmpty())
            return Fail(why, QStringLiteral("--jellyfish goes without --%1").arg(others));
    }
    if (options.clearOnly && !options.jellyfish && !parser.isSet(QStringLiteral("year")))
        return Fail(why, QStringLiteral("--clear-only goes with --jellyfish or --year"));
    return true;
}
