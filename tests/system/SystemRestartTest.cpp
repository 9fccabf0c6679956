// SPDX-License-Identifier: GPL-3.0-or-later
// The forced reboot against a fake logind (python3-dbusmock) on the private session bus
// that dbus-run-session gives this test. The kernel reboot and the capability check are
// fakes throughout: nothing here can restart the machine.
#include "system/SystemRestart.h"
#include "system/BootCapability.h"
#include "system/UShutdown.h"

#include "FakeLogind.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

using fakelogind::kLogind;
using fakelogind::testBus;

// Counts the calls it gets instead of touching the kernel.
struct KernelFake {
    int calls = 0;
    bool result = true;
    SystemRestart::KernelReboot call() {
        return [this] {
            ++calls;
            return result;
        };
    }
};

SystemRestart::CapabilityCheck capability(bool held) {
    return [held] { return held; };
}

TEST_F(FakeLogind, AcceptedRebootIsAskedWithoutInteractionAndSucceeds) {
    KernelFake kernel;
    SystemRestart restart(testBus(), capability(true), kernel.call());
    QString restartWhy;

    EXPECT_TRUE(restart.Request(kForcedReboot, &restartWhy));
    EXPECT_TRUE(restartWhy.isEmpty());

    const auto calls = rebootCalls();
    ASSERT_EQ(calls.size(), 1);
    ASSERT_EQ(calls[0].size(), 1);
    EXPECT_EQ(calls[0][0].metaType(), QMetaType::fromType<bool>());
    EXPECT_FALSE(calls[0][0].toBool()) << "interactive must be false";
    EXPECT_EQ(kernel.calls, 0) << "logind accepted; the kernel must not be asked as well";
}

TEST_F(FakeLogind, FlagsOtherThanForcedRebootAskNothing) {
    KernelFake kernel;
    SystemRestart restart(testBus(), capability(true), kernel.call());
    QString restartWhy;

    for (std::uint32_t flags : {0u, kExitFlagReboot, kExitFlagForce, 1u, 8u, 0x16u}) {
        EXPECT_FALSE(restart.Request(flags, &restartWhy)) << flags;
        EXPECT_TRUE(restartWhy.contains("only a forced reboot")) << flags;
    }

    EXPECT_TRUE(rebootCalls().isEmpty());
    EXPECT_EQ(kernel.calls, 0);
}

TEST_F(FakeLogind, RefusalFallsBackToTheKernelOnlyWithTheCapability) {
    setRebootCode("raise dbus.exceptions.DBusException('Access denied', "
                  "name='org.freedesktop.DBus.Error.AccessDenied')");

    // The refusal names logind's answer and why the kernel was not asked, or refused too.
    KernelFake withoutCap;
    SystemRestart uncapable(testBus(), capability(false), withoutCap.call());
    QString uncapableWhy;
    EXPECT_FALSE(uncapable.Request(kForcedReboot, &uncapableWhy));
    EXPECT_EQ(withoutCap.calls, 0);
    EXPECT_EQ(uncapableWhy.toStdString(),
              "systemd-logind refused: Access denied (org.freedesktop.DBus.Error.AccessDenied); "
              "this process may not reboot by itself (no CAP_SYS_BOOT)");

    KernelFake accepting;
    SystemRestart capable(testBus(), capability(true), accepting.call());
    QString capableWhy;
    EXPECT_TRUE(capable.Request(kForcedReboot, &capableWhy));
    EXPECT_EQ(accepting.calls, 1);
    EXPECT_TRUE(capableWhy.isEmpty());

    KernelFake refusing;
    refusing.result = false;
    SystemRestart refused(testBus(), capability(true), refusing.call());
    QString refusedWhy;
    EXPECT_FALSE(refused.Request(kForcedReboot, &refusedWhy));
    EXPECT_EQ(refusing.calls, 1);
    EXPECT_TRUE(refusedWhy.endsWith("the kernel refused the reboot as well"))
        << refusedWhy.toStdString();

    // logind was asked first every time.
    EXPECT_EQ(rebootCalls().size(), 3);
}

