// SPDX-License-Identifier: GPL-3.0-or-later
// The real library with no sensor attached (the test machines have none, and the only
// devices it ever opens are the sensor's vendor and product).
#include "sensor/libusb/LibusbPipeLibrary.h"
#include "sensor/PICUSBClass.h"

#include <libusb.h>

#include <gtest/gtest.h>

#include <poll.h>

#include <string>

using usbapi::INVALID_PIPE;
using usbapi::OpenFailure;

namespace {

constexpr const char* kSensorId = "vid_04d8&pid_000c";
constexpr const char* kEndpoint = "\\MCHP_EP1";

class LibusbPipes : public ::testing::Test {
protected:
    LibusbPipeLibrary library;
};

} // namespace

TEST_F(LibusbPipes, OpenWithoutSensorFailsWithNoDevice) {
    for (std::uint32_t direction : {usbapi::DIRECTION_WRITE, usbapi::DIRECTION_READ}) {
        // Repeated opens keep failing the same way (the absence is cached, not stale).
        for (int attempt = 0; attempt < 3; ++attempt) {
            EXPECT_EQ(library.UsbOpen(0, kSensorId, kEndpoint, direction, 0), INVALID_PIPE);
            EXPECT_EQ(library.LastOpenFailure(), OpenFailure::NoDevice);
        }
    }
    EXPECT_EQ(library.UsbOpen(3, "VID_04D8&PID_000C", kEndpoint, usbapi::DIRECTION_READ, 0),
              INVALID_PIPE);
    EXPECT_EQ(library.LastOpenFailure(), OpenFailure::NoDevice);
}

TEST_F(LibusbPipes, MalformedAddressFailsAsOtherAndALaterOpenReportsAfresh) {
    EXPECT_EQ(library.UsbOpen(0, "vid_04d8", kEndpoint, 0, 0), INVALID_PIPE);
    EXPECT_EQ(library.LastOpenFailure(), OpenFailure::Other);
    EXPECT_EQ(library.UsbOpen(0, kSensorId, "\\MCHP_EP0", 0, 0), INVALID_PIPE);
    EXPECT_EQ(library.LastOpenFailure(), OpenFailure::Other);
    EXPECT_EQ(library.UsbOpen(0, kSensorId, kEndpoint, 7, 0), INVALID_PIPE);
    EXPECT_EQ(library.LastOpenFailure(), OpenFailure::Other);
    EXPECT_EQ(library.UsbOpen(0, nullptr, nullptr, 0, 0), INVALID_PIPE);
    EXPECT_EQ(library.UsbOpen(0, kSensorId, kEndpoint, 0, 0), INVALID_PIPE);
    EXPECT_EQ(library.LastOpenFailure(), OpenFailure::NoDevice);
}

TEST_F(LibusbPipes, TransfersOnInvalidOrUnknownHandlesFailAndReportNothingMoved) {
    std::uint8_t buffer[3] = {0x4C, 0, 0};
    for (usbapi::Pipe pipe : {INVALID_PIPE, 0, 1, 12345}) {
        std::uint32_t count = 99;
        EXPECT_EQ(library.UsbWrite(pipe, buffer, 1, &count, 50), 0u) << pipe;
        EXPECT_EQ(count, 0u);
        count = 99;
        EXPECT_EQ(library.UsbRead(pipe, buffer, 3, &count, 50), 0u) << pipe;
        EXPECT_EQ(count, 0u);
    }
    // A missing count pointer is tolerated.
    EXPECT_EQ(library.UsbRead(INVALID_PIPE, buffer, 3, nullptr, 50), 0u);
    EXPECT_EQ(library.UsbWrite(INVALID_PIPE, buffer, 1, nullptr, 50), 0u);
}

TEST_F(LibusbPipes, CloseOfInvalidUnknownAndClosedHandlesDoesNothing) {
    library.UsbClose(INVALID_PIPE);
    library.UsbClose(0);
    library.UsbClose(0);
    library.UsbClose(INT32_MAX);
    EXPECT_EQ(library.UsbOpen(0, kSensorId, kEndpoint, 0, 0), INVALID_PIPE);
}

TEST_F(LibusbPipes, VersionIsLibusbsOwnAndReadsAsFourNumbers) {
    const libusb_version* version = libusb_get_version();
    const std::string expected = std::to_string(version->major) + "." +
                                 std::to_string(version->minor) + "." +
                                 std::to_string(version->micro) + ".0";
    EXPECT_EQ(TPICUSB::VersionText(library.UsbGetDllVersion()), expected);
    EXPECT_EQ(expected.rfind("1.0.", 0), 0u) << expected;
}

TEST_F(LibusbPipes, SensorComponentStaysInactiveWithoutSensor) {
    TPICUSB sensor(library);
    sensor.SetActive(true);
    EXPECT_FALSE(sensor.GetActive());
    EXPECT_EQ(sensor.LastOpenFailure(), OpenFailure::NoDevice);
    EXPECT_EQ(sensor.GetLight(), 0);
    EXPECT_EQ(sensor.GetTemperature(), TPICUSB::kFailedTemperature);
}

TEST_F(LibusbPipes, EventSourceGivesDescriptorsAndNeverBlocks) {
    int arrivals = 0;
    int changes = 0;
    library.SetCallbacks([&] { ++arrivals; }, [&] { ++changes; });
    const auto fds = library.Fds();
    if (library.HasHotplug()) {
        EXPECT_FALSE(fds.empty());
    }
    std::vector<pollfd> watched;
    for (const auto& fd : fds) {
        EXPECT_GE(fd.fd, 0);
        EXPECT_NE(fd.events & (POLLIN | POLLOUT), 0);
        watched.push_back({fd.fd, fd.events, 0});
    }
    // Handling events returns at once, reports no arrival, and leaves the descriptors
    // quiet, so an event loop watching them does not spin.
    library.HandleEvents();
    EXPECT_EQ(poll(watched.data(), watched.size(), 0), 0);
    library.HandleEvents();
    EXPECT_EQ(arrivals, 0);
    EXPECT_EQ(library.UsbOpen(0, kSensorId, kEndpoint, 0, 0), INVALID_PIPE);
    EXPECT_EQ(changes, 0);
}

TEST(LibusbPipeLibraryLifetime, SeveralLibrariesComeAndGoCleanly) {
    for (int i = 0; i < 3; ++i) {
        LibusbPipeLibrary first;
        LibusbPipeLibrary second;
        first.SetCallbacks({}, {});
        EXPECT_EQ(first.UsbOpen(0, kSensorId, kEndpoint, 1, 0), INVALID_PIPE);
        EXPECT_EQ(second.UsbOpen(0, kSensorId, kEndpoint, 0, 0), INVALID_PIPE);
        first.HandleEvents();
    }
}

TEST(DefaultPipeLibrary, IsOneLibraryForTheWholeProcess) {
    usbapi::PipeLibrary& library = usbapi::DefaultPipeLibrary();
    EXPECT_EQ(&library, &usbapi::DefaultPipeLibrary());
    ASSERT_NE(usbapi::DefaultPipeEvents(), nullptr);
    EXPECT_EQ(dynamic_cast<usbapi::PipeEventSource*>(&library), usbapi::DefaultPipeEvents());
    EXPECT_EQ(library.UsbOpen(0, kSensorId, kEndpoint, 0, 0), INVALID_PIPE);
    EXPECT_NE(library.UsbGetDllVersion(), 0u);
}
