// SPDX-License-Identifier: GPL-3.0-or-later
// A PostgreSQL server of a test's own: a new cluster in a temporary folder, listening on
// a Unix socket in that folder only (no TCP port), ended and removed with the object.
// PostgreSQL refuses to run as root, so under root (as CI runs) the server runs as the
// unprivileged user "nobody", which then owns the folder.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

namespace testsupport {

class PostgresServer {
public:
    PostgresServer() {
        if (!dir_.isValid()) {
            error_ = QStringLiteral("no temporary folder");
            return;
        }
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(QFile::encodeName(dir_.path()).constData(), nobody->pw_uid,
                                   nobody->pw_gid) != 0) {
                error_ = QStringLiteral("cannot hand the folder to nobody");
                return;
            }
        }
        if (!Run(Bin(QStringLiteral("initdb")),
                 {QStringLiteral("-D"), DataDir(), QStringLiteral("-U"), QStringLiteral("postgres"),
                  QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("--no-sync"),
                  QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C")}))
            return;
        Start();
    }
    ~PostgresServer() { Stop(); }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool Ok() const { return error_.isEmpty(); }
    const QString& Error() const { return error_; }
    // The folder holding the socket.
    QString SocketDir() const { return dir_.path(); }
    // A libpq address of a database of this server.
    QString Url(const QString& database = QStringLiteral("postgres")) const {
        return QStringLiteral("postgresql:///%1?host=%2&user=postgres").arg(database, SocketDir());
    }

    bool Start() {
        if (!Run(Bin(QStringLiteral("pg_ctl")),
                 {QStringLiteral("-D"), DataDir(), QStringLiteral("-l"),
                  dir_.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-t"),
                  QStringLiteral("60"), QStringLiteral("-o"),
                  QStringLiteral("-k %1 -c listen_addresses= -c fsync=off").arg(SocketDir()),
                  QStringLiteral("start")}))
            return false;
        running_ = true;
        return true;
    }
    // A fast stop: sessions are ended, what was committed stays.
    bool Stop() {
        if (!running_) return true;
        running_ = false;
        return Run(Bin(QStringLiteral("pg_ctl")),
                   {QStringLiteral("-D"), DataDir(), QStringLiteral("-m"), QStringLiteral("fast"),
                    QStringLiteral("-w"), QStringLiteral("stop")});
    }
    bool Restart() { return Stop() && Start(); }

    // Runs SQL through psql, stopping at the first error; the error is kept in Error().
    bool Sql(const QString& sql, const QString& database = QStringLiteral("postgres")) {
        QProcess psql;
        psql.start(QStringLiteral("psql"),
                   {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                    QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), Url(database)});
        psql.write(sql.toUtf8());
        psql.closeWriteChannel();
        if (!psql.waitForFinished(120000) || psql.exitCode() != 0) {
            error_ = QString::fromLocal8Bit(psql.readAllStandardError());
            return false;
        }
        return true;
    }

private:
    QString DataDir() const { return dir_.filePath(QStringLiteral("data")); }
    static QString Bin(const QString& name) {
        for (const char* version : {"17", "16", "15", "14", "13"}) {
            const QString path =
                QStringLiteral("/usr/lib/postgresql/%1/bin/%2").arg(QLatin1String(version), name);
            if (QFile::exists(path)) return path;
        }
        return QStandardPaths::findExecutable(name);
    }
    bool Run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(dir_.path());
        if (::geteuid() == 0)
            process.start(QStringLiteral("setpriv"),
                          QStringList{QStringLiteral("--reuid=nobody"),
                                      QStringLiteral("--regid=nogroup"),
                                      QStringLiteral("--clear-groups"), program} +
                              arguments);
        else
            process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            error_ = program + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAll());
            return false;
        }
        return true;
    }

    QTemporaryDir dir_;
    QString error_;
    bool running_ = false;
};

} // namespace testsupport
