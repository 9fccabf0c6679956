// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensor/libusb/PipeAddress.h"
#include "sensor/libusb/ScanThrottle.h"

#include <gtest/gtest.h>

using pipeaddress::DeviceId;
using pipeaddress::ParseDeviceId;
using pipeaddress::ParseEndpoint;

TEST(DeviceIdParsing, ReadsVendorAndProductInEitherCase) {
    EXPECT_EQ(ParseDeviceId("vid_04d8&pid_000c"), (DeviceId{0x04D8, 0x000C}));
    EXPECT_EQ(ParseDeviceId("VID_04D8&PID_000C"), (DeviceId{0x04D8, 0x000C}));
    EXPECT_EQ(ParseDeviceId("Vid_aBcD&pId_FfFf"), (DeviceId{0xABCD, 0xFFFF}));
    EXPECT_EQ(ParseDeviceId("vid_0000&pid_0000"), (DeviceId{0, 0}));
}

TEST(DeviceIdParsing, RefusesAnythingElse) {
    for (const char* bad :
         {"", "vid_04d8", "vid_04d8&pid_00c", "vid_04d8&pid_000c0", "vid_04d8&pid_000c&mi_00",
          "vid_04g8&pid_000c", "vid04d8&pid_000c", "vid_04d8pid_000c", " vid_04d8&pid_000c",
          "pid_000c&vid_04d8", "vid_04d8&pid_000", "vid_+4d8&pid_000c"}) {
        EXPECT_FALSE(ParseDeviceId(bad)) << '"' << bad << '"';
    }
    EXPECT_FALSE(ParseDeviceId(nullptr));
}

TEST(EndpointParsing, DirectionPicksOutOrIn) {
    EXPECT_EQ(ParseEndpoint("\\MCHP_EP1", 0), 0x01);
    EXPECT_EQ(ParseEndpoint("\\MCHP_EP1", 1), 0x81);
    EXPECT_EQ(ParseEndpoint("\\mchp_ep2", 1), 0x82);
    EXPECT_EQ(ParseEndpoint("\\MCHP_EP15", 0), 0x0F);
    EXPECT_EQ(ParseEndpoint("\\MCHP_EP15", 1), 0x8F);
    // The number follows the last "EP", so an "EP" earlier in the name does no harm.
    EXPECT_EQ(ParseEndpoint("\\DEEP_EP3", 1), 0x83);
}

TEST(EndpointParsing, RefusesControlEndpointBadNumbersAndDirections) {
    for (const char* bad : {"\\MCHP_EP0", "\\MCHP_EP16", "\\MCHP_EP", "\\MCHP_EP1x", "\\MCHP_EP-1",
                            "\\MCHP_EP001", "\\MCHP", ""}) {
        EXPECT_FALSE(ParseEndpoint(bad, 0)) << '"' << bad << '"';
    }
    EXPECT_FALSE(ParseEndpoint(nullptr, 0));
    EXPECT_FALSE(ParseEndpoint("\\MCHP_EP1", 2));
}

TEST(VersionPacking, BytesLeastSignificantFirstReadMajorMinorMicroZero) {
    const std::uint32_t value = pipeaddress::PackVersion(1, 0, 26);
    EXPECT_EQ(value & 0xFF, 1u);
    EXPECT_EQ(value >> 8 & 0xFF, 0u);
    EXPECT_EQ(value >> 16 & 0xFF, 26u);
    EXPECT_EQ(value >> 24, 0u);
    EXPECT_EQ(pipeaddress::PackVersion(2, 3, 4), 0x00040302u);
}

TEST(ScanThrottle, HoldsOffRescansForTheIntervalAfterAMiss) {
    using namespace std::chrono_literals;
    ScanThrottle throttle(100ms);
    const ScanThrottle::Clock::time_point t0{1s};
    EXPECT_TRUE(throttle.MayScan(t0));
    throttle.NoteMiss(t0);
    EXPECT_FALSE(throttle.MayScan(t0));
    EXPECT_FALSE(throttle.MayScan(t0 + 99ms));
    EXPECT_TRUE(throttle.MayScan(t0 + 100ms));
    throttle.NoteMiss(t0 + 100ms);
    EXPECT_FALSE(throttle.MayScan(t0 + 150ms));
    // A device found lifts the hold at once.
    throttle.NoteFound();
    EXPECT_TRUE(throttle.MayScan(t0 + 150ms));
}
