// SPDX-License-Identifier: GPL-3.0-or-later
// A fake systemd-logind (python3-dbusmock's logind template) on the private session bus
// that dbus-run-session gives a test program: the fixture starts it for each test, can
// replace its Reboot method, and reads back the Reboot calls it has seen. Programs that use
// it define NOCTURO_DBUSMOCK_PYTHON, the interpreter that has dbusmock.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

namespace fakelogind {

inline const QString kLogind = QStringLiteral("org.freedesktop.login1");
inline const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
inline const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
inline const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

// A session-bus connection; never the system bus.
inline QDBusConnection testBus() {
    return QDBusConnection::sessionBus();
}

} // namespace fakelogind

// Base for the tests that need the fake logind running.
class FakeLogind : public ::testing::Test {
protected:
    void SetUp() override {
        using namespace fakelogind;
        ASSERT_TRUE(testBus().isConnected()) << "run under dbus-run-session";
        ASSERT_FALSE(testBus().interface()->isServiceRegistered(kLogind));
        mock_.setProgram(QStringLiteral(NOCTURO_DBUSMOCK_PYTHON));
        mock_.setArguments({"-m", "dbusmock", "--template", "logind", "--session"});
        mock_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        mock_.setStandardOutputFile(QProcess::nullDevice());
        mock_.start();
        ASSERT_TRUE(mock_.waitForStarted(5000));
        // Bounded wait for the mock to claim its name (usually a few hundred ms).
        for (int i = 0; i < 250 && !testBus().interface()->isServiceRegistered(kLogind); ++i) {
            ASSERT_EQ(mock_.state(), QProcess::Running) << "dbusmock ended early";
            QThread::msleep(20);
        }
        ASSERT_TRUE(testBus().interface()->isServiceRegistered(kLogind));
    }

    void TearDown() override {
        mock_.kill();
        mock_.waitForFinished(5000);
    }

    // Replaces the fake's Reboot with one that runs the given Python code.
    void setRebootCode(const QString& code) {
        using namespace fakelogind;
        QDBusMessage add = QDBusMessage::createMethodCall(kLogind, kLogindPath, kMockInterface,
                                                          QStringLiteral("AddMethod"));
        add << kManager << QStringLiteral("Reboot") << QStringLiteral("b") << QString() << code;
        const QDBusMessage reply = testBus().call(add);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    // The arguments of every Reboot call the fake has seen.
    QList<QVariantList> rebootCalls() {
        using namespace fakelogind;
        QDBusMessage get = QDBusMessage::createMethodCall(kLogind, kLogindPath, kMockInterface,
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
