// SPDX-License-Identifier: GPL-3.0-or-later
#include "network/MqttClient.h"

#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {

void InitialiseLibrary() {
    // The library's own start-up (its random numbers, OpenSSL); once per process, and
    // never undone: other clients may still use it at exit.
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString ErrorText(int rc) {
    if (rc == MOSQ_ERR_ERRNO) return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

int ReadStep(mosquitto* mosq, int packets) {
    return mosquitto_loop_read(mosq, packets);
}
int WriteStep(mosquitto* mosq, int packets) {
    return mosquitto_loop_write(mosq, packets);
}
// While a TLS handshake runs, only the library's own loop drives it on; with a time-out
// of zero it waits for nothing.
int WholeStep(mosquitto* mosq, int packets) {
    return mosquitto_loop(mosq, 0, packets);
}

// An MQTT 5 reason code as the journal tells it (the broker's own words for the rest).
QString ReasonText(int code) {
    switch (code) {
    case 0x86:
        return QStringLiteral("wrong user name or password");
    case 0x87:
        return QStringLiteral("not authorised");
    case 0x8E:
        return QStringLiteral("another client connected with the same client id");
    case 0x90:
        return QStringLiteral("a topic the broker does not take");
    case 0x97:
        return QStringLiteral("over the broker's quota");
    default:
        return QString::fromUtf8(mosquitto_reason_string(code)).toLower();
    }
}

} // namespace

MqttClient::MqttClient(BrokerSettings settings, QObject* parent)
    : QObject(parent)
    , settings_(std::move(settings)) {
    InitialiseLibrary();
    misc_.setInterval(1000);
    connect(&misc_, &QTimer::timeout, this, [this] {
        if (mosq_) AfterStep(mosquitto_loop_misc(mosq_));
    });
    connecting_.setSingleShot(true);
    connect(&connecting_, &QTimer::timeout, this, [this] {
        Fail(QStringLiteral("no answer from %1 within %2 s")
                 .arg(settings_.address.Url())
                 .arg(settings_.connectTimeoutMs / 1000.0));
    });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttClient::Attempt);
}

MqttClient::~MqttClient() {
    // Its receivers may be gone already: nothing is told from here.
    blockSignals(true);
    Stop();
}

void MqttClient::Start() {
    if (running_) return;
    running_ = true;
    retryMs_ = 0;
    Attempt();
}

void MqttClient::Stop() {
    running_ = false;
    retry_.stop();
    if (lookupId_ >= 0) QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    if (mosq_ && connected_) {
        // The goodbye goes out behind what is queued; the socket is non-blocking, so
        // what it cannot take now is lost with the connection, as on any break.
        mosquitto_disconnect(mosq_);
        if (mosquitto_want_write(mosq_)) mosquitto_loop_write(mosq_, 1);
    }
    const bool was = connected_;
    TearDown();
    if (was) emit ConnectionChanged(false, QStringLiteral("disconnected"));
}

int MqttClient::Publish(const QString& topic, const QByteArray& payload, int qos, bool retain) {
    if (!mosq_ || !connected_) return -1;
    int mid = -1;
    const QByteArray name = topic.toUtf8();
    const int rc = mosquitto_publish(mosq_, &mid, name.constData(), int(payload.size()),
                                     payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        // A broken socket shows here first; it is acted on from the event loop, not within
        // the caller's publishing, and only while this connection is still the one.
        if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_ERRNO)
            QTimer::singleShot(0, this, [this, rc, connection = mosq_] {
                if (mosq_ == connection) AfterStep(rc);
            });
        return -1;
    }
    WatchWrites();
    return mid;
}

void MqttClient::Subscribe(const QString& filter, int qos) {
    subscriptions_.push_back({filter, qos});
    if (mosq_ && connected_) {
        mosquitto_subscribe(mosq_, nullptr, filter.toUtf8().constData(), qos);
        WatchWrites();
    }
}

void MqttClient::Attempt() {
    if (!running_ || mosq_ || lookupId_ >= 0) return;
    const QString& host = settings_.address.host;
    QHostAddress literal;
    if (literal.setAddress(host)) {
        Begin(host);
        return;
    }
    // A name is looked up first without holding up the loop; the library looks it up once
    // more when it connects (TLS checks the broker's certificate against the name), which
    // the resolver then answers from what it just found. A name that does not resolve
    // never reaches the library's lookup, which would wait.
    lookupId_ = QHostInfo::lookupHost(host, this, [this](const QHostInfo& info) {
        lookupId_ = -1;
        if (!running_) return;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            Fail(QStringLiteral("cannot find the broker's host \"%1\": %2")
                     .arg(settings_.address.host, info.errorString()));
            return;
        }
        Begin(settings_.address.host);
    });
}

