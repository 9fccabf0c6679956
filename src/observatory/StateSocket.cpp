// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/StateSocket.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

template <typename T> QJsonValue OrNull(const std::optional<T>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

} // namespace

QByteArray StateLine(const LiveState& state, bool safe, const QString& why) {
    QJsonValue time(QJsonValue::Null);
    if (state.lastReadingMs)
        time = QDateTime::fromMSecsSinceEpoch(*state.lastReadingMs, Qt::UTC)
                   .toString(Qt::ISODateWithMs);
    const QJsonObject object{
        {QStringLiteral("station"), state.station},
        {QStringLiteral("link"), state.linkUp ? QStringLiteral("up") : QStringLiteral("down")},
        {QStringLiteral("hint"), state.hint},
        {QStringLiteral("readings"), static_cast<qint64>(state.readings)},
        {QStringLiteral("time"), time},
        {QStringLiteral("count"), state.count},
        {QStringLiteral("range"), state.range},
        {QStringLiteral("temperature"), OrNull(state.temperature)},
        {QStringLiteral("magnitude"), OrNull(state.magnitude)},
        {QStringLiteral("condition"),
         state.condition.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(state.condition)},
        {QStringLiteral("safe"), safe},
        {QStringLiteral("why"), why}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

StateSocket::StateSocket(LiveStation& live, QObject* parent)
    : QObject(parent)
    , live_(live)
    , server_(new QLocalServer(this)) {
    // Readings are no secret, and the driver runs under whatever account INDI's server has.
    server_->setSocketOptions(QLocalServer::WorldAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &StateSocket::Accept);
    live_.AddListener([this](const LiveState&) { Send(Line()); });
}

StateSocket::~StateSocket() {
    const QString path = server_->fullServerName();
    server_->close();
    if (!path.isEmpty()) QLocalServer::removeServer(path);
}

bool StateSocket::Listen(const QString& path, QString* why) {
    QLocalServer::removeServer(path);
    if (server_->listen(path)) return true;
    if (why) *why = server_->errorString();
    return false;
}

QByteArray StateSocket::Line() const {
    QString why;
    const bool safe = live_.IsSafe(&why);
    return StateLine(live_.State(), safe, why);
}

void StateSocket::Accept() {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        clients_.append(client);
        connect(client, &QLocalSocket::readyRead, client, [client] { client->readAll(); });
        connect(client, &QLocalSocket::disconnected, this, [this, client] {
            clients_.removeOne(client);
            client->deleteLater();
        });
        client->write(Line());
    }
}

void StateSocket::Send(const QByteArray& line) {
    const QList<QLocalSocket*> clients = clients_;
    for (QLocalSocket* client : clients) {
        if (client->bytesToWrite() > kMaxBacklog) {
            client->abort(); // its disconnected() takes it off the list
            continue;
        }
        client->write(line);
    }
}
