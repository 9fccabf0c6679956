// SPDX-License-Identifier: GPL-3.0-or-later
// nocturo-collect's command line.
#pragma once

#include "core/cli/ProgramCommandLine.h"
#include "network/BrokerSettings.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

struct CollectorOptions {
    // The broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT].
    BrokerAddress broker{QStringLiteral("localhost"), 1883, false};
    QString caFile;                       // a private certificate authority for mqtts
    std::optional<BrokerAccount> account; // from --credentials
    QString warning;                      // about the credentials, e.g. that others may read them
    QString prefix = QStringLiteral("nocturo");
    QString clientId = QStringLiteral("nocturo-collect");
    QString database; // libpq connection string; empty: the PG* environment
    QString spool;    // the write-ahead file
    bool createSchema = false;
    bool status = false;
    int staleAfterMinutes = 5;
    int reportEverySeconds = 60;
    int confirmEverySeconds = 10;
};

struct CollectorCommandLine : CommandLineOutcome {
    CollectorOptions options;
};

// Reads the program's arguments (the program's name first). `stateDirectory` is where the
// spool goes unless --spool says otherwise (systemd's STATE_DIRECTORY, else the working
// directory).
CollectorCommandLine ReadCollectorCommandLine(const QStringList& arguments,
                                              const QString& stateDirectory);
