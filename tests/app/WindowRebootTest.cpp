// SPDX-License-Identifier: GPL-3.0-or-later
// The reboot after a sensor failure: when the timer is armed and cancelled, and what a
// tick does. The restart request goes to a recorder; nothing here can reboot anything.
#include "WindowTestSupport.h"
#include "sensor/PICUSBClass.h"

#include <QFile>
#include <QTimer>
#include <QtTest>

class RebootTest : public QObject {
    Q_OBJECT

    // A second read normally, then a pass in the next second whose reading fails: the record
    // of the first second is made with the sensor inactive. The pass reconnects at its end.
    static void FailingSecond(WindowRig& station, int second) {
        station.clock.Set(15, 37, second);
        station.form->IdleHandler();
        station.pipes.queueFault(FakePipeLibrary::Fault::Timeout);
        station.clock.Set(15, 37, second + 1);
        station.form->IdleHandler();
    }
    static void GoodSecond(WindowRig& station, int second) {
        station.clock.Set(15, 37, second);
        station.form->IdleHandler();
        station.clock.Set(15, 37, second + 1);
        station.form->IdleHandler();
    }

private slots:
    void armsOnlyForAFailureSeenWhileTheBoxIsChecked() {
        WindowRig station;
        const QTimer& timer = station.station().RebootTimer();
        QCOMPARE(timer.interval(), 30000);
        QVERIFY(!timer.isActive());

        FailingSecond(station, 10);
        QVERIFY(!timer.isActive()); // box unchecked

        WindowWidgets(*station.form).CBReboot->setChecked(true);
        QVERIFY(!timer.isActive()); // checking after a failure arms nothing
        GoodSecond(station, 20);
        QVERIFY(!timer.isActive()); // neither does a good second

        FailingSecond(station, 30);
        QVERIFY(timer.isActive());
        QVERIFY(station.station().Device()->GetActive()); // reconnected: the restart stays armed
        GoodSecond(station, 40);
        QVERIFY(timer.isActive());
        QVERIFY(station.exitRequests.empty());
    }

    void aFurtherFailureKeepsThePendingTimersPhase() {
        WindowRig station;
        WindowWidgets(*station.form).CBReboot->setChecked(true);
        FailingSecond(station, 10);
        const QTimer& timer = station.station().RebootTimer();
        const int id = timer.timerId();
        QVERIFY(id > 0);
        FailingSecond(station, 20);
        QCOMPARE(timer.timerId(), id);
    }

    void uncheckingCancelsAPendingRestart() {
        WindowRig station;
        QCheckBox& box = *WindowWidgets(*station.form).CBReboot;
        box.setChecked(true);
        FailingSecond(station, 10);
        QVERIFY(station.station().RebootTimer().isActive());
        QTest::mouseClick(&box, Qt::LeftButton);
        QVERIFY(!box.isChecked());
        QVERIFY(!station.station().RebootTimer().isActive());
        box.setChecked(true);
        QVERIFY(!station.station().RebootTimer().isActive());
    }

    void aTickSavesTheLogThenAsksForAForcedRestart() {
        WindowRig station;
        WindowWidgets(*station.form).CBReboot->setChecked(true);
        FailingSecond(station, 10); // second 10's line, not saved yet (no :29 passed)
        const QString path =
            station.station().Log().FilePath(station.station().Log().LogFileName());
        QVERIFY(!QFile::exists(path));
        QByteArray onDiskAtRequest;
        station.onExitRequest = [&] {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)) onDiskAtRequest = file.readAll();
        };
        station.form->TRebootTimer();
        QCOMPARE(station.exitRequests, std::vector<std::uint32_t>{6});
        QVERIFY(onDiskAtRequest.startsWith("2009-01-26 15:37:11"));
        QVERIFY(station.recorded.messages.empty());
        station.form->TRebootTimer(); // refused: asked again on the next tick
        QCOMPARE(station.exitRequests.size(), std::size_t{2});
    }

    void aFailedSaveDoesNotHoldBackTheRestartAndIsNotShown() {
        WindowRig station(false, false, QStringLiteral("/nonexistent/nocturo-test"));
        station.recorded.messages.clear(); // start-up found no readable folder
        WindowWidgets(*station.form).CBReboot->setChecked(true);
        FailingSecond(station, 10);
        station.form->TRebootTimer();
        QCOMPARE(station.exitRequests, std::vector<std::uint32_t>{6});
        QVERIFY(station.recorded.messages.empty());
    }

    void aFailingSaveInAPassStillArmsTheRestart() {
        WindowRig station(false, false, QStringLiteral("/nonexistent/nocturo-test"));
        station.recorded.messages.clear();
        WindowWidgets(*station.form).CBReboot->setChecked(true);
        station.clock.Set(15, 37, 29);
        station.form->IdleHandler();
        station.pipes.queueFault(FakePipeLibrary::Fault::Timeout);
        station.clock.Set(15, 37, 30);
        // The line of second 29 is saved, the save fails, and the failure ends the pass.
        QVERIFY_THROWS_EXCEPTION(NocturoError, station.form->IdleHandler());
        QVERIFY(station.station().RebootTimer().isActive());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RebootTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowRebootTest.moc"
