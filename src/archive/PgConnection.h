// SPDX-License-Identifier: GPL-3.0-or-later
// One connection to the archive's PostgreSQL server, through libpq: opened from a
// connection string ("postgresql://…", "host=… dbname=…", or empty for the PG* environment
// variables), closed when the object goes. Each call says whether it worked, and why not
// in one line for the journal when the caller asks (a last `QString* why`).
//
// A server may accept a connection and then never answer (a machine frozen, a stopped
// process, a firewall that swallows packets): connecting and every command are given up
// after their time limits, and the connection is closed, so no caller waits for ever.
// Another thread may end a wait at once with Interrupt(), for a program that shuts down.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

struct pg_conn;
struct pg_result;

// A query's result, freed when it goes.
class PgResult {
public:
    PgResult() = default;
    explicit PgResult(pg_result* result)
        : result_(result, &Free) {}

    bool Ok() const; // a command or a query that succeeded
    int Rows() const;
    // The text of a field; empty for NULL.
    QString Text(int row, int column) const;
    bool IsNull(int row, int column) const;
    pg_result* Get() const { return result_.get(); }

private:
    static void Free(pg_result* result);
    std::unique_ptr<pg_result, void (*)(pg_result*)> result_{nullptr, &Free};
};

class PgConnection {
public:
    PgConnection();
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // How long connecting may take, and how long a command may wait for its answer.
    static constexpr std::chrono::seconds kConnectLimit{10};
    static constexpr std::chrono::seconds kAnswerLimit{30};

    // Connects (again); false with `why` when it cannot.
    bool Open(const QString& connection, QString* why = nullptr);
    // Connects again with the connection string of the last Open.
    bool Reopen(QString* why = nullptr);
    void Close();
    void SetConnectLimit(std::chrono::milliseconds limit) { connectLimit_ = limit; }
    void SetAnswerLimit(std::chrono::milliseconds limit) { answerLimit_ = limit; }
    // Ends a wait for the server now and makes every later call fail at once; any thread
    // may call it, while another one waits in a call.
    void Interrupt();
    bool Interrupted() const { return interrupted_; }
    // Whether the last call failed because the server did not answer within its limit
    // (the connection is closed then).
    bool TimedOut() const { return timedOut_; }
    // The database and the host (or the socket's folder) of the open connection.
    QString Database() const;
    QString Host() const;
    // Whether the connection is open and the server still there as far as libpq knows.
    bool IsOpen() const;

    // A command or query without parameters; false with `why` on failure.
    bool Exec(const QString& sql, QString* why = nullptr);
    // A query with text parameters ($1, $2, …); a result that is not Ok() on failure, with
    // `why`.
    PgResult Query(const QString& sql, const std::vector<QByteArray>& parameters = {},
                   QString* why = nullptr);
    // The same with the columns in the server's binary format (network byte order): for
    // many rows of numbers, which then cost neither side a conversion to text and back.
    PgResult QueryBinary(const QString& sql, const std::vector<QByteArray>& parameters,
                         QString* why = nullptr);
    // COPY … FROM STDIN with the text format: `data` holds the rows, one per line.
    bool Copy(const QString& sql, const QByteArray& data, QString* why = nullptr);

    // The SQLSTATE of the last failed command ("22021"); empty when the server gave none
    // (the connection broke). A kind of failure the caller may act on, not a reason: the
    // reason came through the call's `why`.
    QString SqlState() const { return sqlState_; }

private:
    using Deadline = std::chrono::steady_clock::time_point;

    bool Check(const PgResult& result, QString* why);
    // A query with text parameters, its results as text (0) or binary (1).
    PgResult Ask(const QString& sql, const std::vector<QByteArray>& parameters, int resultFormat,
                 QString* why);
    // Whether a command can be sent; else false with `why`.
    bool Usable(QString* why);
    // Waits until the connection's socket can be read (or written) or the deadline passes;
    // when it passed or was interrupted, closes the connection and gives 0 with `why`.
    // Returns the events that came.
    short Wait(short events, Deadline deadline, std::chrono::milliseconds limit, QString* why);
    bool Flush(Deadline deadline, QString* why);
    // The result of the command sent: its first error, else its last result.
    PgResult Collect(Deadline deadline, QString* why);
    // Closes the connection; false with `reason` in `why`.
    bool GiveUp(QString* why, const QString& reason);
    Deadline AnswerDeadline() const;

    pg_conn* connection_ = nullptr;
    QString conninfo_;
    std::chrono::milliseconds connectLimit_ = kConnectLimit;
    std::chrono::milliseconds answerLimit_ = kAnswerLimit;
    bool timedOut_ = false;
    std::atomic<bool> interrupted_ = false;
    int wake_ = -1; // an eventfd that Interrupt() makes readable
    QString sqlState_;
};
