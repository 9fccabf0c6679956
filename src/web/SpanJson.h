// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON of a span's lines, written straight into bytes: a night is 86,400 lines, and a
// document model of them would cost many times their size. Lines go out as columns
// (time steps, counts, temperatures, ranges), which compress well and load straight into
// a chart; spans of more than a few days as minute summaries.
#pragma once

#include "core/log/DayRecord.h"
#include "core/log/LogSpan.h"
#include "core/sky/SkyCondition.h"

#include <QByteArray>

#include <optional>
#include <vector>

// Appends JSON text for numbers and strings.
class JsonWriter {
public:
    explicit JsonWriter(QByteArray& out)
        : out_(out) {}
    JsonWriter& raw(const char* text) {
        out_.append(text);
        return *this;
    }
    JsonWriter& key(const char* name); // "name": (with a comma before when needed)
    JsonWriter& number(std::int64_t value);
    JsonWriter& number(double value, int decimals); // null for NaN
    JsonWriter& string(const QString& text);
    JsonWriter& optional(const std::optional<double>& value, int decimals);
    // The bytes written so far, for columns written in place.
    QByteArray& bytes() { return out_; }

private:
    QByteArray& out_;
};

struct MinuteRow {
    WallSeconds start = 0;
    int lines = 0;
    int failed = 0;
    double median = NAN; // of the good seconds' counts
    double minTemperature = NAN;
};

// The minutes a span's lines fall in, in order; minutes without lines left out.
std::vector<MinuteRow> MinutesOf(const std::vector<DayRecord>& records);

namespace spanjson {

// {"resolution":"second","lines":N,"t0":first,"dt":[...],"count":[...],
//  "temperature":[tenths...],"range":[...]} without the braces around it.
void WriteSeconds(JsonWriter& json, const std::vector<DayRecord>& records);
// {"resolution":"minute","minutes":N,"t":[...],"lines":[...],"failed":[...],"median":[...]}
void WriteMinutes(JsonWriter& json, const std::vector<DayRecord>& records);

// "conditions":{"names":[...],"t":[...],"code":[...]}: each minute's start (wall clock)
// and its condition as an index into names (sky::ConditionName's, in their order).
void WriteConditions(JsonWriter& json, const std::vector<sky::Minute>& minutes,
                     const std::vector<sky::Condition>& conditions);

} // namespace spanjson
