// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrokerSubscription.h"

#include "JournalLines.h"

#include <QSocketNotifier>

#include <mosquitto.h>

#include <algorithm>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr std::chrono::seconds kMaxBackOff{30};
// Messages read before they are made durable and acknowledged together. The broker sends
// no more than its in-flight window anyway.
constexpr int kMaxPacketsPerRead = 5000;

QString ErrorText(int rc) {
    QString text = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                        : QString::fromUtf8(mosquitto_strerror(rc));
    if (text.endsWith(u'.')) text.chop(1);
    return text;
}

} // namespace

BrokerSubscription::BrokerSubscription(BrokerSettings settings, Receiver receiver,
                                       EventLines& lines)
    : settings_(std::move(settings))
    , receiver_(std::move(receiver))
    , lines_(lines) {
    tick_.setInterval(std::chrono::milliseconds(500));
    connect(&tick_, &QTimer::timeout, this, &BrokerSubscription::Tick);
}

BrokerSubscription::~BrokerSubscription() {
    readNotifier_.reset();
    writeNotifier_.reset();
    if (client_) {
        if (connected_) {
            mosquitto_disconnect(client_);
            mosquitto_loop_write(client_, 1);
        }
        mosquitto_destroy(client_);
    }
}

bool BrokerSubscription::Start(QString* why) {
    mosquitto_lib_init();
    client_ = mosquitto_new(settings_.clientId.toUtf8().constData(), false, this);
    if (!client_) {
        if (why)
            *why = QStringLiteral("cannot make an MQTT client: %1").arg(ErrorText(MOSQ_ERR_ERRNO));
        return false;
    }
    // Nothing is written but by mosquitto_loop_write(): the acknowledgements wait until the
    // messages they acknowledge are durable.
    mosquitto_threaded_set(client_, true);
    mosquitto_connect_callback_set(client_, &OnConnect);
    mosquitto_disconnect_callback_set(client_, &OnDisconnect);
    mosquitto_message_callback_set(client_, &OnMessage);
    int rc = MOSQ_ERR_SUCCESS;
    if (!settings_.user.isEmpty())
        rc = mosquitto_username_pw_set(client_, settings_.user.toUtf8().constData(),
                                       settings_.password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && settings_.tls) {
        if (settings_.caFile.isEmpty()) {
            rc = mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            rc = mosquitto_tls_set(client_, settings_.caFile.toLocal8Bit().constData(), nullptr,
                                   nullptr, nullptr, nullptr);
        }
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        if (why) *why = QStringLiteral("cannot set up the MQTT client: %1").arg(ErrorText(rc));
        return false;
    }
    TryConnect();
    tick_.start();
    return true;
}

void BrokerSubscription::TryConnect() {
    attemptStarted_ = std::chrono::steady_clock::now();
    // Without waiting: the connection completes in the event loop. An older socket is
    // closed first, with whatever it had not yet written.
    const int rc = mosquitto_connect_async(client_, settings_.host.toUtf8().constData(),
                                           settings_.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        Lost(QStringLiteral("cannot reach the broker %1:%2: %3")
                 .arg(settings_.host)
                 .arg(settings_.port)
                 .arg(ErrorText(rc)));
        return;
    }
    socketOpen_ = true;
    WatchSocket();
}

void BrokerSubscription::WatchSocket() {
    readNotifier_.reset();
    writeNotifier_.reset();
    const int fd = mosquitto_socket(client_);
    if (fd < 0) return;
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &BrokerSubscription::Readable);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &BrokerSubscription::Writable);
    UpdateWriteNotifier();
}

void BrokerSubscription::UpdateWriteNotifier() {
    if (writeNotifier_) writeNotifier_->setEnabled(client_ && mosquitto_want_write(client_));
}

