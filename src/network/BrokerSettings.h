// SPDX-License-Identifier: GPL-3.0-or-later
// Where an MQTT client connects and how: the broker's URL, the certificate authority of a
// TLS connection, the account, the last will, the back-off between attempts. The programs
// read these from their command lines; MqttClient uses them.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// "mqtt://HOST[:PORT]" (port 1883 by default) or "mqtts://HOST[:PORT]" (TLS, 8883). HOST
// is a name, an IPv4 address or an IPv6 address in brackets ("mqtt://[::1]:1884").
struct BrokerAddress {
    QString host;
    std::uint16_t port = 1883;
    bool tls = false;

    // The address, or nothing with `why` saying what is wrong with the URL.
    static std::optional<BrokerAddress> Parse(const QString& url, QString* why = nullptr);
    // The URL again, as Parse reads it.
    QString Url() const;
    bool operator==(const BrokerAddress&) const = default;
};

// A user name and password: two lines of a file (further lines are ignored; a CR before
// the line break is dropped). Never taken from a command line, where every user of the
// machine could read them.
struct BrokerAccount {
    QString user;
    QString password;

    // The account in `path`, or nothing with `why` saying why it cannot be used: the file
    // is missing or unreadable, larger than a few kilobytes, or its first line is empty.
    static std::optional<BrokerAccount> Read(const QString& path, QString* why = nullptr);
};

// A message the broker publishes for the client when it loses the client without a
// proper goodbye (the connection broke, the keep-alive ran out).
struct LastWill {
    QString topic;
    QByteArray payload;
    int qos = 1;
    bool retain = true;
};

struct BrokerSettings {
    BrokerAddress address;
    QString caFile; // TLS: the certificate authority; empty: the system's
    std::optional<BrokerAccount> account;
    QString clientId; // empty: the library makes one up
    // False: the broker keeps the session (subscriptions, and the QoS 1 messages that
    // arrive while the client is away) under the client id, which must then be given.
    bool cleanSession = true;
    std::optional<LastWill> will;
    int keepAliveSeconds = 30;    // a silent broker is given up after 1.5 times this
    int connectTimeoutMs = 10000; // from the first packet to the broker's answer
    int retryFirstMs = 1000;      // the first wait after a failure; doubles each time
    int retryMaxMs = 60000;       // up to this
    int maxInFlight = 200;        // QoS 1 messages sent and not yet acknowledged
};
