// SPDX-License-Identifier: GPL-3.0-or-later
// The web service's command line:
//
//   nocturo-web --folder DIR | --archive ADDRESS [--describe DIR]
//               [--listen ADDRESS:PORT] [--pages DIR] [--threads N] [--stale SECONDS]
//               [--cache SECONDS] [--keep MEGABYTES]
//
// --folder serves one station's day files (its station.conf beside them); --archive the
// network's archive (a PostgreSQL address; an account that may SELECT is enough), with
// --describe naming a folder of NAME/station.conf for the stations' positions. --listen
// defaults to 127.0.0.1:8080: put a web server that does TLS in front to serve others.
#pragma once

#include "web/StationStore.h"

#include <QString>
#include <QStringList>

struct WebOptions {
    StoreOptions store;
    QString listen = QStringLiteral("127.0.0.1:8080");
    QString pages; // empty: the installed pages
    int threads = 4;
    int cacheSeconds = 5;   // how long an answer that may change is kept (0: never)
    int keepMegabytes = 16; // the answers that cannot change, kept compressed (0: none)
};

struct ParsedWebOptions {
    enum Outcome { Run, Help, Version, Error } outcome = Run;
    WebOptions options;
    QString text;  // the help or version text, or the error message
    QString usage; // after an error message: the help
};

ParsedWebOptions ParseWebOptions(const QStringList& arguments);
