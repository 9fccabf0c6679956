// SPDX-License-Identifier: GPL-3.0-or-later
// Writing what the viewer shows to files: the chart as PNG, SVG or PDF, and the lines of
// a span as CSV.
#pragma once

#include "core/log/DayRecord.h"
#include "core/sky/NightConditions.h"
#include "core/sky/ZeroPoints.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

class QCustomPlot;

enum class ExportFormat { Png, Svg, Pdf, Csv, Unknown };

// The format a file name asks for, by its extension (any case).
ExportFormat FormatOfName(const QString& path);

// The CSV of a span's lines: one header line "time,temperature,mean_count,range", then a
// line per record in time order, CR LF after each: the time stamp in ISO 8601 (local time,
// as the day file has it), the temperature with one decimal, the mean count and the range.
// Numbers always with '.', whatever the regional settings; lines with the same stamp all
// appear. With zero points, a fifth column "msas": the magnitude with two decimals, each
// second taking the zero point of its own date (and temperature, where a coefficient is
// given), empty for a count of 0, a failed second or a date before the first zero point. With the
// minutes' conditions, a last column "sky": the condition of the line's minute ("clear", "cloudy",
// "moonlit", …; sky::ConditionName).
QByteArray SpanCsv(const std::vector<DayRecord>& records,
                   const sky::ZeroPoints* zeroPoints = nullptr,
                   const std::vector<sky::TimedCondition>* conditions = nullptr);

// Writes the chart (PNG, SVG or PDF, at `size` pixels; an empty size: as the chart is now)
// or the records (CSV), replacing the file whole. False, with the reason in `why`, when it
// fails.
bool ExportChart(QCustomPlot& chart, ExportFormat format, const QString& path, QSize size,
                 QString* why = nullptr);
bool ExportCsv(const std::vector<DayRecord>& records, const QString& path,
               const sky::ZeroPoints* zeroPoints = nullptr,
               const std::vector<sky::TimedCondition>* conditions = nullptr,
               QString* why = nullptr);
