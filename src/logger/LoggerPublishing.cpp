// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoggerPublishing.h"

#include <algorithm>

std::optional<PublisherSettings> PublishingSettings(const LoggerOptions& options,
                                                    const StationDescription& description,
                                                    const QString& version, QString& error,
                                                    QString& warning) {
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
    broker.clientId = QStringLiteral("nocturo-") + settings.station;
    broker.retryMaxMs = publish.retryMaxSeconds * 1000;
    broker.retryFirstMs = std::min(broker.retryFirstMs, broker.retryMaxMs);
    error.clear();
    // Read and checked with the command line.
    broker.account = publish.account;
    warning = publish.warning;
    return settings;
}
