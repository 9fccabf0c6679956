// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's collector must not let the broker forget a message before the collector
// has kept it: a subscriber with SetBeforeAcknowledging() acknowledges a QoS 1 message
// only after the function has said it is kept. Judged by the broker's own log, which
// says when each acknowledgement arrived: while the function refuses, no acknowledgement
// reaches the broker and the connection is dropped; the broker sends the message again
// to the session, and once it is kept, the acknowledgement comes.
#include "EventWait.h"
#include "TestBroker.h"
#include "network/MqttClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

QByteArray WholeLog(const TestBroker& broker) {
    QFile log(broker.Folder() + QStringLiteral("/mosquitto.log"));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

BrokerSettings Settings(const QString& url, const QString& id, bool keepSession) {
    BrokerSettings settings;
    settings.address = *BrokerAddress::Parse(url);
    settings.clientId = id;
    settings.cleanSession = !keepSession;
    settings.retryFirstMs = 100;
    settings.retryMaxMs = 200;
    settings.connectTimeoutMs = 3000;
    return settings;
}

TEST(MqttClient, AcknowledgesOnlyWhatWasKept) {
    TestBroker broker;
    ASSERT_TRUE(broker.Start()) << broker.Log().constData();
    const QByteArray acknowledged = "Received PUBACK from keeper";

    // The keeper: its session kept by the broker, its messages kept (or not) before any
    // acknowledgement. `kept` counts the messages that were handed over when it said yes.
    bool keep = false;
    std::vector<QByteArray> handed;
    std::size_t kept = 0;
    int refusals = 0;
    MqttClient keeper(Settings(broker.Url(), QStringLiteral("keeper"), true));
    keeper.SetBeforeAcknowledging([&] {
        if (!keep) {
            refusals += handed.empty() ? 0 : 1;
            return handed.empty(); // nothing handed over yet: nothing to keep
        }
        kept = handed.size();
        return true;
    });
    QObject::connect(
        &keeper, &MqttClient::MessageArrived,
        [&](const QString&, const QByteArray& payload, bool) { handed.push_back(payload); });
    keeper.Subscribe(QStringLiteral("test/keep"), 1);
    keeper.Start();
    ASSERT_TRUE(WaitFor([&] {
        return WholeLog(broker).contains("keeper 1 test/keep"); // the broker's subscription line
    })) << WholeLog(broker).constData();

    MqttClient sender(Settings(broker.Url(), QStringLiteral("sender"), false));
    sender.Start();
    ASSERT_TRUE(WaitFor([&] { return sender.Connected(); }));
    ASSERT_GE(sender.Publish(QStringLiteral("test/keep"), "one", 1, false), 0);

    // Refused: handed over, not acknowledged, the connection dropped unwritten.
    ASSERT_TRUE(WaitFor([&] { return refusals >= 1; })) << WholeLog(broker).constData();
    ASSERT_TRUE(WaitFor([&] {
        const QByteArray log = WholeLog(broker);
        return log.contains("Client keeper closed its connection") ||
               log.contains("Socket error on client keeper") ||
               log.contains("Client keeper disconnected");
    })) << WholeLog(broker).constData();
    EXPECT_FALSE(WholeLog(broker).contains(acknowledged)) << WholeLog(broker).constData();
    EXPECT_EQ(kept, 0u);

    // Kept: the broker sends it again to the session, and only then hears the acknowledgement.
    keep = true;
    ASSERT_TRUE(WaitFor([&] { return WholeLog(broker).contains(acknowledged); }))
        << WholeLog(broker).constData();
    EXPECT_GE(handed.size(), 2u);
    EXPECT_GE(kept, 2u);
    for (const QByteArray& payload : handed)
        EXPECT_EQ(payload, QByteArray("one"));
}

} // namespace
