// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/nights/SkyglowReader.h"

#include <QList>
#include <QStringList>

#include <cmath>

namespace skyglow {
namespace {

bool Number(const QByteArray& text, double* value) {
    bool ok = false;
    *value = text.trimmed().toDouble(&ok);
    return ok && !text.trimmed().isEmpty() && std::isfinite(*value);
}

Parsed Fail(Parsed read, const QString& why) {
    read.error = why;
    read.rows.clear();
    return read;
}

} // namespace

Parsed Parse(const QByteArray& file) {
    Parsed read;
    for (const char c : file)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\t')
            return Fail(read, QStringLiteral("not printable ASCII"));
    if (!file.endsWith("\r\n")) return Fail(read, QStringLiteral("last line without CR LF"));
    QList<QByteArray> lines = file.split('\n');
    lines.removeLast();
    for (QByteArray& line : lines) {
        if (!line.endsWith('\r')) return Fail(read, QStringLiteral("a line without CR LF"));
        line.chop(1);
    }
    if (lines.size() < 3 ||
        lines[0] != "# Definition of the community standard for skyglow observations 1.0")
        return Fail(read, QStringLiteral("not the skyglow standard 1.0"));
    const QByteArray count = "# Number of header lines: ";
    if (!lines[2].startsWith(count)) return Fail(read, QStringLiteral("no header line count"));
    bool ok = false;
    const int headerLines = lines[2].mid(count.size()).toInt(&ok);
    if (!ok || headerLines < 3 || headerLines > lines.size())
        return Fail(read, QStringLiteral("bad header line count"));
    for (int i = 0; i < headerLines; ++i) {
        const QByteArray& line = lines[i];
        if (!line.startsWith("# "))
            return Fail(read, QStringLiteral("header line %1 without #").arg(i + 1));
        if (line.size() > 150)
            return Fail(read, QStringLiteral("header line %1 too long").arg(i + 1));
        const qsizetype colon = line.indexOf(": ");
        if (colon > 2)
            read.header.insert(QString::fromLatin1(line.mid(2, colon - 2)),
                               QString::fromLatin1(line.mid(colon + 2)));
    }
    if (lines[headerLines - 1] != "# END OF HEADER")
        return Fail(read, QStringLiteral("no END OF HEADER"));

    const QStringList position =
        read.header.value(QStringLiteral("Position (lat, lon, elev(m))")).split(u',');
    if (position.size() != 3) return Fail(read, QStringLiteral("position is not three numbers"));
    double* place[] = {&read.latitude, &read.longitude, &read.elevation};
    for (int k = 0; k < 3; ++k)
        if (!Number(position[k].toLatin1(), place[k]))
            return Fail(read, QStringLiteral("position is not three numbers"));
    if (std::abs(read.latitude) > 90 || std::abs(read.longitude) > 180)
        return Fail(read, QStringLiteral("position out of range"));
    if (read.header.value(QStringLiteral("Local timezone")).isEmpty())
        return Fail(read, QStringLiteral("no local time zone"));
    read.fields = read.header.value(QStringLiteral("Number of fields per line")).toInt(&ok);
    if (!ok || read.fields < 6) return Fail(read, QStringLiteral("fewer than six fields"));

    for (qsizetype i = headerLines; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split(';');
        const QString where = QStringLiteral("line %1: ").arg(i + 1);
        if (f.size() != read.fields) return Fail(read, where + QStringLiteral("wrong field count"));
        Row row;
        row.utc = QDateTime::fromString(QString::fromLatin1(f[0]),
                                        QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
        row.utc.setTimeSpec(Qt::UTC);
        row.local = QDateTime::fromString(QString::fromLatin1(f[1]),
                                          QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
        if (!row.utc.isValid() || !row.local.isValid())
            return Fail(read, where + QStringLiteral("bad time"));
        double* values[] = {&row.temperature, &row.counts, &row.range, &row.msas};
        for (int k = 0; k < 4; ++k)
            if (!Number(f[2 + k], values[k]))
                return Fail(read, where + QStringLiteral("field %1 is not a number").arg(3 + k));
        if (!read.rows.empty() && row.utc < read.rows.back().utc)
            return Fail(read, where + QStringLiteral("UTC goes back"));
        read.rows.push_back(row);
    }
    return read;
}

} // namespace skyglow
