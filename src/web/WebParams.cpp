// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebParams.h"

#include "core/station/StationDescription.h"

#include <QRegularExpression>

namespace webparams {

std::int64_t Date(const HttpRequest& request, const QString& name) {
    const QString text = request.requiredText(name, 10);
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    const auto match = pattern.match(text);
    const auto refuse = [&] {
        return HttpError(400, QString("parameter \"%1\" is not a date yyyy-mm-dd").arg(name));
    };
    if (!match.hasMatch()) throw refuse();
    const int year = match.captured(1).toInt();
    const int month = match.captured(2).toInt();
    const int day = match.captured(3).toInt();
    if (year < 1970 || year > 2199 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        throw refuse();
    return DaysFromCivil(year, month, day);
}

TimeSpan SpanOf(const HttpRequest& request) {
    const std::int64_t date = Date(request, QStringLiteral("date"));
    const auto kind = request.text(QStringLiteral("kind"), 8);
    const auto days = request.integer(QStringLiteral("days"), 1, 1000);
    if (kind && days) throw HttpError(400, "give kind or days, not both");
    if (days) {
        if (*days > kMaxDays)
            throw HttpError(400, QString("a span is at most %1 days").arg(kMaxDays));
        return TimeSpan{SpanKind::Day, date, StartOfDay(date), StartOfDay(date + *days)};
    }
    const QString k = kind.value_or(QStringLiteral("night"));
    if (k == "night") return TimeSpan::Of(SpanKind::Night, date);
    if (k == "day") return TimeSpan::Of(SpanKind::Day, date);
    if (k == "week") return TimeSpan::Of(SpanKind::Week, date);
    throw HttpError(400, "parameter \"kind\" is night, day or week");
}

QString StationName(const QString& value) {
    if (!stationdescription::ValidName(value))
        throw HttpError(400, "a station's name is 1 to 64 of a-z 0-9 _ -");
    return value;
}

QStringList StationList(const QString& value) {
    const QStringList names = value.split(',');
    if (names.size() > kMaxStations)
        throw HttpError(400, QString("at most %1 stations at once").arg(kMaxStations));
    QStringList out;
    for (const QString& name : names) {
        if (out.contains(name)) throw HttpError(400, "a station named twice");
        out << StationName(name);
    }
    return out;
}

} // namespace webparams
