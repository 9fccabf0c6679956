// SPDX-License-Identifier: GPL-3.0-or-later
// A day file boiled down to its minutes: for each minute its lines are stamped with, how
// many lines and failed seconds it holds and the median of the mean counts of the seconds
// that did not fail. A year of nights is drawn from these summaries, never from the lines.
//
// A summary is a few tens of kilobytes for a full day (1440 minutes), so a year of them
// fits easily in memory and on disk in the cache (MinuteCache).
#pragma once

#include "core/log/DayFileReader.h"
#include "core/log/DayRecord.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Minutes since 1970-01-01 00:00 of the wall clock, as WallSeconds counts seconds.
using WallMinute = std::int64_t;

inline WallMinute MinuteOf(WallSeconds t) {
    return t >= 0 ? t / 60 : -((-t - 1) / 60) - 1;
}

struct MinuteEntry {
    WallMinute minute = 0;
    std::uint16_t lines = 0;  // lines stamped within the minute (at most 65535 are counted)
    std::uint16_t failed = 0; // of them, failed seconds
    double median = NAN;      // of the mean counts of the seconds that did not fail; NaN: none
    bool operator==(const MinuteEntry& other) const {
        return minute == other.minute && lines == other.lines && failed == other.failed &&
               (median == other.median || (std::isnan(median) && std::isnan(other.median)));
    }
};

struct MinuteSummary {
    std::vector<MinuteEntry> minutes; // in order of minutes, each minute once
    std::int64_t lines = 0;           // log lines in the file
    std::int64_t skipped = 0;         // lines that are not log lines
    bool operator==(const MinuteSummary&) const = default;
};

namespace minutes {

// The summary of a day file's lines, in any order.
MinuteSummary Summarise(const DayFileContents& contents);

struct FileSummary {
    dayreader::FileStatus status = dayreader::FileStatus::Missing;
    QString problem; // why the file was not read; empty when it was
    FileStamp stamp; // of the file as it was read
    MinuteSummary summary;
    bool fromCache = false; // taken from the cache rather than read
};

// Reads a day file (as the viewer's reader does: a regular file of bounded size, never
// waiting on a pipe) and summarises it.
FileSummary SummariseFile(const QString& path);

// The summary as bytes, and back. Decode refuses (nullopt) anything that Encode did not
// make: a wrong length, minutes out of order, more failed than lines, a median where all
// failed, or none where some did not.
QByteArray Encode(const MinuteSummary& summary);
std::optional<MinuteSummary> Decode(std::string_view bytes);

} // namespace minutes
