// SPDX-License-Identifier: GPL-3.0-or-later
// The Linux way to a forced reboot: systemd-logind over D-Bus first, the kernel call as the
// last resort. The bus and the kernel call are handed in, so that tests can put a private
// bus and fakes in their place and can never restart the machine they run on.
#pragma once

#include <QDBusConnection>
#include <QString>

#include <cstdint>
#include <functional>

class SystemRestart {
public:
    // Reads whether this process may reboot the machine by itself (CAP_SYS_BOOT).
    using CapabilityCheck = std::function<bool()>;
    // Flushes the file systems and reboots through the kernel; true when the kernel
    // accepted (in reality it does not return then).
    using KernelReboot = std::function<bool()>;

    static constexpr int kDefaultTimeoutMs = 5000;

    SystemRestart(QDBusConnection bus, CapabilityCheck hasBootCapability, KernelReboot kernelReboot,
                  int timeoutMs = kDefaultTimeoutMs);

    // Asks for a forced reboot; true when logind or the kernel accepted it, else false with
    // `why` in words for a log line. Flags other than kForcedReboot are refused and nothing
    // is asked.
    bool Request(std::uint32_t flags, QString* why = nullptr);

private:
    // Whether logind accepted; `why` says why not.
    bool AskLogind(QString* why);

    QDBusConnection bus_;
    CapabilityCheck hasBootCapability_;
    KernelReboot kernelReboot_;
    int timeoutMs_;
};
