// SPDX-License-Identifier: GPL-3.0-or-later
// The logger's command line, and the data directory it names.
#pragma once

#include "core/cli/ProgramCommandLine.h"
#include "network/BrokerSettings.h"
#include "observatory/ObservatoryOptions.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// Publishing to an MQTT broker (--publish and the options that go with it).
struct PublishOptions {
    static constexpr int kMaxRetrySeconds = 3600;

    BrokerAddress address;
    QString caFile;                       // --publish-ca
    QString credentialsFile;              // --publish-credentials
    std::optional<BrokerAccount> account; // read from it
    QString warning;                      // about it, e.g. that others may read it
    QString prefix = QStringLiteral("nocturo");
    bool homeAssistant = false;
    bool withoutArchive = false; // --publish-without-archive
    int retryMaxSeconds = 60;    // the longest wait between two attempts
};

struct LoggerOptions {
    static constexpr int kMinDelayMs = 50;
    static constexpr int kMaxDelayMs = 1000;

    QString dataDirectory = QStringLiteral("."); // where the day files go
    bool rebootAfterFailure = false;             // the reboot option, on from the start
    std::uint16_t sendDelay = 50;                // the sensor's time-outs, ms
    std::uint16_t receiveDelay = 50;
    QString station; // --station: the name on the network; empty: station.conf's
    std::optional<PublishOptions> publish; // none: the station does not publish
    ObservatoryOptions observatory;        // Alpaca and the state socket
};

// What the command line asks for.
struct CommandLine : CommandLineOutcome {
    LoggerOptions options;
};

// Reads the program's arguments (the program's name first).
CommandLine ReadCommandLine(const QStringList& arguments);

// Creates the directory when it is missing and makes its path absolute. False with `why`
// when day files cannot be written there.
bool PrepareDataDirectory(QString& directory, QString* why = nullptr);
