// SPDX-License-Identifier: GPL-3.0-or-later
// A span of time to look at, and the lines of the day files stamped within it.
//
// A day runs from 00:00 to 24:00, a night from 12:00 to 12:00 of the next day (its lines
// come from two day files), a week over the seven days ending with the day it is named
// after. Every line is placed by its own time stamp, whichever file holds it, so lines of
// an earlier day behind a midnight without roll-over, and times that go backwards after
// a clock set back, all land where they belong. Lines with the same stamp are all kept,
// in the order they were written; the same line found in two files (the daily log of
// some versions saved an earlier day's lines into the next day's file too) is one line.
#pragma once

#include "core/log/DayFileCache.h"
#include "core/log/DayFileSet.h"
#include "core/log/DayRecord.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

enum class SpanKind { Day, Night, Week };

struct TimeSpan {
    SpanKind kind = SpanKind::Night;
    std::int64_t day = 0; // the day it is named after: a night's evening, a week's last day
    WallSeconds from = 0;
    WallSeconds to = 0; // not included

    static TimeSpan Of(SpanKind kind, std::int64_t day);
    // The span `steps` of its own lengths later (earlier when negative).
    TimeSpan Stepped(int steps) const;
    bool Contains(WallSeconds t) const { return t >= from && t < to; }
    bool operator==(const TimeSpan&) const = default;
};

struct SkippedLines {
    std::int64_t count = 0;
    QString firstFile;          // path of the file that holds the first of them
    std::int64_t firstLine = 0; // its line number, from 1
};

struct SpanLines {
    TimeSpan span;
    // Stamped within the span, in time order; equal stamps in the order of the files
    // (dated ones by date) and of the lines within a file.
    std::vector<DayRecord> records;
    // Lines that are not log lines, in the files of the span's own days and the undated.
    SkippedLines skipped;
    QStringList problems; // files that could not be read, and why
    // Every file consulted with its stamp as read (size -1: not there).
    std::vector<std::pair<QString, FileStamp>> sources;
};

SpanLines AssembleSpan(const DayFileSet& files, DayFileCache& cache, const TimeSpan& span);

// True when a file consulted for `lines` changed on disk, or the set of files that may
// hold the span's lines did (a new day's file appeared).
bool SourcesChanged(const SpanLines& lines, const DayFileSet& files);

// Lines per day, with the first and last time stamp of each day.
struct DaySummary {
    std::int64_t day = 0;
    std::int64_t lines = 0;
    WallSeconds first = 0;
    WallSeconds last = 0;
};
// One summary for each day that lines of the file are stamped with, in order of days.
std::vector<DaySummary> SummariseDays(const DayFileContents& contents);
