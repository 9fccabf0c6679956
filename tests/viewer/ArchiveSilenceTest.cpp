// SPDX-License-Identifier: GPL-3.0-or-later
// The archive that stops answering: a server that accepts connections and never says a
// word, and a real PostgreSQL server of the test's own behind a relay that can go silent
// at any moment. The connection gives up in bounded time and at once when interrupted,
// the program's export ends with a message, and the window goes on handling what the user
// does, says that the archive does not answer, and shows the new lines once it answers.
#include "PostgresServer.h"
#include "SilentRelay.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveSchema.h"
#include "archive/ArchiveSource.h"
#include "archive/PgConnection.h"
#include "viewer/ViewerWindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testsupport::PostgresServer;
using testsupport::SilentRelay;

constexpr int kHour = 3600;
constexpr int kGuardMs = 120000; // a guard against a hang only

std::int64_t Day(int d) {
    return DaysFromCivil(2009, 1, d);
}

QString SocketOf(const PostgresServer& server) {
    return QDir(server.SocketDir()).filePath(QStringLiteral(".s.PGSQL.5432"));
}

// Station alpha's lines, one a second, local time two hours ahead of UTC.
QByteArray Rows(WallSeconds from, WallSeconds to) {
    QByteArray rows;
    for (WallSeconds local = from; local < to; ++local)
        rows += "alpha\t" + IsoWallTime(local - 2 * kHour).toLatin1() + "+00\t" +
                IsoWallTime(local).toLatin1() + "\t100\t42\t5\n";
    return rows;
}

bool Store(PgConnection& connection, const QByteArray& rows, QString* why = nullptr) {
    return connection.Copy(QStringLiteral("COPY readings (station, utc, local, temperature_tenths, "
                                          "mean_count, range) FROM STDIN"),
                           rows, why);
}

// A server that never answers: connecting gives up after its limit, and any thread's
// Interrupt() ends a wait at once.
TEST(ArchiveSilence, ConnectionGivesUpOnAServerThatNeverAnswers) {
    SilentRelay silent;
    ASSERT_TRUE(silent.Ok());
    PgConnection connection;
    connection.SetConnectLimit(1s);
    QString why;
    EXPECT_FALSE(connection.Open(silent.Url(), &why));
    EXPECT_TRUE(connection.TimedOut());
    EXPECT_EQ(why, QStringLiteral("no answer from the server within 1 s"));
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_GE(silent.Accepted(), 1);

    // With the default limits, only the interruption ends the wait.
    PgConnection patient;
    bool opened = true;
    QString patientWhy;
    std::thread opener([&] { opened = patient.Open(silent.Url(), &patientWhy); });
    QElapsedTimer clock;
    clock.start();
    patient.Interrupt();
    opener.join();
    EXPECT_FALSE(opened);
    EXPECT_LT(clock.elapsed(), std::chrono::milliseconds(PgConnection::kConnectLimit).count())
        << "the interruption did not end the wait";
    EXPECT_TRUE(patientWhy.contains(QStringLiteral("interrupted"))) << patientWhy.toStdString();
    EXPECT_FALSE(patient.Open(silent.Url())) << "an interrupted connection stays ended";
}

// A server that answered and then goes silent in the middle: the command is given up
// after its limit and the connection closed; it connects again once the server answers.
TEST(ArchiveSilence, CommandGivesUpOnAServerThatStopsAnswering) {
    PostgresServer server;
    ASSERT_TRUE(server.Ok()) << server.Error().toStdString();
    SilentRelay relay(SocketOf(server));
    ASSERT_TRUE(relay.Ok());
    PgConnection connection;
    QString why;
    ASSERT_TRUE(connection.Open(relay.Url(), &why)) << why.toStdString();
    ASSERT_TRUE(connection.Exec(QStringLiteral("SELECT 1")));
    relay.Hold(true);
    connection.SetAnswerLimit(1s);
    EXPECT_FALSE(connection.Exec(QStringLiteral("SELECT 1"), &why));
    EXPECT_TRUE(connection.TimedOut());
    EXPECT_EQ(why, QStringLiteral("no answer from the server within 1 s"));
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(connection.Exec(QStringLiteral("SELECT 1"), &why));
    EXPECT_EQ(why, QStringLiteral("not connected to the archive"));
    relay.Hold(false);
    ASSERT_TRUE(connection.Reopen(&why)) << why.toStdString();
    const PgResult result = connection.Query(QStringLiteral("SELECT $1::int + 1"), {"41"});
    ASSERT_EQ(result.Rows(), 1);
    EXPECT_EQ(result.Text(0, 0), QStringLiteral("42"));
}

