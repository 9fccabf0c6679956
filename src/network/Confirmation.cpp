// SPDX-License-Identifier: GPL-3.0-or-later
#include "network/Confirmation.h"

#include "network/Messages.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace confirmation {

QString Topic(const QString& prefix, const QString& station) {
    return prefix + QStringLiteral("-archive/") + station + QStringLiteral("/confirmed");
}

QByteArray Encode(const Confirmed& confirmed) {
    if (!confirmed) return QByteArrayLiteral("{\"time\":null}");
    return "{\"time\":\"" + messages::UtcText(*confirmed).toLatin1() + "\"}";
}

std::optional<Confirmed> Decode(const QByteArray& payload) {
    if (payload.size() > 256) return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isObject()) return std::nullopt;
    const QJsonValue time = document.object().value(QLatin1String("time"));
    if (time.isNull()) return Confirmed();
    if (!time.isString()) return std::nullopt;
    const auto utc = messages::ParseUtcText(time.toString());
    if (!utc) return std::nullopt;
    return Confirmed(*utc);
}

} // namespace confirmation
