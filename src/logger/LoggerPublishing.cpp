// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoggerPublishing.h"

std::optional<PublisherSettings> PublishingSettings(const LoggerOptions& options,
                                                    const StationDescription& description,
                                                    const QString& version, QString& error) {
    if (!options.publish) return std::nullopt;
    const PublishOptions& publish = *options.publish;
    PublisherSettings settings;
    settings.station = options.station.isEmpty() ? description.name : options.station;
    settings.prefix = publish.prefix;
    settings.zone = description.TimeZone();
    settings.version = version;
    settings.dataDirectory = options.dataDirectory;
    settings.homeAssistant = publish.homeAssistant;
    BrokerSettings& broker = settings.broker;
    broker.address = publish.address;
    broker.caFile = publish.caFile;
    broker.clientId = QStringLiteral("nocturo-") + settings.station;
    broker.retryMaxMs = publish.retryMaxSeconds * 1000;
    broker.retryFirstMs = std::min(broker.retryFirstMs, broker.retryMaxMs);
    if (!publish.credentialsFile.isEmpty()) {
        QString why;
        broker.account = BrokerAccount::Read(publish.credentialsFile, &why);
        if (!broker.account) {
            error = QStringLiteral("--publish-credentials: ") + why;
            return std::nullopt;
        }
    }
    return settings;
}
