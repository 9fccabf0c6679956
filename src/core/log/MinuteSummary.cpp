// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/MinuteSummary.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace minutes {
namespace {

// A second as the summary needs it; failed seconds sort after the others of their minute.
struct Item {
    WallMinute minute;
    std::int64_t value; // the mean count, or kFailed
    bool operator<(const Item& other) const {
        return minute != other.minute ? minute < other.minute : value < other.value;
    }
};
constexpr std::int64_t kFailed = std::numeric_limits<std::int64_t>::max();

std::uint16_t Saturated(std::size_t n) {
    return std::uint16_t(std::min<std::size_t>(n, std::numeric_limits<std::uint16_t>::max()));
}

// The median of the values [first, last), which it reorders.
double Median(Item* first, Item* last) {
    const std::ptrdiff_t n = last - first;
    const auto byValue = [](const Item& a, const Item& b) { return a.value < b.value; };
    Item* middle = first + n / 2;
    std::nth_element(first, middle, last, byValue);
    if (n % 2 == 1) return double(middle->value);
    const Item* below = std::max_element(first, middle, byValue);
    return (double(below->value) + double(middle->value)) / 2;
}

// Little-endian fields, whatever the machine.
template <class T> void Put(QByteArray& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) std::reverse(bytes, bytes + sizeof(T));
    out.append(bytes, qsizetype(sizeof(T)));
}

template <class T> T Take(const char*& p) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, p, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) std::reverse(bytes, bytes + sizeof(T));
    p += sizeof(T);
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

constexpr std::size_t kHeaderBytes = 8 + 8 + 8;    // lines, skipped, minutes
constexpr std::size_t kEntryBytes = 8 + 2 + 2 + 8; // minute, lines, failed, median

} // namespace

MinuteSummary Summarise(const DayFileContents& contents) {
    MinuteSummary summary;
    summary.lines = std::int64_t(contents.records.size());
    summary.skipped = contents.skipped;
    std::vector<Item> items;
    items.reserve(contents.records.size());
    for (const DayRecord& record : contents.records)
        items.push_back({MinuteOf(record.time), record.Failed() ? kFailed : record.mean});
    // The daily log writes in time order: a sort only after a clock set back or for a
    // file put together by hand.
    const bool inOrder =
        std::is_sorted(items.begin(), items.end(),
                       [](const Item& a, const Item& b) { return a.minute < b.minute; });
    if (!inOrder) std::sort(items.begin(), items.end());
    summary.minutes.reserve(1440);
    for (std::size_t a = 0; a < items.size();) {
        std::size_t b = a;
        std::size_t failed = 0;
        while (b < items.size() && items[b].minute == items[a].minute)
            failed += items[b++].value == kFailed;
        MinuteEntry entry;
        entry.minute = items[a].minute;
        entry.lines = Saturated(b - a);
        entry.failed = std::min(entry.lines, Saturated(failed));
        Item* const first = items.data() + a;
        Item* const good = std::partition(first, items.data() + b,
                                          [](const Item& i) { return i.value != kFailed; });
        if (good != first) entry.median = Median(first, good);
        summary.minutes.push_back(entry);
        a = b;
    }
    return summary;
}

FileSummary SummariseFile(const QString& path) {
    dayreader::FileResult read = dayreader::ReadFile(path);
    FileSummary file;
    file.status = read.status;
    file.problem = read.problem;
    file.stamp = read.stamp;
    if (read.status == dayreader::FileStatus::Read) file.summary = Summarise(read.contents);
    return file;
}

QByteArray Encode(const MinuteSummary& summary) {
    QByteArray out;
    out.reserve(qsizetype(kHeaderBytes + summary.minutes.size() * kEntryBytes));
    Put<std::int64_t>(out, summary.lines);
    Put<std::int64_t>(out, summary.skipped);
    Put<std::uint64_t>(out, summary.minutes.size());
    for (const MinuteEntry& entry : summary.minutes) {
        Put<std::int64_t>(out, entry.minute);
        Put<std::uint16_t>(out, entry.lines);
        Put<std::uint16_t>(out, entry.failed);
        Put<double>(out, entry.median);
    }
    return out;
}

std::optional<MinuteSummary> Decode(std::string_view bytes) {
    if (bytes.size() < kHeaderBytes) return std::nullopt;
    const char* p = bytes.data();
    MinuteSummary summary;
    summary.lines = Take<std::int64_t>(p);
    summary.skipped = Take<std::int64_t>(p);
    const std::uint64_t count = Take<std::uint64_t>(p);
    if (summary.lines < 0 || summary.skipped < 0 ||
        count != (bytes.size() - kHeaderBytes) / kEntryBytes ||
        (bytes.size() - kHeaderBytes) % kEntryBytes != 0)
        return std::nullopt;
    summary.minutes.resize(count);
    std::int64_t lines = 0;
    for (std::size_t i = 0; i < count; ++i) {
        MinuteEntry& entry = summary.minutes[i];
        entry.minute = Take<std::int64_t>(p);
        entry.lines = Take<std::uint16_t>(p);
        entry.failed = Take<std::uint16_t>(p);
        entry.median = Take<double>(p);
        const bool anyGood = entry.failed < entry.lines;
        if ((i > 0 && entry.minute <= summary.minutes[i - 1].minute) || entry.lines == 0 ||
            entry.failed > entry.lines || anyGood == std::isnan(entry.median) ||
            std::isinf(entry.median))
            return std::nullopt;
        lines += entry.lines;
    }
    // Minutes count at most 65535 lines each, so they may hold fewer than the file.
    if (lines > summary.lines) return std::nullopt;
    return summary;
}

} // namespace minutes
