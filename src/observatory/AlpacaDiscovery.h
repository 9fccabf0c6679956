// SPDX-License-Identifier: GPL-3.0-or-later
// AlpacaDiscovery: answers Alpaca's discovery broadcast ("alpacadiscovery1" to UDP port
// 32227) with the port of the station's Alpaca service, {"AlpacaPort": N}, to the sender
// alone. The port is shared, so that other Alpaca servers on the machine answer too.
#pragma once

#include <QHostAddress>
#include <QObject>

class QUdpSocket;

class AlpacaDiscovery : public QObject {
public:
    static constexpr quint16 kDefaultPort = 32227;

    AlpacaDiscovery(quint16 alpacaPort, QObject* parent = nullptr);

    // Listens on `address` (the service's own: loopback answers loopback only); false with
    // the reason when it cannot.
    bool Listen(const QHostAddress& address, quint16 port, QString* why = nullptr);
    quint16 Port() const;

private:
    void Read();

    quint16 alpacaPort_;
    QUdpSocket* socket_;
};
