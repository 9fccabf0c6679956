// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/HttpServer.h"

#include "core/NocturoError.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstdio>

struct HttpServer::Upload {
    QByteArray body;
    bool tooLarge = false;
};

namespace {

struct Collected {
    HttpRequest::Pairs pairs;
    int limit;
    bool overflow = false;
};

MHD_Result Collect(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto* collected = static_cast<Collected*>(cls);
    if (collected->pairs.size() >= collected->limit) {
        collected->overflow = true;
        return MHD_NO;
    }
    collected->pairs.append(
        {QString::fromUtf8(key ? key : ""), QString::fromUtf8(value ? value : "")});
    return MHD_YES;
}

void FreeBytes(void* cls) {
    delete static_cast<QByteArray*>(cls);
}

} // namespace

struct HttpServer::Glue {
    static MHD_Result Dispatch(void* cls, MHD_Connection* connection, const char* url,
                               const char* method, const char*, const char* uploadData,
                               size_t* uploadSize, void** state) {
        auto* server = static_cast<HttpServer*>(cls);
        auto* upload = static_cast<Upload*>(*state);
        if (!upload) {
            *state = new Upload;
            return MHD_YES;
        }
        if (*uploadSize > 0) {
            if (upload->body.size() + qsizetype(*uploadSize) > server->options_.maxBodyBytes)
                upload->tooLarge = true;
            else
                upload->body.append(uploadData, qsizetype(*uploadSize));
            *uploadSize = 0;
            return MHD_YES;
        }
        const QByteArray verb(method);
        HttpResponse response;
        bool gzip = false;
        QByteArray seen;
        try {
            if (upload->tooLarge) throw HttpError(413, "the request's body is too large");
            Collected params{{}, server->options_.maxParameters};
            MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, Collect, &params);
            if (params.overflow) throw HttpError(400, "too many parameters");
            Collected headers{{}, 200};
            MHD_get_connection_values(connection, MHD_HEADER_KIND, Collect, &headers);
            HttpRequest request(verb, QString::fromUtf8(url), params.pairs, headers.pairs,
                                upload->body);
            if (!upload->body.isEmpty() &&
                request.header("Content-Type").startsWith("application/x-www-form-urlencoded")) {
                HttpRequest::Pairs all = params.pairs;
                all += ParseFormEncoded(upload->body, server->options_.maxParameters);
                if (all.size() > server->options_.maxParameters)
                    throw HttpError(400, "too many parameters");
                request = HttpRequest(verb, request.path(), all, headers.pairs, upload->body);
            }
            gzip = request.acceptsGzip();
            seen = request.header(QStringLiteral("If-None-Match")).toLatin1();
            response = server->answer(request);
        } catch (const HttpError& error) {
            response = HttpResponse::error(error.status(), QString::fromStdString(error.what()));
        }
        return server->send(connection, response, gzip, seen) ? MHD_YES : MHD_NO;
    }

    static void Completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
        delete static_cast<Upload*>(*state);
        *state = nullptr;
    }

    static void Log(void* cls, const char* format, va_list args) {
        auto* server = static_cast<HttpServer*>(cls);
        char line[512];
        std::vsnprintf(line, sizeof line, format, args);
        const QString text = QString::fromUtf8(line).trimmed();
        if (server->options_.log)
            server->options_.log(text);
        else
            std::fprintf(stderr, "http: %s\n", qPrintable(text));
    }
};

HttpServer::HttpServer(HttpServerOptions options)
    : options_(std::move(options)) {}

HttpServer::~HttpServer() {
    stop();
}

void HttpServer::route(const QByteArray& method, const QString& path, Handler handler) {
    routes_.push_back({method, path, path.endsWith('/'), std::move(handler)});
}

const HttpServer::Route* HttpServer::find(const QString& path, const QByteArray& method,
                                          QByteArray& allowed) const {
    const Route* best = nullptr;
    qsizetype bestLength = -1;
    // The longest matching path first; among its routes, the one of this method.
    for (const Route& route : routes_) {
        const bool matches = route.prefix ? path.startsWith(route.path) : path == route.path;
        if (!matches || route.path.size() < bestLength) continue;
        if (route.path.size() > bestLength) {
            bestLength = route.path.size();
            allowed.clear();
            best = nullptr;
        }
        allowed += (allowed.isEmpty() ? "" : ", ") + route.method;
        if (route.method == method || (method == "HEAD" && route.method == "GET")) best = &route;
    }
    return best;
}

HttpResponse HttpServer::answer(const HttpRequest& request) const {
    QByteArray allowed;
    const Route* route = find(request.path(), request.method(), allowed);
    if (!route) {
        if (allowed.isEmpty()) throw HttpError(404, "no such address");
        HttpResponse refusal = HttpResponse::error(405, "method not allowed here");
        return refusal.header("Allow", allowed);
    }
    try {
        return route->handler(request);
    } catch (const HttpError&) {
        throw;
    } catch (const NocturoError& error) {
        return HttpResponse::error(500, QString::fromStdString(error.what()));
    } catch (const std::exception& error) {
        if (options_.log) options_.log(QString("handler failed: %1").arg(error.what()));
        return HttpResponse::error(500, "internal error");
    }
}

