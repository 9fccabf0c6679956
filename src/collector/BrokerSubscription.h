// SPDX-License-Identifier: GPL-3.0-or-later
// The collector's subscription to every station's readings, statuses and events: one
// libmosquitto client in the Qt event loop (its socket watched by QSocketNotifiers, its
// keep-alive and reconnection on a QTimer), with a persistent session (its own client id,
// clean session off) and QoS 1, so the broker keeps what arrives while the collector is
// away and sends again what it did not see acknowledged.
//
// libmosquitto queues a QoS 1 acknowledgement before it hands the message over. The client
// is therefore put in the library's "threaded" mode, in which nothing is written to the
// socket but by mosquitto_loop_write(): after each read, every message is handed to the
// receiver, the receiver makes them durable, and only then are the acknowledgements
// written. When they cannot be made durable the connection is dropped unacknowledged, and
// the broker sends them again.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class EventLines;
class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

struct BrokerSettings {
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile; // empty: the system's certificate authorities
    QString user;
    QString password;
    QString clientId;
    QStringList topics; // subscribed at QoS 1
};

class BrokerSubscription : public QObject {
    Q_OBJECT
public:
    struct Receiver {
        std::function<void(const QByteArray& topic, const QByteArray& payload)> message;
        // Makes what was received durable; false: do not acknowledge it.
        std::function<bool()> durable;
    };

    BrokerSubscription(BrokerSettings settings, Receiver receiver, EventLines& lines);
    ~BrokerSubscription() override;

    // Connects, and keeps connecting with back-off while the broker is away. False with
    // `why` only when the settings cannot work at all (a certificate file missing, say).
    bool Start(QString* why);
    bool Connected() const { return connected_; }

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    void TryConnect();
    void Readable();
    void Writable();
    void Tick();
    void WatchSocket();
    void Lost(const QString& why);
    void UpdateWriteNotifier();

    BrokerSettings settings_;
    Receiver receiver_;
    EventLines& lines_;
    mosquitto* client_ = nullptr;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer tick_;
    bool connected_ = false;
    bool socketOpen_ = false;
    bool lostTold_ = false;
    std::chrono::steady_clock::time_point nextAttempt_{};
    std::chrono::steady_clock::time_point attemptStarted_{};
    std::chrono::seconds backOff_{1};
};
