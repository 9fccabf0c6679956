// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/PgConnection.h"

#include "core/Failure.h"

#include <libpq-fe.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// libpq's messages end with a line break and may span lines; the journal wants one line.
QString OneLine(const char* text) {
    return QString::fromUtf8(text).simplified();
}

QString Seconds(std::chrono::milliseconds limit) {
    return QString::number(double(limit.count()) / 1000.0, 'g', 3);
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

PgConnection::PgConnection()
    : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PgConnection::~PgConnection() {
    Close();
    if (wake_ >= 0) ::close(wake_);
}

void PgConnection::Interrupt() {
    interrupted_ = true;
    // The eventfd stays readable from now on: this wait and every later one end at once.
    const std::uint64_t one = 1;
    if (wake_ >= 0 && ::write(wake_, &one, sizeof one) < 0) {
        // Already signalled past its counter's limit, or closed: the flag alone is enough.
    }
}

bool PgConnection::Reopen(QString* why) {
    return Open(conninfo_, why);
}

QString PgConnection::Database() const {
    return connection_ ? QString::fromUtf8(PQdb(connection_)) : QString();
}

QString PgConnection::Host() const {
    return connection_ ? QString::fromUtf8(PQhost(connection_)) : QString();
}

bool PgConnection::Open(const QString& connection, QString* why) {
    Close();
    conninfo_ = connection;
    timedOut_ = false;
    if (interrupted_)
        return GiveUp(why, QStringLiteral("the wait for the archive was interrupted"));
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
    // Connecting without blocking, so that its time limit covers a server that accepts the
    // connection and then says nothing, and an interruption ends it.
    connection_ = PQconnectStartParams(keywords, values, 1);
    if (!connection_ || PQstatus(connection_) == CONNECTION_BAD)
        return GiveUp(why, connection_ ? OneLine(PQerrorMessage(connection_))
                                       : QStringLiteral("out of memory"));
    const Deadline deadline = std::chrono::steady_clock::now() + connectLimit_;
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    while (polling != PGRES_POLLING_OK) {
        if (polling == PGRES_POLLING_FAILED)
            return GiveUp(why, OneLine(PQerrorMessage(connection_)));
        if (!Wait(polling == PGRES_POLLING_WRITING ? POLLOUT : POLLIN, deadline, connectLimit_,
                  why))
            return false;
        polling = PQconnectPoll(connection_);
    }
    // Commands are sent and their answers awaited here, each within its time limit.
    PQsetnonblocking(connection_, 1);
    // Notices (a table that already exists, say) are for a terminal, not for the journal.
    PQsetNoticeProcessor(
        connection_, [](void*, const char*) {}, nullptr);
    return true;
}

void PgConnection::Close() {
    if (connection_) PQfinish(connection_);
    connection_ = nullptr;
}

bool PgConnection::IsOpen() const {
    return connection_ && PQstatus(connection_) == CONNECTION_OK;
}

bool PgConnection::GiveUp(QString* why, const QString& reason) {
    sqlState_.clear();
    Close();
    return Fail(why, reason);
}

PgConnection::Deadline PgConnection::AnswerDeadline() const {
    return std::chrono::steady_clock::now() + answerLimit_;
}

short PgConnection::Wait(short events, Deadline deadline, std::chrono::milliseconds limit,
                         QString* why) {
    if (interrupted_)
        return GiveUp(why, QStringLiteral("the wait for the archive was interrupted"));
    const int socket = PQsocket(connection_);
    if (socket < 0) return GiveUp(why, OneLine(PQerrorMessage(connection_)));
    pollfd fds[2] = {{socket, events, 0}, {wake_, POLLIN, 0}};
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            timedOut_ = true;
            return GiveUp(
                why, QStringLiteral("no answer from the server within %1 s").arg(Seconds(limit)));
        }
        const int ready = ::poll(fds, wake_ >= 0 ? 2 : 1, int(std::min<long long>(left, INT_MAX)));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return GiveUp(why, QString::fromLocal8Bit(std::strerror(errno)));
        }
        if (interrupted_ || fds[1].revents != 0)
            return GiveUp(why, QStringLiteral("the wait for the archive was interrupted"));
        // An error or a hang-up on the socket counts as ready: libpq reads what happened.
        if (ready > 0) return fds[0].revents != 0 ? fds[0].revents : events;
    }
}

