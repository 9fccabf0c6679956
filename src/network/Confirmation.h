// SPDX-License-Identifier: GPL-3.0-or-later
// What the archive says it holds of a station: the archive's collector publishes, for each
// station that sends readings, at most every few seconds and retained,
//
//   PREFIX-archive/NAME/confirmed   {"time":"2026-12-08T10:00:00Z"}
//
// the UTC second of the newest line up to which the archive holds every line the station
// sent, without a gap (told by each reading's `prev`); {"time":null} while it holds no
// such line. The station keeps its lines for sending until they are confirmed: the
// broker's acknowledgement only tells that the broker took a message, which a broker
// crash, a session that expired or a collector not yet subscribed can still lose. A
// confirmation that goes back (an archive restored from a backup) sends the station back
// as well. The topics are apart from the stations' own, so that a station's account,
// which may write under PREFIX/NAME/, cannot confirm anything.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace confirmation {

// "PREFIX-archive/NAME/confirmed".
QString Topic(const QString& prefix, const QString& station);

// The confirmed second: a value, or none while the archive holds no line without a gap.
using Confirmed = std::optional<std::int64_t>;

QByteArray Encode(const Confirmed& confirmed);
// The confirmation, or nothing for a payload that is not one.
std::optional<Confirmed> Decode(const QByteArray& payload);

} // namespace confirmation
