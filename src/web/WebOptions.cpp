// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebOptions.h"

#include "core/cli/ProgramCommandLine.h"

namespace {

const QString kSummary = QStringLiteral(
    "Serves the stations' nights to browsers: a JSON API and the pages, read-only, over one\n"
    "station's day files (--folder) or the network's archive (--archive).");

} // namespace

ParsedWebOptions ParseWebOptions(const QStringList& arguments) {
    ProgramCommandLine program(QStringLiteral("nocturo-web"), kSummary);
    QCommandLineParser& parser = program.Parser();
    parser.addOptions({
        {QStringLiteral("folder"),
         QStringLiteral("One station's day files (and its station.conf)."), QStringLiteral("DIR")},
        {QStringLiteral("archive"),
         QStringLiteral("The network's archive: postgresql://…, or \"\" for the PG* variables "
                        "(an account that may SELECT is enough)."),
         QStringLiteral("ADDRESS")},
        {QStringLiteral("describe"),
         QStringLiteral("With --archive: a folder of NAME/station.conf, the stations' positions."),
         QStringLiteral("DIR")},
        {QStringLiteral("listen"),
         QStringLiteral("Where to listen; default 127.0.0.1:8080 (a web server that does TLS in "
                        "front serves others)."),
         QStringLiteral("ADDRESS:PORT")},
        {QStringLiteral("pages"),
         QStringLiteral("The pages' folder; default: the installed pages."), QStringLiteral("DIR")},
        {QStringLiteral("threads"),
         QStringLiteral("Requests answered at once, 1 to 64; default 4."), QStringLiteral("N")},
        {QStringLiteral("stale"),
         QStringLiteral("A station without a reading this long is stale; default 120."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("cache"),
         QStringLiteral("How long an answer that may change is kept for the next clients, 0 to "
                        "3600; default 5."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("keep"),
         QStringLiteral("Memory for the nights the archive has confirmed whole, kept once made "
                        "(each station's last one is made at start), 0 to 1024; default 16."),
         QStringLiteral("MEGABYTES")},
    });

    ParsedWebOptions parsed;
    const auto fail = [&](const QString& text) {
        parsed.outcome = ParsedWebOptions::Error;
        parsed.text = text;
        parsed.usage = program.HelpText();
        return parsed;
    };
    if (CommandLineOutcome outcome; !program.Parse(arguments, outcome)) {
        if (!outcome.error.isEmpty()) return fail(outcome.error);
        parsed.outcome = parser.isSet(QStringLiteral("help")) ? ParsedWebOptions::Help
                                                              : ParsedWebOptions::Version;
        parsed.text = outcome.output;
        return parsed;
    }
    WebOptions& o = parsed.options;
    const bool folder = parser.isSet(QStringLiteral("folder"));
    if (folder) o.store.folder = parser.value(QStringLiteral("folder"));
    if (parser.isSet(QStringLiteral("archive")))
        o.store.archive = parser.value(QStringLiteral("archive"));
    o.store.describeFolder = parser.value(QStringLiteral("describe"));
    if (parser.isSet(QStringLiteral("listen"))) o.listen = parser.value(QStringLiteral("listen"));
    o.pages = parser.value(QStringLiteral("pages"));
    QString error;
    qint64 threads = o.threads;
    qint64 cache = o.cacheSeconds;
    qint64 keep = o.keepMegabytes;
    qint64 stale = o.store.staleAfter;
    if (!ReadWholeNumber(parser, QStringLiteral("threads"), {1, 64}, threads, &error) ||
        !ReadWholeNumber(parser, QStringLiteral("cache"), {0, 3600}, cache, &error) ||
        !ReadWholeNumber(parser, QStringLiteral("keep"), {0, 1024}, keep, &error) ||
        !ReadWholeNumber(parser, QStringLiteral("stale"), {1, 10LL * 365 * 86400}, stale, &error))
        return fail(error);
    o.threads = int(threads);
    o.cacheSeconds = int(cache);
    o.keepMegabytes = int(keep);
    o.store.staleAfter = stale;
    if (folder == o.store.archive.has_value())
        return fail(QStringLiteral("give either --folder DIR or --archive ADDRESS"));
    if (folder && o.store.folder.isEmpty()) return fail(QStringLiteral("--folder wants a folder"));
    o.store.connections = o.threads;
    return parsed;
}
