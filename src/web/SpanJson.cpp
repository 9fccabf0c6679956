// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/SpanJson.h"

#include <algorithm>
#include <charconv>
#include <cmath>

JsonWriter& JsonWriter::key(const char* name) {
    if (!out_.isEmpty() && out_.back() != '{' && out_.back() != '[') out_.append(',');
    out_.append('"').append(name).append("\":");
    return *this;
}

JsonWriter& JsonWriter::number(std::int64_t value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out_.append(buffer, end - buffer);
    return *this;
}

JsonWriter& JsonWriter::number(double value, int decimals) {
    if (!std::isfinite(value)) return raw("null");
    char buffer[40];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals)
            .ptr;
    out_.append(buffer, end - buffer);
    return *this;
}

JsonWriter& JsonWriter::optional(const std::optional<double>& value, int decimals) {
    return value ? number(*value, decimals) : raw("null");
}

JsonWriter& JsonWriter::string(const QString& text) {
    out_.append('"');
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"')
            out_.append("\\\"");
        else if (u == '\\')
            out_.append("\\\\");
        else if (u < 0x20 || u == 0x2028 || u == 0x2029 || u == '<' || u == '>') {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", unsigned(u));
            out_.append(buffer);
        } else {
            out_.append(QString(c).toUtf8());
        }
    }
    out_.append('"');
    return *this;
}

namespace {

// A column of whole numbers written straight into `out`: room for the longest is made
// once, the digits written in place, and what was not used cut off again (a night's
// column is 86,400 numbers; appending them one by one costs several times as much).
template <typename Value> void Column(QByteArray& out, std::size_t size, Value value) {
    constexpr qsizetype kWidest = 21; // an int64 with its sign, and the comma before it
    const qsizetype at = out.size();
    out.resize(at + 2 + qsizetype(size) * kWidest);
    char* p = out.data() + at;
    *p++ = '[';
    for (std::size_t i = 0; i < size; ++i) {
        if (i) *p++ = ',';
        p = std::to_chars(p, p + kWidest - 1, value(i)).ptr;
    }
    *p++ = ']';
    out.resize(p - out.constData());
}

} // namespace

std::vector<MinuteRow> MinutesOf(const std::vector<DayRecord>& records) {
    std::vector<MinuteRow> rows;
    std::vector<double> good;
    std::size_t i = 0;
    while (i < records.size()) {
        // Lines come in time order, but a clock set back may stamp a minute twice: the
        // minute's lines are those up to the next line of another minute.
        const WallSeconds start = records[i].time - ((records[i].time % 60) + 60) % 60;
        MinuteRow row;
        row.start = start;
        good.clear();
        for (; i < records.size() && records[i].time >= start && records[i].time < start + 60;
             ++i) {
            ++row.lines;
            if (records[i].Failed())
                ++row.failed;
            else
                good.push_back(records[i].mean);
        }
        if (!good.empty()) {
            const std::size_t mid = good.size() / 2;
            std::nth_element(good.begin(), good.begin() + mid, good.end());
            double median = good[mid];
            if (good.size() % 2 == 0)
                median = (median + *std::max_element(good.begin(), good.begin() + mid)) / 2;
            row.median = median;
        }
        rows.push_back(row);
    }
    return rows;
}

namespace spanjson {

void WriteSeconds(JsonWriter& json, const std::vector<DayRecord>& records) {
    json.key("resolution").raw("\"second\"").key("lines").number(std::int64_t(records.size()));
    json.key("t0").number(records.empty() ? 0 : records.front().time);
    QByteArray& out = json.bytes();
    const std::size_t n = records.size();
    json.key("dt");
    Column(out, n, [&](std::size_t i) {
        return i ? records[i].time - records[i - 1].time : std::int64_t(0);
    });
    json.key("count");
    Column(out, n, [&](std::size_t i) { return records[i].mean; });
    json.key("temperature");
    Column(out, n, [&](std::size_t i) { return int(records[i].temperatureTenths); });
    json.key("range");
    Column(out, n, [&](std::size_t i) { return int(records[i].range); });
}

void WriteMinutes(JsonWriter& json, const std::vector<DayRecord>& records) {
    const std::vector<MinuteRow> rows = MinutesOf(records);
    json.key("resolution").raw("\"minute\"").key("lines").number(std::int64_t(records.size()));
    json.key("minutes").number(std::int64_t(rows.size()));
    const auto column = [&](const char* name, auto value) {
        json.key(name).raw("[");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i) json.raw(",");
            value(rows[i]);
        }
        json.raw("]");
    };
    column("t", [&](const MinuteRow& r) { json.number(r.start); });
    column("count", [&](const MinuteRow& r) { json.number(r.median, 1); });
    column("linesPerMinute", [&](const MinuteRow& r) { json.number(std::int64_t(r.lines)); });
    column("failed", [&](const MinuteRow& r) { json.number(std::int64_t(r.failed)); });
}

void WriteConditions(JsonWriter& json, const std::vector<sky::Minute>& minutes,
                     const std::vector<sky::Condition>& conditions) {
    json.key("conditions").raw("{").key("names").raw("[");
    for (int c = 0; c <= int(sky::Condition::Cloudy); ++c)
        (c ? json.raw(",") : json).string(sky::ConditionName(sky::Condition(c)));
    json.raw("]").key("t");
    QByteArray& out = json.bytes();
    Column(out, minutes.size(), [&](std::size_t i) { return minutes[i].wall; });
    json.key("code");
    Column(out, conditions.size(), [&](std::size_t i) { return int(conditions[i]); });
    json.raw("}");
}

} // namespace spanjson
