// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/station/ArchivedDescription.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace stationdescription {

namespace {

// One value as station.conf writes it; none for what a line cannot hold.
std::optional<QByteArray> LineValue(const QJsonValue& value) {
    QString text;
    if (value.isDouble())
        text = QString::number(value.toDouble(), 'g', 12);
    else if (value.isString())
        text = value.toString();
    else
        return std::nullopt;
    // A line ends at a line break and a comment at '#': neither may come from a value.
    if (text.contains('\n') || text.contains('\r') || text.contains('#')) return std::nullopt;
    return text.toUtf8();
}

} // namespace

std::optional<StationDescription> FromArchive(const QString& station, const QByteArray& json,
                                              QString* why) {
    const auto fail = [&](const QString& text) -> std::optional<StationDescription> {
        if (why) *why = text;
        return std::nullopt;
    };
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (!document.isObject()) return fail(QStringLiteral("the description is not a JSON object"));
    const QString where = QStringLiteral("the archive's description of %1").arg(station);
    QByteArray text;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        if (key == QLatin1String("name")) continue; // the archive's name is the station's
        if (key.isEmpty() || key.contains('=') || key.contains('\n') || key.contains('#'))
            return fail(QStringLiteral("%1 has a key that is not one").arg(where));
        const QJsonArray values = it->isArray() ? it->toArray() : QJsonArray{*it};
        for (const QJsonValue& v : values) {
            const std::optional<QByteArray> value = LineValue(v);
            if (!value) return fail(QStringLiteral("%1: \"%2\" is not a value").arg(where, key));
            text += key.toUtf8() + " = " + *value + '\n';
        }
    }
    try {
        StationDescription d = stationdescription::Parse(text, where);
        d.name = station;
        return d;
    } catch (const StationDescriptionError& e) {
        return fail(QString::fromUtf8(e.what()));
    }
}

} // namespace stationdescription
