// SPDX-License-Identifier: GPL-3.0-or-later
// The logger on a scripted sensor and a clock the test moves, as the program runs it: its
// one line per event over a long stretch of passes, the reboot option with its timer
// ticked by hand and the restart asked of a fake logind, and the journal's line format.
// Runs under dbus-run-session; nothing here can restart the machine.
#include "logger/StationLogger.h"
#include "DailyLogTestSupport.h"
#include "FakeClock.h"
#include "FakeLogind.h"
#include "FakePipeLibrary.h"
#include "PlotLabels.h"
#include "RecordedLines.h"
#include "SensorReplies.h"
#include "core/station/LinkStatusHint.h"
#include "sensor/PICUSBClass.h"
#include "system/SystemRestart.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

inline void PrintTo(EventLines::Priority priority, std::ostream* os) {
    *os << '<' << static_cast<int>(priority) << '>';
}

namespace {

using Priority = EventLines::Priority;
using Line = std::pair<Priority, QString>;

struct LoggerRig {
    FakePipeLibrary pipes;
    FakeClock clock{{2009, 1, 26, 10, 0, 0, 0}};
    RecordedLines lines;
    DayDir days;
    std::unique_ptr<StationLogger> logger;

    explicit LoggerRig(LoggerOptions options = {}, SystemRestart* restart = nullptr) {
        pipes.recordCalls = false;
        pipes.setReply('L', LightReply(10, 1));
        pipes.setReply('T', TemperatureReply(kSixteenths21_5));
        options.dataDirectory = days.dir.path();
        logger = std::make_unique<StationLogger>(StationLoggerServices{.pipes = pipes,
                                                                       .clock = clock,
                                                                       .lines = lines,
                                                                       .restart = restart,
                                                                       .runPasses = false},
                                                 options);
    }
    Station& station() { return logger->GetStation(); }
    // One pass at a time of the clock's day; an error ends it and is reported, as the
    // pass driver does.
    void PassAt(int hour, int minute, int second, int msec = 0) {
        clock.Set(hour, minute, second, msec);
        try {
            station().IdleHandler();
        } catch (const std::exception& e) {
            station().Errors().ShowError(e.what());
        }
    }
    // Two passes a second, from..to (seconds of the day, within one day).
    void Run(int from, int to) {
        for (int s = from; s <= to; ++s)
            for (int msec : {0, 500})
                PassAt(s / 3600, s / 60 % 60, s % 60, msec);
    }
    // A second read normally, then a pass in the next one whose reading fails: the record
    // of the first second is made with the sensor inactive.
    void FailingSecond(int s) {
        Run(s, s);
        pipes.queueFault(FakePipeLibrary::Fault::Timeout);
        PassAt(s / 3600, s / 60 % 60, s % 60 + 1);
    }
};

constexpr int kAt10 = 36000; // 10:00:00 as a second of the day

TEST(StationLogger, TellsOneLinePerEventThroughAnHourOfPasses) {
    LoggerOptions options;
    options.sendDelay = 120;
    options.receiveDelay = 340;
    LoggerRig rig(options);
    rig.pipes.attached = false;
    rig.logger->Start();
    ASSERT_NE(rig.station().Device(), nullptr);
    EXPECT_EQ(rig.station().Device()->GetSendDelay(), 120);
    EXPECT_EQ(rig.station().Device()->GetReceiveDelay(), 340);
    rig.Run(kAt10, kAt10 + 9);
    rig.pipes.attached = true;
    rig.Run(kAt10 + 10, kAt10 + 1199); // twenty minutes of good seconds

    // Two failed saves (the day file's place is taken), then one that works again.
    const QString day = rig.days.Path(QStringLiteral("20090126.txt"));
    ASSERT_TRUE(QFile::remove(day) && QDir().mkdir(day));
    rig.Run(kAt10 + 1200, kAt10 + 1319);
    ASSERT_TRUE(QDir().rmdir(day));
    rig.Run(kAt10 + 1320, kAt10 + 1379);

    // Unplugged for a minute, then back for the rest of the hour. Meanwhile the device
    // node is refused for a while, twice: each new reason is told once an outage.
    rig.pipes.attached = false;
    rig.Run(kAt10 + 1380, kAt10 + 1399);
    for (int twice = 0; twice < 2; ++twice) {
        rig.pipes.failure = usbapi::OpenFailure::AccessDenied;
        rig.Run(kAt10 + 1400 + 20 * twice, kAt10 + 1409 + 20 * twice);
        rig.pipes.failure = usbapi::OpenFailure::NoDevice;
        rig.Run(kAt10 + 1410 + 20 * twice, kAt10 + 1419 + 20 * twice);
    }
    rig.pipes.attached = true;
    rig.Run(kAt10 + 1440, kAt10 + 3599);
    EXPECT_TRUE(rig.logger->Stop());

    const QString cannotCreate =
        QStringLiteral("Cannot create file \"%1\". Filename refers to a directory.")
            .arg(QDir(day).absolutePath());
    const std::vector<Line> expected{
        {Priority::Info, QStringLiteral("started: version 9.9.9, pipe library 1.0.26.0, data "
                                        "directory %1, reboot after failure off, send delay "
                                        "120 ms, receive delay 340 ms")
                             .arg(rig.days.dir.path())},
        {Priority::Warning, QStringLiteral("sensor not connected: ") +
                                LinkStatusHint(false, usbapi::OpenFailure::NoDevice)},
        {Priority::Notice, QStringLiteral("sensor connected")},
        {Priority::Error, cannotCreate},
        {Priority::Error, cannotCreate},
        {Priority::Notice,
         QStringLiteral("saving works again: %1 holds the lines kept meanwhile").arg(day)},
        {Priority::Warning,
         QStringLiteral("sensor lost: ") + LinkStatusHint(false, usbapi::OpenFailure::NoDevice)},
        {Priority::Warning, QStringLiteral("sensor still not connected: ") +
                                LinkStatusHint(false, usbapi::OpenFailure::AccessDenied)},
        {Priority::Notice, QStringLiteral("sensor connected")},
        {Priority::Info, QStringLiteral("stopped; the day's file is saved")}};
    EXPECT_EQ(rig.lines.lines, expected);
    // Every second of the hour the sensor was read is in the day's file, none twice.
    const std::string saved = rig.days.Read("20090126.txt");
    // Read from 10:00:10 on; the last second is still open at the stop; 59 seconds unplugged.
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), (3599 - 10) - 59);
}

