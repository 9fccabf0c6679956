// SPDX-License-Identifier: GPL-3.0-or-later
// nocturo-logger: the light-monitoring station without a window, for a system service or
// a terminal. The same Station as the window program's; options on the command line.
#include "DefaultSystemRestart.h"
#include "JournalLines.h"
#include "LocalClock.h"
#include "LoggerOptions.h"
#include "StationLogger.h"
#include "SystemdNotifier.h"
#include "TerminationSignals.h"
#include "UsbAPI.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nocturo-logger"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NOCTURO_VERSION));
    // A reader of standard error that went away must not end the program before its save.
    std::signal(SIGPIPE, SIG_IGN);

    JournalLines lines(STDERR_FILENO, JournalLines::IsJournalStream(STDERR_FILENO),
                       QCoreApplication::applicationName());
    CommandLine command = ReadCommandLine(QCoreApplication::arguments());
    if (!command.run) {
        if (!command.output.isEmpty()) std::fputs(command.output.toLocal8Bit().constData(), stdout);
        if (!command.error.isEmpty()) {
            lines.Line(EventLines::Priority::Error, command.error);
            std::fputs(command.usage.toLocal8Bit().constData(), stderr);
        }
        return command.status;
    }
    LoggerOptions& options = command.options;
    if (const QString error = PrepareDataDirectory(options.dataDirectory); !error.isEmpty()) {
        lines.Line(EventLines::Priority::Error, error);
        return CommandLine::UsageStatus;
    }

    // A shutdown, `systemctl stop`, a closed terminal or Ctrl-C end it through the
    // station's shut-down: the day's file is saved and the sensor released.
    TerminationSignals termination([](int) { QCoreApplication::exit(0); });

    SystemClock clock;
    SystemdNotifier notifier;
    SystemRestart restart = DefaultSystemRestart();
    StationLogger logger(StationLoggerServices{.pipes = usbapi::DefaultPipeLibrary(),
                                               .pipeEvents = usbapi::DefaultPipeEvents(),
                                               .clock = clock,
                                               .lines = lines,
                                               .notifier = &notifier,
                                               .restart = &restart},
                         options);
    logger.Start();
    QCoreApplication::exec();
    return logger.Stop() ? 0 : 1;
}