bool PgConnection::Flush(Deadline deadline, QString* why) {
    while (true) {
        const int left = PQflush(connection_);
        if (left == 0) return true;
        if (left < 0) return false; // the connection's error says why (Check)
        const short ready = Wait(POLLIN | POLLOUT, deadline, answerLimit_, why);
        if (ready == 0) return false;
        // The server may answer while it is still being written to: read what it said.
        if ((ready & POLLIN) != 0 && !PQconsumeInput(connection_)) return false;
    }
}

PgResult PgConnection::Collect(Deadline deadline, QString* why) {
    if (!Flush(deadline, why)) return PgResult();
    PgResult kept;
    while (true) {
        while (PQisBusy(connection_)) {
            if (Wait(POLLIN, deadline, answerLimit_, why) == 0) return PgResult();
            if (!PQconsumeInput(connection_)) return PgResult();
        }
        PgResult next(PQgetResult(connection_));
        if (!next.Get()) break;
        const ExecStatusType status = PQresultStatus(next.Get());
        if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH)
            return next;
        if (!kept.Get() || kept.Ok()) kept = std::move(next);
    }
    return kept;
}

bool PgConnection::Usable(QString* why) {
    timedOut_ = false;
    if (connection_) return true;
    return Fail(why, interrupted_ ? QStringLiteral("the wait for the archive was interrupted")
                                  : QStringLiteral("not connected to the archive"));
}

bool PgConnection::Check(const PgResult& result, QString* why) {
    if (result.Ok()) return true;
    const char* state = result.Get() ? PQresultErrorField(result.Get(), PG_DIAG_SQLSTATE) : nullptr;
    sqlState_ = state ? QString::fromLatin1(state) : QString();
    if (!connection_) return false; // given up: `why` is said already
    QString reason =
        OneLine(result.Get() ? PQresultErrorMessage(result.Get()) : PQerrorMessage(connection_));
    if (reason.isEmpty()) reason = OneLine(PQerrorMessage(connection_));
    return Fail(why, reason);
}

bool PgConnection::Exec(const QString& sql, QString* why) {
    if (!Usable(why)) return false;
    const Deadline deadline = AnswerDeadline();
    if (!PQsendQuery(connection_, sql.toUtf8().constData())) return Check(PgResult(), why);
    return Check(Collect(deadline, why), why);
}

PgResult PgConnection::Query(const QString& sql, const std::vector<QByteArray>& parameters,
                             QString* why) {
    return Ask(sql, parameters, 0, why);
}

PgResult PgConnection::QueryBinary(const QString& sql, const std::vector<QByteArray>& parameters,
                                   QString* why) {
    return Ask(sql, parameters, 1, why);
}

PgResult PgConnection::Ask(const QString& sql, const std::vector<QByteArray>& parameters,
                           int resultFormat, QString* why) {
    if (!Usable(why)) return PgResult();
    const Deadline deadline = AnswerDeadline();
    std::vector<const char*> values;
    values.reserve(parameters.size());
    for (const QByteArray& p : parameters)
        values.push_back(p.isNull() ? nullptr : p.constData());
    if (!PQsendQueryParams(connection_, sql.toUtf8().constData(), int(values.size()), nullptr,
                           values.data(), nullptr, nullptr, resultFormat)) {
        Check(PgResult(), why);
        return PgResult();
    }
    PgResult result = Collect(deadline, why);
    Check(result, why);
    return result;
}

bool PgConnection::Copy(const QString& sql, const QByteArray& data, QString* why) {
    if (!Usable(why)) return false;
    const Deadline deadline = AnswerDeadline();
    if (!PQsendQuery(connection_, sql.toUtf8().constData())) return Check(PgResult(), why);
    PgResult start = Collect(deadline, why);
    if (!connection_) return false;
    if (PQresultStatus(start.Get()) != PGRES_COPY_IN) return Check(start, why);
    // Without blocking, 0 says the data could not be queued yet: send some, then again.
    int put = 0;
    while ((put = PQputCopyData(connection_, data.constData(), int(data.size()))) == 0)
        if (!Flush(deadline, why)) break;
    while (put == 1 && (put = PQputCopyEnd(connection_, nullptr)) == 0)
        if (!Flush(deadline, why)) break;
    if (put != 1) {
        sqlState_.clear();
        // Half a COPY leaves the connection in no state to go on: the next call connects again.
        if (connection_) GiveUp(why, OneLine(PQerrorMessage(connection_)));
        return false;
    }
    return Check(Collect(deadline, why), why);
}
