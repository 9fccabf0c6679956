// SPDX-License-Identifier: GPL-3.0-or-later
// MqttClient: one connection to an MQTT broker, run by libmosquitto inside the Qt event
// loop of the thread that owns it. The library's socket is watched by QSocketNotifiers and
// its keep-alive by a QTimer; no call waits for the network and no thread is started for
// it (a host name is looked up first by Qt's resolver, which does not hold up the loop).
//
// Start() connects and keeps connecting: after a failure it waits, twice as long each
// time up to the settings' maximum, and tries again, until Stop(). Every connection starts
// afresh (a clean session): what was sent and not acknowledged on a connection that broke
// is the caller's to send again, which it learns from ConnectionChanged(false). Such a
// client speaks MQTT 5, so the broker says why it refuses a message (PublishRefused) or
// ends the connection (ConnectionChanged's `why`).
//
//     MqttClient client(settings);
//     QObject::connect(&client, &MqttClient::ConnectionChanged, ...);
//     QObject::connect(&client, &MqttClient::Acknowledged, ...);     // PUBACK of a QoS 1 message
//     QObject::connect(&client, &MqttClient::MessageArrived, ...);   // of a subscription
//     client.Subscribe("nocturo/+/reading", 1);                      // kept across reconnections
//     client.Start();
//     ... client.Publish(topic, payload, 1, false) -> message id, or -1 while not connected
//
// Its signals may be emitted from within a step of the library's loop: a slot may publish
// or subscribe, but must not delete the client or call Stop() (queue that instead).
//
// A subscriber that must not lose a message (the archive's collector) keeps its session
// (BrokerSettings::cleanSession false) and sets SetBeforeAcknowledging(): libmosquitto
// queues the acknowledgement of a QoS 1 message before it hands the message over, so the
// client is then put in the library's "threaded" mode, in which nothing is written to the
// socket but by the client's own write steps. After each read of the socket (and after
// each message of a step that reads and writes at once, during a TLS handshake) the
// function is called, before any write: it makes what MessageArrived handed over durable.
// When it cannot, the connection is dropped unwritten, and the broker sends the messages
// again to the next connection of the session.
#pragma once

#include "network/BrokerSettings.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;
typedef struct mqtt5__property mosquitto_property;

class MqttClient : public QObject {
    Q_OBJECT
public:
    explicit MqttClient(BrokerSettings settings, QObject* parent = nullptr);
    // Says goodbye to the broker when connected (no last will then).
    ~MqttClient() override;

    const BrokerSettings& Settings() const { return settings_; }

    // Connects, and keeps the connection until Stop().
    void Start();
    // Ends the connection with a proper goodbye, so the broker does not publish the last
    // will; messages published just before are written first when the socket takes them.
    void Stop();

    // The last will of the next connection (the broker keeps the one it was given).
    void SetWill(std::optional<LastWill> will) { settings_.will = std::move(will); }

    bool Connected() const { return connected_; }

    // Publishes a message while connected: its id (Acknowledged tells its PUBACK for QoS 1
    // and that it was written for QoS 0), or -1 while not connected or when the library
    // refuses it (an invalid topic, a payload too large).
    int Publish(const QString& topic, const QByteArray& payload, int qos, bool retain);
    // Subscribes now when connected, and again after every reconnection.
    void Subscribe(const QString& filter, int qos);
    // Before acknowledging what arrived (see above); set before Start().
    void SetBeforeAcknowledging(std::function<bool()> durable) { durable_ = std::move(durable); }

signals:
    // The connection is up (the broker accepted it), or down: `why` says what failed.
    void ConnectionChanged(bool connected, const QString& why);
    void Acknowledged(int messageId);
    // The broker refused a message (MQTT 5: a reason code of 0x80 or more, as
    // "not authorised"); Acknowledged follows.
    void PublishRefused(int messageId, int reasonCode, const QString& why);
    void MessageArrived(const QString& topic, const QByteArray& payload, bool retained);

private:
    struct Subscription {
        QString filter;
        int qos;
    };

    void Attempt();
    void Begin(const QString& host);
    void Fail(const QString& why);
    void TearDown();
    // Runs one of the library's loop steps, then acts on what it reported.
    void Step(int (*step)(mosquitto*, int));
    // Reads what the socket holds, then lets the acknowledgements go once durable.
    void ReadThenAcknowledge();
    bool KeepWhatArrived();
    void AfterStep(int rc);
    void WatchWrites();
    void ScheduleRetry();

    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid, int reason,
                          const mosquitto_property* properties);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    BrokerSettings settings_;
    mosquitto* mosq_ = nullptr;
    std::unique_ptr<QSocketNotifier> reads_;
    std::unique_ptr<QSocketNotifier> writes_;
    QTimer misc_;       // keep-alive and retries of the library, once a second
    QTimer connecting_; // the attempt's time limit
    QTimer retry_;      // the wait before the next attempt
    int retryMs_ = 0;
    int lookupId_ = -1;
    bool running_ = false;
    bool connected_ = false;
    bool handshake_ = false; // between the socket's connect and the broker's CONNACK
    QString pendingFailure_; // told by a callback; acted on once the library returns
    QString lastError_;      // the library's latest error line
    std::vector<Subscription> subscriptions_;
    std::function<bool()> durable_;
    bool wholeStep_ = false; // within a step that reads and writes at once
};
