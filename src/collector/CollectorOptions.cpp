// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/CollectorOptions.h"

#include "core/cli/ProgramCommandLine.h"
#include "network/BrokerOptions.h"

#include <QCommandLineParser>
#include <QDir>

namespace {

const QString kSummary = QStringLiteral(
    "Subscribes to the readings, statuses and events that stations publish on an MQTT\n"
    "broker and writes them into the archive, a PostgreSQL database. With --status, shows\n"
    "every station's health from the archive and exits with 1 when one is offline or stale.\n"
    "One line per event on standard error.");

} // namespace

CollectorCommandLine ReadCollectorCommandLine(const QStringList& arguments,
                                              const QString& stateDirectory) {
    ProgramCommandLine program(QStringLiteral("nocturo-collect"), kSummary);
    QCommandLineParser& parser = program.Parser();
    const BrokerOptions broker(BrokerOptionNames{.url = QStringLiteral("broker"),
                                                 .ca = QStringLiteral("ca"),
                                                 .credentials = QStringLiteral("credentials"),
                                                 .prefix = QStringLiteral("prefix"),
                                                 .clientId = QStringLiteral("client-id")},
                               QStringLiteral("mqtt://localhost"),
                               QStringLiteral("nocturo-collect"));
    broker.AddTo(parser);
    parser.addOptions({
        {QStringLiteral("database"),
         QStringLiteral("The archive: postgresql://… or a libpq connection string; default: "
                        "the PG* environment variables."),
         QStringLiteral("CONNECTION")},
        {QStringLiteral("spool"),
         QStringLiteral("The write-ahead file; default nocturo-collect.spool in the state "
                        "directory."),
         QStringLiteral("FILE")},
        {QStringLiteral("create-schema"),
         QStringLiteral("Create or update the archive's tables, then exit.")},
        {QStringLiteral("status"),
         QStringLiteral("Show every station's health, then exit: 0 when all are well, 1 when "
                        "one is offline or stale, 3 when the archive cannot be read.")},
        {QStringLiteral("stale-after"),
         QStringLiteral("With --status: an online station without a reading for more than this "
                        "many minutes is stale; default 5."),
         QStringLiteral("MINUTES")},
        {QStringLiteral("report-every"),
         QStringLiteral("Seconds between the lines that say what was stored; default 60."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("confirm-every"),
         QStringLiteral("Seconds between two confirmations of one station (retained, on "
                        "PREFIX-archive/NAME/confirmed: what the archive holds without a gap; "
                        "the station sends again what it does not hold); default 10."),
         QStringLiteral("SECONDS")},
    });

    CollectorCommandLine line;
    auto wrong = [&](const QString& error) {
        static_cast<CommandLineOutcome&>(line) = program.Wrong(error);
        return line;
    };
    if (!program.Parse(arguments, line)) return line;

    CollectorOptions& o = line.options;
    QString error;
    BrokerChoice choice;
    choice.address = o.broker;
    choice.clientId = o.clientId;
    if (!broker.Read(parser, choice, &error)) return wrong(error);
    o.broker = *choice.address;
    o.caFile = choice.caFile;
    o.account = choice.account;
    o.warning = choice.warning;
    o.prefix = choice.prefix;
    o.clientId = choice.clientId;
    if (!ReadWholeNumber(parser, QStringLiteral("stale-after"), {1, 10080}, o.staleAfterMinutes,
                         &error) ||
        !ReadWholeNumber(parser, QStringLiteral("report-every"), {1, 86400}, o.reportEverySeconds,
                         &error) ||
        !ReadWholeNumber(parser, QStringLiteral("confirm-every"), {1, 3600}, o.confirmEverySeconds,
                         &error))
        return wrong(error);
    o.database = parser.value(QStringLiteral("database"));
    o.createSchema = parser.isSet(QStringLiteral("create-schema"));
    o.status = parser.isSet(QStringLiteral("status"));
    if (o.createSchema && o.status)
        return wrong(QStringLiteral("--create-schema and --status are separate runs"));
    o.spool = parser.isSet(QStringLiteral("spool"))
                  ? parser.value(QStringLiteral("spool"))
                  : QDir(stateDirectory.isEmpty() ? QDir::currentPath() : stateDirectory)
                        .filePath(QStringLiteral("nocturo-collect.spool"));
    line.run = true;
    return line;
}
