// SPDX-License-Identifier: GPL-3.0-or-later
// nocturo-web: the stations' nights in a browser. Read-only: serves the JSON API over one
// station's day files or the network's archive, and the pages, until SIGTERM or SIGINT.
#include "core/NocturoError.h"
#include "core/cli/ExitStatus.h"
#include "http/HttpServer.h"
#include "web/StationStore.h"
#include "web/WebApi.h"
#include "web/WebOptions.h"
#include "web/WebPages.h"

#include <QCoreApplication>
#include <QDir>

#include <malloc.h>

#include <csignal>
#include <cstdio>

namespace {

QString InstalledPages() {
    // Beside the build's program, else where the package installs them.
    const QString built = QCoreApplication::applicationDirPath() + "/../../web/dist";
    if (QFile::exists(built + "/index.html")) return QDir(built).absolutePath();
    return QStringLiteral(NOCTURO_PAGES_DIR);
}

} // namespace

int main(int argc, char** argv) {
    // Every answer of a night takes a few megabytes (its lines, its JSON, the archive's
    // rows) and gives them back: kept in the heap for the next answer rather than mapped
    // and unmapped each time, which costs every page a fault and a clearing. The peak is
    // what answers at once need, as before.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
    QCoreApplication app(argc, argv);
    const ParsedWebOptions parsed = ParseWebOptions(app.arguments());
    switch (parsed.outcome) {
    case ParsedWebOptions::Help:
    case ParsedWebOptions::Version:
        std::fputs(qPrintable(parsed.text), stdout);
        return exitstatus::kOk;
    case ParsedWebOptions::Error:
        std::fprintf(stderr, "nocturo-web: %s\n", qPrintable(parsed.text));
        std::fputs(qPrintable(parsed.usage), stderr);
        return exitstatus::kUsage;
    case ParsedWebOptions::Run:
        break;
    }
    const WebOptions& options = parsed.options;
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    // Blocked before the server's threads start, so only the wait below takes them.
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    try {
        StationStore store(options.store);
        WebPages pages(options.pages.isEmpty() ? InstalledPages() : options.pages);
        WebApi api(store, NOCTURO_VERSION, options.cacheSeconds, options.keepMegabytes);
        HttpServerOptions http;
        http.listen = options.listen;
        http.threads = options.threads;
        http.log = [](const QString& line) {
            std::fprintf(stderr, "nocturo-web: %s\n", qPrintable(line));
        };
        HttpServer server(http);
        api.Register(server);
        pages.Register(server);
        server.start();
        QString host = options.listen.section(':', 0, -2);
        std::printf("nocturo-web: serving %s at http://%s:%u/\n", qPrintable(store.Name()),
                    qPrintable(host), unsigned(server.port()));
        std::fflush(stdout);
        // Once listening: the service answers while the last nights are made.
        api.StartPrewarm(http.log);
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    } catch (const ArchiveUnreachable& error) {
        std::fprintf(stderr, "nocturo-web: %s\n", error.what());
        return exitstatus::kUnreachable;
    } catch (const NocturoError& error) {
        std::fprintf(stderr, "nocturo-web: %s\n", error.what());
        return exitstatus::kAlert;
    }
    return exitstatus::kOk;
}
