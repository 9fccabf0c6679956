// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's texts: a span's title, the readout of the line under the pointer, and the
// note on lines and files that were not read.
#pragma once

#include "core/log/LogSpan.h"
#include "core/text/RegionalSettings.h"

#include <QString>

// "Day 2009-01-26", "Night 2009-01-26 to 2009-01-27", "Week 2009-01-20 to 2009-01-26".
QString SpanTitle(const TimeSpan& span);

// "2009-01-26 23:14:05   counts 1234   21.5 °C   range 3"; a failed second reads
// "… sensor failed (-273.1 °C, range 0)"; `record` null: the time and "no line".
QString ReadoutText(WallSeconds t, const DayRecord* record, const RegionalSettings& settings);

// "86400 lines, 12 failed seconds" for the span; "No lines between … and …" for none.
QString SpanSummaryText(const TimeSpan& span, std::size_t lines, std::size_t failedSeconds);

// "3 lines skipped that are not log lines, the first in 20090126.txt, line 17", followed
// by the files that could not be read; empty when everything was read.
QString NotesText(const SpanLines& lines);

// "hh:mm:ss" of a wall time, with the settings' time separator.
QString ClockText(WallSeconds t, const QString& separator);
