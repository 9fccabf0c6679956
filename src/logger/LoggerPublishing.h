// SPDX-License-Identifier: GPL-3.0-or-later
// What the logger's publishing options and the station's description make of a publisher:
// the broker, the account read from its file, the station's name and time zone.
#pragma once

#include "core/station/StationDescription.h"
#include "logger/LoggerOptions.h"
#include "network/StationPublisher.h"
#include "observatory/LiveStation.h"

#include <functional>
#include <optional>

// The settings, or nothing when the station does not publish. The broker's options were
// read and checked with the command line (the credentials file and what it warns of too).
std::optional<PublisherSettings> PublishingSettings(const LoggerOptions& options,
                                                    const StationDescription& description,
                                                    const QString& version);

// The station's MQTT client id, "nocturo-station-NAME": no station's name gives the id of
// another station or of the collector ("nocturo-collect" by default), whatever it is.
QString StationClientId(const QString& station);

// What the journal says when the broker refuses one of the station's messages, for
// `reason` as MqttClient tells it ("not authorised"); `account` is empty without one.
QString BrokerRefusalText(const QString& reason, int reasonCode, const QString& account,
                          const QString& station);

// The minute message of the live station's last complete minute. The limiting magnitude
// is left to the reader (null) while no conversion from the sky's brightness is known.
messages::Minute MinuteMessage(const LiveMinute& minute);

// A listener for the live station that hands each minute's summary to `publish`, once.
LiveStation::Listener MinutePublishing(std::function<void(const messages::Minute&)> publish);
