// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/station/StationDescription.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <cmath>
#include <iterator>

QTimeZone StationDescription::TimeZone() const {
    return timezone.isEmpty() ? QTimeZone::systemTimeZone() : QTimeZone(timezone.toUtf8());
}

namespace stationdescription {
namespace {

[[noreturn]] void Fail(const QString& fileName, int line, const QString& what) {
    throw StationDescriptionError(
        QStringLiteral("%1, line %2: %3").arg(fileName).arg(line).arg(what).toStdString());
}

double ReadNumber(const QString& key, const QString& value, double low, double high,
                  const QString& fileName, int line) {
    bool ok = false;
    const double number = value.toDouble(&ok); // C locale: '.' is the decimal point
    if (!ok || !std::isfinite(number))
        Fail(fileName, line, QStringLiteral("%1 = \"%2\" is not a number").arg(key, value));
    if (number < low || number > high)
        Fail(fileName, line,
             QStringLiteral("%1 = %2 is outside %3 to %4").arg(key, value).arg(low).arg(high));
    return number;
}

// The skyglow header's free values by their keys; null for any other key.
QString* SkyglowField(StationDescription::Skyglow& skyglow, const QString& key) {
    const std::pair<const char*, QString*> fields[] = {
        {"data_supplier", &skyglow.dataSupplier},
        {"location_name", &skyglow.locationName},
        {"instrument_id", &skyglow.instrumentId},
        {"time_synchronization", &skyglow.timeSynchronization},
        {"filter", &skyglow.filter},
        {"look_direction", &skyglow.lookDirection},
        {"field_of_view", &skyglow.fieldOfView},
        {"data_licence", &skyglow.dataLicence},
        {"comment", &skyglow.comment},
    };
    for (const auto& [name, field] : fields)
        if (key == QLatin1String(name)) return field;
    return nullptr;
}

// The safe_* keys: what an observatory is told is safe to observe under.
void ReadSafety(StationDescription::Safety& safety, const QString& key, const QString& value,
                const QString& fileName, int line) {
    if (key == QLatin1String("safe_conditions")) {
        QStringList conditions;
        for (const QString& part : value.split(u',', Qt::SkipEmptyParts)) {
            const QString name = part.trimmed().toLower();
            const bool known =
                std::any_of(std::begin(kSkyConditionNames), std::end(kSkyConditionNames),
                            [&](const char* n) { return name == QLatin1String(n); });
            if (!known)
                Fail(fileName, line,
                     QStringLiteral("safe_conditions: \"%1\" is none of day, twilight, moonlit, "
                                    "clear, cloudy")
                         .arg(part.trimmed()));
            if (!conditions.contains(name)) conditions.append(name);
        }
        safety.conditions = conditions;
    } else if (key == QLatin1String("safe_darker_than")) {
        safety.darkerThan = ReadNumber(key, value, 0, 30, fileName, line);
    } else if (key == QLatin1String("safe_fresh_seconds")) {
        const double seconds = ReadNumber(key, value, 2, 3600, fileName, line);
        if (seconds != std::floor(seconds))
            Fail(fileName, line, QStringLiteral("%1 = %2 is not whole seconds").arg(key, value));
        safety.freshSeconds = static_cast<int>(seconds);
    } else {
        Fail(fileName, line, QStringLiteral("unknown key \"%1\"").arg(key));
    }
}

} // namespace

bool ValidName(const QString& name) {
    if (name.isEmpty() || name.size() > kMaxNameLength) return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' || u == '-'))
            return false;
    }
    return true;
}

