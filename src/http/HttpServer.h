// SPDX-License-Identifier: GPL-3.0-or-later
// A small HTTP server on libmicrohttpd: routes by method and path, bounded connections,
// threads, header and body sizes, time-outs, gzip for clients that accept it, and a clear
// JSON error with its status for everything refused. Shared by every program that serves
// HTTP (the web service, the logger's observatory interface).
//
// Handlers run on the server's own threads, several at once: what they touch must be safe
// to use from there (hand work to a Qt thread with a blocking queued call if need be).
#pragma once

#include "http/HttpRequest.h"
#include "http/HttpResponse.h"

#include <QByteArray>
#include <QString>

#include <cstdarg>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

struct MHD_Daemon;
struct MHD_Connection;

struct HttpServerOptions {
    // "127.0.0.1:8080", "[::1]:8080", "0.0.0.0:80", "localhost:8080"; port 0 picks a free one.
    QString listen = "127.0.0.1:8080";
    int threads = 4;           // handlers at once
    int connectionLimit = 512; // open connections; more are closed at once
    int perAddressLimit = 0;   // open connections from one address; 0: no limit
    int timeoutSeconds = 30;   // an idle connection is closed after this
    qsizetype maxBodyBytes = 64 * 1024;
    int maxParameters = 64;
    // Bodies shorter than this go out uncompressed: gzip's header costs more than it saves.
    qsizetype gzipFromBytes = 1024;
    // Where the library's own complaints go (stderr when empty).
    std::function<void(const QString&)> log;
};

class HttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit HttpServer(HttpServerOptions options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // A route for one method ("GET" also answers HEAD). A path ending in '/' is a prefix:
    // "/api/v1/" takes every path under it; otherwise the path must match exactly. The
    // longest matching route wins. Add routes before start().
    void route(const QByteArray& method, const QString& path, Handler handler);

    // Listens; throws NocturoError with the reason when it cannot (address in use, ...).
    void start();
    void stop();
    // The port listened on (the one picked when the options asked for 0).
    quint16 port() const { return port_; }
    // Requests answered since start, and how many of those were refusals (4xx or 5xx).
    quint64 answered() const { return answered_; }
    quint64 refused() const { return refused_; }

    // Parses "host:port" into an address and port; throws NocturoError when malformed.
    static void ParseListen(const QString& listen, QByteArray& host, quint16& port, bool& ipv6);

private:
    struct Route {
        QByteArray method;
        QString path;
        bool prefix;
        Handler handler;
    };
    struct Upload;
    // The library's callbacks, in the source file so its header stays there.
    struct Glue;
    friend struct Glue;

    HttpResponse answer(const HttpRequest& request) const;
    const Route* find(const QString& path, const QByteArray& method, QByteArray& allowed) const;
    // `seen`: the request's If-None-Match, answered 304 when it names the response's ETag.
    bool send(MHD_Connection* connection, HttpResponse response, bool gzip,
              const QByteArray& seen = {});

    HttpServerOptions options_;
    std::vector<Route> routes_;
    MHD_Daemon* daemon_ = nullptr;
    quint16 port_ = 0;
    std::atomic<quint64> answered_{0};
    std::atomic<quint64> refused_{0};
};
