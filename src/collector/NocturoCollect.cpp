// SPDX-License-Identifier: GPL-3.0-or-later
// nocturo-collect: subscribes to what the stations publish and writes it into the archive
// (PostgreSQL); with --create-schema makes the archive's tables, with --status shows every
// station's health. No window: a system service or a terminal.
#include "archive/ArchiveSchema.h"
#include "archive/PgConnection.h"
#include "archive/StationHealth.h"
#include "collector/Collector.h"
#include "collector/CollectorOptions.h"
#include "collector/HealthTable.h"
#include "core/cli/ExitStatus.h"
#include "network/Messages.h"
#include "network/MqttClient.h"
#include "system/JournalLines.h"
#include "system/SystemdNotifier.h"
#include "system/TerminationSignals.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int CreateSchema(const CollectorOptions& options, EventLines& lines) {
    PgConnection connection;
    QString why;
    const bool reached = connection.Open(options.database, &why);
    if (!reached || !archiveschema::Create(connection, &why)) {
        lines.Line(EventLines::Priority::Error,
                   QStringLiteral("cannot create the archive's tables: %1").arg(why));
        return reached ? exitstatus::kAlert : exitstatus::kUnreachable;
    }
    lines.Line(EventLines::Priority::Notice, QStringLiteral("the archive's tables are ready"));
    return exitstatus::kOk;
}

int ShowStatus(const CollectorOptions& options, EventLines& lines) {
    PgConnection connection;
    std::int64_t now = 0;
    QString why;
    std::optional<std::vector<StationHealth>> stations;
    if (connection.Open(options.database, &why))
        stations = stationhealth::Read(connection, &now, &why);
    if (!stations) {
        lines.Line(EventLines::Priority::Error,
                   QStringLiteral("cannot read the archive: %1").arg(why));
        return exitstatus::kUnreachable;
    }
    const auto skies = stationhealth::ReadSkies(connection, &why);
    if (!skies) {
        lines.Line(EventLines::Priority::Error,
                   QStringLiteral("cannot read the archive: %1").arg(why));
        return exitstatus::kUnreachable;
    }
    const HealthReport report =
        MakeHealthReport(*stations, now, std::int64_t(options.staleAfterMinutes) * 60, *skies);
    std::fputs(report.table.toLocal8Bit().constData(), stdout);
    return report.Alert() ? exitstatus::kAlert : exitstatus::kOk;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nocturo-collect"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NOCTURO_VERSION));
    std::signal(SIGPIPE, SIG_IGN);

    JournalLines lines(STDERR_FILENO, JournalLines::IsJournalStream(STDERR_FILENO),
                       QCoreApplication::applicationName());
    // systemd names the state directory (the first, when there are several).
    const QString state = qEnvironmentVariable("STATE_DIRECTORY").section(u':', 0, 0);
    CollectorCommandLine command = ReadCollectorCommandLine(QCoreApplication::arguments(), state);
    if (!command.run)
        return PrintCommandLineOutcome(
            command, [&](const QString& error) { lines.Line(EventLines::Priority::Error, error); });
    const CollectorOptions& options = command.options;
    if (!options.warning.isEmpty()) lines.Line(EventLines::Priority::Warning, options.warning);
    if (options.createSchema) return CreateSchema(options, lines);
    if (options.status) return ShowStatus(options, lines);

    // The collector's own session: the broker keeps what arrives while it is away.
    BrokerSettings broker;
    broker.address = options.broker;
    broker.caFile = options.caFile;
    broker.account = options.account;
    broker.clientId = options.clientId;
    broker.cleanSession = false;
    QString why;

    TerminationSignals termination([](int) { QCoreApplication::exit(0); });
    SystemdNotifier notifier;
    Collector collector(
        CollectorSettings{.database = options.database,
                          .prefix = options.prefix,
                          .spoolPath = options.spool,
                          .reportEvery = std::chrono::seconds(options.reportEverySeconds),
                          .confirmEvery = std::chrono::seconds(options.confirmEverySeconds)},
        lines, &notifier);
    if (!collector.Start(&why)) {
        lines.Line(EventLines::Priority::Error, why);
        return exitstatus::kAlert;
    }
    MqttClient client(broker);
    // Retained, so that a station that connects later learns where the archive stands.
    collector.SetPublish([&](const QString& topic, const QByteArray& payload) {
        return client.Connected() && client.Publish(topic, payload, 1, true) >= 0;
    });
    client.SetBeforeAcknowledging([&] { return collector.MakeDurable(); });
    QObject::connect(&client, &MqttClient::MessageArrived,
                     [&](const QString& topic, const QByteArray& payload, bool) {
                         collector.Receive(topic.toUtf8(), payload);
                     });
    // Told once when lost, once when back.
    bool lostTold = false;
    QObject::connect(
        &client, &MqttClient::ConnectionChanged, [&](bool connected, const QString& failure) {
            if (connected) {
                lines.Line(EventLines::Priority::Notice,
                           QStringLiteral("connected to the broker %1%2")
                               .arg(options.broker.Url(),
                                    lostTold ? QStringLiteral(" again") : QString()));
                lostTold = false;
            } else if (!lostTold) {
                lines.Line(EventLines::Priority::Warning,
                           QStringLiteral("%1; trying again with back-off").arg(failure));
                lostTold = true;
            }
        });
    for (const auto kind : {messages::Kind::Reading, messages::Kind::Status, messages::Kind::Event,
                            messages::Kind::Minute})
        client.Subscribe(messages::AllStations(options.prefix, kind), 1);
    client.Start();
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] { notifier.Alive(); });
    watchdog.start(1000);
    notifier.Ready(QStringLiteral("collecting from %1 into the archive").arg(options.broker.Url()));
    lines.Line(EventLines::Priority::Notice,
               QStringLiteral("collecting %1/+/reading, status, event and minute from %2")
                   .arg(options.prefix, options.broker.Url()));
    const int status = QCoreApplication::exec();
    notifier.Stopping();
    collector.Finish();
    return status;
}
