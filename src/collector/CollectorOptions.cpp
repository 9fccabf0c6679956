// SPDX-License-Identifier: GPL-3.0-or-later
#include "CollectorOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

namespace {

const QString Summary = QStringLiteral(
    "Subscribes to the readings, statuses and events that stations publish on an MQTT\n"
    "broker and writes them into the archive, a PostgreSQL database. With --status, shows\n"
    "every station's health from the archive and exits with 1 when one is offline or stale.\n"
    "One line per event on standard error.");

bool ReadNumber(const QCommandLineParser& parser, const QString& name, int low, int high,
                int& value, QString& error) {
    if (!parser.isSet(name)) return true;
    bool number = false;
    const int n = parser.value(name).trimmed().toInt(&number, 10);
    if (!number || n < low || n > high) {
        error = QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                    .arg(name)
                    .arg(low)
                    .arg(high)
                    .arg(parser.value(name));
        return false;
    }
    value = n;
    return true;
}

} // namespace

CollectorCommandLine ReadCollectorCommandLine(const QStringList& arguments,
                                              const QString& stateDirectory) {
    QCommandLineParser parser;
    parser.setApplicationDescription(Summary);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("broker"),
         QStringLiteral("The broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (TLS); default "
                        "mqtt://localhost."),
         QStringLiteral("URL")},
        {QStringLiteral("ca"),
         QStringLiteral("A certificate authority for mqtts, instead of the system's."),
         QStringLiteral("FILE")},
        {QStringLiteral("credentials"),
         QStringLiteral("A file with the broker's user name and password, one a line."),
         QStringLiteral("FILE")},
        {QStringLiteral("prefix"), QStringLiteral("The stations' topic prefix; default nocturo."),
         QStringLiteral("PREFIX")},
        {QStringLiteral("client-id"),
         QStringLiteral("The collector's MQTT client id, under which the broker keeps its "
                        "session; default nocturo-collect (a broker that binds client ids "
                        "to accounts uses the account's name instead)."),
         QStringLiteral("ID")},
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
    });

    CollectorCommandLine line;
    auto wrong = [&](const QString& error) {
        line.status = CollectorCommandLine::UsageStatus;
        line.error = error;
        line.usage = parser.helpText();
        return line;
    };
    if (!parser.parse(arguments)) return wrong(parser.errorText());
    if (parser.isSet(help)) {
        line.output = parser.helpText();
        return line;
    }
    if (parser.isSet(version)) {
        line.output = QCoreApplication::applicationName() + QLatin1Char(' ') +
                      QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return line;
    }
    if (!parser.positionalArguments().isEmpty())
        return wrong(QStringLiteral("Unexpected argument \"%1\"")
                         .arg(parser.positionalArguments().constFirst()));

    CollectorOptions& o = line.options;
    QString error;
    if (parser.isSet(QStringLiteral("broker"))) {
        const auto address = BrokerAddress::Parse(parser.value(QStringLiteral("broker")), &error);
        if (!address) return wrong(QStringLiteral("--broker: %1").arg(error));
        o.broker = *address;
    }
    if (!ReadNumber(parser, QStringLiteral("stale-after"), 1, 10080, o.staleAfterMinutes, error) ||
        !ReadNumber(parser, QStringLiteral("report-every"), 1, 86400, o.reportEverySeconds, error))
        return wrong(error);
    o.caFile = parser.value(QStringLiteral("ca"));
    if (!o.caFile.isEmpty() && !o.broker.tls)
        return wrong(QStringLiteral("--ca needs an mqtts:// broker"));
    if (parser.isSet(QStringLiteral("prefix"))) o.prefix = parser.value(QStringLiteral("prefix"));
    if (o.prefix.isEmpty() || o.prefix.contains(u'+') || o.prefix.contains(u'#') ||
        o.prefix.startsWith(u'/') || o.prefix.endsWith(u'/'))
        return wrong(QStringLiteral("--prefix wants topic levels without wildcards, not \"%1\"")
                         .arg(o.prefix));
    if (parser.isSet(QStringLiteral("client-id")))
        o.clientId = parser.value(QStringLiteral("client-id"));
    if (o.clientId.isEmpty() || o.clientId.toUtf8().size() > 23 * 8)
        return wrong(QStringLiteral("--client-id wants a name of 1 to 184 bytes"));
    o.database = parser.value(QStringLiteral("database"));
    o.createSchema = parser.isSet(QStringLiteral("create-schema"));
    o.status = parser.isSet(QStringLiteral("status"));
    if (o.createSchema && o.status)
        return wrong(QStringLiteral("--create-schema and --status are separate runs"));
    o.spool = parser.isSet(QStringLiteral("spool"))
                  ? parser.value(QStringLiteral("spool"))
                  : QDir(stateDirectory.isEmpty() ? QDir::currentPath() : stateDirectory)
                        .filePath(QStringLiteral("nocturo-collect.spool"));
    if (parser.isSet(QStringLiteral("credentials")) && !o.status && !o.createSchema) {
        o.account = BrokerAccount::Read(parser.value(QStringLiteral("credentials")), &error);
        if (!o.account) return wrong(QStringLiteral("--credentials: %1").arg(error));
    }
    line.run = true;
    return line;
}
