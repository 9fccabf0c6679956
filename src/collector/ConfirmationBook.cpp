// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/ConfirmationBook.h"

#include "archive/PgConnection.h"

bool ConfirmationBook::Load(PgConnection& connection, QString* why) {
    const PgResult result = connection.Query(
        QStringLiteral("SELECT name, extract(epoch FROM confirmed)::bigint FROM stations"), {},
        why);
    if (!result.Ok()) return false;
    QHash<QString, Entry> loaded;
    for (int row = 0; row < result.Rows(); ++row) {
        Entry entry;
        if (!result.IsNull(row, 1)) entry.confirmed = result.Text(row, 1).toLongLong();
        entry.due = true;
        // Published again at once, whatever was published before.
        loaded.insert(result.Text(row, 0), entry);
    }
    entries_ = std::move(loaded);
    return true;
}

void ConfirmationBook::Advance(const std::vector<archive::Reading>& readings) {
    for (const archive::Reading& r : readings) {
        Entry& entry = entries_[r.station];
        entry.due = true;
        Confirmed& c = entry.confirmed;
        const Confirmed before = c;
        if (!r.prev && !r.first) {
            if (!c || r.utc > *c) c = r.utc;
        } else if (r.first) {
            if (!c) c = r.utc;
        } else if (c && *r.prev <= *c && r.utc > *c) {
            c = r.utc;
        }
        if (c != before) entry.unstored = true;
    }
}

bool ConfirmationBook::Store(PgConnection& connection) {
    QByteArray names = "{";
    QByteArray seconds = "{";
    std::vector<Entry*> stored;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (!it->unstored || !it->confirmed) continue;
        if (!stored.empty()) {
            names += ',';
            seconds += ',';
        }
        // Station names are letters, digits, '_' and '-': nothing to escape in quotes.
        names += '"' + it.key().toUtf8() + '"';
        seconds += QByteArray::number(qlonglong(*it->confirmed));
        stored.push_back(&*it);
    }
    if (stored.empty()) return true;
    const PgResult result = connection.Query(
        QStringLiteral("UPDATE stations SET confirmed = to_timestamp(v.c) FROM "
                       "unnest($1::text[], $2::bigint[]) AS v(n, c) WHERE name = v.n"),
        {names + '}', seconds + '}'});
    if (!result.Ok()) return false;
    for (Entry* entry : stored)
        entry->unstored = false;
    return true;
}

std::vector<std::pair<QString, ConfirmationBook::Confirmed>>
ConfirmationBook::Due(std::int64_t nowMs, std::int64_t everyMs) {
    std::vector<std::pair<QString, Confirmed>> due;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        // The readings are committed; a confirmation not stored yet is only told early.
        if (!it->due) continue;
        if (it->everPublished && nowMs - it->publishedMs < everyMs) continue;
        it->due = false;
        it->everPublished = true;
        it->publishedMs = nowMs;
        due.emplace_back(it.key(), it->confirmed);
    }
    return due;
}

void ConfirmationBook::Again(const QString& station) {
    auto it = entries_.find(station);
    if (it != entries_.end()) {
        it->due = true;
        it->everPublished = false;
    }
}