// The export from an archive that never answers ends, with a message and status 3.
TEST(ArchiveSilence, ExportEndsWithAMessage) {
    SilentRelay silent;
    ASSERT_TRUE(silent.Ok());
    QTemporaryDir out;
    const QString csv = out.filePath(QStringLiteral("night.csv"));
    QProcess view;
    view.start(QStringLiteral(NOCTURO_VIEW), {"--archive", silent.Url(), "--station", "alpha",
                                              "--night", "2009-01-26", "--export", csv});
    ASSERT_TRUE(view.waitForFinished(kGuardMs)) << "the export still waits";
    const QString errors = QString::fromLocal8Bit(view.readAllStandardError());
    EXPECT_EQ(view.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(view.exitCode(), 3) << errors.toStdString();
    EXPECT_TRUE(errors.contains(QStringLiteral("nocturo-view: cannot reach the archive: no answer "
                                               "from the server within 10 s")))
        << errors.toStdString();
    EXPECT_FALSE(QFile::exists(csv));
    EXPECT_GE(silent.Accepted(), 1);
}

// The window on an archive that goes silent: what the user does is handled at once, the
// status bar says the archive does not answer, the lines stored meanwhile appear when it
// answers again, and the window closes at once while a question waits.
TEST(ArchiveSilence, WindowGoesOnWhileTheArchiveDoesNotAnswer) {
    PostgresServer server;
    ASSERT_TRUE(server.Ok()) << server.Error().toStdString();
    PgConnection direct;
    const WallSeconds evening = StartOfDay(Day(26)) + 12 * kHour;
    QString why;
    ASSERT_TRUE(direct.Open(server.Url(), &why) && archiveschema::Create(direct, &why) &&
                archiveschema::EnsureMonth(direct, archiveschema::MonthOf(evening), &why))
        << why.toStdString();
    ASSERT_TRUE(Store(direct, Rows(evening, evening + kHour), &why)) << why.toStdString();
    SilentRelay relay(SocketOf(server));
    ASSERT_TRUE(relay.Ok());

    ViewerOptions options;
    options.stations = QStringList{QStringLiteral("alpha")};
    auto window = std::make_unique<ViewerWindow>(
        std::make_unique<ArchiveSource>(std::make_unique<ArchiveReader>(relay.Url())), options,
        Day(28));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const TimeSpan night = TimeSpan::Of(SpanKind::Night, Day(26));
    ASSERT_EQ(window->Lines().span, night);
    EXPECT_EQ(window->Records().size(), std::size_t(kHour));
    EXPECT_EQ(window->SourceStatusText(), QString());

    // Silent. More lines reach the archive meanwhile.
    relay.Hold(true);
    ASSERT_TRUE(Store(direct, Rows(evening + kHour, evening + 2 * kHour)));
    window->Refresh(); // as its timer does: given up after a moment's patience
    EXPECT_EQ(window->SourceStatusText(), QStringLiteral("The archive does not answer"));
    EXPECT_EQ(window->Records().size(), std::size_t(kHour)) << "the lines shown stay";

    // A timer ticks while the user steps to the next night and back and the window looks
    // at the archive again: no tick waits for the archive.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, longestGap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticks.start(20);
    bool done = false;
    QWidget* target = window.get();
    QTimer::singleShot(50, target, [&] { QTest::keyClick(target, Qt::Key_PageDown); });
    QTimer::singleShot(100, target, [&] {
        EXPECT_EQ(window->Lines().span, night.Stepped(1));
        EXPECT_TRUE(window->NotesText().contains(QStringLiteral("The archive does not answer")))
            << window->NotesText().toStdString();
        QTest::keyClick(target, Qt::Key_PageUp);
    });
    QTimer::singleShot(150, target, [&] { window->Refresh(); });
    QTimer::singleShot(200, target, [&] { done = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, kGuardMs));
    ticks.stop();
    EXPECT_LT(longestGap, ViewerWindow::kAnswerPatienceMs) << "the window waited for the archive";
    EXPECT_EQ(window->Lines().span, night);
    EXPECT_EQ(window->SourceStatusText(), QStringLiteral("The archive does not answer"));

    // It answers again: the window goes on by itself, with the lines stored meanwhile.
    relay.Hold(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Records().size() == std::size_t(2 * kHour); },
                                kGuardMs))
        << window->Records().size() << " lines shown";
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->SourceStatusText().isEmpty(); }, kGuardMs))
        << window->SourceStatusText().toStdString();
    EXPECT_EQ(window->NotesText(), QString());

    // Silent again, a question waiting: the window closes without waiting for it.
    relay.Hold(true);
    window->Refresh();
    ASSERT_EQ(window->SourceStatusText(), QStringLiteral("The archive does not answer"));
    clock.restart();
    window.reset();
    EXPECT_LT(clock.elapsed(), std::chrono::milliseconds(PgConnection::kAnswerLimit).count())
        << "closing waited for the archive";
}

} // namespace
