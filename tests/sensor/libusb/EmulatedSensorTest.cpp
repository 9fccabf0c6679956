// SPDX-License-Identifier: GPL-3.0-or-later
// TPICUSB on the real libusb pipe library, run as the child of the emulated sensor (see
// tests/sensor/CMakeLists.txt), which holds the light at 1234 in range 3, the temperature
// at 21.5 degrees, and holds some replies past the time-out. A reply that is not read
// stays queued in the sensor, as it does in the real one.
#include "sensor/PICUSBClass.h"
#include "sensor/libusb/LibusbPipeLibrary.h"

#include <libusb.h>

#include <gtest/gtest.h>

#include <chrono>

namespace {

constexpr std::int32_t kLight = 1234, RANGE = 3;
constexpr float kTemperature = 21.5f;

using Clock = std::chrono::steady_clock;

// Leaves `requests` light requests unanswered in the sensor, as a program that gave up
// on its replies (or was ended while waiting) would.
void LeaveRepliesQueued(int requests) {
    libusb_context* context = nullptr;
    ASSERT_EQ(libusb_init(&context), 0);
    libusb_device_handle* handle = libusb_open_device_with_vid_pid(context, 0x04D8, 0x000C);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(libusb_claim_interface(handle, 0), 0);
    unsigned char request[] = {'L'};
    for (int i = 0; i < requests; ++i) {
        int sent = 0;
        EXPECT_EQ(libusb_bulk_transfer(handle, 0x01, request, 1, &sent, 1000), 0);
    }
    libusb_release_interface(handle, 0);
    libusb_close(handle);
    libusb_exit(context);
}

void UseProgramTimeOuts(TPICUSB& sensor) {
    sensor.SetSendDelay(50);
    sensor.SetReceiveDelay(50);
}

} // namespace

// Opening the pipes drops what an earlier reader left queued, so the first temperature
// is a temperature, not the light reply that was waiting.
TEST(LibusbPipesOnEmulatedSensor, RepliesLeftQueuedAreDroppedWhenThePipesOpen) {
    LeaveRepliesQueued(2);
    LibusbPipeLibrary pipes(TPICUSB::kDeviceId);
    TPICUSB sensor(pipes);
    UseProgramTimeOuts(sensor);
    sensor.SetActive(true);
    ASSERT_TRUE(sensor.GetActive());
    EXPECT_EQ(sensor.GetTemperature(), kTemperature);
    EXPECT_EQ(sensor.GetLight(), kLight);
    EXPECT_EQ(sensor.GetRange(), RANGE);
    EXPECT_TRUE(sensor.GetActive());
}

// Replies come late now and then (the emulator's timetable): each late one fails its
// transaction, the link is opened again as the acquisition cycle does, and from then on
// every value is the reply to its own command. A light reply read for a temperature
// would read 9.6 degrees; a temperature reply for a light, a short reply.
TEST(LibusbPipesOnEmulatedSensor, LateRepliesNeverGiveAnotherCommandsValue) {
    LibusbPipeLibrary pipes(TPICUSB::kDeviceId);
    TPICUSB sensor(pipes);
    UseProgramTimeOuts(sensor);
    int failures = 0, goodInARow = 0, roundTrips = 0;
    const auto start = Clock::now();
    // The late replies are due in the first 2 s; then 200 good round trips in a row.
    // The 30 s only guard against a hang.
    while (Clock::now() - start < std::chrono::seconds(30) &&
           (Clock::now() - start < std::chrono::milliseconds(2500) || goodInARow < 200)) {
        if (!sensor.GetActive()) sensor.SetActive(true);
        ASSERT_TRUE(sensor.GetActive()) << "the sensor could not be opened again";
        ++roundTrips;
        const std::int32_t light = sensor.GetLight();
        const std::int32_t range = sensor.GetRange();
        const float temperature = sensor.GetTemperature();
        if (light != 0 || range != 0) {
            ASSERT_EQ(light, kLight) << "round trip " << roundTrips;
            ASSERT_EQ(range, RANGE) << "round trip " << roundTrips;
        }
        if (temperature != TPICUSB::kFailedTemperature) {
            ASSERT_EQ(temperature, kTemperature) << "round trip " << roundTrips;
        }
        const bool good = light == kLight && temperature == kTemperature && sensor.GetActive();
        failures += good ? 0 : 1;
        goodInARow = good ? goodInARow + 1 : 0;
    }
    EXPECT_GE(failures, 1) << "no reply came late: did the emulator's timetable run?";
    EXPECT_GE(goodInARow, 200) << failures << " failed round trips of " << roundTrips;
}