TEST_F(FakeLogind, HungLogindTimesOutAndFallsBack) {
    setRebootCode("import time; time.sleep(60)");
    KernelFake kernel;
    SystemRestart restart(testBus(), capability(true), kernel.call(), 200);

    EXPECT_TRUE(restart.Request(kForcedReboot));
    EXPECT_EQ(kernel.calls, 1);

    SystemRestart uncapable(testBus(), capability(false), kernel.call(), 200);
    QString uncapableWhy;
    EXPECT_FALSE(uncapable.Request(kForcedReboot, &uncapableWhy));
    EXPECT_TRUE(uncapableWhy.startsWith("systemd-logind did not answer within 200 ms"))
        << uncapableWhy.toStdString();
}

// The same fallback when nobody answers at all.
struct Unreachable {
    const char* name;
    QDBusConnection (*bus)();
};
void PrintTo(const Unreachable& u, std::ostream* os) {
    *os << u.name;
}

class UnreachableLogind : public ::testing::TestWithParam<Unreachable> {};

TEST_P(UnreachableLogind, FallsBackToTheKernelOnlyWithTheCapability) {
    const QDBusConnection bus = GetParam().bus();
    ASSERT_FALSE(bus.isConnected() && bus.interface()->isServiceRegistered(kLogind));

    KernelFake withoutCap;
    SystemRestart uncapable(bus, capability(false), withoutCap.call());
    QString uncapableWhy;
    EXPECT_FALSE(uncapable.Request(kForcedReboot, &uncapableWhy));
    EXPECT_EQ(withoutCap.calls, 0);
    EXPECT_TRUE(uncapableWhy.startsWith(bus.isConnected()
                                            ? "systemd-logind is not on the system bus"
                                            : "the system bus cannot be reached"))
        << uncapableWhy.toStdString();

    KernelFake accepting;
    EXPECT_TRUE(SystemRestart(bus, capability(true), accepting.call()).Request(kForcedReboot));
    EXPECT_EQ(accepting.calls, 1);

    KernelFake refusing;
    refusing.result = false;
    EXPECT_FALSE(SystemRestart(bus, capability(true), refusing.call()).Request(kForcedReboot));
    EXPECT_EQ(refusing.calls, 1);

    // No kernel call and no capability check given: refused, nothing else.
    EXPECT_FALSE(SystemRestart(bus, {}, {}).Request(kForcedReboot));
}

INSTANTIATE_TEST_SUITE_P(Shutdown, UnreachableLogind,
                         ::testing::Values(Unreachable{"NoServiceOnTheBus", &testBus},
                                           Unreachable{"DisconnectedBus",
                                                       [] {
                                                           return QDBusConnection(
                                                               QStringLiteral("never-connected"));
                                                       }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BootCapability, ReadsBit22OfTheEffectiveSet) {
    // Typical root and user lines.
    EXPECT_TRUE(StatusGrantsBootCapability("Name:\tx\nCapPrm:\t0\nCapEff:\t000001ffffffffff\n"));
    EXPECT_FALSE(StatusGrantsBootCapability("CapEff:\t0000000000000000\n"));
    // Exactly the one bit, and everything but it.
    EXPECT_TRUE(StatusGrantsBootCapability("CapEff:\t0000000000400000"));
    EXPECT_FALSE(StatusGrantsBootCapability("CapEff:\tffffffffffbfffff\n"));
    // Permitted or bounding sets do not count; only the effective one does.
    EXPECT_FALSE(StatusGrantsBootCapability(
        "CapPrm:\t000001ffffffffff\nCapEff:\t0000000000000000\nCapBnd:\t000001ffffffffff\n"));
}

TEST(BootCapability, MissingOrMalformedMeansNo) {
    EXPECT_FALSE(StatusGrantsBootCapability(""));
    EXPECT_FALSE(StatusGrantsBootCapability("CapPrm:\t000001ffffffffff\n"));
    EXPECT_FALSE(StatusGrantsBootCapability("CapEff:\n"));
    EXPECT_FALSE(StatusGrantsBootCapability("CapEff:\tzz00400000\n"));
    EXPECT_FALSE(StatusGrantsBootCapability("CapEff:\t0000000000400000 junk\n"));
    EXPECT_FALSE(StatusGrantsBootCapability("CapEff:\t10000000000400000\n")); // > 64 bits
    EXPECT_FALSE(StatusGrantsBootCapability("XCapEff:\t0000000000400000\n"));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
