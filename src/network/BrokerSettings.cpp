// SPDX-License-Identifier: GPL-3.0-or-later
#include "network/BrokerSettings.h"

#include <QFile>
#include <QUrl>

namespace {

void Say(QString* why, const QString& text) {
    if (why) *why = text;
}

} // namespace

std::optional<BrokerAddress> BrokerAddress::Parse(const QString& url, QString* why) {
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    const auto wrong = [&](const QString& what) {
        Say(why, QStringLiteral("\"%1\" is not a broker's URL: %2").arg(url, what));
        return std::nullopt;
    };
    if (!parsed.isValid() || (scheme != u"mqtt" && scheme != u"mqtts"))
        return wrong(QStringLiteral("it wants mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"));
    if (parsed.host().isEmpty()) return wrong(QStringLiteral("it names no host"));
    if (!parsed.userInfo().isEmpty())
        return wrong(QStringLiteral("a user name and password go into --publish-credentials"));
    if ((!parsed.path().isEmpty() && parsed.path() != u"/") || parsed.hasQuery() ||
        parsed.hasFragment())
        return wrong(QStringLiteral("it has more than a host and a port"));
    BrokerAddress address;
    address.tls = scheme == u"mqtts";
    address.host = parsed.host();
    const int port = parsed.port(address.tls ? 8883 : 1883);
    if (port < 1 || port > 65535) return wrong(QStringLiteral("the port is not 1 to 65535"));
    address.port = static_cast<std::uint16_t>(port);
    return address;
}

QString BrokerAddress::Url() const {
    const bool v6 = host.contains(u':');
    return QStringLiteral("%1://%2:%3")
        .arg(tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"),
             v6 ? QLatin1Char('[') + host + QLatin1Char(']') : host)
        .arg(port);
}

std::optional<BrokerAccount> BrokerAccount::Read(const QString& path, QString* why) {
    constexpr qint64 kMaxBytes = 4096;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Say(why, QStringLiteral("cannot read the credentials file \"%1\": %2")
                     .arg(path, file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxBytes + 1);
    if (bytes.size() > kMaxBytes) {
        Say(why, QStringLiteral("the credentials file \"%1\" is larger than %2 bytes: it "
                                "wants a user name and a password, one a line")
                     .arg(path)
                     .arg(kMaxBytes));
        return std::nullopt;
    }
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    BrokerAccount account;
    account.user = QString::fromUtf8(lines.value(0));
    account.password = QString::fromUtf8(lines.value(1));
    if (account.user.isEmpty()) {
        Say(why, QStringLiteral("the credentials file \"%1\" has no user name on its first "
                                "line (a user name and a password, one a line)")
                     .arg(path));
        return std::nullopt;
    }
    return account;
}
