// SPDX-License-Identifier: GPL-3.0-or-later
#include "PgConnection.h"

#include <libpq-fe.h>

namespace {

// libpq's messages end with a line break and may span lines; the journal wants one line.
QString OneLine(const char* text) {
    return QString::fromUtf8(text).simplified();
}

} // namespace

void PgResult::Free(pg_result* result) {
    if (result) PQclear(result);
}

bool PgResult::Ok() const {
    if (!result_) return false;
    const ExecStatusType status = PQresultStatus(result_.get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

int PgResult::Rows() const {
    return result_ ? PQntuples(result_.get()) : 0;
}

QString PgResult::Text(int row, int column) const {
    return QString::fromUtf8(PQgetvalue(result_.get(), row, column));
}

bool PgResult::IsNull(int row, int column) const {
    return PQgetisnull(result_.get(), row, column) != 0;
}

PgConnection::~PgConnection() {
    Close();
}

bool PgConnection::Open(const QString& connection) {
    Close();
    // A server that stops answering must not hold the program up for long (its watchdog
    // would end it): limits on connecting and on an unanswered connection, which the
    // connection string may set otherwise (its settings come after these, and win).
    const QByteArray conninfo = connection.toUtf8();
    const char* const keywords[] = {
        "connect_timeout",  "keepalives_idle", "keepalives_interval", "keepalives_count",
        "tcp_user_timeout", "dbname",          "client_encoding",     nullptr};
    // The texts go as UTF-8 whatever the connection string or the environment say (after
    // the connection string, so this one wins).
    const char* const values[] = {"10",   "20",   "5", "3", "30000", conninfo.constData(),
                                  "UTF8", nullptr};
    connection_ = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(connection_) != CONNECTION_OK) {
        error_ = OneLine(PQerrorMessage(connection_));
        Close();
        return false;
    }
    // Notices (a table that already exists, say) are for a terminal, not for the journal.
    PQsetNoticeProcessor(
        connection_, [](void*, const char*) {}, nullptr);
    error_.clear();
    return true;
}

void PgConnection::Close() {
    if (connection_) PQfinish(connection_);
    connection_ = nullptr;
}

bool PgConnection::IsOpen() const {
    return connection_ && PQstatus(connection_) == CONNECTION_OK;
}

bool PgConnection::Check(const PgResult& result) {
    if (result.Ok()) return true;
    const char* state = result.Get() ? PQresultErrorField(result.Get(), PG_DIAG_SQLSTATE) : nullptr;
    sqlState_ = state ? QString::fromLatin1(state) : QString();
    error_ = connection_ ? OneLine(result.Get() ? PQresultErrorMessage(result.Get())
                                                : PQerrorMessage(connection_))
                         : QStringLiteral("not connected to the archive");
    if (error_.isEmpty() && connection_) error_ = OneLine(PQerrorMessage(connection_));
    return false;
}

bool PgConnection::Exec(const QString& sql) {
    if (!connection_) return Check(PgResult());
    return Check(PgResult(PQexec(connection_, sql.toUtf8().constData())));
}

PgResult PgConnection::Query(const QString& sql, const std::vector<QByteArray>& parameters) {
    if (!connection_) {
        Check(PgResult());
        return PgResult();
    }
    std::vector<const char*> values;
    values.reserve(parameters.size());
    for (const QByteArray& p : parameters)
        values.push_back(p.isNull() ? nullptr : p.constData());
    PgResult result(PQexecParams(connection_, sql.toUtf8().constData(), int(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0));
    Check(result);
    return result;
}

bool PgConnection::Copy(const QString& sql, const QByteArray& data) {
    if (!connection_) return Check(PgResult());
    PgResult start(PQexec(connection_, sql.toUtf8().constData()));
    if (PQresultStatus(start.Get()) != PGRES_COPY_IN) return Check(start);
    if (PQputCopyData(connection_, data.constData(), int(data.size())) != 1 ||
        PQputCopyEnd(connection_, nullptr) != 1) {
        error_ = OneLine(PQerrorMessage(connection_));
        sqlState_.clear();
        // The COPY's own result still has to be read before the next command.
        while (PgResult(PQgetResult(connection_)).Get()) {
        }
        return false;
    }
    bool ok = true;
    while (true) {
        PgResult result(PQgetResult(connection_));
        if (!result.Get()) break;
        if (ok && !Check(result)) ok = false;
    }
    return ok;
}