bool HttpServer::send(MHD_Connection* connection, HttpResponse response, bool gzip,
                      const QByteArray& seen) {
    ++answered_;
    if (response.status >= 400) ++refused_;
    // The client holds these very bytes: "not modified", with the answer's headers and
    // without its body.
    if (response.status == 200 && !seen.isEmpty()) {
        for (const auto& [name, value] : response.headers)
            if (name == "ETag" && (seen == value || seen == "W/" + value)) {
                response.status = 304;
                response.body.clear();
            }
    }
    const bool compress = gzip && response.compressible && !response.gzipped &&
                          response.body.size() >= options_.gzipFromBytes;
    auto* body = new QByteArray(compress ? GzipCompress(response.body) : std::move(response.body));
    MHD_Response* reply = MHD_create_response_from_buffer_with_free_callback_cls(
        size_t(body->size()), body->data(), FreeBytes, body);
    if (!reply) {
        delete body;
        return false;
    }
    MHD_add_response_header(reply, "Content-Type", response.contentType.constData());
    MHD_add_response_header(reply, "X-Content-Type-Options", "nosniff");
    if (response.compressible) MHD_add_response_header(reply, "Vary", "Accept-Encoding");
    if (compress || response.gzipped) MHD_add_response_header(reply, "Content-Encoding", "gzip");
    for (const auto& [name, value] : response.headers)
        MHD_add_response_header(reply, name.constData(), value.constData());
    const MHD_Result queued = MHD_queue_response(connection, unsigned(response.status), reply);
    MHD_destroy_response(reply);
    return queued == MHD_YES;
}

void HttpServer::ParseListen(const QString& listen, QByteArray& host, quint16& port, bool& ipv6) {
    const qsizetype colon = listen.lastIndexOf(':');
    if (colon <= 0)
        throw NocturoError("listen address \"" + listen.toStdString() +
                           "\" is not of the form ADDRESS:PORT");
    QString name = listen.left(colon);
    bool ok = false;
    const uint number = listen.mid(colon + 1).toUInt(&ok);
    if (!ok || number > 65535)
        throw NocturoError("listen address \"" + listen.toStdString() + "\" has no valid port");
    port = quint16(number);
    ipv6 = name.startsWith('[') && name.endsWith(']');
    if (ipv6) name = name.mid(1, name.size() - 2);
    if (name == "localhost") name = "127.0.0.1";
    host = name.toLatin1();
    unsigned char buffer[sizeof(in6_addr)];
    if (inet_pton(ipv6 ? AF_INET6 : AF_INET, host.constData(), buffer) != 1)
        throw NocturoError("listen address \"" + listen.toStdString() +
                           "\" is not a numeric IPv4 or [IPv6] address");
}

void HttpServer::start() {
    if (daemon_) return;
    QByteArray host;
    quint16 port = 0;
    bool ipv6 = false;
    ParseListen(options_.listen, host, port, ipv6);
    sockaddr_in address4{};
    sockaddr_in6 address6{};
    sockaddr* address = nullptr;
    if (ipv6) {
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(port);
        inet_pton(AF_INET6, host.constData(), &address6.sin6_addr);
        address = reinterpret_cast<sockaddr*>(&address6);
    } else {
        address4.sin_family = AF_INET;
        address4.sin_port = htons(port);
        inet_pton(AF_INET, host.constData(), &address4.sin_addr);
        address = reinterpret_cast<sockaddr*>(&address4);
    }
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG | MHD_USE_AUTO;
    if (ipv6) flags |= MHD_USE_IPv6;
    MHD_OptionItem list[] = {
        // First, so the library's complaints about the options go there too.
        {MHD_OPTION_EXTERNAL_LOGGER, intptr_t(&Glue::Log), this},
        {MHD_OPTION_SOCK_ADDR, 0, address},
        {MHD_OPTION_CONNECTION_LIMIT, options_.connectionLimit, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, options_.perAddressLimit, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, options_.timeoutSeconds, nullptr},
        {MHD_OPTION_THREAD_POOL_SIZE, qMax(1, options_.threads), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, intptr_t(&Glue::Completed), this},
        {MHD_OPTION_END, 0, nullptr},
    };
    daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &Glue::Dispatch, this, MHD_OPTION_ARRAY,
                               list, MHD_OPTION_END);
    if (!daemon_)
        throw NocturoError("cannot listen on " + options_.listen.toStdString() +
                           " (address in use or not this machine's?)");
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    port_ = info ? quint16(info->port) : port;
}

void HttpServer::stop() {
    if (!daemon_) return;
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
}
