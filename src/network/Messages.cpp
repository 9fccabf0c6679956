// SPDX-License-Identifier: GPL-3.0-or-later
#include "network/Messages.h"

#include "core/station/StationDescription.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <limits>

namespace messages {
namespace {

constexpr std::int64_t kMaxZoneOffset = 26 * 3600;
// Years the stamps may name: what a day file's "yyyy" can say.
constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::Reading:
        return "reading";
    case Kind::Status:
        return "status";
    case Kind::Event:
        return "event";
    case Kind::Minute:
        return "minute";
    }
    return "";
}

void Refuse(QString* why, const QString& text) {
    if (why) *why = text;
}

// Fixed-width decimal fields of a stamp; false unless every character is a digit.
bool Digits(const QString& text, qsizetype from, qsizetype count, int& value) {
    value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// "yyyy-mm-dd?hh:mm:ss" with `middle` at position 10; seconds since the epoch of that
// clock, or nothing.
std::optional<std::int64_t> ParseStamp(const QString& text, char16_t middle) {
    if (text.size() != 19 || text[4] != u'-' || text[7] != u'-' || text[10] != middle ||
        text[13] != u':' || text[16] != u':')
        return std::nullopt;
    int year, month, day, hour, minute, second;
    if (!Digits(text, 0, 4, year) || !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day) ||
        !Digits(text, 11, 2, hour) || !Digits(text, 14, 2, minute) || !Digits(text, 17, 2, second))
        return std::nullopt;
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

QString FormatStamp(std::int64_t seconds, char middle, const char* end) {
    const CivilDate date = CivilFromDays(DayOf(seconds));
    const std::int64_t inDay = seconds - StartOfDay(DayOf(seconds));
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d%s", date.year, date.month,
                  date.day, middle, int(inDay / 3600), int(inDay / 60 % 60), int(inDay % 60), end);
    return QString::fromLatin1(text);
}

std::optional<QJsonObject> ReadObject(const QByteArray& payload, QString* why) {
    if (payload.size() > kMaxPayload) {
        Refuse(why, QStringLiteral("larger than %1 bytes").arg(kMaxPayload));
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        Refuse(why, error.error != QJsonParseError::NoError
                        ? QStringLiteral("not JSON: %1").arg(error.errorString())
                        : QStringLiteral("not a JSON object"));
        return std::nullopt;
    }
    return document.object();
}

// An integer held exactly by a JSON number, within [low, high].
bool ReadInteger(const QJsonObject& object, const char* key, std::int64_t low, std::int64_t high,
                 std::int64_t& value, QString* why) {
    const QJsonValue field = object.value(QLatin1String(key));
    const double number = field.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!field.isDouble() || !std::isfinite(number) || number != std::floor(number) ||
        number < double(low) || number > double(high)) {
        Refuse(why, QStringLiteral("\"%1\" is missing or not an integer from %2 to %3")
                        .arg(QLatin1String(key))
                        .arg(low)
                        .arg(high));
        return false;
    }
    value = std::int64_t(number);
    return true;
}

// What no archive can store: JSON may escape a NUL character or half of a surrogate pair
// (\u0000, \ud800), but a text column holds neither, and cutting the text short would store
// something the station never said.
QString Unstorable(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() == 0) return QStringLiteral("a NUL character");
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate()) return QStringLiteral("half of a surrogate pair");
    }
    return QString();
}

bool ReadString(const QJsonObject& object, const char* key, QString& value, QString* why,
                qsizetype maxLength = 1024) {
    const QJsonValue field = object.value(QLatin1String(key));
    if (!field.isString() || field.toString().size() > maxLength) {
        Refuse(why, QStringLiteral("\"%1\" is missing or not a text of at most %2 characters")
                        .arg(QLatin1String(key))
                        .arg(maxLength));
        return false;
    }
    value = field.toString();
    if (const QString bad = Unstorable(value); !bad.isEmpty()) {
        Refuse(why, QStringLiteral("\"%1\" holds %2").arg(QLatin1String(key), bad));
        return false;
    }
    return true;
}

