// SPDX-License-Identifier: GPL-3.0-or-later
// nocturo-logger: the light-monitoring station without a window, for a system service or
// a terminal. The same Station as the window program's; options on the command line.
#include "core/cli/ExitStatus.h"
#include "core/station/StationDescription.h"
#include "core/station/ZoneAgreement.h"
#include "core/text/LocalClock.h"
#include "logger/LoggerOptions.h"
#include "logger/LoggerPublishing.h"
#include "logger/PublishedLines.h"
#include "logger/StationLogger.h"
#include "observatory/LiveSkyCondition.h"
#include "observatory/Observatory.h"
#include "sensor/UsbAPI.h"
#include "system/DefaultSystemRestart.h"
#include "system/JournalLines.h"
#include "system/SystemdNotifier.h"
#include "system/TerminationSignals.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSet>
#include <QTimeZone>

#include <csignal>
#include <cstdio>
#include <memory>
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
    if (!command.run)
        return PrintCommandLineOutcome(
            command, [&](const QString& error) { lines.Line(EventLines::Priority::Error, error); });
    LoggerOptions& options = command.options;
    if (QString why; !PrepareDataDirectory(options.dataDirectory, &why)) {
        lines.Line(EventLines::Priority::Error, why);
        return exitstatus::kUsage;
    }

    // The station's description beside the day files: its name and time zone on a network.
    StationDescription description;
    try {
        description = stationdescription::Load(options.dataDirectory);
    } catch (const StationDescriptionError& e) {
        lines.Line(EventLines::Priority::Error, QString::fromUtf8(e.what()));
        return exitstatus::kUsage;
    }
    // The day files are written on the computer's clock and read in the station's zone.
    if (!description.timezone.isEmpty()) {
        const QTimeZone computer = QTimeZone::systemTimeZone();
        const QString difference = zoneagreement::Difference(description.TimeZone(), computer,
                                                             QDateTime::currentSecsSinceEpoch());
        if (!difference.isEmpty()) {
            lines.Line(
                EventLines::Priority::Error,
                QStringLiteral("the station's time zone %1 (timezone in %2) is not the computer's "
                               "time zone %3 (%4): the day files are written on the computer's "
                               "clock; set the computer's zone (timedatectl set-timezone %1) or "
                               "the station's timezone to %3")
                    .arg(description.timezone,
                         QDir(options.dataDirectory)
                             .filePath(QLatin1String(stationdescription::kFileName)),
                         QString::fromUtf8(computer.id()), difference));
            return exitstatus::kUsage;
        }
    }
    std::optional<PublisherSettings> publishing =
        PublishingSettings(options, description, QCoreApplication::applicationVersion());
    if (options.publish && !options.publish->warning.isEmpty())
        lines.Line(EventLines::Priority::Warning, options.publish->warning);

    // A shutdown, `systemctl stop`, a closed terminal or Ctrl-C end it through the
    // station's shut-down: the day's file is saved and the sensor released.
    TerminationSignals termination([](int) { QCoreApplication::exit(0); });

    SystemClock clock;
    SystemdNotifier notifier;
    SystemRestart restart = DefaultSystemRestart();
    // The event lines go to the journal, and to the event topic while publishing.
    PublishedLines events(lines);
    StationLogger logger(StationLoggerServices{.pipes = usbapi::DefaultPipeLibrary(),
                                               .pipeEvents = usbapi::DefaultPipeEvents(),
                                               .clock = clock,
                                               .lines = events,
                                               .notifier = &notifier,
                                               .restart = &restart},
                         options);
    std::unique_ptr<StationPublisher> publisher;
    if (publishing) {
        publisher = std::make_unique<StationPublisher>(
            *publishing, logger.GetStation(), [&events](int priority, const QString& text) {
                events.Line(static_cast<EventLines::Priority>(priority), text);
            });
        events.SetPublisher(publisher.get());
        // Each kind of refusal once a run: a refused station is refused every second.
        QObject::connect(
            &publisher->Client(), &MqttClient::PublishRefused, publisher.get(),
            [&events, &publishing, told = QSet<int>()](int, int code, const QString& why) mutable {
                if (told.contains(code)) return;
                told.insert(code);
                const auto& account = publishing->broker.account;
                events.Line(EventLines::Priority::Error,
                            BrokerRefusalText(why, code, account ? account->user : QString(),
                                              publishing->station));
            });
        // Before the station starts, so that it sees the day's file loaded.
        publisher->Start();
    }
    // Observatories read the live station (Alpaca, the state socket), when asked to; the
    // minute topic is made of it too.
    // The sky's condition minute by minute needs the station's position for the Sun and the
    // Moon; its clear-sky baseline comes from the nights in the day files.
    const bool live = options.observatory.Wanted() || publisher;
    std::unique_ptr<LiveSkyCondition> skyCondition;
    const std::optional<astro::Observer> where = astro::ObserverOf(description);
    if (live && where) {
        skyCondition = std::make_unique<LiveSkyCondition>(*where, description.TimeZone());
        skyCondition->LearnBaseline(options.dataDirectory, QDateTime::currentSecsSinceEpoch());
    }
    std::unique_ptr<Observatory> observatory;
    if (live) {
        StationDescription named = description;
        if (!options.station.isEmpty()) named.name = options.station;
        observatory = std::make_unique<Observatory>(
            logger.GetStation(), named, options.observatory, QCoreApplication::applicationVersion(),
            [&events](int priority, const QString& text) {
                events.Line(static_cast<EventLines::Priority>(priority), text);
            },
            skyCondition.get());
        if (publisher)
            observatory->Live().AddListener(MinutePublishing(
                [p = publisher.get()](const messages::Minute& minute) { p->Minute(minute); }));
        observatory->Start();
    }
    logger.Start();
    QCoreApplication::exec();
    const bool saved = logger.Stop();
    if (observatory) observatory->Stop();
    if (publisher) {
        publisher->Stop();
        events.SetPublisher(nullptr);
    }
    return saved ? 0 : 1;
}
