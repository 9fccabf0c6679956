// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/AlpacaDiscovery.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

AlpacaDiscovery::AlpacaDiscovery(quint16 alpacaPort, QObject* parent)
    : QObject(parent)
    , alpacaPort_(alpacaPort)
    , socket_(new QUdpSocket(this)) {
    connect(socket_, &QUdpSocket::readyRead, this, &AlpacaDiscovery::Read);
}

bool AlpacaDiscovery::Listen(const QHostAddress& address, quint16 port, QString* why) {
    if (socket_->bind(address, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return true;
    if (why) *why = socket_->errorString();
    return false;
}

quint16 AlpacaDiscovery::Port() const {
    return socket_->localPort();
}

void AlpacaDiscovery::Read() {
    while (socket_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_->receiveDatagram(1024);
        // Anything else on the port (another version's query, noise) goes unanswered.
        if (!datagram.isValid() || !datagram.data().startsWith("alpacadiscovery1")) continue;
        const QByteArray answer =
            QByteArrayLiteral("{\"AlpacaPort\":") + QByteArray::number(alpacaPort_) + '}';
        socket_->writeDatagram(answer, datagram.senderAddress(),
                               static_cast<quint16>(datagram.senderPort()));
    }
}
