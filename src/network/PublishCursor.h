// SPDX-License-Identifier: GPL-3.0-or-later
// Where publishing stands: the last line of the day files that the broker acknowledged,
// kept in a small file beside them ("publish-cursor"), so that a restart or a reboot goes
// on after it. The file is replaced atomically (a temporary file renamed over it): it is
// always the old cursor or the new one, whole. A line may then be sent twice, never not at
// all.
//
//     20261208.txt 4711 1765188000
//     2026-12-08 11:00:00  21.5    4936 3
//
// The day file, the line's place among that file's log lines (from 0), its UTC second;
// then the line itself as the file holds it, to find it again should the file have been
// rewritten with lines in front of it.
#pragma once

#include "core/log/DayRecord.h"

#include <QString>

#include <cstdint>
#include <optional>

// One log line of a day file, as publishing sees it.
struct FileLine {
    QString file;            // "yyyymmdd.txt"
    std::int64_t index = -1; // its place among the file's log lines, from 0
    DayRecord record;
    bool operator==(const FileLine&) const = default;
};

struct PublishCursor {
    FileLine line;
    std::int64_t utc = 0;
    bool operator==(const PublishCursor&) const = default;
};

namespace publishcursor {

inline constexpr char kFileName[] = "publish-cursor";

// The cursor in `directory`; nothing when there is none or it cannot be read (`why` then
// says why, empty for a missing file): publishing begins anew then.
std::optional<PublishCursor> Load(const QString& directory, QString* why = nullptr);
// Replaces the cursor file; false with `why` when it cannot be written.
bool Save(const QString& directory, const PublishCursor& cursor, QString* why = nullptr);

// The cursor's text, and back.
QByteArray Text(const PublishCursor& cursor);
std::optional<PublishCursor> Parse(const QByteArray& text);

} // namespace publishcursor