// A number within [low, high], or null; a missing field is refused as a wrong one.
bool ReadOptionalNumber(const QJsonObject& object, const char* key, double low, double high,
                        std::optional<double>& value, QString* why) {
    const QJsonValue field = object.value(QLatin1String(key));
    if (field.isNull()) {
        value.reset();
        return true;
    }
    const double number = field.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!field.isDouble() || !std::isfinite(number) || number < low || number > high) {
        Refuse(why, QStringLiteral("\"%1\" is missing or neither null nor a number from %2 to %3")
                        .arg(QLatin1String(key))
                        .arg(low)
                        .arg(high));
        return false;
    }
    value = number;
    return true;
}

bool ReadUtc(const QJsonObject& object, std::int64_t& utc, QString* why) {
    QString text;
    if (!ReadString(object, "time", text, why, 32)) return false;
    const auto parsed = ParseUtcText(text);
    if (!parsed) {
        Refuse(why, QStringLiteral("\"time\" is not yyyy-mm-ddThh:mm:ssZ: %1").arg(text));
        return false;
    }
    utc = *parsed;
    return true;
}

} // namespace

QString Topic(const QString& prefix, const QString& station, Kind kind) {
    return prefix + u'/' + station + u'/' + QLatin1String(KindName(kind));
}

QString AllStations(const QString& prefix, Kind kind) {
    return Topic(prefix, QStringLiteral("+"), kind);
}

std::optional<TopicParts> ParseTopic(const QString& prefix, const QString& topic) {
    if (!topic.startsWith(prefix) || topic.size() <= prefix.size() || topic[prefix.size()] != u'/')
        return std::nullopt;
    const QString rest = topic.mid(prefix.size() + 1);
    const qsizetype slash = rest.indexOf(u'/');
    if (slash < 0) return std::nullopt;
    TopicParts parts;
    parts.station = rest.left(slash);
    const QString kind = rest.mid(slash + 1);
    if (!stationdescription::ValidName(parts.station)) return std::nullopt;
    if (kind == QLatin1String("reading"))
        parts.kind = Kind::Reading;
    else if (kind == QLatin1String("status"))
        parts.kind = Kind::Status;
    else if (kind == QLatin1String("event"))
        parts.kind = Kind::Event;
    else if (kind == QLatin1String("minute"))
        parts.kind = Kind::Minute;
    else
        return std::nullopt;
    return parts;
}

QString UtcText(std::int64_t utc) {
    return FormatStamp(utc, 'T', "Z");
}

std::optional<std::int64_t> ParseUtcText(const QString& text) {
    if (text.size() != 20 || text[19] != u'Z') return std::nullopt;
    return ParseStamp(text.left(19), u'T');
}

QString LocalText(WallSeconds wall) {
    return FormatStamp(wall, ' ', "");
}

std::optional<WallSeconds> ParseLocalText(const QString& text) {
    return ParseStamp(text, u' ');
}

QByteArray Encode(const Reading& reading) {
    // Written by hand: one a second from every station, and the temperature must read
    // exactly as the day file writes it (one decimal).
    const int tenths = reading.record.temperatureTenths;
    const int whole = std::abs(tenths) / 10;
    char text[200];
    const int length = std::snprintf(
        text, sizeof text,
        "{\"time\":\"%s\",\"local\":\"%s\",\"temperature\":%s%d.%d,\"mean_count\":%ld,"
        "\"range\":%d}",
        UtcText(reading.utc).toLatin1().constData(),
        LocalText(reading.record.time).toLatin1().constData(), tenths < 0 ? "-" : "", whole,
        std::abs(tenths) % 10, long(reading.record.mean), int(reading.record.range));
    QByteArray out(text, length);
    if (reading.prev)
        out.insert(out.size() - 1, ",\"prev\":\"" + UtcText(*reading.prev).toLatin1() + '"');
    else if (reading.first)
        out.insert(out.size() - 1, ",\"prev\":null");
    return out;
}

