// SPDX-License-Identifier: GPL-3.0-or-later
// A Mosquitto broker of a test's own (C++ side; tests/support/mqtt_broker.py is the same for
// the Python tests): on a free port of 127.0.0.1, with a configuration written into a
// temporary folder (anonymous by default; `extraConfig` adds lines: password_file,
// acl_file, persistence...). It can be stopped and started again on the same port, and is
// ended with the test.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>

class TestBroker {
public:
    // `anonymous`: clients without an account may connect.
    explicit TestBroker(QByteArray extraConfig = {}, bool anonymous = true);
    ~TestBroker();

    // Starts the broker and waits (bounded) until it takes connections.
    bool Start();
    void Stop();

    std::uint16_t Port() const { return port_; }
    QString Url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port_); }
    QString Folder() const { return dir_.path(); }
    // The broker's log, for a failure's message.
    QByteArray Log() const;

    // A TCP port of 127.0.0.1 that nothing listens on now.
    static std::uint16_t FreePort();

private:
    QTemporaryDir dir_;
    std::uint16_t port_;
    QProcess process_;
};
