// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebOptions.h"

namespace {

const char kHelp[] =
    "Usage: nocturo-web --folder DIR | --archive ADDRESS [options]\n"
    "Serves the stations' nights to browsers: a JSON API and the pages, read-only.\n\n"
    "  --folder DIR           one station's day files (and its station.conf)\n"
    "  --archive ADDRESS      the network's archive (postgresql://..., or \"\" for PG*)\n"
    "  --describe DIR         with --archive: NAME/station.conf of each station\n"
    "  --listen ADDRESS:PORT  where to listen (default 127.0.0.1:8080)\n"
    "  --pages DIR            the pages' folder (default: the installed pages)\n"
    "  --threads N            requests answered at once, 1 to 64 (default 4)\n"
    "  --stale SECONDS        a station without a reading this long is stale (default 120)\n"
    "  --cache SECONDS        how long an answer is kept for the next clients (default 5)\n"
    "  --help, --version\n";

} // namespace

ParsedWebOptions ParseWebOptions(const QStringList& arguments) {
    ParsedWebOptions parsed;
    WebOptions& o = parsed.options;
    const auto fail = [&](const QString& text) {
        parsed.outcome = ParsedWebOptions::Error;
        parsed.text = text;
        return parsed;
    };
    bool folder = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == "--help" || a == "-h") {
            parsed.outcome = ParsedWebOptions::Help;
            parsed.text = kHelp;
            return parsed;
        }
        if (a == "--version") {
            parsed.outcome = ParsedWebOptions::Version;
            return parsed;
        }
        const bool takesValue = a == "--folder" || a == "--archive" || a == "--describe" ||
                                a == "--listen" || a == "--pages" || a == "--threads" ||
                                a == "--stale" || a == "--cache";
        if (!takesValue) return fail(QString("unknown option \"%1\" (see --help)").arg(a));
        if (i + 1 >= arguments.size()) return fail(QString("%1 needs a value").arg(a));
        const QString value = arguments[++i];
        bool ok = true;
        if (a == "--folder") {
            o.store.folder = value;
            folder = true;
        } else if (a == "--archive") {
            o.store.archive = value;
        } else if (a == "--describe") {
            o.store.describeFolder = value;
        } else if (a == "--listen") {
            o.listen = value;
        } else if (a == "--pages") {
            o.pages = value;
        } else if (a == "--threads") {
            o.threads = value.toInt(&ok);
            if (!ok || o.threads < 1 || o.threads > 64)
                return fail("--threads is a number from 1 to 64");
        } else if (a == "--cache") {
            o.cacheSeconds = value.toInt(&ok);
            if (!ok || o.cacheSeconds < 0 || o.cacheSeconds > 3600)
                return fail("--cache is a number of seconds from 0 to 3600");
        } else if (a == "--stale") {
            o.store.staleAfter = value.toLongLong(&ok);
            if (!ok || o.store.staleAfter < 1) return fail("--stale is a number of seconds");
        }
    }
    if (folder == o.store.archive.has_value())
        return fail("give either --folder DIR or --archive ADDRESS (see --help)");
    if (folder && o.store.folder.isEmpty()) return fail("--folder needs a folder");
    o.store.connections = o.threads;
    return parsed;
}