void MqttClient::Begin(const QString& host) {
    lastError_.clear();
    const QByteArray id = settings_.clientId.toUtf8();
    mosq_ = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), settings_.cleanSession, this);
    if (!mosq_) {
        Fail(QStringLiteral("cannot make an MQTT client: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    mosquitto_connect_callback_set(mosq_, &MqttClient::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &MqttClient::OnDisconnect);
    mosquitto_publish_v5_callback_set(mosq_, &MqttClient::OnPublish);
    mosquitto_message_callback_set(mosq_, &MqttClient::OnMessage);
    mosquitto_log_callback_set(mosq_, &MqttClient::OnLog);
    // MQTT 5 where the session is not kept: the broker then says why it refuses a message
    // or ends the connection. A kept session stays on 3.1.1, whose CONNECT asks the broker
    // to keep it without an expiry that only a blocking connect could send.
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION,
                         settings_.cleanSession ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    // Nothing written but by the write steps: acknowledgements wait for KeepWhatArrived().
    if (durable_) mosquitto_threaded_set(mosq_, true);
    mosquitto_max_inflight_messages_set(mosq_, unsigned(settings_.maxInFlight));

    int rc = MOSQ_ERR_SUCCESS;
    if (settings_.account) {
        rc = mosquitto_username_pw_set(mosq_, settings_.account->user.toUtf8().constData(),
                                       settings_.account->password.toUtf8().constData());
    }
    if (rc == MOSQ_ERR_SUCCESS && settings_.will) {
        const LastWill& will = *settings_.will;
        rc = mosquitto_will_set(mosq_, will.topic.toUtf8().constData(), int(will.payload.size()),
                                will.payload.constData(), will.qos, will.retain);
    }
    if (rc == MOSQ_ERR_SUCCESS && settings_.address.tls) {
        const QByteArray ca = QFile::encodeName(settings_.caFile);
        // Without a file of its own, the system's certificate authorities.
        if (ca.isEmpty()) rc = mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_tls_set(mosq_, ca.isEmpty() ? nullptr : ca.constData(),
                                   ca.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr,
                                   nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        Fail(QStringLiteral("cannot set up the connection to %1: %2")
                 .arg(settings_.address.Url(), ErrorText(rc)));
        return;
    }
    rc = mosquitto_connect_async(mosq_, host.toUtf8().constData(), settings_.address.port,
                                 settings_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        Fail(QStringLiteral("cannot connect to %1: %2")
                 .arg(settings_.address.Url(), lastError_.isEmpty() ? ErrorText(rc) : lastError_));
        return;
    }
    const int fd = mosquitto_socket(mosq_);
    if (fd < 0) {
        Fail(QStringLiteral("cannot connect to %1").arg(settings_.address.Url()));
        return;
    }
    handshake_ = true;
    reads_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    writes_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(reads_.get(), &QSocketNotifier::activated, this, [this] {
        if (handshake_ && settings_.address.tls)
            Step(WholeStep);
        else if (durable_)
            ReadThenAcknowledge();
        else
            Step(ReadStep);
    });
    connect(writes_.get(), &QSocketNotifier::activated, this,
            [this] { Step(handshake_ && settings_.address.tls ? WholeStep : WriteStep); });
    WatchWrites();
    misc_.start();
    connecting_.start(settings_.connectTimeoutMs);
}

void MqttClient::Step(int (*step)(mosquitto*, int)) {
    if (!mosq_) return;
    wholeStep_ = step == WholeStep;
    const int rc = step(mosq_, 1);
    wholeStep_ = false;
    AfterStep(rc);
}

void MqttClient::ReadThenAcknowledge() {
    if (!mosq_) return;
    // The library reads one packet a call; everything the socket holds now is read before
    // the acknowledgements go out, so that one sync covers many messages.
    constexpr int maxPackets = 5000;
    const int fd = mosquitto_socket(mosq_);
    int rc = MOSQ_ERR_SUCCESS;
    for (int i = 0; i < maxPackets && rc == MOSQ_ERR_SUCCESS && pendingFailure_.isEmpty(); ++i) {
        rc = mosquitto_loop_read(mosq_, 1);
        int waiting = 0;
        if (fd < 0 || ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0) break;
    }
    if (!KeepWhatArrived()) return;
    AfterStep(rc);
}

bool MqttClient::KeepWhatArrived() {
    if (durable_()) return true;
    // Not kept, so not to be acknowledged: the socket is shut before anything more is
    // written to it, and the broker sends these messages again.
    if (const int fd = mosquitto_socket(mosq_); fd >= 0) ::shutdown(fd, SHUT_RDWR);
    Fail(
        QStringLiteral("messages received from %1 could not be kept").arg(settings_.address.Url()));
    return false;
}

void MqttClient::AfterStep(int rc) {
    if (!mosq_) return;
    if (!pendingFailure_.isEmpty()) {
        const QString why = pendingFailure_;
        pendingFailure_.clear();
        Fail(why);
        return;
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        QString why =
            rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN
                ? QStringLiteral("the connection to %1 was lost").arg(settings_.address.Url())
                : QStringLiteral("connection to %1 failed: %2")
                      .arg(settings_.address.Url(), ErrorText(rc));
        if (!lastError_.isEmpty()) why += QStringLiteral(" (%1)").arg(lastError_);
        Fail(why);
        return;
    }
    WatchWrites();
}

void MqttClient::WatchWrites() {
    if (!mosq_ || !writes_) return;
    // Also during a TLS handshake, which asks for writes itself when it needs them.
    writes_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::Fail(const QString& why) {
    TearDown();
    emit ConnectionChanged(false, why);
    ScheduleRetry();
}

void MqttClient::TearDown() {
    misc_.stop();
    connecting_.stop();
    reads_.reset();
    writes_.reset();
    if (mosq_) {
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
    }
    connected_ = false;
    handshake_ = false;
    pendingFailure_.clear();
}

void MqttClient::ScheduleRetry() {
    if (!running_) return;
    retryMs_ =
        retryMs_ == 0 ? settings_.retryFirstMs : std::min(retryMs_ * 2, settings_.retryMaxMs);
    retry_.start(retryMs_);
}

void MqttClient::OnConnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    if (rc != 0) {
        // MQTT 5's reason codes start at 0x80; 3.1.1's refusals are 1 to 5.
        client->pendingFailure_ =
            QStringLiteral("%1 refused the connection: %2")
                .arg(client->settings_.address.Url(),
                     rc >= 0x80 ? ReasonText(rc) : QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    client->handshake_ = false;
    client->connected_ = true;
    client->connecting_.stop();
    client->retryMs_ = 0;
    for (const Subscription& s : client->subscriptions_)
        mosquitto_subscribe(client->mosq_, nullptr, s.filter.toUtf8().constData(), s.qos);
    emit client->ConnectionChanged(true, QString());
}

void MqttClient::OnDisconnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    if (!client->running_) return;
    // A broker that ends the connection itself says why (MQTT 5).
    if (client->pendingFailure_.isEmpty() && rc >= 0x80)
        client->pendingFailure_ = QStringLiteral("the broker %1 ended the connection: %2")
                                      .arg(client->settings_.address.Url(), ReasonText(rc));
    if (client->pendingFailure_.isEmpty())
        client->pendingFailure_ = QStringLiteral("the connection to %1 was lost%2")
                                      .arg(client->settings_.address.Url(),
                                           rc == MOSQ_ERR_SUCCESS || client->lastError_.isEmpty()
                                               ? QString()
                                               : QStringLiteral(": ") + client->lastError_);
}

void MqttClient::OnPublish(mosquitto*, void* self, int mid, int reason, const mosquitto_property*) {
    auto* client = static_cast<MqttClient*>(self);
    // A refused message is done with as far as the broker goes: it is told, then
    // acknowledged like the others, so that the sending goes on.
    if (reason >= 0x80) emit client->PublishRefused(mid, reason, ReasonText(reason));
    emit client->Acknowledged(mid);
}

void MqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* client = static_cast<MqttClient*>(self);
    emit client->MessageArrived(
        QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
        message->retain);
    // A step that reads and writes at once writes the acknowledgement right after this
    // returns: the message is made durable now.
    if (client->durable_ && client->wholeStep_ && !client->durable_()) {
        if (const int fd = mosquitto_socket(client->mosq_); fd >= 0) ::shutdown(fd, SHUT_RDWR);
        client->pendingFailure_ = QStringLiteral("messages received from %1 could not be kept")
                                      .arg(client->settings_.address.Url());
    }
}

void MqttClient::OnLog(mosquitto*, void* self, int level, const char* text) {
    if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING))
        static_cast<MqttClient*>(self)->lastError_ = QString::fromUtf8(text);
}
