// SPDX-License-Identifier: GPL-3.0-or-later
// A year of nights to files: the Year view's picture (PNG, SVG, PDF, through the charts'
// common export) and the CSV of its minutes, from the window or the command line alone.
#pragma once

#include "Observer.h"
#include "ViewerOptions.h"
#include "YearMinutes.h"
#include "YearSky.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The CSV of a year: one header line "night,time,lines,failed,median_mean_count", then a
// line for each minute of each night that has a line, night after night, CR LF after
// each: the night's evening (yyyy-mm-dd), the minute's start (ISO 8601, local time),
// lines, failed seconds, and the median mean count of the other seconds (empty when
// every second of the minute failed). Minutes without a line are left out.
QByteArray YearCsv(const YearMinutes& year);
QString ExportYearCsv(const YearMinutes& year, const QString& path);

// "Year 2026-01-01 to 2026-12-31" for the nights shown.
QString YearTitle(const YearMinutes& year);

// The sky's lines over a year's nights for the station of `folder`: at `location` when
// given, else where its station.conf says; its wall clock in the zone station.conf names,
// else the system's. None, and why, without a position or with a station.conf that does
// not read.
std::optional<astro::YearSky> StationYearSky(const QString& folder,
                                             const std::optional<astro::Observer>& location,
                                             const YearMinutes& year, QString* why);

struct YearExportOutcome {
    int status = 0;       // 0: written; 1: the file could not be written; 2: no lines
    QStringList messages; // for the user
};

// The command line's --year export: the year of the options' files, the minute cache in
// `cacheDirectory` (empty: none), the sky's lines drawn when the station's position is
// known (`location`, else station.conf in the folder).
YearExportOutcome ExportYear(const ViewerOptions& options, std::int64_t today,
                             const QString& cacheDirectory,
                             const std::optional<astro::Observer>& location = std::nullopt);
