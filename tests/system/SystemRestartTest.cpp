// The forced reboot against a fake logind (python3-dbusmock) on the private session bus
// that dbus-run-session gives this test. The kernel reboot and the capability check are
// fakes throughout: nothing here can restart the machine.
#include "SystemRestart.h"
#include "BootCapability.h"
#include "UShutdown.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QString LOGIND = QStringLiteral("org.freedesktop.login1");
const QString LOGIND_PATH = QStringLiteral("/org/freedesktop/login1");
const QString MANAGER = QStringLiteral("org.freedesktop.login1.Manager");
const QString MOCK_IFACE = QStringLiteral("org.freedesktop.DBus.Mock");

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

// A session-bus connection; never the system bus.
QDBusConnection testBus() {
    return QDBusConnection::sessionBus();
}

// Base for the tests that need the fake logind running.
class FakeLogind : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testBus().isConnected()) << "run under dbus-run-session";
        ASSERT_FALSE(testBus().interface()->isServiceRegistered(LOGIND));
        mock_.setProgram(QStringLiteral(NOCTURO_DBUSMOCK_PYTHON));
        mock_.setArguments({"-m", "dbusmock", "--template", "logind", "--session"});
        mock_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mock_.setStandardOutputFile(QProcess::nullDevice());
        mock_.start();
        ASSERT_TRUE(mock_.waitForStarted(5000));
        // Bounded wait for the mock to claim its name (usually a few hundred ms).
        for (int i = 0; i < 250 && !testBus().interface()->isServiceRegistered(LOGIND); ++i) {
            ASSERT_EQ(mock_.state(), QProcess::Running) << "dbusmock ended early";
            QThread::msleep(20);
        }
        ASSERT_TRUE(testBus().interface()->isServiceRegistered(LOGIND));
    }

    void TearDown() override {
        mock_.kill();
        mock_.waitForFinished(5000);
    }

    // Replaces the fake's Reboot with one that runs the given Python code.
    void setRebootCode(const QString& code) {
        QDBusMessage add = QDBusMessage::createMethodCall(LOGIND, LOGIND_PATH, MOCK_IFACE,
                                                          QStringLiteral("AddMethod"));
        add << MANAGER << QStringLiteral("Reboot") << QStringLiteral("b") << QString() << code;
        const QDBusMessage reply = testBus().call(add);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    // The arguments of every Reboot call the fake has seen.
    QList<QVariantList> rebootCalls() {
        QDBusMessage get = QDBusMessage::createMethodCall(LOGIND, LOGIND_PATH, MOCK_IFACE,
                                                          QStringLiteral("GetMethodCalls"));
        get << QStringLiteral("Reboot");
        const QDBusMessage reply = testBus().call(get);
        QList<QVariantList> calls;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            ADD_FAILURE() << "GetMethodCalls failed: " << reply.errorMessage().toStdString();
            return calls;
        }
        const auto list = reply.arguments().at(0).value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            qulonglong stamp = 0;
            QVariantList args;
            list.beginStructure();
            list >> stamp;
            list.beginArray();
            while (!list.atEnd()) {
                QDBusVariant arg;
                list >> arg;
                args << arg.variant();
            }
            list.endArray();
            list.endStructure();
            calls << args;
        }
        list.endArray();
        return calls;
    }

    QProcess mock_;
};

TEST_F(FakeLogind, AcceptedRebootIsAskedWithoutInteractionAndSucceeds) {
    KernelFake kernel;
    SystemRestart restart(testBus(), capability(true), kernel.call());

    EXPECT_TRUE(restart.Request(FORCED_REBOOT));

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

    for (std::uint32_t flags : {0u, EXIT_FLAG_REBOOT, EXIT_FLAG_FORCE, 1u, 8u, 0x16u})
        EXPECT_FALSE(restart.Request(flags)) << flags;

    EXPECT_TRUE(rebootCalls().isEmpty());
    EXPECT_EQ(kernel.calls, 0);
}

TEST_F(FakeLogind, RefusalFallsBackToTheKernelOnlyWithTheCapability) {
    setRebootCode("raise dbus.exceptions.DBusException('Access denied', "
                  "name='org.freedesktop.DBus.Error.AccessDenied')");

    KernelFake withoutCap;
    EXPECT_FALSE(
        SystemRestart(testBus(), capability(false), withoutCap.call()).Request(FORCED_REBOOT));
    EXPECT_EQ(withoutCap.calls, 0);

    KernelFake accepting;
    EXPECT_TRUE(
        SystemRestart(testBus(), capability(true), accepting.call()).Request(FORCED_REBOOT));
    EXPECT_EQ(accepting.calls, 1);

    KernelFake refusing;
    refusing.result = false;
    EXPECT_FALSE(
        SystemRestart(testBus(), capability(true), refusing.call()).Request(FORCED_REBOOT));
    EXPECT_EQ(refusing.calls, 1);

    // logind was asked first every time.
    EXPECT_EQ(rebootCalls().size(), 3);
}

TEST_F(FakeLogind, HungLogindTimesOutAndFallsBack) {
    setRebootCode("import time; time.sleep(60)");
    KernelFake kernel;
    SystemRestart restart(testBus(), capability(true), kernel.call(), 200);

    EXPECT_TRUE(restart.Request(FORCED_REBOOT));
    EXPECT_EQ(kernel.calls, 1);
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
    ASSERT_FALSE(bus.isConnected() && bus.interface()->isServiceRegistered(LOGIND));

    KernelFake withoutCap;
    EXPECT_FALSE(SystemRestart(bus, capability(false), withoutCap.call()).Request(FORCED_REBOOT));
    EXPECT_EQ(withoutCap.calls, 0);

    KernelFake accepting;
    EXPECT_TRUE(SystemRestart(bus, capability(true), accepting.call()).Request(FORCED_REBOOT));
    EXPECT_EQ(accepting.calls, 1);

    KernelFake refusing;
    refusing.result = false;
    EXPECT_FALSE(SystemRestart(bus, capability(true), refusing.call()).Request(FORCED_REBOOT));
    EXPECT_EQ(refusing.calls, 1);

    // No kernel call and no capability check given: refused, nothing else.
    EXPECT_FALSE(SystemRestart(bus, {}, {}).Request(FORCED_REBOOT));
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
