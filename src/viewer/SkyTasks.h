// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's --calibrate, --drift and --month, without a window.
#pragma once

#include "core/log/LogSpan.h"
#include "core/log/RecordSource.h"
#include "core/sky/Drift.h"
#include "core/station/StationDescription.h"
#include "viewer/ViewerOptions.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

// 0 done; 1 a calibration refused or a file not written; 2 a wrong command line, a station
// description that does not read, no position, no lines; 3 an archive out of reach.
int RunSkyTask(const ViewerOptions& options, std::int64_t today, void (*say)(const QString&));

// The lines of a calendar month, 00:00 of its first day to 00:00 of the next month's.
TimeSpan MonthSpan(int year, int month);
// The name the field's networks give a station's month: INSTRUMENT_YYYY-MM.dat.
QString MonthFileName(const StationDescription& station, int year, int month);

// The drift over the nights from the evening `first` to `last`.
sky::Drift FigureStationDrift(RecordSource& source, const QString& station, std::int64_t first,
                              std::int64_t last, const astro::Observer& where,
                              const QTimeZone& zone, const sky::ZeroPoints& zeroPoints);
// The drift in words, a line an altitude.
QString DriftText(const sky::Drift& drift);
