// The window's part in the daily log: the day's file loaded at start-up, records logged,
// the log saved at shut-down; an unreadable day file does not stop acquisition; and the
// termination signals reach the program through its event loop.
#include "DailyLogTestSupport.h"
#include "FakePipeLibrary.h"
#include "LocalClock.h"
#include "PICUSBClass.h"
#include "TerminationSignals.h"
#include "UMain.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>
#include <memory>
#include <signal.h>
#include <stdexcept>
#include <vector>

#include "FakeClock.h"
#include "RecordedErrors.h"

namespace {

class WindowLogTest : public ::testing::Test {
protected:
    WindowLogTest() {
        pipes.setReply('L', {0xD2, 0x04, 5}); // 1234 at range 5
        pipes.setReply('T', {0x90, 0x01});
        clock.now = At(2009, 1, 26, 10, 0, 0) + 0.2 / 86400;
    }
    std::unique_ptr<TForm1> Open() {
        TForm1Services services{pipes, nullptr, clock, &errors, false, days.dir.path()};
        return std::make_unique<TForm1>(services);
    }
    // Passes every half second for `seconds` seconds.
    void RunFor(TForm1& form, int seconds) {
        for (int i = 0; i < 2 * seconds; ++i) {
            clock.now += 0.5 / 86400;
            form.IdleHandler();
        }
    }

    DayDir days;
    FakePipeLibrary pipes;
    FakeClock clock;
    RecordedErrors errors;
    const QString day = QStringLiteral("20090126.txt");
};

TEST_F(WindowLogTest, StartUpLoadsTheDayFileAndShutDownSavesTheLog) {
    days.Write(day, "earlier\r\n");
    auto form = Open();
    EXPECT_EQ(form->Log().Text(), "earlier\r\n");
    RunFor(*form, 3);
    EXPECT_EQ(form->Log().LineCount(), 4u);
    EXPECT_EQ(days.Read(day), "earlier\r\n"); // no save before second 29 or the end
    form.reset();
    EXPECT_EQ(days.Read(day), "earlier\r\n"
                              "2009-01-26 10:00:01   3.1    1234 5\r\n"
                              "2009-01-26 10:00:02   3.1    1234 5\r\n"
                              "2009-01-26 10:00:03   3.1    1234 5\r\n");
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(WindowLogTest, UnreadableDayFileIsReportedAndAcquisitionGoesOn) {
    ASSERT_TRUE(QDir(days.dir.path()).mkdir(day));
    const std::string path = QFileInfo(days.Path(day)).absoluteFilePath().toStdString();
    auto form = Open();
    ASSERT_EQ(errors.messages.size(), 1u);
    EXPECT_EQ(errors.messages[0], "Cannot open file \"" + path + "\". file to open is a directory");
    ASSERT_NE(form->Device(), nullptr);
    EXPECT_TRUE(form->Device()->GetActive());
    RunFor(*form, 3);
    EXPECT_EQ(form->Log().LineCount(), 3u);
    form.reset(); // the save fails and is reported; shut-down goes on
    ASSERT_EQ(errors.messages.size(), 2u);
    EXPECT_EQ(errors.messages[1].rfind("Cannot create file \"" + path + "\".", 0), 0u);
    EXPECT_TRUE(QFileInfo(days.Path(day)).isDir());
    EXPECT_EQ(pipes.openPipes(), 0); // the sensor was released
}

// --- Termination signals -----------------------------------------------------------------

TEST(TerminationSignalsTest, EachSignalIsHandledFromTheEventLoop) {
    for (int signalNumber : {SIGTERM, SIGHUP, SIGINT}) {
        std::vector<int> received;
        QEventLoop loop;
        TerminationSignals termination([&](int number) {
            received.push_back(number);
            loop.quit();
        });
        ASSERT_EQ(raise(signalNumber), 0);
        EXPECT_TRUE(received.empty()) << "handled inside the signal handler";
        QTimer::singleShot(5000, &loop, &QEventLoop::quit); // a bound, not a wait
        loop.exec();
        EXPECT_EQ(received, std::vector<int>{signalNumber});
    }
}

void CountingHandler(int) {}

TEST(TerminationSignalsTest, RestoresTheHandlersBeforeIt) {
    struct sigaction before {};
    before.sa_handler = CountingHandler;
    sigemptyset(&before.sa_mask);
    struct sigaction original {};
    sigaction(SIGHUP, &before, &original);
    {
        TerminationSignals termination([](int) {});
        struct sigaction during {};
        sigaction(SIGHUP, nullptr, &during);
        EXPECT_NE(during.sa_handler, CountingHandler);
        EXPECT_THROW(TerminationSignals([](int) {}), std::logic_error);
    }
    struct sigaction after {};
    sigaction(SIGHUP, &original, &after);
    EXPECT_EQ(after.sa_handler, CountingHandler);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
