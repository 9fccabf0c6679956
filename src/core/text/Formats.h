// SPDX-License-Identifier: GPL-3.0-or-later
// The texts the program writes: date-time patterns, fixed-width numbers, the daily log's
// line and the status bar's temperature and flux. Separators come from the regional
// settings passed in, never from the C library's locale.
#pragma once

#include "core/text/RegionalSettings.h"

#include <QString>
#include <cstdint>

struct SecondRecord;

// A date-time value written by a pattern of "yyyy", "mm" (month), "dd", "hh" (00-23),
// "nn" (minute), "ss", "zzz", all zero-padded; ":" stands for the time separator and any
// other character is copied.
QString FormatDateTime(double dateTimeValue, const QString& pattern,
                       const RegionalSettings& settings);

// "%w.pf": `decimals` decimals, right-aligned in at least `width` characters padded with
// spaces, never cut. The last decimal is rounded half away from zero on the value's exact
// binary value; a value that rounds to zero carries no minus sign.
QString FormatFixed(double value, int width, int decimals, const RegionalSettings& settings);
// "%wd": right-aligned in at least `width` characters padded with spaces.
QString FormatInt(std::int64_t value, int width);

// One line of the daily log, without a line ending:
// "yyyy-mm-dd hh:nn:ss" + " " + %5.1f temperature + " " + %7d mean + " " + %1d range.
QString LogLine(const SecondRecord& record, const RegionalSettings& settings);

// The status bar's temperature: "Temperature: n/a" at or below -273.15 (single
// precision), else "Temperature: %5.1f °C".
QString TemperatureText(float temperature, const RegionalSettings& settings);
// The status bar's flux: "Flux: n/a" for 0, else "Flux: <flux> counts".
QString FluxText(std::int32_t flux);
