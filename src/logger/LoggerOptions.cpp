// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoggerOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
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
