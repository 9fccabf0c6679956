// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/LoggerPublishing.h"

#include "core/sky/SkyQuality.h"

#include <algorithm>

std::optional<PublisherSettings> PublishingSettings(const LoggerOptions& options,
                                                    const StationDescription& description,
                                                    const QString& version) {
    if (!options.publish) return std::nullopt;
    const PublishOptions& publish = *options.publish;
    PublisherSettings settings;
    settings.station = options.station.isEmpty() ? description.name : options.station;
    settings.prefix = publish.prefix;
    settings.zone = description.TimeZone();
    settings.version = version;
    settings.dataDirectory = options.dataDirectory;
    settings.homeAssistant = publish.homeAssistant;
    settings.withoutArchive = publish.withoutArchive;
    BrokerSettings& broker = settings.broker;
    broker.address = publish.address;
    broker.caFile = publish.caFile;
    broker.clientId = StationClientId(settings.station);
    broker.retryMaxMs = publish.retryMaxSeconds * 1000;
    broker.retryFirstMs = std::min(broker.retryFirstMs, broker.retryMaxMs);
    broker.account = publish.account;
    return settings;
}

QString StationClientId(const QString& station) {
    return QStringLiteral("nocturo-station-") + station;
}

QString BrokerRefusalText(const QString& reason, int reasonCode, const QString& account,
                          const QString& station) {
    QString text =
        QStringLiteral("publishing: the broker refused the station's messages: %1").arg(reason);
    // Not authorised: the broker's ACL binds each account to its station's topics.
    if (reasonCode == 0x87)
        text += account.isEmpty()
                    ? QStringLiteral(": without an account (--publish-credentials) it may not "
                                     "publish as station '%1'")
                          .arg(station)
                    : QStringLiteral(": the account '%1' may not publish as station '%2' "
                                     "(the account is named as its station; see --station and "
                                     "--publish-credentials)")
                          .arg(account, station);
    return text;
}

messages::Minute MinuteMessage(const LiveMinute& minute) {
    messages::Minute message;
    message.utc = minute.endMs / 1000 - 60;
    message.medianCount = minute.medianCount;
    message.goodSeconds = minute.goodSeconds;
    message.magnitude = minute.magnitude;
    message.limitingMagnitude = sky::LimitingMagnitude(minute.magnitude);
    message.condition = minute.condition;
    return message;
}

LiveStation::Listener MinutePublishing(std::function<void(const messages::Minute&)> publish) {
    return [publish = std::move(publish), last = std::int64_t(-1)](const LiveState& state) mutable {
        if (!state.minute || state.minute->endMs == last) return;
        last = state.minute->endMs;
        publish(MinuteMessage(*state.minute));
    };
}
