// SPDX-License-Identifier: GPL-3.0-or-later
#include "indi/StationLine.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

namespace {

std::optional<double> Number(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isDouble() ? std::optional<double>(value.toDouble()) : std::nullopt;
}

} // namespace

std::optional<StationLine> ReadStationLine(const QByteArray& line) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    StationLine station;
    station.station = object.value(QLatin1String("station")).toString();
    station.linkUp = object.value(QLatin1String("link")).toString() == QLatin1String("up");
    station.hint = object.value(QLatin1String("hint")).toString();
    station.time = object.value(QLatin1String("time")).toString();
    station.count = Number(object, "count");
    station.range = Number(object, "range");
    station.temperature = Number(object, "temperature");
    station.magnitude = Number(object, "magnitude");
    station.condition = object.value(QLatin1String("condition")).toString();
    station.safe = object.value(QLatin1String("safe")).toBool();
    station.why = object.value(QLatin1String("why")).toString();
    return station;
}

QList<QByteArray> TakeLines(QByteArray& buffer, qsizetype limit) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype end; (end = buffer.indexOf('\n', start)) >= 0; start = end + 1)
        lines.append(buffer.mid(start, end - start));
    buffer.remove(0, start);
    if (buffer.size() > limit) buffer.clear();
    return lines;
}
