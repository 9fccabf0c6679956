// SPDX-License-Identifier: GPL-3.0-or-later
// Reading day files back: the daily log's lines as any regional settings wrote them.
//
// A log line is "yyyy-mm-dd hh<sep>nn<sep>ss", then at least one space and the temperature
// with one decimal ('.' or ','), at least one space and the mean count, at least one space
// and the range. <sep> is whatever text stands between the hour and the minute (the time
// separator of the settings in force), the same again between minute and second. Fields
// may be wider than the log makes them; spaces may end the line. Values the log cannot
// write (a mean beyond 32 bits, a temperature beyond ±3276.7 °C, a range outside the
// sensor's byte, 0 to 255) make a line that is not a log line.
//
// CR LF, lone CR and lone LF all end a line; the last line needs no break. Blank lines are
// passed over. Any other line that is not a log line (garbage, binary, longer than
// kMaxLineLength) is skipped and counted. Reading is linear in the input and never looks
// outside it, whatever it holds.
#pragma once

#include "core/log/DayFile.h"
#include "core/log/DayRecord.h"

#include <QString>

#include <cstdint>
#include <string_view>
#include <sys/types.h>
#include <vector>

// What one day file holds.
struct DayFileContents {
    std::vector<DayRecord> records;    // the log lines, in the order of the file
    std::int64_t lines = 0;            // lines in the file, blank ones included
    std::int64_t skipped = 0;          // lines that are not log lines
    std::int64_t firstSkippedLine = 0; // line number (from 1) of the first of them; 0: none
};

// Identifies one version of a file on disk: a rewrite (new inode, size or time) changes it.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

namespace dayreader {

// A log line is never near this long; anything longer is garbage.
constexpr std::size_t kMaxLineLength = 256;
// Larger files are refused, as the daily log refuses them: a full day is about 3 MiB.
constexpr std::int64_t kMaxFileSize = dayfile::kMaxBytes;

// One line, without its line break. False (and `record` unspecified) for anything that is
// not a log line.
bool ParseLine(std::string_view line, DayRecord& record);

// The whole text of a day file, in memory: the entry point for any byte source.
DayFileContents Parse(std::string_view bytes);

enum class FileStatus { Read, Missing, NotRegular, TooLarge, Unreadable };

struct FileResult {
    FileStatus status = FileStatus::Missing;
    QString problem; // why the file was not read, for the user; empty when it was
    FileStamp stamp; // of the file as it was read
    DayFileContents contents;
};

// Reads and parses a file, read as the daily log reads it (dayfile::ReadRegularFile): only
// a regular file of at most kMaxFileSize, never waiting for a FIFO or a device. Never
// throws.
FileResult ReadFile(const QString& path);

// The stamp of the file at `path` now; size -1 when there is none.
FileStamp StampOf(const QString& path);
// The stamp of a file the system described.
FileStamp StampOf(const struct stat& info);

} // namespace dayreader
