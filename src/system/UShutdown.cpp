// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own wiring of the forced reboot: the real system bus and the real kernel
// call. Only the program links this; tests build SystemRestart with fakes instead.
#include "system/UShutdown.h"

#ifdef _WIN32

#include <windows.h>

static_assert((TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY) == 0x28);
static_assert(SE_PRIVILEGE_ENABLED == 2);

bool ExitWindowsPrivileged(std::uint32_t flags) {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges{};
        if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
            privileges.PrivilegeCount = 1;
            privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            // FALSE: enable this one privilege and leave the others as they are.
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        }
        CloseHandle(token);
    }
    // Asked whatever the privilege steps gave; a refusal is silent.
    return ExitWindowsEx(flags, 0) != 0;
}

#else

#include "system/BootCapability.h"
#include "system/DefaultSystemRestart.h"

#include <sys/reboot.h>
#include <unistd.h>

namespace {

bool SyncAndReboot() {
    sync();
    return reboot(RB_AUTOBOOT) == 0;
}

} // namespace

SystemRestart DefaultSystemRestart() {
    return SystemRestart(QDBusConnection::systemBus(), ProcessHasBootCapability, SyncAndReboot);
}

bool ExitWindowsPrivileged(std::uint32_t flags) {
    return DefaultSystemRestart().Request(flags);
}

#endif
