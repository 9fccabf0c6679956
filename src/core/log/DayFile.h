// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-file reading and writing of one day file of the daily log, and the rule that keeps
// the lines a day file already holds when it is rewritten.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace dayfile {

// No day file comes near this size (a day of lines is about 3.3 MB): a larger file is
// someone else's, and is neither loaded nor replaced.
constexpr qint64 kMaxBytes = qint64(64) << 20;

// One line of a day file's bytes, without its line break.
struct LineSpan {
    qsizetype start;
    qsizetype length;
};

// Calls line(start, length) for each line of the `size` bytes at `data`, in order, without
// its break: CR LF, lone CR and lone LF each end a line, and a last line without a break
// counts as one. Returns whether every break was CR LF. Each byte is looked at a bounded
// number of times: the next CR and the next LF are each found once with memchr.
template <class LineFunction>
bool ForEachLine(const char* data, qsizetype size, LineFunction&& line) {
    const char* const begin = data;
    const char* const end = data + size;
    const auto find = [end](const char* from, char c) {
        const void* found = std::memchr(from, c, std::size_t(end - from));
        return found != nullptr ? static_cast<const char*>(found) : end;
    };
    bool crLfOnly = true;
    const char* nextCr = nullptr;
    const char* nextLf = nullptr;
    for (const char* p = data; p < end;) {
        if (nextCr == nullptr || nextCr < p) nextCr = find(p, '\r');
        if (nextLf == nullptr || nextLf < p) nextLf = find(p, '\n');
        const char* const lineEnd = nextCr < nextLf ? nextCr : nextLf;
        line(qsizetype(p - begin), qsizetype(lineEnd - p));
        p = lineEnd;
        if (p == end) break;
        if (*p == '\r' && p + 1 < end && p[1] == '\n')
            p += 2;
        else {
            crLfOnly = false;
            ++p;
        }
    }
    return crLfOnly;
}

// The lines of `bytes`, as ForEachLine finds them. `crLfOnly`, when given, tells whether
// every break was CR LF.
std::vector<LineSpan> SplitLines(const QByteArray& bytes, bool* crLfOnly = nullptr);

// What reading a day file found.
enum class ReadStatus { Read, Missing, Directory, NotRegular, TooLarge, Failed };
struct ReadOutcome {
    ReadStatus status = ReadStatus::Missing;
    int error = 0;         // the system's error number, for Failed
    struct stat info = {}; // of the file that was read
};

// Reads the whole file into `bytes` without throwing, never past MaxBytes: only a regular
// file is opened (looked at before the open), the open does not wait (a named pipe's
// writer, a device), and what was opened is looked at again before the first byte is read.
// A name that stands for nothing, or whose folder is a file, is Missing.
ReadOutcome ReadRegularFile(const QString& path, QByteArray& bytes);
// Why a file could not be read, in words for the user; empty when it was read or missing.
QString ReasonOf(const ReadOutcome& outcome);

// Reads the whole file into `bytes`. False when there is no such file; throws NocturoError
// "Cannot open file "<path>". <reason>" when it exists but cannot be read, when it is not
// a regular file (a directory, a named pipe, a device, also behind a symbolic link) or when
// it is larger than MaxBytes. A named pipe or a device is never read from: the open does
// not wait, and what was opened is checked before the first byte is read.
bool Read(const QString& path, QByteArray& bytes);

// Replaces the file with `bytes`, atomically and durably: a temporary file in the same
// directory is written, flushed to disk and renamed over it, and the directory entry is
// flushed as well. A symbolic link is followed and the file it leads to is replaced. Throws
// NocturoError "Cannot create file "<path>". <reason>" when the file cannot be created or
// replaced, or when something other than a regular file stands in its place (which is then
// left as it is), "Stream write error" when the bytes cannot all be written; the old file
// is untouched then.
void Write(const QString& path, const QByteArray& bytes);

// The bytes that replace a file holding `held` when the log has `ours` for it: every line
// of `held` that `ours` does not carry (counting repeated lines; of a line held more often
// than carried, the last copies count as the carried ones), in front, each followed by
// CR LF, then `ours` as it stands. Lone CR and lone LF count as line breaks in `held`.
QByteArray Merge(const QByteArray& held, const QByteArray& ours);

// Rewrites the file so that it holds `ours` without losing a line it holds now. Writes
// nothing when that would not change the file, or when `ours` is empty and the file
// exists; creates the file when it does not exist, empty or not. Throws what Read throws
// when the file cannot be read back first, and what Write throws.
void SaveKeepingLines(const QString& path, const QByteArray& ours);

} // namespace dayfile
