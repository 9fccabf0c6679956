// SPDX-License-Identifier: GPL-3.0-or-later
#include "network/PublishCursor.h"

#include "core/log/DayFileReader.h"
#include "core/log/DayFileSet.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace publishcursor {
namespace {

// The line as the daily log writes it in the C locale: what the reader reads back.
QByteArray LineText(const DayRecord& r) {
    const CivilDate date = CivilFromDays(DayOf(r.time));
    const std::int64_t s = r.time - StartOfDay(DayOf(r.time));
    char text[96];
    const int t = r.temperatureTenths;
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %s%d.%d %7d %d", date.year,
                  date.month, date.day, int(s / 3600), int(s / 60 % 60), int(s % 60),
                  t < 0 ? "-" : "", std::abs(t) / 10, std::abs(t) % 10, r.mean, r.range);
    return text;
}

} // namespace

QByteArray Text(const PublishCursor& cursor) {
    return cursor.line.file.toUtf8() + ' ' + QByteArray::number(qlonglong(cursor.line.index)) +
           ' ' + QByteArray::number(qlonglong(cursor.utc)) + '\n' + LineText(cursor.line.record) +
           '\n';
}

std::optional<PublishCursor> Parse(const QByteArray& text) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 2) return std::nullopt;
    const QList<QByteArray> head = lines[0].split(' ');
    if (head.size() != 3) return std::nullopt;
    PublishCursor cursor;
    cursor.line.file = QString::fromUtf8(head[0]);
    bool indexOk = false;
    bool utcOk = false;
    cursor.line.index = head[1].toLongLong(&indexOk);
    cursor.utc = head[2].toLongLong(&utcOk);
    if (!indexOk || !utcOk || cursor.line.index < 0 ||
        DayFileSet::DayOfName(cursor.line.file) == DayFileSet::kUndated ||
        !dayreader::ParseLine(std::string_view(lines[1].constData(), lines[1].size()),
                              cursor.line.record))
        return std::nullopt;
    return cursor;
}

std::optional<PublishCursor> Load(const QString& directory, QString* why) {
    QFile file(QDir(directory).filePath(QString::fromLatin1(kFileName)));
    if (why) why->clear();
    if (!file.exists()) return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
        return std::nullopt;
    }
    std::optional<PublishCursor> cursor = Parse(file.read(1024));
    if (!cursor && why) *why = QStringLiteral("%1 does not read as a cursor").arg(file.fileName());
    return cursor;
}

bool Save(const QString& directory, const PublishCursor& cursor, QString* why) {
    QSaveFile file(QDir(directory).filePath(QString::fromLatin1(kFileName)));
    if (!file.open(QIODevice::WriteOnly) || file.write(Text(cursor)) < 0 || !file.commit()) {
        if (why)
            *why = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

} // namespace publishcursor
