// SPDX-License-Identifier: GPL-3.0-or-later
// Running under umockdev's preload library. The emulator itself needs it (umockdev finds
// the device through libudev before it sends "remove"), and so does every program that
// is to see the emulated device.
#pragma once

#include <string>

namespace preload {

constexpr const char* kLibrary = "libumockdev-preload.so.0";
// Environment mark of a process that was already re-executed, so a preload library that
// fails to load cannot make it loop. Not passed on to children.
constexpr const char* kReexecMark = "SENSOR_EMULATOR_REEXEC";

// LD_PRELOAD with umockdev's library added: whatever is preloaded already stays in front,
// and a sanitizer runtime this process was started with goes first, as it must.
std::string withUmockdev(const char* current);

// Re-executes this program under the preload library unless it runs under it already.
// Returns only when it does (or when re-executing failed, with a message on stderr).
bool ensure(char** argv);

} // namespace preload
