// SPDX-License-Identifier: GPL-3.0-or-later
// The pass driver: back-to-back passes while connected, paced retries while not, errors
// routed to the reporter without stopping acquisition.
#include "core/station/PassDriver.h"
#include "RecordedErrors.h"
#include "core/NocturoError.h"
#include "sensor/UsbAPI.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

struct FakeEvents : usbapi::PipeEventSource {
    std::function<void()> arrival;
    bool HasHotplug() const override { return true; }
    std::vector<WatchedFd> Fds() const override { return {}; }
    void HandleEvents() override {}
    void SetCallbacks(std::function<void()> onArrival, std::function<void()>) override {
        arrival = std::move(onArrival);
    }
};

QCoreApplication& App() {
    return *QCoreApplication::instance(); // made by the test program's main
}

// Runs the event loop until the predicate holds; the bound only guards against a hang.
template <typename Predicate> bool SpinUntil(Predicate done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

} // namespace

TEST(PassDriver, ConnectedPassesFollowEachOtherAtOnce) {
    App();
    RecordedErrors errors;
    int passes = 0;
    PassDriver driver([&] { return ++passes > 0; }, errors, nullptr);
    driver.Start();
    ASSERT_TRUE(SpinUntil([&] { return passes >= 50; }));
    EXPECT_EQ(driver.NextPassDelay(), 0);
    driver.Stop();
    EXPECT_EQ(driver.NextPassDelay(), -1);
}

// Passes run in bursts, but the loop still gets its turns while they go on: a timer due
// at once fires, and passes follow it.
TEST(PassDriver, ConnectedPassesLeaveTheLoopItsTurns) {
    App();
    RecordedErrors errors;
    int passes = 0, passesAtTimer = -1;
    PassDriver driver([&] { return ++passes > 0; }, errors, nullptr);
    driver.Start();
    QTimer::singleShot(0, [&] { passesAtTimer = passes; });
    ASSERT_TRUE(SpinUntil([&] { return passesAtTimer >= 0 && passes > passesAtTimer + 10; }));
    driver.Stop();
}

TEST(PassDriver, DisconnectedPassesWaitForArrivalOrTheRetryInterval) {
    App();
    RecordedErrors errors;
    FakeEvents events;
    int passes = 0;
    PassDriver driver(
        [&] {
            ++passes;
            return false;
        },
        errors, &events);
    driver.Start();
    ASSERT_TRUE(SpinUntil([&] { return passes >= 1; }));
    EXPECT_EQ(driver.NextPassDelay(), PassDriver::kRetryIntervalMs);
    // An arrival brings the next pass forward.
    events.arrival();
    EXPECT_EQ(driver.NextPassDelay(), 0);
}

TEST(PassDriver, AnErrorIsReportedAndPassesGoOn) {
    App();
    RecordedErrors errors;
    int passes = 0;
    PassDriver driver(
        [&]() -> bool {
            if (++passes == 2) throw NocturoError("Stream write error");
            return true;
        },
        errors, nullptr);
    driver.Start();
    ASSERT_TRUE(SpinUntil([&] { return passes >= 5; }));
    ASSERT_EQ(errors.messages.size(), 1u);
    EXPECT_EQ(errors.messages[0], "Stream write error");
}

TEST(ErrorBoxText, AddsAFullStopOnlyAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(ErrorBoxText("Stream write error"), "Stream write error.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("Cannot open file \"x\". (denied)"), "Cannot open file \"x\". (denied)");
    EXPECT_EQ(ErrorBoxText("value >= 0"), "value >= 0.");
    EXPECT_EQ(ErrorBoxText(""), "");
}
