// SPDX-License-Identifier: GPL-3.0-or-later
// Pure helpers of the libusb pipe library: reading the device identifier and endpoint
// names the callers pass to UsbOpen, and packing libusb's version into the 32-bit value.
#pragma once

#include <cstdint>
#include <optional>

namespace pipeaddress {

struct DeviceId {
    std::uint16_t vendor;
    std::uint16_t product;
    bool operator==(const DeviceId&) const = default;
};

// "vid_04d8&pid_000c": four hex digits each, letters in either case; nothing else.
std::optional<DeviceId> ParseDeviceId(const char* text);

// "\MCHP_EP1" names endpoint number 1; the number follows the last "EP" of the name
// (1 to 15, decimal). Direction 0 (write) gives the OUT address, 1 (read) the IN address
// (0x80 | number). Endpoint 0 and any other direction are refused.
std::optional<std::uint8_t> ParseEndpoint(const char* text, std::uint32_t direction);

// Reading the result's bytes least significant first gives major.minor.micro.0.
constexpr std::uint32_t PackVersion(std::uint16_t major, std::uint16_t minor, std::uint16_t micro) {
    return (major & 0xFFu) | (minor & 0xFFu) << 8 | (micro & 0xFFu) << 16;
}

} // namespace pipeaddress
