// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebPages.h"

#include "core/NocturoError.h"

#include <QDirIterator>
#include <QFile>

namespace {

QByteArray TypeOf(const QString& path) {
    if (path.endsWith(".html")) return "text/html; charset=utf-8";
    if (path.endsWith(".js")) return "text/javascript; charset=utf-8";
    if (path.endsWith(".css")) return "text/css; charset=utf-8";
    if (path.endsWith(".json")) return "application/json";
    if (path.endsWith(".svg")) return "image/svg+xml";
    if (path.endsWith(".png")) return "image/png";
    if (path.endsWith(".ico")) return "image/x-icon";
    return "application/octet-stream";
}

constexpr char kPolicy[] = "default-src 'self'; img-src 'self' data:; style-src 'self' "
                           "'unsafe-inline'; connect-src 'self'; frame-ancestors 'none'; "
                           "base-uri 'none'; form-action 'none'";

} // namespace

WebPages::WebPages(const QString& folder) {
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > 32 * 1024 * 1024) continue;
        File entry{TypeOf(path), file.readAll(), {}};
        if (!entry.type.startsWith("image/png")) entry.gzipped = GzipCompress(entry.body, 9);
        files_["/" + QDir(folder).relativeFilePath(path)] = std::move(entry);
    }
    if (!files_.count("/index.html"))
        throw NocturoError("no index.html in the pages' folder " + folder.toStdString());
}

void WebPages::Register(HttpServer& server) {
    server.route("GET", "/", [this](const HttpRequest& request) { return Serve(request); });
}

HttpResponse WebPages::Serve(const HttpRequest& request) const {
    QString path = request.path();
    // The pages' own addresses all open the one page, which reads the rest from the query.
    if (path == "/" || path == "/network" || path == "/station" || path == "/compare")
        path = "/index.html";
    const auto it = files_.find(path);
    if (it == files_.end()) throw HttpError(404, "no such page");
    const File& file = it->second;
    HttpResponse response;
    response.contentType = file.type;
    if (request.acceptsGzip() && !file.gzipped.isEmpty()) {
        response.body = file.gzipped;
        response.gzipped = true;
    } else {
        response.body = file.body;
        response.compressible = false;
    }
    response.header("Content-Security-Policy", kPolicy);
    response.header("Referrer-Policy", "no-referrer");
    response.header("Cache-Control", path == "/index.html" ? "no-cache" : "max-age=300");
    return response;
}
