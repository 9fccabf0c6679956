// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/DayFileReader.h"

#include "core/log/DayFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace dayreader {
namespace {

// Separators between the time's fields are at most this long (a multi-byte character, or
// a few letters as some regional settings have).
constexpr std::size_t kMaxSeparatorLength = 8;

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads `count` digits at `p`; false when any is not a digit.
inline bool Digits(const char* p, int count, int& value) {
    int v = 0;
    for (int i = 0; i < count; ++i) {
        if (!IsDigit(p[i])) return false;
        v = v * 10 + (p[i] - '0');
    }
    value = v;
    return true;
}

// A run of digits of at most `maxDigits`, optionally after a minus sign.
inline bool Integer(const char*& p, const char* end, int maxDigits, std::int64_t& value) {
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    const char* first = p;
    std::int64_t v = 0;
    while (p < end && IsDigit(*p)) {
        if (p - first == maxDigits) return false;
        v = v * 10 + (*p - '0');
        ++p;
    }
    if (p == first) return false;
    value = negative ? -v : v;
    return true;
}

// At least one space.
inline bool Spaces(const char*& p, const char* end) {
    if (p == end || *p != ' ') return false;
    while (p < end && *p == ' ')
        ++p;
    return true;
}

bool IsBlank(std::string_view line) {
    for (char c : line)
        if (c != ' ' && c != '\t') return false;
    return true;
}

QString Quoted(const QString& path) {
    return QStringLiteral("\"%1\"").arg(path);
}

QString TooLargeProblem(const QString& path) {
    return QStringLiteral("%1 is larger than 64 MiB and was not read").arg(Quoted(path));
}

} // namespace

bool ParseLine(std::string_view line, DayRecord& record) {
    // The shortest line: "yyyy-mm-dd hhnnss 0.0 0 0" with an empty separator.
    if (line.size() < 25 || line.size() > kMaxLineLength) return false;
    const char* p = line.data();
    const char* const end = p + line.size();

    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(p, 4, year) || p[4] != '-' || !Digits(p + 5, 2, month) || p[7] != '-' ||
        !Digits(p + 8, 2, day) || p[10] != ' ' || !Digits(p + 11, 2, hour))
        return false;
    p += 13;
    const char* const separator = p;
    while (p < end && !IsDigit(*p) && std::size_t(p - separator) < kMaxSeparatorLength)
        ++p;
    const std::size_t separatorLength = std::size_t(p - separator);
    // Minute, separator, second: 4 digits and the separator, all before the end.
    if (std::size_t(end - p) < 4 + separatorLength || !Digits(p, 2, minute)) return false;
    p += 2;
    if (std::memcmp(p, separator, separatorLength) != 0) return false;
    p += separatorLength;
    if (!Digits(p, 2, second)) return false;
    p += 2;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;

    std::int64_t whole = 0, mean = 0, range = 0;
    if (!Spaces(p, end)) return false;
    const bool negative = p < end && *p == '-';
    if (!Integer(p, end, 5, whole) || p + 2 > end || (*p != '.' && *p != ',') || !IsDigit(p[1]))
        return false;
    const std::int64_t tenths = whole * 10 + (negative ? -(p[1] - '0') : p[1] - '0');
    p += 2;
    if (!Spaces(p, end) || !Integer(p, end, 11, mean)) return false;
    if (!Spaces(p, end) || !Integer(p, end, 6, range)) return false;
    while (p < end && *p == ' ')
        ++p;
    if (p != end) return false;
    if (tenths < INT16_MIN || tenths > INT16_MAX || mean < INT32_MIN || mean > INT32_MAX ||
        range < 0 || range > UINT8_MAX)
        return false;

    record.time = StartOfDay(DaysFromCivil(year, month, day)) + hour * 3600 + minute * 60 + second;
    record.temperatureTenths = std::int16_t(tenths);
    record.mean = std::int32_t(mean);
    record.range = std::int16_t(range);
    return true;
}

DayFileContents Parse(std::string_view bytes) {
    DayFileContents contents;
    contents.records.reserve(bytes.size() / 36 + 1);
    dayfile::ForEachLine(
        bytes.data(), qsizetype(bytes.size()), [&](qsizetype start, qsizetype length) {
            const std::string_view line = bytes.substr(std::size_t(start), std::size_t(length));
            ++contents.lines;
            DayRecord record;
            if (ParseLine(line, record)) {
                contents.records.push_back(record);
            } else if (!IsBlank(line)) {
                if (contents.skipped++ == 0) contents.firstSkippedLine = contents.lines;
            }
        });
    return contents;
}

FileResult ReadFile(const QString& path) {
    FileResult result;
    QByteArray bytes;
    const dayfile::ReadOutcome read = dayfile::ReadRegularFile(path, bytes);
    switch (read.status) {
    case dayfile::ReadStatus::Read:
        result.status = FileStatus::Read;
        result.stamp = StampOf(read.info);
        result.contents = Parse(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        return result;
    case dayfile::ReadStatus::Missing:
        result.status = FileStatus::Missing;
        result.problem = QStringLiteral("Cannot read %1: %2")
                             .arg(Quoted(path), QString::fromLocal8Bit(std::strerror(ENOENT)));
        return result;
    case dayfile::ReadStatus::Directory:
    case dayfile::ReadStatus::NotRegular:
        result.status = FileStatus::NotRegular;
        result.problem =
            QStringLiteral("%1 is not a regular file and was not read").arg(Quoted(path));
        break;
    case dayfile::ReadStatus::TooLarge:
        result.status = FileStatus::TooLarge;
        result.problem = TooLargeProblem(path);
        break;
    case dayfile::ReadStatus::Failed:
        result.status = FileStatus::Unreadable;
        result.problem =
            QStringLiteral("Cannot read %1: %2").arg(Quoted(path), dayfile::ReasonOf(read));
        break;
    }
    result.stamp = StampOf(read.info);
    return result;
}

FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return stamp;
}

FileStamp StampOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return StampOf(st);
}

} // namespace dayreader