QByteArray Encode(const Status& status) {
    QJsonObject object{
        {QStringLiteral("online"), status.online},
        {QStringLiteral("link"), status.linkUp ? QStringLiteral("up") : QStringLiteral("down")},
        {QStringLiteral("hint"), status.hint},
        {QStringLiteral("version"), status.version},
        {QStringLiteral("newest_day"), status.newestDay}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray Encode(const Event& event) {
    QJsonObject object{{QStringLiteral("time"), UtcText(event.utc)},
                       {QStringLiteral("priority"), event.priority},
                       {QStringLiteral("text"), event.text}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool KnownCondition(const QString& condition) {
    static const QStringList known{QStringLiteral("day"), QStringLiteral("twilight"),
                                   QStringLiteral("moonlit"), QStringLiteral("clear"),
                                   QStringLiteral("cloudy")};
    return known.contains(condition);
}

namespace {

// Two decimals for a magnitude, one for a count: more says nothing of the sky, and the
// message reads back as it was sent.
double Rounded(double value, int decimals) {
    const double scale = decimals == 2 ? 100.0 : 10.0;
    return std::round(value * scale) / scale;
}

QJsonValue Number(const std::optional<double>& value, int decimals) {
    return value ? QJsonValue(Rounded(*value, decimals)) : QJsonValue(QJsonValue::Null);
}

} // namespace

QByteArray Encode(const Minute& minute) {
    QJsonObject object{{QStringLiteral("time"), UtcText(minute.utc)},
                       {QStringLiteral("median_count"), Number(minute.medianCount, 1)},
                       {QStringLiteral("good_seconds"), minute.goodSeconds},
                       {QStringLiteral("magnitude"), Number(minute.magnitude, 2)},
                       {QStringLiteral("limiting_magnitude"), Number(minute.limitingMagnitude, 2)},
                       {QStringLiteral("condition"), minute.condition.isEmpty()
                                                         ? QJsonValue(QJsonValue::Null)
                                                         : QJsonValue(minute.condition)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Minute> DecodeMinute(const QByteArray& payload, QString* why) {
    const auto object = ReadObject(payload, why);
    if (!object) return std::nullopt;
    Minute minute;
    if (!ReadUtc(*object, minute.utc, why)) return std::nullopt;
    if (minute.utc % 60 != 0) {
        Refuse(why, QStringLiteral("\"time\" is not the start of a minute"));
        return std::nullopt;
    }
    std::int64_t seconds = 0;
    if (!ReadInteger(*object, "good_seconds", 0, 60, seconds, why) ||
        !ReadOptionalNumber(*object, "median_count", 0,
                            double(std::numeric_limits<std::int32_t>::max()), minute.medianCount,
                            why) ||
        !ReadOptionalNumber(*object, "magnitude", -10, 40, minute.magnitude, why) ||
        !ReadOptionalNumber(*object, "limiting_magnitude", -10, 40, minute.limitingMagnitude, why))
        return std::nullopt;
    minute.goodSeconds = int(seconds);
    if (minute.medianCount) minute.medianCount = Rounded(*minute.medianCount, 1);
    if (minute.magnitude) minute.magnitude = Rounded(*minute.magnitude, 2);
    if (minute.limitingMagnitude) minute.limitingMagnitude = Rounded(*minute.limitingMagnitude, 2);
    const QJsonValue condition = object->value(QLatin1String("condition"));
    if (!condition.isNull()) {
        if (!condition.isString() || !KnownCondition(condition.toString())) {
            Refuse(why, QStringLiteral("\"condition\" is neither null nor one of day, twilight, "
                                       "moonlit, clear, cloudy"));
            return std::nullopt;
        }
        minute.condition = condition.toString();
    }
    return minute;
}

std::optional<Reading> DecodeReading(const QByteArray& payload, QString* why) {
    const auto object = ReadObject(payload, why);
    if (!object) return std::nullopt;
    Reading reading;
    QString local;
    if (!ReadUtc(*object, reading.utc, why) || !ReadString(*object, "local", local, why, 32))
        return std::nullopt;
    const auto wall = ParseLocalText(local);
    if (!wall) {
        Refuse(why, QStringLiteral("\"local\" is not yyyy-mm-dd hh:mm:ss: %1").arg(local));
        return std::nullopt;
    }
    if (std::abs(*wall - reading.utc) > kMaxZoneOffset) {
        Refuse(why, QStringLiteral("\"local\" is more than 26 hours from \"time\""));
        return std::nullopt;
    }
    reading.record.time = *wall;
    const QJsonValue temperature = object->value(QLatin1String("temperature"));
    const double tenths = temperature.toDouble(std::numeric_limits<double>::quiet_NaN()) * 10;
    if (!temperature.isDouble() || !std::isfinite(tenths) ||
        std::abs(tenths - std::round(tenths)) > 1e-6 || std::round(tenths) < -32768 ||
        std::round(tenths) > 32767) {
        Refuse(why, QStringLiteral("\"temperature\" is missing or not a number of one decimal "
                                   "from -3276.8 to 3276.7"));
        return std::nullopt;
    }
    reading.record.temperatureTenths = std::int16_t(std::lround(tenths));
    std::int64_t mean = 0, range = 0;
    if (!ReadInteger(*object, "mean_count", 0, std::numeric_limits<std::int32_t>::max(), mean,
                     why) ||
        !ReadInteger(*object, "range", 0, 255, range, why))
        return std::nullopt;
    reading.record.mean = std::int32_t(mean);
    reading.record.range = std::int16_t(range);
    const QJsonValue prev = object->value(QLatin1String("prev"));
    if (prev.isNull()) {
        reading.first = true;
    } else if (!prev.isUndefined()) {
        const auto utc = prev.isString() ? ParseUtcText(prev.toString()) : std::nullopt;
        if (!utc) {
            Refuse(why, QStringLiteral("\"prev\" is neither null nor yyyy-mm-ddThh:mm:ssZ"));
            return std::nullopt;
        }
        reading.prev = *utc;
    }
    return reading;
}

std::optional<Status> DecodeStatus(const QByteArray& payload, QString* why) {
    const auto object = ReadObject(payload, why);
    if (!object) return std::nullopt;
    Status status;
    const QJsonValue online = object->value(QLatin1String("online"));
    if (!online.isBool()) {
        Refuse(why, QStringLiteral("\"online\" is missing or not true or false"));
        return std::nullopt;
    }
    status.online = online.toBool();
    QString link;
    // The last will carries all fields too; a link that is neither is refused.
    if (!ReadString(*object, "link", link, why, 8) || (link != u"up" && link != u"down")) {
        Refuse(why, QStringLiteral("\"link\" is missing or neither \"up\" nor \"down\""));
        return std::nullopt;
    }
    status.linkUp = link == u"up";
    if (!ReadString(*object, "hint", status.hint, why) ||
        !ReadString(*object, "version", status.version, why, 64) ||
        !ReadString(*object, "newest_day", status.newestDay, why, 10))
        return std::nullopt;
    if (!status.newestDay.isEmpty() &&
        !ParseLocalText(status.newestDay + QStringLiteral(" 00:00:00"))) {
        Refuse(why, QStringLiteral("\"newest_day\" is not yyyy-mm-dd: %1").arg(status.newestDay));
        return std::nullopt;
    }
    return status;
}

std::optional<Event> DecodeEvent(const QByteArray& payload, QString* why) {
    const auto object = ReadObject(payload, why);
    if (!object) return std::nullopt;
    Event event;
    std::int64_t priority = 0;
    if (!ReadUtc(*object, event.utc, why) ||
        !ReadInteger(*object, "priority", 0, 7, priority, why) ||
        !ReadString(*object, "text", event.text, why))
        return std::nullopt;
    event.priority = int(priority);
    return event;
}

} // namespace messages
