// SPDX-License-Identifier: GPL-3.0-or-later
// Sky brightness in magnitudes per square arcsecond from a mean count:
// zero_point - 2.5 log10(mean count). A count of 0 (or less) has no magnitude: darker
// than the sensor can tell. A second without light read has none either. With zero points
// that change over time, sky::ZeroPoints gives each line the one of its own date.
#pragma once

#include "core/log/DayRecord.h"

#include <optional>

std::optional<double> MagnitudeOf(double meanCount, double zeroPoint);
std::optional<double> MagnitudeOf(const DayRecord& record, double zeroPoint);
