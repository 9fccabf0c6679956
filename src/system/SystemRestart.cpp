// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/SystemRestart.h"
#include "system/UShutdown.h"

#include "core/Failure.h"

#include <QDBusError>
#include <QDBusMessage>

#include <utility>

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

SystemRestart::SystemRestart(QDBusConnection bus, CapabilityCheck hasBootCapability,
                             KernelReboot kernelReboot, int timeoutMs)
    : bus_(std::move(bus))
    , hasBootCapability_(std::move(hasBootCapability))
    , kernelReboot_(std::move(kernelReboot))
    , timeoutMs_(timeoutMs) {}

bool SystemRestart::Request(std::uint32_t flags, QString* why) {
    // Only a forced reboot has a meaning here; anything else is not ours to guess at.
    if (flags != kForcedReboot)
        return Fail(
            why, QStringLiteral("only a forced reboot is ever asked for, not flags %1").arg(flags));
    QString logind;
    if (AskLogind(&logind)) return true;
    // logind refused, is hung or is not there: a station that may reboot by itself must
    // still come back, so it goes the kernel's way.
    if (!hasBootCapability_ || !hasBootCapability_() || !kernelReboot_)
        return Fail(why, logind + QStringLiteral("; this process may not reboot by itself "
                                                 "(no CAP_SYS_BOOT)"));
    if (kernelReboot_()) return true;
    return Fail(why, logind + QStringLiteral("; the kernel refused the reboot as well"));
}

bool SystemRestart::AskLogind(QString* why) {
    if (!bus_.isConnected()) {
        const QString error = bus_.lastError().message();
        return Fail(why, QStringLiteral("the system bus cannot be reached") +
                             (error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(error)));
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogindService, kLogindPath, kLogindManager, "Reboot");
    // interactive = false: nobody is there to answer an authentication prompt.
    call << false;
    call.setInteractiveAuthorizationAllowed(false);
    const QDBusMessage reply = bus_.call(call, QDBus::Block, timeoutMs_);
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    const QDBusError error(reply);
    switch (error.type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
        return Fail(why,
                    QStringLiteral("systemd-logind did not answer within %1 ms").arg(timeoutMs_));
    case QDBusError::ServiceUnknown:
        return Fail(why, QStringLiteral("systemd-logind is not on the system bus"));
    default:
        return Fail(
            why,
            QStringLiteral("systemd-logind refused: %1 (%2)").arg(error.message(), error.name()));
    }
}