QString CleanName(const QString& name) {
    QString clean;
    for (const QChar c : name.toLower()) {
        const char16_t u = c.unicode();
        const bool allowed =
            (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_' || u == '-';
        clean += allowed ? c : QChar(u'-');
        if (clean.size() == kMaxNameLength) break;
    }
    while (clean.startsWith(u'-'))
        clean.remove(0, 1);
    while (clean.endsWith(u'-'))
        clean.chop(1);
    return clean.isEmpty() ? QStringLiteral("station") : clean;
}

QString DefaultName() {
    return CleanName(QSysInfo::machineHostName());
}

StationDescription Parse(const QByteArray& text, const QString& fileName) {
    StationDescription description;
    description.name = DefaultName();
    int lineNumber = 0;
    for (const QByteArray& raw : text.split('\n')) {
        ++lineNumber;
        QString line = QString::fromUtf8(raw);
        if (const qsizetype hash = line.indexOf(u'#'); hash >= 0) line.truncate(hash);
        line = line.trimmed();
        if (line.isEmpty()) continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            Fail(fileName, lineNumber, QStringLiteral("\"%1\" is not key = value").arg(line));
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key.startsWith(QLatin1String("safe_"))) {
            ReadSafety(description.safety, key, value, fileName, lineNumber);
        } else if (key == QLatin1String("name")) {
            if (!ValidName(value))
                Fail(fileName, lineNumber,
                     QStringLiteral("name = \"%1\" must be 1 to 64 of a-z 0-9 _ -").arg(value));
            description.name = value;
        } else if (key == QLatin1String("latitude")) {
            description.latitude = ReadNumber(key, value, -90, 90, fileName, lineNumber);
        } else if (key == QLatin1String("longitude")) {
            description.longitude = ReadNumber(key, value, -180, 180, fileName, lineNumber);
        } else if (key == QLatin1String("elevation")) {
            description.elevation = ReadNumber(key, value, -500, 9000, fileName, lineNumber);
        } else if (key == QLatin1String("timezone")) {
            // Any zone of the tz database: QTimeZone's list of available ones leaves out
            // CET, GMT, Etc/GMT-14 and their like, which it still knows.
            if (value.isEmpty() || !QTimeZone(value.toUtf8()).isValid())
                Fail(fileName, lineNumber,
                     QStringLiteral("timezone = \"%1\" is not a known time zone").arg(value));
            description.timezone = value;
        } else if (key == QLatin1String("zero_point")) {
            QString reason;
            const std::optional<sky::ZeroPoint> point = sky::ParseZeroPoint(value, &reason);
            if (!point) Fail(fileName, lineNumber, QStringLiteral("zero_point: %1").arg(reason));
            if (!description.zeroPoints.Add(*point))
                Fail(fileName, lineNumber,
                     QStringLiteral("zero_point: a second one from %1")
                         .arg(IsoDate(*point->fromNight)));
        } else if (QString* text = SkyglowField(description.skyglow, key)) {
            if (value.size() > kMaxSkyglowText)
                Fail(fileName, lineNumber,
                     QStringLiteral("%1 is longer than %2 characters")
                         .arg(key)
                         .arg(kMaxSkyglowText));
            *text = value;
        } else {
            Fail(fileName, lineNumber, QStringLiteral("unknown key \"%1\"").arg(key));
        }
    }
    return description;
}

StationDescription Load(const QString& directory) {
    const QString path = QDir(directory).filePath(QLatin1String(kFileName));
    QFile file(path);
    if (!file.exists()) {
        StationDescription description;
        description.name = DefaultName();
        return description;
    }
    if (!QFileInfo(path).isFile()) // a FIFO or device would block the start
        throw StationDescriptionError(
            QStringLiteral("%1: not a regular file").arg(path).toStdString());
    if (!file.open(QIODevice::ReadOnly))
        throw StationDescriptionError(
            QStringLiteral("%1: cannot be read: %2").arg(path, file.errorString()).toStdString());
    constexpr qint64 kMaxBytes = 64 * 1024; // a description is a few lines
    const QByteArray text = file.read(kMaxBytes + 1);
    if (text.size() > kMaxBytes)
        throw StationDescriptionError(
            QStringLiteral("%1: larger than 64 KiB, not a station description")
                .arg(path)
                .toStdString());
    return Parse(text, path);
}

} // namespace stationdescription
