// SPDX-License-Identifier: GPL-3.0-or-later
// nocturo-collect: subscribes to what the stations publish and writes it into the archive
// (PostgreSQL); with --create-schema makes the archive's tables, with --status shows every
// station's health. No window: a system service or a terminal.
#include "ArchiveSchema.h"
#include "BrokerSubscription.h"
#include "Collector.h"
#include "CollectorOptions.h"
#include "HealthTable.h"
#include "JournalLines.h"
#include "Messages.h"
#include "PgConnection.h"
#include "StationHealth.h"
#include "SystemdNotifier.h"
#include "TerminationSignals.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

// Exit status of --status when the archive cannot be read: "unknown" to a monitor.
constexpr int kArchiveUnreadable = 3;

int CreateSchema(const CollectorOptions& options, EventLines& lines) {
    PgConnection connection;
    if (!connection.Open(options.database) || !archiveschema::Create(connection)) {
        lines.Line(
            EventLines::Priority::Error,
            QStringLiteral("cannot create the archive's tables: %1").arg(connection.Error()));
        return 1;
    }
    lines.Line(EventLines::Priority::Notice, QStringLiteral("the archive's tables are ready"));
    return 0;
}

int ShowStatus(const CollectorOptions& options, EventLines& lines) {
    PgConnection connection;
    std::int64_t now = 0;
    QString why;
    std::optional<std::vector<StationHealth>> stations;
    if (connection.Open(options.database)) stations = stationhealth::Read(connection, &now, &why);
    if (!stations) {
        lines.Line(EventLines::Priority::Error, QStringLiteral("cannot read the archive: %1")
                                                    .arg(why.isEmpty() ? connection.Error() : why));
        return kArchiveUnreadable;
    }
    const HealthReport report =
        MakeHealthReport(*stations, now, std::int64_t(options.staleAfterMinutes) * 60);
    std::fputs(report.table.toLocal8Bit().constData(), stdout);
    return report.Alert() ? 1 : 0;
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
    if (!command.run) {
        if (!command.output.isEmpty()) std::fputs(command.output.toLocal8Bit().constData(), stdout);
        if (!command.error.isEmpty()) {
            lines.Line(EventLines::Priority::Error, command.error);
            std::fputs(command.usage.toLocal8Bit().constData(), stderr);
        }
        return command.status;
    }
    const CollectorOptions& options = command.options;
    if (options.createSchema) return CreateSchema(options, lines);
    if (options.status) return ShowStatus(options, lines);

    BrokerSettings broker{.host = options.host,
                          .port = options.port,
                          .tls = options.tls,
                          .caFile = options.caFile,
                          .user = {},
                          .password = {},
                          .clientId = options.clientId,
                          .topics = {}};
    QString why;
    if (!options.credentialsFile.isEmpty() &&
        !ReadCredentials(options.credentialsFile, broker.user, broker.password, &why)) {
        lines.Line(EventLines::Priority::Error, why);
        return CollectorCommandLine::UsageStatus;
    }
    for (const auto kind : {messages::Kind::Reading, messages::Kind::Status, messages::Kind::Event})
        broker.topics << messages::AllStations(options.prefix, kind);

    TerminationSignals termination([](int) { QCoreApplication::exit(0); });
    SystemdNotifier notifier;
    Collector collector(
        CollectorSettings{.database = options.database,
                          .prefix = options.prefix,
                          .spoolPath = options.spool,
                          .reportEvery = std::chrono::seconds(options.reportEverySeconds)},
        lines, &notifier);
    if (!collector.Start(&why)) {
        lines.Line(EventLines::Priority::Error, why);
        return 1;
    }
    BrokerSubscription subscription(
        broker,
        {.message = [&](const QByteArray& topic,
                        const QByteArray& payload) { collector.Receive(topic, payload); },
         .durable = [&] { return collector.MakeDurable(); }},
        lines);
    if (!subscription.Start(&why)) {
        lines.Line(EventLines::Priority::Error, why);
        return CollectorCommandLine::UsageStatus;
    }
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] { notifier.Alive(); });
    watchdog.start(1000);
    notifier.Ready(QStringLiteral("collecting from %1 into the archive").arg(options.broker));
    lines.Line(EventLines::Priority::Notice,
               QStringLiteral("collecting %1/+/reading, status and event from %2")
                   .arg(options.prefix, options.broker));
    const int status = QCoreApplication::exec();
    notifier.Stopping();
    collector.Flush();
    return status;
}
