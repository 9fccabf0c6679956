// SPDX-License-Identifier: GPL-3.0-or-later
// What the archive stores, as the collector hands it over: stations' readings, statuses,
// events and minute summaries, already checked. One batch is written in one transaction.
#pragma once

#include "core/log/DayRecord.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace archive {

struct Reading {
    QString station;
    std::int64_t utc = 0; // seconds since 1970 UTC
    DayRecord record;     // record.time: the day file's local stamp
    // The station's line before it (see messages::Reading): not stored, it tells the
    // collector what the archive holds without a gap.
    std::optional<std::int64_t> prev;
    bool first = false;
};

struct Status {
    QString station;
    std::int64_t at = 0; // when the collector received it, seconds since 1970 UTC
    bool online = false;
    bool linkUp = false;
    QString hint;
    QString version;
    QString newestDay; // "yyyy-mm-dd", or empty
};

struct Event {
    QString station;
    std::int64_t utc = 0;
    int priority = 6;
    QString text;
};

// A station's own summary of one minute (see messages::Minute).
struct Minute {
    QString station;
    std::int64_t utc = 0; // the minute's start
    std::optional<double> medianCount;
    int goodSeconds = 0;
    std::optional<double> magnitude;
    std::optional<double> limitingMagnitude;
    QString condition; // empty: not known
};

struct Batch {
    std::vector<Reading> readings;
    std::vector<Status> statuses; // in the order received: the last of a station holds
    std::vector<Event> events;
    std::vector<Minute> minutes;

    bool Empty() const {
        return readings.empty() && statuses.empty() && events.empty() && minutes.empty();
    }
    std::size_t Size() const {
        return readings.size() + statuses.size() + events.size() + minutes.size();
    }
    void Clear() {
        readings.clear();
        statuses.clear();
        events.clear();
        minutes.clear();
    }
};

} // namespace archive
