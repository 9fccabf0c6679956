// SPDX-License-Identifier: GPL-3.0-or-later
// ConfirmationBook: per station, the newest line up to which the archive holds every line
// the station sent (see Confirmation.h), kept in the archive's `stations.confirmed` so that
// an archive restored from a backup confirms what the backup holds, and no more.
//
// A committed reading moves its station's confirmation when it follows on without a gap:
// its `prev` is at or before the confirmed second and its own second after it; a station's
// first line (prev null) starts a station the archive does not know yet. A reading whose
// station does not say `prev` is taken at the broker's word (the newest second stored).
// Any other reading is stored all the same but leaves the confirmation where it is: the
// station, seeing it stand still, sends again what follows it.
//
// Confirmations are published per station at most every `every` milliseconds, and only for
// stations that sent readings since the last one (or all, once the archive is read again),
// so that an idle station costs the broker nothing.
#pragma once

#include "archive/ArchiveBatch.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class PgConnection;

class ConfirmationBook {
public:
    using Confirmed = std::optional<std::int64_t>;

    // Reads every station's confirmation from the archive, forgetting what was not stored
    // yet (the archive may have been restored); each is due for publishing.
    bool Load(PgConnection& connection, QString* why);
    // The committed readings, in the order received.
    void Advance(const std::vector<archive::Reading>& readings);
    // Writes the confirmations that moved since the last Store().
    bool Store(PgConnection& connection);
    // The stations whose confirmation is due at `nowMs`, taken as published.
    std::vector<std::pair<QString, Confirmed>> Due(std::int64_t nowMs, std::int64_t everyMs);
    // A confirmation that could not be published goes again at the next Due().
    void Again(const QString& station);

    Confirmed Of(const QString& station) const { return entries_.value(station).confirmed; }

private:
    struct Entry {
        Confirmed confirmed;
        bool unstored = false;
        bool due = false;
        std::int64_t publishedMs = 0;
        bool everPublished = false;
    };
    QHash<QString, Entry> entries_;
};
