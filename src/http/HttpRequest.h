// SPDX-License-Identifier: GPL-3.0-or-later
// One request as a handler sees it: the method, the decoded path, the query's (and a form
// body's) parameters and the headers. The checked getters refuse what a handler did not ask
// for, a parameter given twice, an over-long value or a number out of its range, each with an
// HttpError that the server turns into a clear answer.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

// A refusal with its HTTP status; the server answers it as {"error": message}.
class HttpError : public std::runtime_error {
public:
    HttpError(int status, const QString& message)
        : std::runtime_error(message.toStdString())
        , status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

class HttpRequest {
public:
    using Pairs = QList<QPair<QString, QString>>;

    HttpRequest(QByteArray method, QString path, Pairs params, Pairs headers, QByteArray body)
        : method_(std::move(method))
        , path_(std::move(path))
        , params_(std::move(params))
        , headers_(std::move(headers))
        , body_(std::move(body)) {}

    const QByteArray& method() const { return method_; }
    // Percent-decoded, without the query.
    const QString& path() const { return path_; }
    // The path's segments after a route's prefix ("/a/b/" under "/a/" gives {"b"}).
    QStringList pathAfter(const QString& prefix) const;
    // The query's parameters, then those of an application/x-www-form-urlencoded body.
    const Pairs& params() const { return params_; }
    const QByteArray& body() const { return body_; }

    // A header by name, ignoring case; empty when absent.
    QString header(const QString& name) const;
    bool acceptsGzip() const;

    // Refuses (400) any parameter not named here.
    void allowOnly(const QStringList& names) const;
    // The parameter's value, or nothing when absent; 400 when given twice or longer than
    // maxLength characters. caseSensitive=false matches the name ignoring case.
    std::optional<QString> text(const QString& name, int maxLength = 256,
                                bool caseSensitive = true) const;
    QString requiredText(const QString& name, int maxLength = 256) const;
    // A whole decimal number within [min, max]; fallback when absent, 400 when malformed.
    qint64 integer(const QString& name, qint64 min, qint64 max, qint64 fallback) const;
    std::optional<qint64> integer(const QString& name, qint64 min, qint64 max) const;

private:
    QByteArray method_;
    QString path_;
    Pairs params_;
    Pairs headers_;
    QByteArray body_;
};

// Splits "a=1&b=x%20y" into decoded pairs ('+' is a space). Refuses (400) more than
// maxPairs pairs and malformed escapes.
HttpRequest::Pairs ParseFormEncoded(const QByteArray& text, int maxPairs);
