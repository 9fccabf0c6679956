// SPDX-License-Identifier: GPL-3.0-or-later
// The termination signals reach the program through its event loop, and the handlers
// that were there before come back afterwards.
#include "system/TerminationSignals.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>
#include <signal.h>
#include <stdexcept>
#include <vector>

namespace {

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
