// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestBroker.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

TestBroker::TestBroker(QByteArray extraConfig, bool anonymous)
    : port_(FreePort()) {
    QFile config(dir_.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly)) return;
    const passwd* user = ::getpwuid(::getuid());
    // Started as root, the broker would give up its rights to its own account, which cannot
    // read the temporary folder.
    config.write(QStringLiteral("listener %1 127.0.0.1\nuser %2\nlog_dest file %3\n"
                                "log_type all\nallow_anonymous %4\n")
                     .arg(port_)
                     .arg(QString::fromLocal8Bit(user ? user->pw_name : "root"),
                          dir_.filePath(QStringLiteral("mosquitto.log")),
                          anonymous ? QStringLiteral("true") : QStringLiteral("false"))
                     .toUtf8());
    config.write(extraConfig);
}

TestBroker::~TestBroker() {
    Stop();
}

std::uint16_t TestBroker::FreePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool TestBroker::Start() {
    // Its lines go to its log file; nothing of it holds the test's own output open.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start(QStringLiteral("/usr/sbin/mosquitto"),
                   {QStringLiteral("-c"), dir_.filePath(QStringLiteral("mosquitto.conf"))});
    if (!process_.waitForStarted(5000)) return false;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        if (probe.waitForConnected(500)) return true;
        QThread::msleep(50);
    }
    return false;
}

void TestBroker::Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QByteArray TestBroker::Log() const {
    QFile log(dir_.filePath(QStringLiteral("mosquitto.log")));
    return log.open(QIODevice::ReadOnly) ? log.readAll().right(4000) : QByteArray();
}
