// SPDX-License-Identifier: GPL-3.0-or-later
// The window starts, runs passes from the event loop against a scripted sensor, and
// releases the sensor when it closes.
#include "FakeClock.h"
#include "FakePipeLibrary.h"
#include "app/UMain.h"
#include "sensor/PICUSBClass.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
struct FailOnError : ErrorReporter {
    void ShowError(const std::string& message) override { ADD_FAILURE() << message; }
};
} // namespace

TEST(WindowSmoke, StartsRunsPassesAndCloses) {
    FakeClock clock;
    FakePipeLibrary pipes;
    pipes.recordCalls = false;
    pipes.setReply('L', {100, 0, 5});
    FailOnError errors;
    QTemporaryDir dir;
    {
        TForm1 Form1({pipes, nullptr, clock, &errors, true, dir.path()});
        Form1.show();
        ASSERT_NE(Form1.GetStation().Device(), nullptr);
        EXPECT_TRUE(Form1.GetStation().Device()->GetActive());
        EXPECT_EQ(Form1.GetStation().Device()->GetSendDelay(), 50);
        EXPECT_EQ(Form1.GetStation().Device()->GetReceiveDelay(), 50);
        QElapsedTimer t;
        t.start();
        while (Form1.GetStation().Cycle().Flux() == 0 && t.elapsed() < 20000)
            QApplication::processEvents();
        EXPECT_EQ(Form1.GetStation().Cycle().Flux(), 100);
        EXPECT_EQ(Form1.GetStation().Cycle().StatusText(), "Ok");
        Form1.close();
    }
    EXPECT_EQ(pipes.openPipes(), 0);
}
