// SPDX-License-Identifier: GPL-3.0-or-later
// The flags of a system exit request, and how a station asks for one. A station only ever
// asks for a forced reboot; the system services decide how it is done.
#pragma once

#include <cstdint>
#include <functional>

constexpr std::uint32_t kExitFlagReboot = 0x2;
constexpr std::uint32_t kExitFlagForce = 0x4;
constexpr std::uint32_t kForcedReboot = kExitFlagReboot | kExitFlagForce; // 6

// Asks the system to exit with the given flags; true when the system accepted.
using SystemExitRequest = std::function<bool(std::uint32_t flags)>;
