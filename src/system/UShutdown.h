// SPDX-License-Identifier: GPL-3.0-or-later
// The forced reboot, asked of the operating system.
#pragma once

#include "core/station/SystemExit.h"

#include <cstdint>

// Enables the right to restart the machine for this process and asks the system for a
// restart with the given flags; true when the system accepted the request. Failures are
// silent.
//
// Windows: enables SeShutdownPrivilege on the process token, then calls ExitWindowsEx.
// Linux: asks systemd-logind on the system bus for a reboot; when logind refuses or is
// absent and the process may reboot by itself (CAP_SYS_BOOT), flushes the file systems and
// reboots through the kernel. Only kForcedReboot is accepted there; any other flags are
// refused with false and nothing is asked.
//
// Defined in nocturo_system_default, which only the program links: it talks to the real
// system bus and may restart the real machine. Tests use SystemRestart with fakes instead.
bool ExitWindowsPrivileged(std::uint32_t flags);
