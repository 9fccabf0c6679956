// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/HttpRequest.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

QString Decode(const QByteArray& part) {
    QByteArray out;
    out.reserve(part.size());
    for (qsizetype i = 0; i < part.size(); ++i) {
        const char c = part[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            const int high = i + 2 < part.size() ? HexValue(part[i + 1]) : -1;
            const int low = i + 2 < part.size() ? HexValue(part[i + 2]) : -1;
            if (high < 0 || low < 0) throw HttpError(400, "malformed escape in the parameters");
            out += char(high * 16 + low);
            i += 2;
        } else {
            out += c;
        }
    }
    return QString::fromUtf8(out);
}

} // namespace

HttpRequest::Pairs ParseFormEncoded(const QByteArray& text, int maxPairs) {
    HttpRequest::Pairs pairs;
    if (text.isEmpty()) return pairs;
    for (const QByteArray& part : text.split('&')) {
        if (part.isEmpty()) continue;
        if (pairs.size() >= maxPairs) throw HttpError(400, "too many parameters");
        const qsizetype eq = part.indexOf('=');
        if (eq < 0)
            pairs.append({Decode(part), QString()});
        else
            pairs.append({Decode(part.left(eq)), Decode(part.mid(eq + 1))});
    }
    return pairs;
}

QStringList HttpRequest::pathAfter(const QString& prefix) const {
    if (!path_.startsWith(prefix)) return {};
    return path_.mid(prefix.size()).split('/', Qt::SkipEmptyParts);
}

QString HttpRequest::header(const QString& name) const {
    for (const auto& [key, value] : headers_)
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

bool HttpRequest::acceptsGzip() const {
    // "gzip", "gzip;q=0.5" and "*" accept it; "gzip;q=0" refuses it.
    for (QString coding : header("Accept-Encoding").split(',', Qt::SkipEmptyParts)) {
        coding = coding.trimmed();
        const QString name = coding.section(';', 0, 0).trimmed().toLower();
        if (name != "gzip" && name != "*") continue;
        const QString q = coding.section(';', 1).trimmed().remove(' ');
        if (q.startsWith("q=") && q.mid(2).toDouble() <= 0.0) return false;
        return true;
    }
    return false;
}

void HttpRequest::allowOnly(const QStringList& names) const {
    for (const auto& pair : params_)
        if (!names.contains(pair.first))
            throw HttpError(400, QString("unknown parameter \"%1\"").arg(pair.first.left(40)));
}

std::optional<QString> HttpRequest::text(const QString& name, int maxLength,
                                         bool caseSensitive) const {
    std::optional<QString> found;
    const auto sensitivity = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (const auto& [key, value] : params_) {
        if (key.compare(name, sensitivity) != 0) continue;
        if (found) throw HttpError(400, QString("parameter \"%1\" given twice").arg(name));
        if (value.size() > maxLength)
            throw HttpError(400, QString("parameter \"%1\" is too long").arg(name));
        found = value;
    }
    return found;
}

QString HttpRequest::requiredText(const QString& name, int maxLength) const {
    const auto value = text(name, maxLength);
    if (!value || value->isEmpty())
        throw HttpError(400, QString("parameter \"%1\" is missing").arg(name));
    return *value;
}

std::optional<qint64> HttpRequest::integer(const QString& name, qint64 min, qint64 max) const {
    const auto value = text(name, 20);
    if (!value) return std::nullopt;
    bool ok = false;
    const qint64 number = value->toLongLong(&ok, 10);
    if (!ok || value->startsWith('+') || value->trimmed() != *value)
        throw HttpError(400, QString("parameter \"%1\" is not a whole number").arg(name));
    if (number < min || number > max)
        throw HttpError(
            400, QString("parameter \"%1\" must be from %2 to %3").arg(name).arg(min).arg(max));
    return number;
}

qint64 HttpRequest::integer(const QString& name, qint64 min, qint64 max, qint64 fallback) const {
    return integer(name, min, max).value_or(fallback);
}
