// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line options of every program that talks to the broker: its URL, the
// certificate authority of a TLS connection, the credentials file, the topics' prefix and
// the client id. One parser, so that every program checks them alike and says the same of
// a wrong one; each program names them as its command line always has.
#pragma once

#include "network/BrokerSettings.h"

#include <QCommandLineParser>
#include <QString>

#include <optional>

// The options' names in one program; an empty name is an option the program does not offer.
struct BrokerOptionNames {
    QString url;         // e.g. "publish" or "broker"
    QString ca;          // "publish-ca", "ca"
    QString credentials; // "publish-credentials", "credentials"
    QString prefix;      // "publish-prefix", "prefix"
    QString clientId;    // "client-id"
};

// What the options say.
struct BrokerChoice {
    std::optional<BrokerAddress> address; // none: the option was not given
    QString caFile;
    QString credentialsFile;
    std::optional<BrokerAccount> account;
    QString prefix = QStringLiteral("nocturo");
    QString clientId;
    QString warning; // something the user should mend, though it works (a readable password)
};

class BrokerOptions {
public:
    // `defaultUrl` is shown in the help; empty when the program has none.
    BrokerOptions(BrokerOptionNames names, QString defaultUrl, QString defaultClientId = {});

    void AddTo(QCommandLineParser& parser) const;

    // Reads and checks the options into `choice` (which holds the defaults); false with
    // `why` saying which option is wrong and why.
    bool Read(const QCommandLineParser& parser, BrokerChoice& choice, QString* why = nullptr) const;

    // Whether any of the options is given.
    bool AnySet(const QCommandLineParser& parser) const;
    // The first option given besides the URL, if any: for programs where they need it.
    QString FirstSetBesidesUrl(const QCommandLineParser& parser) const;

    // A topic prefix: one or more levels of a topic, without wildcards, empty levels or
    // control characters, at most 200 bytes.
    static bool ValidPrefix(const QString& prefix);

private:
    BrokerOptionNames names_;
    QString defaultUrl_;
    QString defaultClientId_;
};
