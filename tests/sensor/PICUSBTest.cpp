// SPDX-License-Identifier: GPL-3.0-or-later
// TPICUSB against the scripted pipe library: conversions, failures and pipe handling.
#include "FakePipeLibrary.h"
#include "sensor/PICUSBClass.h"

#include <gtest/gtest.h>

using Op = FakePipeLibrary::Op;

namespace {
struct Sensor : ::testing::Test {
    FakePipeLibrary pipes;
    TPICUSB device{pipes};
};
} // namespace

TEST(SensorConversions, TemperatureTruncatesTowardZeroInTenths) {
    EXPECT_FLOAT_EQ(TPICUSB::TemperatureFromRaw(0x0190), 3.1f);
    EXPECT_FLOAT_EQ(TPICUSB::TemperatureFromRaw(static_cast<std::int16_t>(0xFF80)), -1.0f);
    EXPECT_FLOAT_EQ(TPICUSB::TemperatureFromRaw(static_cast<std::int16_t>(0xFFF8)), 0.0f);
    EXPECT_FLOAT_EQ(TPICUSB::TemperatureFromRaw(0x7FF0), 255.8f);
    EXPECT_FLOAT_EQ(TPICUSB::TemperatureFromRaw(static_cast<std::int16_t>(0x8000)), -256.0f);
}

TEST(SensorConversions, VersionReadsBytesLeastSignificantFirst) {
    EXPECT_EQ(TPICUSB::VersionText(0x01020304), "4.3.2.1");
    EXPECT_EQ(TPICUSB::VersionText(0xFF000000), "0.0.0.255");
}

TEST_F(Sensor, StartsInactiveWithTheDocumentedDefaults) {
    EXPECT_FALSE(device.GetActive());
    EXPECT_EQ(device.GetRange(), 0);
    EXPECT_FALSE(device.GetLedOn());
    EXPECT_EQ(device.GetSendDelay(), 1000);
    EXPECT_EQ(device.GetReceiveDelay(), 1000);
    EXPECT_EQ(pipes.count(Op::Open), 0); // creating it opens nothing
}

TEST_F(Sensor, VersionNeedsNoDevice) {
    pipes.attached = false;
    pipes.version = 0x01020304;
    EXPECT_EQ(device.GetVersion(), "4.3.2.1");
}

TEST_F(Sensor, ReadsLightTemperatureAndLedThroughOnePipePair) {
    pipes.setReply('L', {0x34, 0x12, 0x03});
    pipes.setReply('T', {0x90, 0x01});
    device.SetActive(true);
    device.SetSendDelay(70);
    device.SetReceiveDelay(80);
    ASSERT_TRUE(device.GetActive());
    EXPECT_EQ(device.GetLight(), 4660);
    EXPECT_EQ(device.GetRange(), 3);
    EXPECT_FLOAT_EQ(device.GetTemperature(), 3.1f);
    device.SetLedOn(true);
    EXPECT_TRUE(device.GetLedOn());

    // Open write (direction 0) then read (direction 1); every write and read carries its delay.
    ASSERT_GE(pipes.calls.size(), 2u);
    EXPECT_EQ(pipes.calls[0].direction, 0u);
    EXPECT_EQ(pipes.calls[1].direction, 1u);
    std::vector<std::vector<std::uint8_t>> requests;
    for (const auto& call : pipes.calls) {
        if (call.op == Op::Write) {
            requests.push_back(call.data);
            EXPECT_EQ(call.timeoutMs, 70u);
        }
        if (call.op == Op::Read) {
            EXPECT_EQ(call.timeoutMs, 80u);
        }
    }
    const std::vector<std::vector<std::uint8_t>> expected{{'L'}, {'T'}, {'0', 1}};
    EXPECT_EQ(requests, expected);
    EXPECT_TRUE(device.GetActive());
}

TEST_F(Sensor, EveryKindOfFailedTransactionClosesTheLink) {
    for (auto fault : {FakePipeLibrary::Fault::ShortReply, FakePipeLibrary::Fault::Timeout,
                       FakePipeLibrary::Fault::WriteRefused}) {
        pipes.setReply('L', {0x34, 0x12, 0x03});
        device.SetActive(true);
        ASSERT_EQ(device.GetLight(), 4660);
        pipes.queueFault(fault);
        EXPECT_EQ(device.GetLight(), 0);
        EXPECT_EQ(device.GetRange(), 0);
        EXPECT_FALSE(device.GetActive());
        EXPECT_EQ(pipes.openPipes(), 0);
    }
    device.SetActive(true);
    pipes.queueFault(FakePipeLibrary::Fault::Timeout);
    EXPECT_FLOAT_EQ(device.GetTemperature(), -273.15f);
    EXPECT_FALSE(device.GetActive());
    device.SetActive(true);
    device.SetLedOn(true);
    pipes.queueFault(FakePipeLibrary::Fault::WriteRefused);
    device.SetLedOn(true);
    EXPECT_FALSE(device.GetLedOn());
}

TEST_F(Sensor, ATwoByteLightReplyFails) {
    pipes.setReply('L', {0x34, 0x12});
    device.SetActive(true);
    EXPECT_EQ(device.GetLight(), 0);
    EXPECT_EQ(device.GetRange(), 0);
    EXPECT_FALSE(device.GetActive());
}

TEST_F(Sensor, TransactionWhileInactiveOnlyClosesTheStoredHandles) {
    EXPECT_FLOAT_EQ(device.GetTemperature(), -273.15f);
    EXPECT_EQ(pipes.count(Op::Write), 0);
    EXPECT_EQ(pipes.count(Op::Read), 0);
    ASSERT_GT(pipes.count(Op::Close), 0);
    for (const auto& call : pipes.calls) {
        if (call.op == Op::Close) {
            EXPECT_EQ(call.pipe, usbapi::INVALID_PIPE);
        }
    }
}

TEST_F(Sensor, ALonePipeIsKeptUntilTheNextAttemptOrDestruction) {
    pipes.canOpenRead = false;
    device.SetActive(true);
    EXPECT_FALSE(device.GetActive());
    EXPECT_EQ(pipes.openPipes(), 1);

    // Retrying releases the lone pipe before opening again, so none accumulate.
    for (int i = 0; i < 5; ++i)
        device.SetActive(true);
    EXPECT_EQ(pipes.openPipes(), 1);

    pipes.canOpenRead = true;
    device.SetActive(true);
    EXPECT_TRUE(device.GetActive());
    EXPECT_EQ(pipes.openPipes(), 2);
}

TEST(SensorLifetime, DestructionReleasesOpenAndLonePipes) {
    FakePipeLibrary pipes;
    {
        TPICUSB device(pipes);
        device.SetActive(true);
        ASSERT_EQ(pipes.openPipes(), 2);
    }
    EXPECT_EQ(pipes.openPipes(), 0);
    pipes.canOpenWrite = false;
    {
        TPICUSB device(pipes);
        device.SetActive(true);
        ASSERT_EQ(pipes.openPipes(), 1);
    }
    EXPECT_EQ(pipes.openPipes(), 0);
}

TEST_F(Sensor, ActivatingAnActiveDeviceKeepsItsPipes) {
    device.SetActive(true);
    device.SetActive(true);
    EXPECT_EQ(pipes.count(Op::Open), 2);
    EXPECT_EQ(pipes.openPipes(), 2);
}
