// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's reader on any bytes: it never reads outside them, counts every line once
// (a log line, a skipped one or a blank one), takes exactly the lines that read one by one
// as log lines, in order, and each record it takes reads back the same when written again
// as the daily log writes it.
#include "FuzzCheck.h"
#include "core/log/DayFileReader.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The lines as a reader of the file sees them: CR LF, lone CR and lone LF each end one.
std::vector<std::string_view> Lines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n') continue;
        lines.push_back(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    return lines;
}

bool Blank(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// The line the daily log writes for a record, with '.' and ':' as separators.
std::string Written(const DayRecord& record) {
    const std::string stamp = IsoWallTime(record.time).replace(10, 1, " ").toStdString();
    const int tenths = record.temperatureTenths;
    const int magnitude = tenths < 0 ? -tenths : tenths;
    char temperature[16];
    std::snprintf(temperature, sizeof temperature, "%s%d.%d", tenths < 0 ? "-" : "", magnitude / 10,
                  magnitude % 10);
    char values[64];
    std::snprintf(values, sizeof values, " %5s %7d %1d", temperature, record.mean, record.range);
    return stamp + values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const DayFileContents contents = dayreader::Parse(bytes);

    const std::vector<std::string_view> lines = Lines(bytes);
    FUZZ_CHECK(contents.lines == std::int64_t(lines.size()));
    std::vector<DayRecord> expected;
    std::int64_t skipped = 0, firstSkipped = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        DayRecord record;
        if (dayreader::ParseLine(lines[i], record)) {
            expected.push_back(record);
        } else if (!Blank(lines[i])) {
            if (skipped++ == 0) firstSkipped = std::int64_t(i) + 1;
        }
    }
    FUZZ_CHECK(contents.records == expected);
    FUZZ_CHECK(contents.skipped == skipped);
    FUZZ_CHECK(contents.firstSkippedLine == firstSkipped);

    for (const DayRecord& record : contents.records) {
        FUZZ_CHECK(record.range >= 0);
        DayRecord again;
        const std::string line = Written(record);
        FUZZ_CHECK(dayreader::ParseLine(line, again));
        FUZZ_CHECK(again == record);
    }
    return 0;
}
