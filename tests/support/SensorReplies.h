// SPDX-License-Identifier: GPL-3.0-or-later
// The sensor's replies as the scripted pipe library hands them out.
#pragma once

#include <cstdint>
#include <vector>

// A light reply: the 16-bit count, least significant byte first, then the range.
inline std::vector<std::uint8_t> LightReply(int count, int range) {
    return {static_cast<std::uint8_t>(count & 0xFF), static_cast<std::uint8_t>(count >> 8),
            static_cast<std::uint8_t>(range)};
}
// The sensor's raw temperature: sixteenths of a degree, shifted left by three bits.
inline std::vector<std::uint8_t> TemperatureReply(int sixteenths) {
    const auto raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(sixteenths * 8));
    return {static_cast<std::uint8_t>(raw & 0xFF), static_cast<std::uint8_t>(raw >> 8)};
}
constexpr int kSixteenths21_5 = 344;   // 21.5 °C
constexpr int kSixteenthsM12_3 = -197; // -12.3 °C (truncated toward zero)
