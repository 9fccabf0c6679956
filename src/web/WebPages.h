// SPDX-License-Identifier: GPL-3.0-or-later
// The pages' files (HTML, the bundled script, styles, the world's outline), read once from
// the folder they were installed to and kept in memory, each also compressed. A path
// outside the folder is never served; "/" is index.html. Every answer forbids the page to
// load anything from another host.
#pragma once

#include "http/HttpServer.h"

#include <QString>

#include <map>

class WebPages {
public:
    // Throws NocturoError when the folder holds no index.html.
    explicit WebPages(const QString& folder);
    void Register(HttpServer& server);
    int Files() const { return int(files_.size()); }

private:
    struct File {
        QByteArray type;
        QByteArray body;
        QByteArray gzipped;
    };
    HttpResponse Serve(const HttpRequest& request) const;
    std::map<QString, File> files_;
};
