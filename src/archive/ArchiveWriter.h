// SPDX-License-Identifier: GPL-3.0-or-later
// Writes batches into the archive, each in one transaction: readings by COPY into a
// temporary table and from there into `readings` with ON CONFLICT DO NOTHING (a line sent
// twice is stored once), the stations' first and last reading, their last status and last
// event, and the events (an event sent twice is stored once too); the minutes the readings
// fall in are summed up again from the seconds stored (median count, good seconds), and
// the stations' minute messages add their magnitude and condition. A batch either is
// committed whole or not at all, so the caller may send it again as it is.
//
// A batch the server refuses for its data (SQLSTATE class 22 or 23: a text it cannot hold, a
// value a constraint refuses) is split in halves, and the halves again, until the messages
// it cannot take are found: those are left out and listed in Refused(), the rest committed.
// One bad message among thousands costs a few dozen transactions, and never holds back the
// others.
#pragma once

#include "archive/ArchiveBatch.h"
#include "archive/ArchiveSchema.h"

#include <QString>

#include <set>
#include <vector>

class PgConnection;

class ArchiveWriter {
public:
    explicit ArchiveWriter(PgConnection& connection)
        : connection_(connection) {}

    // A message of the last batch the archive refused, and why.
    struct Refusal {
        QString station;
        QString kind; // "reading", "status", "event" or "minute"
        QString why;
    };

    // True once the batch is committed (but for the messages in Refused()); false with
    // `why` when it is not (the connection may then be broken: the caller opens it again
    // and calls Forget()). Parts of the batch may then be committed already: writing
    // them again is harmless.
    bool Write(const archive::Batch& batch, QString* why = nullptr);
    const std::vector<Refusal>& Refused() const { return refused_; }

    // After the connection was opened again: its temporary tables are gone.
    void Forget();

    // The table rows of COPY's text format, exposed for tests.
    static QByteArray CopyRows(const std::vector<archive::Reading>& readings);
    static QByteArray CopyRows(const std::vector<archive::Event>& events);

private:
    bool WriteWhole(const archive::Batch& batch, QString* why);
    // `refusal`: why the server refused the batch as a whole.
    bool WriteSplit(const archive::Batch& batch, const QString& refusal, QString* why);
    bool Prepare(QString* why);
    bool EnsureMonths(const std::vector<archive::Reading>& readings, QString* why);
    bool WriteReadings(const std::vector<archive::Reading>& readings, QString* why);
    bool WriteStatuses(const std::vector<archive::Status>& statuses, QString* why);
    bool WriteEvents(const std::vector<archive::Event>& events, QString* why);
    bool WriteMinutes(const std::vector<archive::Minute>& minutes, QString* why);
    bool SumMinutes(const std::vector<archive::Reading>& readings, QString* why);
    // Rolls the transaction back and tells whether the server refused the data; false.
    bool GiveUp();

    PgConnection& connection_;
    bool prepared_ = false;
    std::set<archiveschema::Month> months_; // partitions known to be there
    bool dataError_ = false;                // the last failure was the server's refusal of the data
    std::vector<Refusal> refused_;
};
