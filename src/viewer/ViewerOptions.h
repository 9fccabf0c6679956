// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's command line:
//
//   nocturo-view [--day DATE | --night DATE | --week DATE | --year DATE] [FOLDER | FILE...]
//   nocturo-view --export FILE.png|.svg|.pdf|.csv
//                [--day DATE | --night DATE | --week DATE | --year DATE] [--size WxH]
//                [FOLDER | FILE...]
//   nocturo-view --export FILE.csv --nights FROM TO [FOLDER | FILE...]
//   nocturo-view --export FILE.dat --ida [--day DATE | --night DATE | --week DATE] [FOLDER...]
//   nocturo-view --archive ADDRESS [--station NAME]... [the span and export options]
//
//   nocturo-view --export FILE --jellyfish YYYY-MM|YYYY [--clear-only] [FOLDER | FILE...]
//
// --location LAT,LON[,ELEV] gives the station's position for the sky (twilight, the Moon)
// when its station.conf does not. --fit-lines makes the time axis span the lines shown.
//
// DATE is yyyy-mm-dd, "today" or "yesterday". Without a folder or files, the folder the
// station writes to: $NOCTURO_DATA_DIR, else ~/Nocturo. A year is the nights of the year
// that ends with the night of DATE. ADDRESS is a PostgreSQL address ("postgresql://…", or
// empty for the PG* variables); each --station adds a station to the picture, the first
// station of the archive without one.
#pragma once

#include "core/astro/Observer.h"
#include "core/log/LogSpan.h"
#include "viewer/SkyTaskOptions.h"
#include "viewer/SkyViewOptions.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

struct ViewerOptions {
    QString exportPath;                      // empty: open the window
    std::optional<TimeSpan> span;            // the span asked for, if any
    QSize size{1200, 800};                   // of an exported picture
    QString folder;                          // the folder to read, or
    QStringList files;                       // the files to read
    std::optional<QString> archive;          // or the archive at this PostgreSQL address
    QStringList stations;                    // the stations to show (empty: the source's first)
    bool fitLines = false;                   // the time axis spans the lines, not the whole span
    std::optional<astro::Observer> location; // --location
    // --nights FROM TO: the evenings' days of the first and last night to figure.
    std::optional<std::pair<std::int64_t, std::int64_t>> nights;
    bool ida = false; // --ida: the span in the skyglow archives' format
    // The last night of the year of nights asked for, if any (instead of a span).
    std::optional<std::int64_t> year;
    SkyViewOptions skyViews; // --conditions, --jellyfish, --clear-only
    SkyTasks tasks;          // --calibrate, --drift, --month
};

struct ParsedOptions {
    enum Outcome { Run, Help, Version, Error } outcome = Run;
    ViewerOptions options;
    QString text;  // the help or version text, or the error message
    QString usage; // after an error message: the help
};

// `arguments` holds the program name first; `today` is the local date (days since
// 1970-01-01), `home` and `dataDir` the environment's HOME and NOCTURO_DATA_DIR.
ParsedOptions ParseViewerOptions(const QStringList& arguments, std::int64_t today,
                                 const QString& home, const QString& dataDir);

// The local date today, in days since 1970-01-01.
std::int64_t LocalToday();
