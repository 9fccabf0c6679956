// SPDX-License-Identifier: GPL-3.0-or-later
// What the logger's publishing options and the station's description make of a publisher:
// the broker, the account read from its file, the station's name and time zone.
#pragma once

#include "LoggerOptions.h"
#include "StationDescription.h"
#include "StationPublisher.h"

#include <optional>

// The settings, or nothing with `error` saying in one line what cannot be used (the
// credentials file). `warning` says what can be used but should not be so: a credentials
// file that other users may read.
std::optional<PublisherSettings> PublishingSettings(const LoggerOptions& options,
                                                    const StationDescription& description,
                                                    const QString& version, QString& error,
                                                    QString& warning);
