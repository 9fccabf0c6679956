// SPDX-License-Identifier: GPL-3.0-or-later
// Whether this process holds CAP_SYS_BOOT, the right to restart the machine by itself.
#pragma once

#include <string_view>

constexpr int kCapSysBootBit = 22;

// Reads the effective capability set ("CapEff:", hexadecimal) out of the text of
// /proc/<pid>/status. False when the line is missing or malformed.
bool StatusGrantsBootCapability(std::string_view statusText);

// The same for this process, from /proc/self/status; false when it cannot be read.
bool ProcessHasBootCapability();