SystemRestart LogindOnly() {
    // No capability: a refusal by logind is final, and no kernel call could be made.
    return SystemRestart(fakelogind::testBus(), [] { return false; }, {});
}

TEST_F(FakeLogind, WithTheRebootOptionAFailureArmsTheTimerAndItsTickAsksLogind) {
    SystemRestart restart = LogindOnly();
    LoggerOptions options;
    options.rebootAfterFailure = true;
    LoggerRig rig(options, &restart);
    rig.logger->Start();
    const QTimer& timer = rig.station().RebootTimer();
    rig.Run(kAt10, kAt10 + 3);
    EXPECT_FALSE(timer.isActive()) << "good seconds arm nothing";

    rig.FailingSecond(kAt10 + 4);
    ASSERT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 30000);
    EXPECT_EQ(rig.lines.Count("reboot armed: the sensor failed; a forced restart will be asked "
                              "for in 30 s"),
              1);
    EXPECT_TRUE(rig.lines.Texts().contains("sensor lost: " +
                                           LinkStatusHint(false, usbapi::OpenFailure::Other)));
    rig.Run(kAt10 + 6, kAt10 + 8);
    EXPECT_TRUE(timer.isActive()) << "a sensor that answers again does not cancel it";

    // The timer's tick, by hand: the log is saved, then logind is asked, without a prompt.
    rig.station().TRebootTimer();
    const auto calls = rebootCalls();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0], QVariantList{false});
    EXPECT_EQ(rig.lines.lines.back(),
              Line(Priority::Warning,
                   QStringLiteral("restart requested: the system accepted a forced reboot")));
    EXPECT_NE(rig.days.Read("20090126.txt").find("2009-01-26 10:00:05 -273.1    1200 0\r\n"),
              std::string::npos);

    // Refused: the reason is told, and the next tick asks again.
    setRebootCode("raise dbus.exceptions.DBusException('Access denied', "
                  "name='org.freedesktop.DBus.Error.AccessDenied')");
    rig.station().TRebootTimer();
    EXPECT_EQ(rig.lines.lines.back(),
              Line(Priority::Error,
                   QStringLiteral("restart requested and refused: systemd-logind refused: Access "
                                  "denied (org.freedesktop.DBus.Error.AccessDenied); this process "
                                  "may not reboot by itself (no CAP_SYS_BOOT); asking again in "
                                  "30 s")));
    EXPECT_EQ(rebootCalls().size(), 2);
    EXPECT_TRUE(timer.isActive());
}

