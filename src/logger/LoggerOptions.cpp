// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/LoggerOptions.h"

#include "core/Failure.h"
#include "core/cli/ProgramCommandLine.h"
#include "core/station/StationDescription.h"
#include "network/BrokerOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

const QString kSummary = QStringLiteral(
    "Records a USB light sensor without a window: one line per second into a daily log\n"
    "(yyyymmdd.txt in the data directory), saved once a minute, at the end of the day and\n"
    "when the program ends (SIGTERM, SIGINT, SIGHUP). One line per event on standard error.");

BrokerOptions PublishBroker() {
    return BrokerOptions(BrokerOptionNames{.url = QStringLiteral("publish"),
                                           .ca = QStringLiteral("publish-ca"),
                                           .credentials = QStringLiteral("publish-credentials"),
                                           .prefix = QStringLiteral("publish-prefix"),
                                           .clientId = {}},
                         QString());
}

// The publishing options into `options`; false with `why` when they are wrong.
bool ReadPublishOptions(const QCommandLineParser& parser, LoggerOptions& options, QString* why) {
    const QStringList needing = {QStringLiteral("home-assistant"),
                                 QStringLiteral("publish-without-archive"),
                                 QStringLiteral("publish-retry-max")};
    if (!parser.isSet(QStringLiteral("publish"))) {
        QString given = PublishBroker().FirstSetBesidesUrl(parser);
        for (const QString& name : needing)
            if (given.isEmpty() && parser.isSet(name)) given = name;
        if (!given.isEmpty())
            return Fail(why, QStringLiteral("--%1 goes with --publish").arg(given));
        return true;
    }
    BrokerChoice broker;
    if (!PublishBroker().Read(parser, broker, why)) return false;
    PublishOptions publish;
    publish.address = *broker.address;
    publish.caFile = broker.caFile;
    publish.credentialsFile = broker.credentialsFile;
    publish.account = broker.account;
    publish.warning = broker.warning;
    publish.prefix = broker.prefix;
    publish.homeAssistant = parser.isSet(QStringLiteral("home-assistant"));
    publish.withoutArchive = parser.isSet(QStringLiteral("publish-without-archive"));
    if (!ReadWholeNumber(parser, QStringLiteral("publish-retry-max"),
                         {1, PublishOptions::kMaxRetrySeconds, QStringLiteral("seconds")},
                         publish.retryMaxSeconds, why))
        return false;
    options.publish = publish;
    return true;
}

} // namespace

CommandLine ReadCommandLine(const QStringList& arguments) {
    ProgramCommandLine program(QStringLiteral("nocturo-logger"), kSummary);
    QCommandLineParser& parser = program.Parser();
    parser.addOption({QStringLiteral("data-dir"),
                      QStringLiteral("Where the day files go (created if missing); "
                                     "default: the working directory."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("reboot-after-failure"),
                      QStringLiteral("Ask the system for a forced restart 30 s after the sensor "
                                     "is found failed, and every 30 s after that.")});
    parser.addOption({QStringLiteral("send-delay"),
                      QStringLiteral("The sensor's send time-out, 50 to 1000 ms; default 50."),
                      QStringLiteral("MS")});
    parser.addOption({QStringLiteral("receive-delay"),
                      QStringLiteral("The sensor's receive time-out, 50 to 1000 ms; default 50."),
                      QStringLiteral("MS")});

    parser.addOption({QStringLiteral("station"),
                      QStringLiteral("The station's name on the network (1 to 64 of a-z 0-9 _ -); "
                                     "default: name in station.conf, else the host name."),
                      QStringLiteral("NAME")});
    PublishBroker().AddTo(parser);
    parser.addOption({QStringLiteral("home-assistant"),
                      QStringLiteral("Also publish Home Assistant's MQTT discovery.")});
    parser.addOption(
        {QStringLiteral("publish-without-archive"),
         QStringLiteral("No archive's collector listens (Home Assistant alone): a line counts as "
                        "sent once the broker took it. Without this option a line is kept for "
                        "sending until the archive confirms it (PREFIX-archive/NAME/confirmed).")});
    parser.addOption({QStringLiteral("publish-retry-max"),
                      QStringLiteral("The longest wait between two connection attempts, 1 to "
                                     "3600 s; default 60."),
                      QStringLiteral("SECONDS")});
    observatoryoptions::Add(parser);

    CommandLine line;
    auto wrong = [&](const QString& error) {
        static_cast<CommandLineOutcome&>(line) = program.Wrong(error);
        return line;
    };
    if (!program.Parse(arguments, line)) return line;

    LoggerOptions& options = line.options;
    if (parser.isSet(QStringLiteral("data-dir"))) {
        options.dataDirectory = parser.value(QStringLiteral("data-dir"));
        if (options.dataDirectory.isEmpty())
            return wrong(QStringLiteral("--data-dir wants a directory"));
    }
    options.rebootAfterFailure = parser.isSet(QStringLiteral("reboot-after-failure"));
    QString error;
    if (!ReadWholeNumber(parser, QStringLiteral("send-delay"),
                         {LoggerOptions::kMinDelayMs, LoggerOptions::kMaxDelayMs,
                          QStringLiteral("milliseconds")},
                         options.sendDelay, &error) ||
        !ReadWholeNumber(parser, QStringLiteral("receive-delay"),
                         {LoggerOptions::kMinDelayMs, LoggerOptions::kMaxDelayMs,
                          QStringLiteral("milliseconds")},
                         options.receiveDelay, &error))
        return wrong(error);
    if (parser.isSet(QStringLiteral("station"))) {
        options.station = parser.value(QStringLiteral("station"));
        if (!CheckStationName(QStringLiteral("station"), options.station, &error))
            return wrong(error);
    }
    if (!ReadPublishOptions(parser, options, &error)) return wrong(error);
    if (!observatoryoptions::Read(parser, options.observatory, &error)) return wrong(error);
    line.run = true;
    return line;
}

bool PrepareDataDirectory(QString& directory, QString* why) {
    const QString path = QDir(directory).absolutePath();
    auto unusable = [&](const QString& reason) {
        return Fail(why,
                    QStringLiteral("cannot use the data directory \"%1\": %2").arg(path, reason));
    };
    const QFileInfo info(path);
    if (info.exists() && !info.isDir()) return unusable(QStringLiteral("not a directory"));
    if (!info.exists() && !QDir().mkpath(path))
        return unusable(QStringLiteral("it is missing and cannot be created"));
    // A day file is saved through a temporary file beside it, which takes both rights.
    const QByteArray native = QFile::encodeName(path);
    if (::access(native.constData(), R_OK | W_OK | X_OK) != 0)
        return unusable(QString::fromLocal8Bit(std::strerror(errno)));
    directory = path;
    return true;
}
