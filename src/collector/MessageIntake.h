// SPDX-License-Identifier: GPL-3.0-or-later
// What the collector makes of one message from the broker: a reading, a status, an event or
// a minute summary for the archive's next batch, or a refusal that says which station sent
// what kind of bad input. Nothing a station sends can do more than be refused: a payload too large
// is not read, a topic outside the prefix or with a name that is not allowed is not stored, a stamp
// far from the collector's clock (which would make tables for years that never were) is refused, as
// is any message the shared decoders refuse.
#pragma once

#include "archive/ArchiveBatch.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

struct Refusal {
    QString station; // as the topic names it (cleaned for the journal); may be empty
    QString kind;    // "too large", "not a station's topic", "malformed", "wrong values", "time far
                     // from now"…
    QString why;     // the details, for the journal
};

class MessageIntake {
public:
    // How far a stamp may lie from the collector's clock: a station may send days it kept
    // while the network was away, but not times from another year, nor from the future.
    static constexpr std::int64_t kMaxAgeSeconds = 400 * 86400;
    static constexpr std::int64_t kMaxAheadSeconds = 2 * 86400;

    explicit MessageIntake(QString prefix)
        : prefix_(std::move(prefix)) {}

    // Adds the message to `batch`, received at `now` (UTC seconds); or says why not.
    std::optional<Refusal> Take(const QByteArray& topic, const QByteArray& payload,
                                std::int64_t now, archive::Batch& batch) const;

private:
    QString prefix_;
};
