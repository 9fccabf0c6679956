// SPDX-License-Identifier: GPL-3.0-or-later
// One connection to the archive's PostgreSQL server, through libpq: opened from a
// connection string ("postgresql://…", "host=… dbname=…", or empty for the PG* environment
// variables), closed when the object goes. Each call says whether it worked; the last error
// is kept as one line for the journal.
#pragma once

#include <QByteArray>
#include <QString>

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
    PgConnection() = default;
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Connects (again); false with Error() saying why.
    bool Open(const QString& connection);
    void Close();
    // Whether the connection is open and the server still there as far as libpq knows.
    bool IsOpen() const;

    // A command or query without parameters; false (and the connection's error) on failure.
    bool Exec(const QString& sql);
    // A query with text parameters ($1, $2, …).
    PgResult Query(const QString& sql, const std::vector<QByteArray>& parameters = {});
    // COPY … FROM STDIN with the text format: `data` holds the rows, one per line.
    bool Copy(const QString& sql, const QByteArray& data);

    QString Error() const { return error_; }
    // The SQLSTATE of the last failed command ("22021"); empty when the server gave none
    // (the connection broke).
    QString SqlState() const { return sqlState_; }

private:
    bool Check(const PgResult& result);

    pg_conn* connection_ = nullptr;
    QString error_;
    QString sqlState_;
};
