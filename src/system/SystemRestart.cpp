#include "SystemRestart.h"
#include "UShutdown.h"

#include <QDBusMessage>

#include <utility>

namespace {

const QString LOGIND_SERVICE = QStringLiteral("org.freedesktop.login1");
const QString LOGIND_PATH = QStringLiteral("/org/freedesktop/login1");
const QString LOGIND_MANAGER = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

SystemRestart::SystemRestart(QDBusConnection bus, CapabilityCheck hasBootCapability,
                             KernelReboot kernelReboot, int timeoutMs)
    : bus_(std::move(bus))
    , hasBootCapability_(std::move(hasBootCapability))
    , kernelReboot_(std::move(kernelReboot))
    , timeoutMs_(timeoutMs) {}

bool SystemRestart::Request(std::uint32_t flags) {
    // Only a forced reboot has a meaning here; anything else is not ours to guess at.
    if (flags != FORCED_REBOOT) return false;
    if (askLogind()) return true;
    // logind refused, is hung or is not there: a station that may reboot by itself must
    // still come back, so it goes the kernel's way.
    if (hasBootCapability_ && hasBootCapability_() && kernelReboot_) return kernelReboot_();
    return false;
}

bool SystemRestart::askLogind() {
    if (!bus_.isConnected()) return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(LOGIND_SERVICE, LOGIND_PATH, LOGIND_MANAGER, "Reboot");
    // interactive = false: nobody is there to answer an authentication prompt.
    call << false;
    call.setInteractiveAuthorizationAllowed(false);
    const QDBusMessage reply = bus_.call(call, QDBus::Block, timeoutMs_);
    return reply.type() == QDBusMessage::ReplyMessage;
}
