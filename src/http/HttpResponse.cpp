// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/HttpResponse.h"

#include <QJsonObject>

#include <zlib.h>

#include <stdexcept>

HttpResponse HttpResponse::json(const QJsonDocument& document, int status) {
    return jsonBytes(document.toJson(QJsonDocument::Compact), status);
}

HttpResponse HttpResponse::jsonBytes(QByteArray body, int status) {
    HttpResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

HttpResponse HttpResponse::bytes(QByteArray body, QByteArray contentType, int status) {
    HttpResponse response;
    response.status = status;
    response.contentType = std::move(contentType);
    response.body = std::move(body);
    return response;
}

HttpResponse HttpResponse::error(int status, const QString& message) {
    return json(QJsonDocument(QJsonObject{{"error", message}}), status);
}

HttpResponse& HttpResponse::attachment(const QString& fileName) {
    // Only the characters a file name of ours holds, so the header cannot be split.
    QByteArray safe;
    for (const QChar c : fileName)
        if (c.isLetterOrNumber() && c.unicode() < 128)
            safe += char(c.unicode());
        else if (c == '.' || c == '-' || c == '_')
            safe += char(c.unicode());
    return header("Content-Disposition", "attachment; filename=\"" + safe + "\"");
}

QByteArray GzipCompress(const QByteArray& data, int level) {
    z_stream stream{};
    // 15 window bits + 16: a gzip header and trailer instead of zlib's.
    if (deflateInit2(&stream, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("gzip: deflateInit2 failed");
    QByteArray out;
    out.resize(qsizetype(deflateBound(&stream, uLong(data.size()))) + 32);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    const auto written = qsizetype(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("gzip: deflate did not finish");
    out.resize(written);
    return out;
}
