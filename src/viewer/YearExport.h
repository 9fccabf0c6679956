// SPDX-License-Identifier: GPL-3.0-or-later
// A year of nights to files: the Year view's picture (PNG, SVG, PDF, through the charts'
// common export) and the CSV of its minutes, from the window or the command line alone.
#pragma once

#include "core/astro/YearSky.h"
#include "core/log/YearMinutes.h"
#include "core/text/RegionalSettings.h"
#include "viewer/HeatScale.h"
#include "viewer/SkyOverlay.h"
#include "viewer/ViewerOptions.h"

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
// Writes that CSV, replacing the file whole; false, with the reason in `why`, when it fails.
bool ExportYearCsv(const YearMinutes& year, const QString& path, QString* why = nullptr);

// "Year 2026-01-01 to 2026-12-31" for the nights shown.
QString YearTitle(const YearMinutes& year);

// The sky's lines over a year's nights where `sky` knows the station's position (from
// --location or station.conf), on its wall clock (station.conf's time zone, else the
// system's).
std::optional<astro::YearSky> YearSkyFor(const SkyOverlay& sky, const YearMinutes& year);

// What the colours stand for: magnitudes with a zero point, when `magnitudes` asks for
// them and `sky` has one; else the log of the counts.
HeatScale YearScale(const SkyOverlay& sky, bool magnitudes);

struct YearExportOutcome {
    int status = 0;       // 0: written; 1: the file could not be written; 2: no lines
    QStringList messages; // for the user
};

// The command line's --year export: the year of the options' files, the minute cache in
// `cacheDirectory` (empty: none), the sky's lines drawn when the station's position is
// known (--location, else station.conf beside the files), its times written with the
// separators of `regional`.
YearExportOutcome ExportYear(const ViewerOptions& options, std::int64_t today,
                             const QString& cacheDirectory, const RegionalSettings& regional = {});