TEST_F(FakeLogind, WithoutTheRebootOptionAFailureArmsNothing) {
    SystemRestart restart = LogindOnly();
    LoggerRig rig({}, &restart);
    rig.logger->Start();
    rig.FailingSecond(kAt10);
    rig.FailingSecond(kAt10 + 5);
    EXPECT_FALSE(rig.station().RebootTimer().isActive());
    EXPECT_EQ(rig.lines.Count("reboot armed"), 0);
    EXPECT_TRUE(rebootCalls().isEmpty());
}

// Reads what was written into a file descriptor.
QByteArray Written(int fd) {
    QByteArray bytes(4096, '\0');
    const ssize_t n = ::pread(fd, bytes.data(), bytes.size(), 0);
    bytes.resize(n > 0 ? n : 0);
    return bytes;
}

TEST(JournalLines, PrioritiesOnlyOnTheJournalsStreamAndOneLinePerEvent) {
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    const int fd = file.handle();
    struct stat st {};
    ASSERT_EQ(::fstat(fd, &st), 0);
    const QByteArray stream =
        QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino));

    ::unsetenv("JOURNAL_STREAM");
    EXPECT_FALSE(JournalLines::IsJournalStream(fd));
    ::setenv("JOURNAL_STREAM", stream.constData(), 1);
    EXPECT_TRUE(JournalLines::IsJournalStream(fd));
    EXPECT_FALSE(JournalLines::IsJournalStream(STDIN_FILENO)) << "another file's stream";
    for (const char* wrong : {"", ":", "12", "x:y", "1:2:3"}) {
        ::setenv("JOURNAL_STREAM", wrong, 1);
        EXPECT_FALSE(JournalLines::IsJournalStream(fd)) << wrong;
    }
    ::unsetenv("JOURNAL_STREAM");

    JournalLines journal(fd, true, QStringLiteral("nocturo-logger"));
    journal.Line(Priority::Error, QStringLiteral("Cannot create file \"/a\nb\". Is a directory."));
    journal.Line(Priority::Warning, QStringLiteral("sensor lost"));
    journal.Line(Priority::Notice, QStringLiteral("sensor connected"));
    journal.Line(Priority::Info, QStringLiteral("stopped"));
    EXPECT_EQ(Written(fd).toStdString(), "<3>Cannot create file \"/a b\". Is a directory.\n"
                                         "<4>sensor lost\n<5>sensor connected\n<6>stopped\n");

    QTemporaryFile plainFile;
    ASSERT_TRUE(plainFile.open());
    JournalLines plain(plainFile.handle(), false, QStringLiteral("nocturo-logger"));
    plain.Line(Priority::Warning, QStringLiteral("sensor lost:\r\n\tgone"));
    EXPECT_EQ(Written(plainFile.handle()).toStdString(), "nocturo-logger: sensor lost:   gone\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral("9.9.9"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
