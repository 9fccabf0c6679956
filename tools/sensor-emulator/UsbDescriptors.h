// SPDX-License-Identifier: GPL-3.0-or-later
// The emulated sensor's USB identity: its descriptors, and the udev/sysfs record that
// makes it appear at bus 1, address 2.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace usbdesc {

constexpr std::uint16_t kVendorId = 0x04D8;
constexpr std::uint16_t kProductId = 0x000C;
constexpr std::uint8_t kEndpointOut = 0x01;
constexpr std::uint8_t kEndpointIn = 0x81;
constexpr const char* kDeviceNode = "/dev/bus/usb/001/002";
constexpr const char* kSysPath = "/sys/devices/usb1/1-1";

std::vector<std::uint8_t> device();
// Configuration 1 with its interface and the two bulk endpoints, as one block.
std::vector<std::uint8_t> configuration();
// String descriptor `index`; index 0 lists the languages. Empty when there is none.
std::vector<std::uint8_t> string(std::uint8_t index);

// What endpoint 0 answers to a control request, the same for both front ends: the data
// of an IN request (at most `length` bytes: descriptors, status, the configuration), an
// empty answer to an OUT request without data (configuration, interface, features and
// endpoint halts are accepted), and nothing, a stall, to the rest.
std::optional<std::vector<std::uint8_t>> control(std::uint8_t requestType, std::uint8_t request,
                                                 std::uint16_t value, std::uint16_t length,
                                                 std::uint8_t activeConfiguration);

// The record for umockdev_testbed_add_from_string().
std::string udevRecord();

} // namespace usbdesc
