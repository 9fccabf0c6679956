// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensor/libusb/PipeAddress.h"

#include <cctype>
#include <cstring>

namespace pipeaddress {
namespace {

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (std::tolower(static_cast<unsigned char>(*text)) != *prefix) return false;
    }
    return true;
}

// Exactly four hex digits at text; advances text past them.
std::optional<std::uint16_t> Hex4(const char*& text) {
    std::uint16_t value = 0;
    for (int i = 0; i < 4; ++i, ++text) {
        const int c = std::tolower(static_cast<unsigned char>(*text));
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return std::nullopt;
        }
        value = static_cast<std::uint16_t>(value << 4 | digit);
    }
    return value;
}

} // namespace

std::optional<DeviceId> ParseDeviceId(const char* text) {
    if (text == nullptr || !StartsWithNoCase(text, "vid_")) return std::nullopt;
    text += 4;
    const auto vendor = Hex4(text);
    if (!vendor || !StartsWithNoCase(text, "&pid_")) return std::nullopt;
    text += 5;
    const auto product = Hex4(text);
    if (!product || *text != '\0') return std::nullopt;
    return DeviceId{*vendor, *product};
}

std::optional<std::uint8_t> ParseEndpoint(const char* text, std::uint32_t direction) {
    if (text == nullptr || direction > 1) return std::nullopt;
    const char* number = nullptr;
    for (const char* p = text; *p != '\0'; ++p) {
        if (StartsWithNoCase(p, "ep")) number = p + 2;
    }
    if (number == nullptr) return std::nullopt;
    const std::size_t digits = std::strlen(number);
    if (digits < 1 || digits > 2) return std::nullopt;
    unsigned value = 0;
    for (const char* p = number; *p != '\0'; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(*p - '0');
    }
    if (value < 1 || value > 15) return std::nullopt;
    return static_cast<std::uint8_t>(direction == 1 ? 0x80u | value : value);
}

} // namespace pipeaddress
