// SPDX-License-Identifier: GPL-3.0-or-later
#include "UsbDescriptors.h"

#include <cstdio>

namespace usbdesc {

namespace {
constexpr std::uint8_t lo(unsigned v) {
    return v & 0xFF;
}
constexpr std::uint8_t hi(unsigned v) {
    return (v >> 8) & 0xFF;
}
constexpr std::uint8_t kMaxPacket = 64;
const char* const kStrings[] = {nullptr, "Nocturo", "Emulated light sensor"};
} // namespace

// clang-format off
std::vector<std::uint8_t> device() {
    return {18, 1,                     // device descriptor
            lo(0x0200), hi(0x0200),    // USB 2.0
            0xFF, 0, 0,                // vendor-specific class
            kMaxPacket,                 // endpoint 0
            lo(kVendorId), hi(kVendorId), lo(kProductId), hi(kProductId),
            lo(0x0100), hi(0x0100),    // device release 1.00
            1, 2, 0,                   // manufacturer, product, no serial number
            1};                        // configurations
}

std::vector<std::uint8_t> configuration() {
    const unsigned total = 9 + 9 + 7 + 7;
    return {9, 2, lo(total), hi(total), 1, 1, 0, 0x80, 50, // one interface, 100 mA
            9, 4, 0, 0, 2, 0xFF, 0, 0, 0,                  // vendor class, two endpoints
            7, 5, kEndpointOut, 2, lo(kMaxPacket), hi(kMaxPacket), 0,  // bulk OUT
            7, 5, kEndpointIn, 2, lo(kMaxPacket), hi(kMaxPacket), 0};  // bulk IN
}
// clang-format on

std::vector<std::uint8_t> string(std::uint8_t index) {
    if (index == 0) return {4, 3, lo(0x0409), hi(0x0409)}; // English (United States)
    if (index >= sizeof kStrings / sizeof kStrings[0]) return {};
    std::vector<std::uint8_t> d{0, 3};
    for (const char* c = kStrings[index]; *c; ++c)
        d.insert(d.end(), {std::uint8_t(*c), 0});
    d[0] = static_cast<std::uint8_t>(d.size());
    return d;
}

std::optional<std::vector<std::uint8_t>> control(std::uint8_t requestType, std::uint8_t request,
                                                 std::uint16_t value, std::uint16_t length,
                                                 std::uint8_t activeConfiguration) {
    constexpr std::uint8_t kIn = 0x80, TypeMask = 0x60, Standard = 0;
    constexpr std::uint8_t kGetStatus = 0, GetDescriptor = 6, GetConfiguration = 8;
    constexpr std::uint8_t kDeviceType = 1, ConfigurationType = 2, StringType = 3;
    if (!(requestType & kIn)) {
        if (length == 0) return std::vector<std::uint8_t>{};
        return std::nullopt;
    }
    if ((requestType & TypeMask) != Standard) return std::nullopt;
    std::vector<std::uint8_t> data;
    if (requestType == kIn && request == GetDescriptor) {
        switch (value >> 8) {
        case kDeviceType:
            data = device();
            break;
        case ConfigurationType:
            data = configuration();
            break;
        case StringType:
            data = string(value & 0xFF);
            break;
        default:
            break;
        }
        if (data.empty()) return std::nullopt;
    } else if (requestType == kIn && request == GetConfiguration) {
        data = {activeConfiguration};
    } else if (request == kGetStatus) {
        data = {0, 0}; // bus-powered, no remote wake-up, endpoints not halted
    } else {
        return std::nullopt;
    }
    if (data.size() > length) data.resize(length);
    return data;
}

std::string udevRecord() {
    std::string hex;
    char byte[3];
    for (const auto& block : {device(), configuration()})
        for (std::uint8_t b : block) {
            std::snprintf(byte, sizeof byte, "%02x", b);
            hex += byte;
        }
    // "A:" lines are sysfs attributes ("\n" in them is a literal newline of the value),
    // "E:" lines udev properties, "H:" binary attributes in hex.
    return std::string("P: /devices/usb1/1-1\n"
                       "N: bus/usb/001/002\n"
                       "E: SUBSYSTEM=usb\n"
                       "E: DEVTYPE=usb_device\n"
                       "E: DRIVER=usb\n"
                       "E: BUSNUM=001\n"
                       "E: DEVNUM=002\n"
                       "E: DEVNAME=/dev/bus/usb/001/002\n"
                       "E: PRODUCT=4d8/c/100\n"
                       "E: TYPE=255/0/0\n"
                       "A: idVendor=04d8\\n\n"
                       "A: idProduct=000c\\n\n"
                       "A: bcdDevice=0100\\n\n"
                       "A: busnum=1\\n\n"
                       "A: devnum=2\\n\n"
                       "A: devpath=1\\n\n"
                       "A: speed=12\\n\n"
                       "A: version= 2.00\\n\n"
                       "A: bConfigurationValue=1\\n\n"
                       "A: bNumConfigurations=1\\n\n"
                       "A: bNumInterfaces= 1\\n\n"
                       "A: bMaxPacketSize0=64\\n\n"
                       "A: manufacturer=Nocturo\\n\n"
                       "A: product=Emulated light sensor\\n\n"
                       "H: descriptors=") +
           hex + "\n";
}

} // namespace usbdesc
