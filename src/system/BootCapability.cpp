// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/BootCapability.h"

#include <charconv>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr std::string_view kCapEffKey = "CapEff:";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The value of the line that begins with key, without the key; empty when there is none.
std::string_view lineValue(std::string_view text, std::string_view key) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        if (line.substr(0, key.size()) == key) return line.substr(key.size());
        start = end + 1;
    }
    return {};
}

} // namespace

bool StatusGrantsBootCapability(std::string_view statusText) {
    std::string_view value = lineValue(statusText, kCapEffKey);
    while (!value.empty() && isBlank(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && (isBlank(value.back()) || value.back() == '\r'))
        value.remove_suffix(1);
    if (value.empty()) return false;

    std::uint64_t capabilities = 0;
    const auto [end, error] =
        std::from_chars(value.data(), value.data() + value.size(), capabilities, 16);
    if (error != std::errc{} || end != value.data() + value.size()) return false;
    return (capabilities >> kCapSysBootBit) & 1u;
}

bool ProcessHasBootCapability() {
    std::ifstream status("/proc/self/status");
    if (!status) return false;
    std::ostringstream text;
    text << status.rdbuf();
    return StatusGrantsBootCapability(text.str());
}
