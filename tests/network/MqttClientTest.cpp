// SPDX-License-Identifier: GPL-3.0-or-later
// The MQTT client against a real Mosquitto of the test's own: a message published at QoS 1
// is acknowledged and reaches a subscriber; a broker that goes away is told, and once it
// is back the client is connected again by itself, its subscription renewed; a broker that
// is not there, or that refuses the account, is told with the reason.
#include "network/MqttClient.h"
#include "EventWait.h"
#include "TestBroker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

BrokerSettings Quick(const QString& url) {
    BrokerSettings settings;
    settings.address = *BrokerAddress::Parse(url);
    settings.retryFirstMs = 100;
    settings.retryMaxMs = 200;
    settings.connectTimeoutMs = 3000;
    return settings;
}

struct Recorder {
    std::vector<std::pair<QString, QByteArray>> messages;
    std::vector<int> acks;
    std::vector<QString> downs;
    int ups = 0;

    void Follow(MqttClient& client) {
        QObject::connect(
            &client, &MqttClient::MessageArrived,
            [this](const QString& t, const QByteArray& p, bool) { messages.emplace_back(t, p); });
        QObject::connect(&client, &MqttClient::Acknowledged,
                         [this](int mid) { acks.push_back(mid); });
        QObject::connect(&client, &MqttClient::ConnectionChanged,
                         [this](bool up, const QString& why) {
                             if (up)
                                 ++ups;
                             else
                                 downs.push_back(why);
                         });
    }
};

TEST(MqttClient, PublishesSubscribesAndComesBackAfterTheBrokerWasAway) {
    TestBroker broker;
    ASSERT_TRUE(broker.Start()) << broker.Log().constData();

    Recorder heard;
    Recorder told;
    MqttClient subscriber(Quick(broker.Url()));
    heard.Follow(subscriber);
    subscriber.Subscribe(QStringLiteral("test/#"), 1);
    subscriber.Start();
    MqttClient publisher(Quick(broker.Url()));
    told.Follow(publisher);
    publisher.Start();
    ASSERT_TRUE(WaitFor([&] { return subscriber.Connected() && publisher.Connected(); }));
    // The subscription is in place once a retained message comes back.
    publisher.Publish(QStringLiteral("test/ready"), "1", 1, true);
    ASSERT_TRUE(WaitFor([&] { return !heard.messages.empty(); }));

    const int mid = publisher.Publish(QStringLiteral("test/a"), "hello", 1, false);
    ASSERT_GE(mid, 0);
    ASSERT_TRUE(WaitFor([&] { return heard.messages.size() >= 2; }));
    EXPECT_EQ(heard.messages.back(), std::make_pair(QStringLiteral("test/a"), QByteArray("hello")));
    ASSERT_TRUE(WaitFor(
        [&] { return std::find(told.acks.begin(), told.acks.end(), mid) != told.acks.end(); }));

    broker.Stop();
    ASSERT_TRUE(WaitFor([&] { return !publisher.Connected() && !subscriber.Connected(); }));
    EXPECT_EQ(publisher.Publish(QStringLiteral("test/b"), "lost", 1, false), -1);
    EXPECT_FALSE(told.downs.empty());
    EXPECT_TRUE(told.downs.front().contains(broker.Url())) << told.downs.front().toStdString();

    ASSERT_TRUE(broker.Start()) << broker.Log().constData();
    ASSERT_TRUE(WaitFor([&] { return publisher.Connected() && subscriber.Connected(); }));
    // Subscribed again without being asked: a message published now arrives.
    const std::size_t before = heard.messages.size();
    ASSERT_TRUE(WaitFor([&] {
        publisher.Publish(QStringLiteral("test/c"), "again", 1, false);
        return WaitFor([&] { return heard.messages.size() > before; }, 300);
    }));
    EXPECT_EQ(heard.messages.back().second, QByteArray("again"));
    EXPECT_EQ(told.ups, 2);
}

TEST(MqttClient, TellsWhyItCannotConnect) {
    // Nothing listens on the port.
    Recorder told;
    MqttClient nowhere(Quick(QStringLiteral("mqtt://127.0.0.1:%1").arg(TestBroker::FreePort())));
    told.Follow(nowhere);
    nowhere.Start();
    ASSERT_TRUE(WaitFor([&] { return told.downs.size() >= 2; }));
    EXPECT_TRUE(told.downs.front().contains(QStringLiteral("refused"), Qt::CaseInsensitive) ||
                told.downs.front().contains(QStringLiteral("lost")))
        << told.downs.front().toStdString();
    nowhere.Stop();

    // A broker that takes no client without an account: refused, and said so.
    TestBroker broker({}, false);
    ASSERT_TRUE(broker.Start()) << broker.Log().constData();
    Recorder refused;
    MqttClient stranger(Quick(broker.Url()));
    refused.Follow(stranger);
    stranger.Start();
    ASSERT_TRUE(WaitFor([&] { return !refused.downs.empty(); }));
    EXPECT_TRUE(refused.downs.front().contains(QStringLiteral("not authori"), Qt::CaseInsensitive))
        << refused.downs.front().toStdString();
    EXPECT_EQ(refused.ups, 0);
}

// MQTT 5's reasons reach the caller: a message the broker's ACL refuses is told as refused
// (and acknowledged, so the sending goes on).
TEST(MqttClient, TellsWhyTheBrokerRefusesAMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString acl = dir.filePath(QStringLiteral("acl"));
    QFile file(acl);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("topic readwrite test/allowed\n");
    file.close();
    // The broker may run as its own user: it must read the file.
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(acl, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    TestBroker broker("acl_file " + acl.toUtf8() + "\n");
    ASSERT_TRUE(broker.Start()) << broker.Log().constData();

    BrokerSettings settings = Quick(broker.Url());
    MqttClient client(settings);
    Recorder told;
    told.Follow(client);
    std::vector<std::pair<int, QString>> refusals;
    QObject::connect(&client, &MqttClient::PublishRefused,
                     [&](int mid, int code, const QString& why) {
                         EXPECT_EQ(code, 0x87);
                         refusals.emplace_back(mid, why);
                     });
    client.Start();
    ASSERT_TRUE(WaitFor([&] { return client.Connected(); }));
    const int allowed = client.Publish(QStringLiteral("test/allowed"), "yes", 1, false);
    const int denied = client.Publish(QStringLiteral("test/denied"), "no", 1, false);
    ASSERT_TRUE(WaitFor([&] { return told.acks.size() >= 2; })) << broker.Log().constData();
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals.front().first, denied);
    EXPECT_EQ(refusals.front().second, QStringLiteral("not authorised"));
    EXPECT_NE(allowed, denied);

    client.Stop();
}

} // namespace
