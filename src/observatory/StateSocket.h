// SPDX-License-Identifier: GPL-3.0-or-later
// StateSocket: the live station on a local (Unix) socket for programs of the same machine
// (the INDI driver): one JSON object a line, the current state to each newcomer at once and
// after every change (each second while readings come, and on a link change). It only
// writes; what a client sends is read and dropped. A client that does not keep up is let
// go rather than held in memory.
//
//   {"station":"roof","link":"up","hint":"","readings":42,"time":"2026-12-09T01:02:03.456Z",
//    "count":4936,"range":3,"temperature":21.5,"magnitude":19.2,"condition":"clear",
//    "safe":true,"why":""}
//
// "time", "temperature", "magnitude" and "condition" are null while not known.
#pragma once

#include "observatory/LiveStation.h"

#include <QObject>

class QLocalServer;
class QLocalSocket;

// The state as one line, with its newline.
QByteArray StateLine(const LiveState& state, bool safe, const QString& why);

class StateSocket : public QObject {
public:
    static constexpr qint64 kMaxBacklog = 256 * 1024; // bytes not yet taken by a client

    StateSocket(LiveStation& live, QObject* parent = nullptr);
    ~StateSocket() override;

    // Listens at `path` (a socket left by an earlier run is replaced); false with the
    // reason when it cannot.
    bool Listen(const QString& path, QString* why = nullptr);

private:
    void Accept();
    void Send(const QByteArray& line);
    QByteArray Line() const;

    LiveStation& live_;
    QLocalServer* server_;
    QList<QLocalSocket*> clients_;
};
