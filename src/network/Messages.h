// SPDX-License-Identifier: GPL-3.0-or-later
// What a station says on the network, and how the archive reads it back: the topics and the
// JSON of its readings, its status and its events. Stations encode; the collector decodes,
// and takes nothing it cannot trust: every decoder checks the whole message and says why
// it refuses one.
//
//   PREFIX/NAME/reading  one message per day-file line, QoS 1:
//       {"time":"2026-12-08T10:00:00Z","local":"2026-12-08 11:00:00",
//        "temperature":21.5,"mean_count":1234,"range":3,"prev":"2026-12-08T09:59:59Z"}
//     `time` is UTC, `local` the day file's own stamp, the numbers as the line writes them
//     (a failed second: -273.1 and range 0). `prev` is the `time` of the line the station
//     sent before this one, null for the first line it has to send: the archive tells by it
//     what it holds without a gap (see Confirmation.h). A station that sends no `prev` is
//     taken at the broker's word, as before `prev` existed.
//   PREFIX/NAME/status   retained:
//       {"online":true,"link":"up","hint":"","version":"0.1.0","newest_day":"2026-12-08"}
//     The broker's last will is the same with "online":false.
//   PREFIX/NAME/event    one message per event line of the logger:
//       {"time":"2026-12-08T10:00:00Z","priority":4,"text":"sensor lost: ..."}
//     `priority` as the journal counts it (3 error, 4 warning, 5 notice, 6 info).
//   PREFIX/NAME/minute   retained, once a minute, for the minute just ended:
//       {"time":"2026-12-08T22:14:00Z","median_count":412.0,"good_seconds":60,
//        "magnitude":20.31,"limiting_magnitude":null,"condition":"clear"}
//     `time` is the minute's start (UTC), `median_count` the median of its seconds whose
//     light was read (null without one), `good_seconds` how many there were, `magnitude`
//     the sky's brightness in mag/arcsec² by the zero point of that night (null without
//     one), `limiting_magnitude` the naked eye's (null while no conversion is known), and
//     `condition` the minute's sky: "day", "twilight", "moonlit", "clear", "cloudy", or
//     null when it cannot be told (no position, too few seconds).
#pragma once

#include "core/log/DayRecord.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace messages {

inline constexpr char kDefaultPrefix[] = "nocturo";
// A message larger than this is not one of ours; the collector drops it unread.
inline constexpr qsizetype kMaxPayload = 4096;

enum class Kind { Reading, Status, Event, Minute };

// "PREFIX/NAME/reading" and so on.
QString Topic(const QString& prefix, const QString& station, Kind kind);
// The subscription for one kind from every station: "PREFIX/+/reading".
QString AllStations(const QString& prefix, Kind kind);

struct TopicParts {
    QString station;
    Kind kind = Kind::Reading;
};
// The station and kind of a topic under `prefix`; nothing for any other topic or for a
// station name that is not valid (see stationdescription::ValidName).
std::optional<TopicParts> ParseTopic(const QString& prefix, const QString& topic);

// One second of a station: the day file's line, and the UTC second it was taken.
struct Reading {
    std::int64_t utc = 0; // seconds since 1970-01-01 00:00 UTC
    DayRecord record;     // record.time: the day file's wall-clock stamp
    // The UTC second of the line sent before it; `first`: none was (prev null); neither:
    // the station does not say.
    std::optional<std::int64_t> prev;
    bool first = false;
    bool operator==(const Reading&) const = default;
};

struct Status {
    bool online = false;
    bool linkUp = false;
    QString hint;      // why the link is down; empty while up
    QString version;   // the station's program version
    QString newestDay; // "yyyy-mm-dd" of the newest day file; empty when none
    bool operator==(const Status&) const = default;
};

struct Event {
    std::int64_t utc = 0;
    int priority = 6; // 0 emergency .. 7 debug, as the journal counts
    QString text;
    bool operator==(const Event&) const = default;
};

// One minute of a station, summed up by the station itself.
struct Minute {
    std::int64_t utc = 0; // the minute's start, seconds since 1970 UTC (a multiple of 60)
    std::optional<double> medianCount;
    int goodSeconds = 0; // 0 to 60
    std::optional<double> magnitude;
    std::optional<double> limitingMagnitude;
    QString condition; // empty: not known
    bool operator==(const Minute&) const = default;
};

// The words a minute's condition may be, as the live classifier gives them.
bool KnownCondition(const QString& condition);

QByteArray Encode(const Reading& reading);
QByteArray Encode(const Status& status);
QByteArray Encode(const Event& event);
QByteArray Encode(const Minute& minute);

// Decoders: the message, or nothing with `why` (when given) saying what is wrong. A
// reading's values must be what a day file can hold (DayRecord's ranges) and its two
// stamps at most 26 hours apart (every time zone's offset, with room for daylight saving).
std::optional<Reading> DecodeReading(const QByteArray& payload, QString* why = nullptr);
std::optional<Status> DecodeStatus(const QByteArray& payload, QString* why = nullptr);
std::optional<Event> DecodeEvent(const QByteArray& payload, QString* why = nullptr);
// A minute's numbers must be what a sky can give: a count from 0 to the largest a line can
// hold, a magnitude from -10 to 40.
std::optional<Minute> DecodeMinute(const QByteArray& payload, QString* why = nullptr);

// "2026-12-08T10:00:00Z" and back; nothing for any other text.
QString UtcText(std::int64_t utc);
std::optional<std::int64_t> ParseUtcText(const QString& text);
// "2026-12-08 11:00:00" (the day file's stamp) and back.
QString LocalText(WallSeconds wall);
std::optional<WallSeconds> ParseLocalText(const QString& text);

} // namespace messages
