// SPDX-License-Identifier: GPL-3.0-or-later
// Writes batches into the archive, each in one transaction: readings by COPY into a
// temporary table and from there into `readings` with ON CONFLICT DO NOTHING (a line sent
// twice is stored once), the stations' first and last reading, their last status and last
// event, and the events (an event sent twice is stored once too). A batch either is
// committed whole or not at all, so the caller may send it again as it is.
#pragma once

#include "ArchiveBatch.h"
#include "ArchiveSchema.h"

#include <QString>

#include <set>

class PgConnection;

class ArchiveWriter {
public:
    explicit ArchiveWriter(PgConnection& connection)
        : connection_(connection) {}

    // True once the batch is committed; false with Error() when it is not (the
    // connection may then be broken: the caller opens it again and calls Forget()).
    bool Write(const archive::Batch& batch);
    QString Error() const { return error_; }

    // After the connection was opened again: its temporary tables are gone.
    void Forget();

    // The table rows of COPY's text format, exposed for tests.
    static QByteArray CopyRows(const std::vector<archive::Reading>& readings);
    static QByteArray CopyRows(const std::vector<archive::Event>& events);

private:
    bool Prepare();
    bool EnsureMonths(const std::vector<archive::Reading>& readings);
    bool WriteReadings(const std::vector<archive::Reading>& readings);
    bool WriteStatuses(const std::vector<archive::Status>& statuses);
    bool WriteEvents(const std::vector<archive::Event>& events);
    bool Fail();

    PgConnection& connection_;
    bool prepared_ = false;
    std::set<archiveschema::Month> months_; // partitions known to be there
    QString error_;
};
