// SPDX-License-Identifier: GPL-3.0-or-later
#include "network/BrokerOptions.h"

#include "core/Failure.h"

#include <QFile>
#include <QFileInfo>

#include <utility>

namespace {

// The longest client id: MQTT 3.1.1 servers need take only 23 bytes, Mosquitto takes more.
constexpr int kMaxClientIdBytes = 23 * 8;

} // namespace

BrokerOptions::BrokerOptions(BrokerOptionNames names, QString defaultUrl, QString defaultClientId)
    : names_(std::move(names))
    , defaultUrl_(std::move(defaultUrl))
    , defaultClientId_(std::move(defaultClientId)) {}

void BrokerOptions::AddTo(QCommandLineParser& parser) const {
    const QString url =
        defaultUrl_.isEmpty() ? QString() : QStringLiteral("; default ") + defaultUrl_;
    parser.addOption({names_.url,
                      QStringLiteral("The MQTT broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT] "
                                     "(TLS)%1.")
                          .arg(url),
                      QStringLiteral("URL")});
    if (!names_.ca.isEmpty())
        parser.addOption({names_.ca,
                          QStringLiteral("mqtts: the certificate authority that signed the "
                                         "broker's certificate (PEM); default: the system's."),
                          QStringLiteral("FILE")});
    if (!names_.credentials.isEmpty())
        parser.addOption({names_.credentials,
                          QStringLiteral("A file with the broker account's user name and "
                                         "password, one a line (readable by this account alone)."),
                          QStringLiteral("FILE")});
    if (!names_.prefix.isEmpty())
        parser.addOption(
            {names_.prefix,
             QStringLiteral("The topics' prefix; default: nocturo (nocturo/NAME/reading, "
                            "/status, /event)."),
             QStringLiteral("PREFIX")});
    if (!names_.clientId.isEmpty())
        parser.addOption({names_.clientId,
                          QStringLiteral("The MQTT client id, under which the broker keeps the "
                                         "session; default %1.")
                              .arg(defaultClientId_),
                          QStringLiteral("ID")});
}

bool BrokerOptions::AnySet(const QCommandLineParser& parser) const {
    return parser.isSet(names_.url) || !FirstSetBesidesUrl(parser).isEmpty();
}

QString BrokerOptions::FirstSetBesidesUrl(const QCommandLineParser& parser) const {
    for (const QString* name : {&names_.ca, &names_.credentials, &names_.prefix, &names_.clientId})
        if (!name->isEmpty() && parser.isSet(*name)) return *name;
    return {};
}

bool BrokerOptions::ValidPrefix(const QString& prefix) {
    if (prefix.isEmpty() || prefix.startsWith(u'/') || prefix.endsWith(u'/') ||
        prefix.contains(QStringLiteral("//")) || prefix.contains(u'+') || prefix.contains(u'#'))
        return false;
    for (const QChar c : prefix)
        if (c.category() == QChar::Other_Control) return false;
    return prefix.toUtf8().size() <= 200;
}

bool BrokerOptions::Read(const QCommandLineParser& parser, BrokerChoice& choice,
                         QString* why) const {
    const auto wrong = [&](const QString& name, const QString& reason) {
        return Fail(why, QStringLiteral("--%1: %2").arg(name, reason));
    };
    if (parser.isSet(names_.url)) {
        QString reason;
        choice.address = BrokerAddress::Parse(parser.value(names_.url), &reason);
        if (!choice.address) return wrong(names_.url, reason);
    }
    const bool tls = choice.address && choice.address->tls;
    if (!names_.ca.isEmpty() && parser.isSet(names_.ca)) {
        choice.caFile = parser.value(names_.ca);
        if (!tls)
            return Fail(why, QStringLiteral("--%1 goes with an mqtts:// broker").arg(names_.ca));
        QFile ca(choice.caFile);
        if (!ca.open(QIODevice::ReadOnly))
            return wrong(
                names_.ca,
                QStringLiteral("cannot read \"%1\": %2").arg(choice.caFile, ca.errorString()));
    }
    if (!names_.credentials.isEmpty() && parser.isSet(names_.credentials)) {
        choice.credentialsFile = parser.value(names_.credentials);
        QString reason;
        choice.account = BrokerAccount::Read(choice.credentialsFile, &reason);
        if (!choice.account) return wrong(names_.credentials, reason);
        const QFile::Permissions others = QFile::ReadGroup | QFile::ReadOther;
        if (QFileInfo(choice.credentialsFile).permissions() & others)
            choice.warning = QStringLiteral("--%1: \"%2\" may be read by other users; make it "
                                            "readable by this program's account alone (chmod 600)")
                                 .arg(names_.credentials, choice.credentialsFile);
    }
    if (!names_.prefix.isEmpty() && parser.isSet(names_.prefix)) {
        choice.prefix = parser.value(names_.prefix);
        if (!ValidPrefix(choice.prefix))
            return Fail(why, QStringLiteral("--%1 wants topic levels such as \"nocturo\" or "
                                            "\"network/nocturo\" (no +, # or empty level), not "
                                            "\"%2\"")
                                 .arg(names_.prefix, choice.prefix));
    }
    if (!names_.clientId.isEmpty()) {
        if (parser.isSet(names_.clientId)) choice.clientId = parser.value(names_.clientId);
        const QByteArray id = choice.clientId.toUtf8();
        if (id.isEmpty() || id.size() > kMaxClientIdBytes)
            return Fail(why, QStringLiteral("--%1 wants a name of 1 to %2 bytes")
                                 .arg(names_.clientId)
                                 .arg(kMaxClientIdBytes));
    }
    return true;
}