void BrokerSubscription::Readable() {
    const int fd = mosquitto_socket(client_);
    int rc = MOSQ_ERR_SUCCESS;
    // Everything the socket holds now is read before the acknowledgements go out, so that
    // one sync of the spool covers many messages.
    for (int i = 0; i < kMaxPacketsPerRead && rc == MOSQ_ERR_SUCCESS; ++i) {
        rc = mosquitto_loop_read(client_, 1);
        int waiting = 0;
        if (fd < 0 || ioctl(fd, FIONREAD, &waiting) != 0 || waiting <= 0) break;
    }
    if (!receiver_.durable()) {
        // Not durable, so not to be acknowledged: the connection goes without writing, and
        // the broker sends these messages again to the next session.
        if (fd >= 0) shutdown(fd, SHUT_RDWR);
        Lost(QStringLiteral("received messages could not be kept; reconnecting"));
        return;
    }
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_write(client_, 1);
    if (rc != MOSQ_ERR_SUCCESS) {
        Lost(QStringLiteral("lost the broker %1:%2: %3")
                 .arg(settings_.host)
                 .arg(settings_.port)
                 .arg(ErrorText(rc)));
        return;
    }
    UpdateWriteNotifier();
}

void BrokerSubscription::Writable() {
    const int rc = mosquitto_loop_write(client_, 1);
    if (rc != MOSQ_ERR_SUCCESS) {
        Lost(QStringLiteral("lost the broker %1:%2: %3")
                 .arg(settings_.host)
                 .arg(settings_.port)
                 .arg(ErrorText(rc)));
        return;
    }
    UpdateWriteNotifier();
}

void BrokerSubscription::Tick() {
    const auto now = std::chrono::steady_clock::now();
    if (!socketOpen_) {
        if (now >= nextAttempt_) TryConnect();
        return;
    }
    if (!connected_ && now >= attemptStarted_ + std::chrono::seconds(10)) {
        // A connection that never got its answer is given up and tried again.
        Lost(QStringLiteral("the broker %1:%2 did not answer")
                 .arg(settings_.host)
                 .arg(settings_.port));
        return;
    }
    const int rc = mosquitto_loop_misc(client_);
    if (rc != MOSQ_ERR_SUCCESS) {
        Lost(QStringLiteral("lost the broker %1:%2: %3")
                 .arg(settings_.host)
                 .arg(settings_.port)
                 .arg(ErrorText(rc)));
        return;
    }
    UpdateWriteNotifier();
}

void BrokerSubscription::Lost(const QString& why) {
    // The socket is left as it is, unwritten: the next attempt closes it. Acknowledgements
    // still queued are dropped with it, and the broker sends those messages again.
    readNotifier_.reset();
    writeNotifier_.reset();
    socketOpen_ = false;
    connected_ = false;
    nextAttempt_ = std::chrono::steady_clock::now() + backOff_;
    backOff_ = std::min(backOff_ * 2, kMaxBackOff);
    if (!lostTold_)
        lines_.Line(EventLines::Priority::Warning,
                    why + QStringLiteral("; trying again with back-off"));
    lostTold_ = true;
}

void BrokerSubscription::OnConnect(mosquitto* client, void* self, int rc) {
    auto* me = static_cast<BrokerSubscription*>(self);
    if (rc != 0) {
        me->Lost(QStringLiteral("the broker %1:%2 refused the connection: %3")
                     .arg(me->settings_.host)
                     .arg(me->settings_.port)
                     .arg(QString::fromUtf8(mosquitto_connack_string(rc))));
        return;
    }
    me->connected_ = true;
    me->backOff_ = std::chrono::seconds(1);
    for (const QString& topic : me->settings_.topics)
        mosquitto_subscribe(client, nullptr, topic.toUtf8().constData(), 1);
    me->lines_.Line(EventLines::Priority::Notice,
                    QStringLiteral("connected to the broker %1:%2%3")
                        .arg(me->settings_.host)
                        .arg(me->settings_.port)
                        .arg(me->lostTold_ ? QStringLiteral(" again") : QString()));
    me->lostTold_ = false;
}

void BrokerSubscription::OnDisconnect(mosquitto*, void* self, int rc) {
    auto* me = static_cast<BrokerSubscription*>(self);
    // The read or write that saw it fails too, and says so.
    me->connected_ = false;
    (void)rc;
}

void BrokerSubscription::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* me = static_cast<BrokerSubscription*>(self);
    me->receiver_.message(
        QByteArray(message->topic),
        QByteArray(static_cast<const char*>(message->payload), message->payloadlen));
}
