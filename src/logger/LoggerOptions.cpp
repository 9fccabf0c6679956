// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoggerOptions.h"

#include "StationDescription.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

const QString Summary = QStringLiteral(
    "Records a USB light sensor without a window: one line per second into a daily log\n"
    "(yyyymmdd.txt in the data directory), saved once a minute, at the end of the day and\n"
    "when the program ends (SIGTERM, SIGINT, SIGHUP). One line per event on standard error.");

// A time-out in milliseconds, or an error text.
bool ReadDelay(const QCommandLineParser& parser, const QString& name, std::uint16_t& value,
               QString& error) {
    if (!parser.isSet(name)) return true;
    const QString text = parser.value(name);
    bool number = false;
    const int ms = text.trimmed().toInt(&number, 10);
    if (!number || ms < LoggerOptions::MinDelayMs || ms > LoggerOptions::MaxDelayMs) {
        error = QStringLiteral("--%1 wants milliseconds from %2 to %3, not \"%4\"")
                    .arg(name)
                    .arg(LoggerOptions::MinDelayMs)
                    .arg(LoggerOptions::MaxDelayMs)
                    .arg(text);
        return false;
    }
    value = static_cast<std::uint16_t>(ms);
    return true;
}

// A topic prefix: one or more levels of a topic, without wildcards.
bool ValidPrefix(const QString& prefix) {
    if (prefix.isEmpty() || prefix.startsWith(u'/') || prefix.endsWith(u'/') ||
        prefix.contains(QStringLiteral("//")) || prefix.contains(u'+') || prefix.contains(u'#'))
        return false;
    for (const QChar c : prefix)
        if (c.category() == QChar::Other_Control) return false;
    return prefix.toUtf8().size() <= 200;
}

// The publishing options, or an error text.
bool ReadPublishOptions(const QCommandLineParser& parser, LoggerOptions& options, QString& error) {
    const QStringList needing = {QStringLiteral("publish-ca"),
                                 QStringLiteral("publish-credentials"),
                                 QStringLiteral("publish-prefix"), QStringLiteral("home-assistant"),
                                 QStringLiteral("publish-retry-max")};
    if (!parser.isSet(QStringLiteral("publish"))) {
        for (const QString& name : needing)
            if (parser.isSet(name)) {
                error = QStringLiteral("--%1 goes with --publish").arg(name);
                return false;
            }
        return true;
    }
    PublishOptions publish;
    const std::optional<BrokerAddress> address =
        BrokerAddress::Parse(parser.value(QStringLiteral("publish")), &error);
    if (!address) {
        error = QStringLiteral("--publish: ") + error;
        return false;
    }
    publish.address = *address;
    if (parser.isSet(QStringLiteral("publish-ca"))) {
        publish.caFile = parser.value(QStringLiteral("publish-ca"));
        if (!publish.address.tls) {
            error = QStringLiteral("--publish-ca goes with an mqtts:// broker");
            return false;
        }
        QFile ca(publish.caFile);
        if (!ca.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("--publish-ca: cannot read \"%1\": %2")
                        .arg(publish.caFile, ca.errorString());
            return false;
        }
    }
    publish.credentialsFile = parser.value(QStringLiteral("publish-credentials"));
    if (parser.isSet(QStringLiteral("publish-prefix"))) {
        publish.prefix = parser.value(QStringLiteral("publish-prefix"));
        if (!ValidPrefix(publish.prefix)) {
            error = QStringLiteral("--publish-prefix wants topic levels such as \"nocturo\" or "
                                   "\"network/nocturo\" (no +, # or empty level), not \"%1\"")
                        .arg(publish.prefix);
            return false;
        }
    }
    publish.homeAssistant = parser.isSet(QStringLiteral("home-assistant"));
    if (parser.isSet(QStringLiteral("publish-retry-max"))) {
        const QString text = parser.value(QStringLiteral("publish-retry-max"));
        bool number = false;
        const int seconds = text.trimmed().toInt(&number, 10);
        if (!number || seconds < 1 || seconds > PublishOptions::MaxRetrySeconds) {
            error = QStringLiteral("--publish-retry-max wants seconds from 1 to %1, not \"%2\"")
                        .arg(PublishOptions::MaxRetrySeconds)
                        .arg(text);
            return false;
        }
        publish.retryMaxSeconds = seconds;
    }
    options.publish = publish;
    return true;
}

} // namespace

CommandLine ReadCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(Summary);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
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
    parser.addOption({QStringLiteral("publish"),
                      QStringLiteral("Publish every line, the status and the events to an MQTT "
                                     "broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (TLS)."),
                      QStringLiteral("URL")});
    parser.addOption({QStringLiteral("publish-ca"),
                      QStringLiteral("mqtts: the certificate authority that signed the broker's "
                                     "certificate (PEM); default: the system's."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("publish-credentials"),
                      QStringLiteral("A file with the broker account's user name and password, "
                                     "one a line."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("publish-prefix"),
                      QStringLiteral("The topics' prefix; default: nocturo (nocturo/NAME/reading, "
                                     "/status, /event)."),
                      QStringLiteral("PREFIX")});
    parser.addOption({QStringLiteral("home-assistant"),
                      QStringLiteral("Also publish Home Assistant's MQTT discovery.")});
    parser.addOption({QStringLiteral("publish-retry-max"),
                      QStringLiteral("The longest wait between two connection attempts, 1 to "
                                     "3600 s; default 60."),
                      QStringLiteral("SECONDS")});
    observatoryoptions::Add(parser);

    CommandLine line;
    auto wrong = [&](const QString& error) {
        line.status = CommandLine::UsageStatus;
        line.error = error;
        line.usage = parser.helpText();
        return line;
    };
    if (!parser.parse(arguments)) return wrong(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
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

    LoggerOptions& options = line.options;
    if (parser.isSet(QStringLiteral("data-dir"))) {
        options.dataDirectory = parser.value(QStringLiteral("data-dir"));
        if (options.dataDirectory.isEmpty())
            return wrong(QStringLiteral("--data-dir wants a directory"));
    }
    options.rebootAfterFailure = parser.isSet(QStringLiteral("reboot-after-failure"));
    QString error;
    if (!ReadDelay(parser, QStringLiteral("send-delay"), options.sendDelay, error) ||
        !ReadDelay(parser, QStringLiteral("receive-delay"), options.receiveDelay, error))
        return wrong(error);
    if (parser.isSet(QStringLiteral("station"))) {
        options.station = parser.value(QStringLiteral("station"));
        if (!stationdescription::ValidName(options.station))
            return wrong(QStringLiteral("--station wants 1 to 64 of a-z 0-9 _ -, not \"%1\"")
                             .arg(options.station));
    }
    if (!ReadPublishOptions(parser, options, error)) return wrong(error);
    if (!observatoryoptions::Read(parser, options.observatory, error)) return wrong(error);
    line.run = true;
    return line;
}

QString PrepareDataDirectory(QString& directory) {
    const QString path = QDir(directory).absolutePath();
    auto unusable = [&](const QString& why) {
        return QStringLiteral("cannot use the data directory \"%1\": %2").arg(path, why);
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
    return {};
}
