// SPDX-License-Identifier: GPL-3.0-or-later
// What a handler answers: a status, a content type, the body and extra headers. The server
// compresses a body with gzip when the client accepts it and it is worth it.
#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QList>
#include <QPair>
#include <QString>

struct HttpResponse {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    // Text-like bodies are compressed for clients that accept it; images and archives not.
    bool compressible = true;
    // The body is gzip's already (an answer kept compressed); sent as it is.
    bool gzipped = false;

    static HttpResponse json(const QJsonDocument& document, int status = 200);
    // Already serialised JSON (large answers are written straight into bytes).
    static HttpResponse jsonBytes(QByteArray body, int status = 200);
    static HttpResponse bytes(QByteArray body, QByteArray contentType, int status = 200);
    // {"error": message} with the status.
    static HttpResponse error(int status, const QString& message);

    HttpResponse& header(QByteArray name, QByteArray value) {
        headers.append({std::move(name), std::move(value)});
        return *this;
    }
    // Offers the body as a file to save under this name.
    HttpResponse& attachment(const QString& fileName);
};

// The body in gzip's format (RFC 1952), as Content-Encoding: gzip expects. Level 1 by
// default: answers are compressed as they go out, and on long runs of like numbers (a
// night's columns) the higher levels cost ten times the time for a tenth less size.
QByteArray GzipCompress(const QByteArray& data, int level = 1);
