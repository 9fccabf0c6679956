// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/MessageIntake.h"

#include "network/Messages.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace {

// The second level of a topic, as the journal may show it: at most 64 printable ASCII
// characters.
QString TopicStation(const QByteArray& topic) {
    const QList<QByteArray> levels = topic.split('/');
    QString name;
    for (const char c : levels.value(1).left(64))
        name += (c > 32 && c < 127) ? QChar(c) : QChar(u'?');
    return name;
}

// Malformed JSON and a well-formed message with wrong values are told apart in the
// journal; the decoders say what is wrong either way.
QString DecodeFault(const QByteArray& payload) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    return error.error == QJsonParseError::NoError && document.isObject()
               ? QStringLiteral("wrong values")
               : QStringLiteral("malformed");
}

} // namespace

std::optional<Refusal> MessageIntake::Take(const QByteArray& topic, const QByteArray& payload,
                                           std::int64_t now, archive::Batch& batch) const {
    if (payload.size() > messages::kMaxPayload)
        return Refusal{TopicStation(topic), QStringLiteral("too large"),
                       QStringLiteral("%1 bytes").arg(payload.size())};
    const auto parts = messages::ParseTopic(prefix_, QString::fromUtf8(topic));
    if (!parts)
        return Refusal{TopicStation(topic), QStringLiteral("not a station's topic"),
                       QString::fromUtf8(topic.left(200)).simplified()};
    const QString& station = parts->station;
    const auto farFromNow = [&](std::int64_t utc) -> std::optional<Refusal> {
        if (utc >= now - kMaxAgeSeconds && utc <= now + kMaxAheadSeconds) return std::nullopt;
        return Refusal{station, QStringLiteral("time far from now"), messages::UtcText(utc)};
    };
    QString why;
    switch (parts->kind) {
    case messages::Kind::Reading: {
        const auto reading = messages::DecodeReading(payload, &why);
        if (!reading) return Refusal{station, DecodeFault(payload), why};
        if (auto refusal = farFromNow(reading->utc)) return refusal;
        batch.readings.push_back(
            {station, reading->utc, reading->record, reading->prev, reading->first});
        return std::nullopt;
    }
    case messages::Kind::Status: {
        const auto status = messages::DecodeStatus(payload, &why);
        if (!status) return Refusal{station, DecodeFault(payload), why};
        batch.statuses.push_back({station, now, status->online, status->linkUp, status->hint,
                                  status->version, status->newestDay});
        return std::nullopt;
    }
    case messages::Kind::Event: {
        const auto event = messages::DecodeEvent(payload, &why);
        if (!event) return Refusal{station, DecodeFault(payload), why};
        if (auto refusal = farFromNow(event->utc)) return refusal;
        batch.events.push_back({station, event->utc, event->priority, event->text});
        return std::nullopt;
    }
    case messages::Kind::Minute: {
        const auto minute = messages::DecodeMinute(payload, &why);
        if (!minute) return Refusal{station, DecodeFault(payload), why};
        if (auto refusal = farFromNow(minute->utc)) return refusal;
        batch.minutes.push_back({station, minute->utc, minute->medianCount, minute->goodSeconds,
                                 minute->magnitude, minute->limitingMagnitude, minute->condition});
        return std::nullopt;
    }
    }
    return std::nullopt;
}
