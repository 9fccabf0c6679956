// SPDX-License-Identifier: GPL-3.0-or-later
// The window while it runs: the error box next to running passes, the Data page following
// the log, and Exit closing the window with the log saved.
#include "WindowTestSupport.h"

#include "app/LogView.h"

#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>

class WindowRunTest : public QObject {
    Q_OBJECT

private slots:
    void errorInAPassShowsOneBoxWhilePassesGoOn();
    void logViewMirrorsTheLog();
    void logViewFillsALargeLoadBetweenEvents();
    void dataPageShowsEachRecordedLine();
    void exitClosesAndSavesTheLog();
    void failedSaveAtExitIsShownBeforeTheWindowGoes();
};

namespace {

int OpenMessageBoxes() {
    int open = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible()) ++open;
    return open;
}

// Runs passes from the event loop until the clock has been read `reads` more times.
bool RunPasses(FakeClock& clock, int reads) {
    const int target = clock.calls + reads;
    return QTest::qWaitFor([&] { return clock.calls >= target; }, 5000);
}

// The window's open error box, or nullptr.
QMessageBox* ErrorBoxOf(const TForm1& form) {
    return form.findChild<QMessageBox*>(QStringLiteral("ErrorBox"));
}

} // namespace

void WindowRunTest::errorInAPassShowsOneBoxWhilePassesGoOn() {
    // The day files are to go into a directory that is a plain file: every save fails.
    QTemporaryDir dir;
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    {
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    WindowRig station(/*runPasses=*/true, /*ownErrorBox=*/true, blocked);
    // However the test ends, the last save at exit succeeds, so closing shows no box.
    struct Unblock {
        QString path;
        ~Unblock() {
            QFile::remove(path);
            QDir().mkdir(path);
        }
    } unblock{blocked};
    TForm1& form = *station.form;
    form.show();
    station.clock.Set(15, 37, 28);
    QVERIFY(RunPasses(station.clock, 20));
    station.clock.Set(15, 37, 29);
    QVERIFY(RunPasses(station.clock, 20));
    QVERIFY(ErrorBoxOf(form) == nullptr);

    // The record of second 29 is saved, and the save fails.
    station.clock.Set(15, 37, 30);
    QTRY_VERIFY(ErrorBoxOf(form) != nullptr);
    QMessageBox* box = ErrorBoxOf(form);
    QVERIFY(box->isVisible());
    QCOMPARE(box->windowTitle(), QStringLiteral("Nocturo"));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QVERIFY(box->text().startsWith(QStringLiteral("Cannot create file \"")));
    QVERIFY(box->text().endsWith(QLatin1Char('.')));

    // Acquisition goes on under the open box, and lines still reach the log.
    const std::size_t lines = form.GetStation().Log().LineCount();
    station.clock.Set(15, 37, 31);
    QVERIFY(RunPasses(station.clock, 50));
    station.clock.Set(15, 37, 32);
    QVERIFY(RunPasses(station.clock, 50));
    QCOMPARE(form.GetStation().Log().LineCount(), lines + 2);

    // The next failed save does not stack a second box, nor does any other error.
    station.clock.Set(15, 38, 29);
    QVERIFY(RunPasses(station.clock, 20));
    station.clock.Set(15, 38, 30);
    QVERIFY(RunPasses(station.clock, 20));
    form.Errors().ShowError("Stream write error"); // returns at once: no loop of its own
    QCOMPARE(ErrorBoxOf(form), box);
    QCOMPARE(OpenMessageBoxes(), 1);

    // Once clicked away, the next error gets a box again.
    box->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(ErrorBoxOf(form) == nullptr);
    QCOMPARE(OpenMessageBoxes(), 0);
    form.Errors().ShowError("Stream write error");
    QVERIFY(ErrorBoxOf(form) != nullptr);
    QCOMPARE(ErrorBoxOf(form)->text(), QStringLiteral("Stream write error."));
    QVERIFY(station.recorded.messages.empty());
}

void WindowRunTest::logViewMirrorsTheLog() {
    QPlainTextEdit memo;
    LogView view(memo);
    view.Loaded("line 1\r\nline 2\r\n");
    QCOMPARE(memo.toPlainText(), QStringLiteral("line 1\nline 2"));
    view.LineAppended(QStringLiteral("line 3"));
    QCOMPARE(memo.blockCount(), 3);
    QCOMPARE(memo.document()->lastBlock().text(), QStringLiteral("line 3"));
    view.Emptied();
    QCOMPARE(memo.toPlainText(), QString());
    view.LineAppended(QStringLiteral("first of the day"));
    QCOMPARE(memo.toPlainText(), QStringLiteral("first of the day"));
    // A file saved elsewhere may carry lone CR or LF line breaks, or none at its end.
    view.Loaded("a\rb\nc");
    QCOMPARE(memo.toPlainText(), QStringLiteral("a\nb\nc"));
    QVERIFY(memo.isReadOnly());
    QVERIFY(!memo.isUndoRedoEnabled());
}

void WindowRunTest::logViewFillsALargeLoadBetweenEvents() {
    // Far more lines than one slice takes: the rest goes in between events.
    constexpr int kLines = 200000;
    QByteArray text;
    text.reserve(kLines * 8);
    for (int i = 0; i < kLines; ++i)
        text += QByteArray::number(i) + "\r\n";
    QPlainTextEdit memo;
    memo.resize(620, 360);
    memo.show();
    LogView view(memo);
    view.Loaded(text);
    QVERIFY(view.Filling());
    QVERIFY(memo.blockCount() > 1);
    bool otherEventRan = false;
    QTimer::singleShot(0, [&] { otherEventRan = true; });
    QCoreApplication::processEvents();
    QVERIFY(otherEventRan);
    view.LineAppended(QStringLiteral("appended meanwhile")); // goes after the loaded lines
    QTRY_VERIFY_WITH_TIMEOUT(!view.Filling(), 60000);
    QCOMPARE(memo.blockCount(), kLines + 1);
    QCOMPARE(memo.document()->findBlockByNumber(kLines - 1).text(), QString::number(kLines - 1));
    QCOMPARE(memo.document()->lastBlock().text(), QStringLiteral("appended meanwhile"));
    view.LineAppended(QStringLiteral("then one more"));
    QCOMPARE(memo.document()->lastBlock().text(), QStringLiteral("then one more"));

    // A new day empties the page at once, also while a load is still going in.
    view.Loaded(text);
    view.Emptied();
    QVERIFY(!view.Filling());
    QCoreApplication::processEvents();
    QCOMPARE(memo.toPlainText(), QString());

    // A line of megabytes, in no day file, is shown cut: laying it out would take seconds.
    view.Loaded("short\r\n" + QByteArray(3'000'000, 'x') + "\nafter");
    QTRY_VERIFY_WITH_TIMEOUT(!view.Filling(), 60000);
    QCOMPARE(memo.blockCount(), 3);
    const QString cut = memo.document()->findBlockByNumber(1).text();
    QCOMPARE(cut, QString(LogView::kMaxShownLineLength, u'x') + QChar(0x2026));
    QCOMPARE(memo.document()->lastBlock().text(), QStringLiteral("after"));
}

void WindowRunTest::dataPageShowsEachRecordedLine() {
    WindowRig station;
    TForm1& form = *station.form;
    QPlainTextEdit& memo = *WindowWidgets(form).Memo1;
    QCOMPARE(memo.toPlainText(), QString());
    for (int s = 10; s <= 13; ++s) {
        station.clock.Set(15, 37, s);
        form.IdleHandler();
    }
    QCOMPARE(form.GetStation().Log().LineCount(), 3u);
    QCOMPARE(memo.blockCount(), 3);
    QCOMPARE(memo.document()->firstBlock().text(),
             QStringLiteral("2009-01-26 15:37:11  21.5    1200 1"));
    QCOMPARE(memo.toPlainText() + QStringLiteral("\n"),
             form.GetStation().Log().Text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

    // A restart on the same day shows the day's lines again.
    station.form.reset();
    WindowRig restarted(false, false, station.dir.path());
    QCOMPARE(WindowWidgets(*restarted.form).Memo1->blockCount(), 3);
}

void WindowRunTest::exitClosesAndSavesTheLog() {
    WindowRig station;
    TForm1& form = *station.form;
    form.show();
    for (int s = 20; s <= 25; ++s) {
        station.clock.Set(15, 37, s);
        form.IdleHandler();
    }
    QCOMPARE(station.pipes.openPipes(), 2);
    const QString path = form.GetStation().Log().FilePath(QStringLiteral("20090126.txt"));
    QVERIFY(!QFile::exists(path)); // nothing saved yet: second 29 has not passed

    WindowWidgets(form).MIExit->trigger();
    QVERIFY(!form.isVisible());
    station.form.reset();
    QCOMPARE(station.pipes.openPipes(), 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 6); // five lines and what follows the last CR LF
    QCOMPARE(lines[0], QByteArray("2009-01-26 15:37:21  21.5    1200 1\r"));
    QVERIFY(station.recorded.messages.empty());
}

void WindowRunTest::failedSaveAtExitIsShownBeforeTheWindowGoes() {
    QTemporaryDir dir;
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    {
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    WindowRig station(/*runPasses=*/false, /*ownErrorBox=*/true, blocked);
    station.form->show();
    for (int s = 0; s <= 3; ++s) {
        station.clock.Set(15, 37, s);
        station.form->IdleHandler();
    }
    // No event loop runs once the window is gone, so this box waits for its click; the
    // test clicks it from a timer that the box's own wait runs.
    QString shown;
    QTimer clicker;
    connect(&clicker, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->windowTitle() + QLatin1Char('|') + box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    clicker.start(10);
    station.form.reset();
    QVERIFY(shown.startsWith(QStringLiteral("Nocturo|Cannot create file \"")));
    QCOMPARE(station.pipes.openPipes(), 0); // the sensor is released all the same
}

QTEST_MAIN(WindowRunTest)
#include "WindowRunTest.moc"
