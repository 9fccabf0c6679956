// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveWriter.h"

#include "archive/PgConnection.h"
#include "core/Failure.h"

#include <QHash>

#include <algorithm>
#include <cstdio>

namespace {

// "2026-12-08 10:00:00" of seconds since 1970 (UTC, or a wall clock's own seconds).
void AppendStamp(QByteArray& out, std::int64_t seconds) {
    const CivilDate date = CivilFromDays(DayOf(seconds));
    const std::int64_t inDay = seconds - StartOfDay(DayOf(seconds));
    char text[40];
    const int n =
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.year, date.month,
                      date.day, int(inDay / 3600), int(inDay / 60 % 60), int(inDay % 60));
    out.append(text, n);
}

// A text field of COPY's text format: backslash, tab and line breaks escaped.
void AppendText(QByteArray& out, const QString& text) {
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\':
            out.append("\\\\");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        default:
            out.append(c);
        }
    }
}

QByteArray Utc(std::int64_t utc) {
    QByteArray out;
    AppendStamp(out, utc);
    return out + "+00";
}

} // namespace

QByteArray ArchiveWriter::CopyRows(const std::vector<archive::Reading>& readings) {
    QByteArray out;
    out.reserve(qsizetype(readings.size()) * 72);
    for (const archive::Reading& r : readings) {
        AppendText(out, r.station);
        out.append('\t');
        AppendStamp(out, r.utc);
        out.append("+00\t");
        AppendStamp(out, r.record.time);
        out.append('\t');
        out.append(QByteArray::number(r.record.temperatureTenths)).append('\t');
        out.append(QByteArray::number(r.record.mean)).append('\t');
        out.append(QByteArray::number(r.record.range)).append('\n');
    }
    return out;
}

QByteArray ArchiveWriter::CopyRows(const std::vector<archive::Event>& events) {
    QByteArray out;
    for (const archive::Event& e : events) {
        AppendText(out, e.station);
        out.append('\t');
        AppendStamp(out, e.utc);
        out.append("+00\t");
        out.append(QByteArray::number(e.priority)).append('\t');
        AppendText(out, e.text);
        out.append('\n');
    }
    return out;
}

void ArchiveWriter::Forget() {
    prepared_ = false;
}

bool ArchiveWriter::Prepare(QString* why) {
    if (prepared_) return true;
    // Per connection, emptied at each commit: the rows of one batch on their way in.
    prepared_ =
        connection_.Exec(
            QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS incoming_readings (station text, "
                           "utc timestamptz, local timestamp, temperature_tenths smallint, "
                           "mean_count integer, range smallint) ON COMMIT DELETE ROWS"),
            why) &&
        connection_.Exec(
            QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS incoming_events (station text, "
                           "utc timestamptz, priority smallint, text text) ON COMMIT DELETE ROWS"),
            why);
    return prepared_;
}

bool ArchiveWriter::GiveUp() {
    // Class 22 (data exception) and 23 (integrity constraint): the server is there and
    // refuses what it was given; anything else may pass once the server is back.
    const QString state = connection_.SqlState();
    dataError_ = connection_.IsOpen() &&
                 (state.startsWith(QLatin1String("22")) || state.startsWith(QLatin1String("23")));
    if (connection_.IsOpen()) connection_.Exec(QStringLiteral("ROLLBACK"));
    return false;
}

bool ArchiveWriter::EnsureMonths(const std::vector<archive::Reading>& readings, QString* why) {
    std::set<archiveschema::Month> wanted;
    for (const archive::Reading& r : readings) {
        const archiveschema::Month month = archiveschema::MonthOf(r.utc);
        if (!months_.count(month)) wanted.insert(month);
    }
    for (const archiveschema::Month& month : wanted) {
        // Another collector may make the same month at the same moment: then the second
        // attempt finds it there.
        if (!archiveschema::EnsureMonth(connection_, month) &&
            !archiveschema::EnsureMonth(connection_, month, why))
            return false;
        months_.insert(month);
    }
    return true;
}

bool ArchiveWriter::WriteReadings(const std::vector<archive::Reading>& readings, QString* why) {
    if (readings.empty()) return true;
    return connection_.Copy(QStringLiteral("COPY incoming_readings FROM STDIN"), CopyRows(readings),
                            why) &&
           connection_.Exec(
               QStringLiteral(
                   "INSERT INTO readings SELECT * FROM incoming_readings ON CONFLICT DO NOTHING"),
               why) &&
           connection_.Exec(
               QStringLiteral(
                   "INSERT INTO stations AS s (name, first_reading, last_reading) "
                   "SELECT station, min(utc), max(utc) FROM incoming_readings GROUP BY station "
                   "ON CONFLICT (name) DO UPDATE SET "
                   "first_reading = LEAST(s.first_reading, EXCLUDED.first_reading), "
                   "last_reading = GREATEST(s.last_reading, EXCLUDED.last_reading)"),
               why);
}

bool ArchiveWriter::SumMinutes(const std::vector<archive::Reading>& readings, QString* why) {
    if (readings.empty()) return true;
    // Every minute the batch touched, summed up again from all of its seconds the archive
    // holds: a minute whose seconds come in several batches, or again after a gap was
    // filled, ends with the summary of all of them. The station's own magnitude and
    // condition, from its minute message, are left as they are.
    return connection_.Exec(
        QStringLiteral(
            "INSERT INTO minutes AS m (station, utc, median_count, good_seconds) "
            "SELECT r.station, t.minute, "
            "percentile_cont(0.5) WITHIN GROUP (ORDER BY r.mean_count) FILTER (WHERE r.range > 0), "
            "count(*) FILTER (WHERE r.range > 0) "
            "FROM (SELECT DISTINCT station, "
            "      to_timestamp(floor(extract(epoch FROM utc) / 60) * 60) AS minute "
            "      FROM incoming_readings) t "
            "JOIN readings r ON r.station = t.station AND r.utc >= t.minute "
            "  AND r.utc < t.minute + interval '1 minute' "
            "GROUP BY r.station, t.minute "
            "ON CONFLICT (station, utc) DO UPDATE SET median_count = EXCLUDED.median_count, "
            "good_seconds = EXCLUDED.good_seconds"),
        why);
}

bool ArchiveWriter::WriteMinutes(const std::vector<archive::Minute>& minutes, QString* why) {
    const auto number = [](const std::optional<double>& value) {
        return value ? QByteArray::number(*value, 'g', 17) : QByteArray();
    };
    for (const archive::Minute& m : minutes) {
        // The count and the good seconds are the station's until the archive has the
        // minute's seconds, which then decide them (SumMinutes). Its sky is the station's
        // own, in place of one the collector worked out (MinuteSky).
        const PgResult result = connection_.Query(
            QStringLiteral(
                "INSERT INTO minutes AS m (station, utc, median_count, good_seconds, magnitude, "
                "limiting_magnitude, condition) VALUES ($1, $2, $3, $4, $5, $6, $7) "
                "ON CONFLICT (station, utc) DO UPDATE SET magnitude = EXCLUDED.magnitude, "
                "limiting_magnitude = EXCLUDED.limiting_magnitude, "
                "condition = EXCLUDED.condition, sky_derived = false"),
            {m.station.toUtf8(), Utc(m.utc), number(m.medianCount),
             QByteArray::number(m.goodSeconds), number(m.magnitude), number(m.limitingMagnitude),
             m.condition.isEmpty() ? QByteArray() : m.condition.toUtf8()},
            why);
        if (!result.Ok()) return false;
    }
    return true;
}

bool ArchiveWriter::WriteStatuses(const std::vector<archive::Status>& statuses, QString* why) {
    // The last status of each station in the batch is the one that holds.
    QHash<QString, const archive::Status*> last;
    for (const archive::Status& s : statuses)
        last.insert(s.station, &s);
    for (const archive::Status* s : std::as_const(last)) {
        const auto flag = [](bool b) { return QByteArray(b ? "true" : "false"); };
        const PgResult result = connection_.Query(
            QStringLiteral(
                "INSERT INTO stations AS s (name, online, link_up, hint, version, newest_day, "
                "status_at) VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (name) DO UPDATE SET "
                "online = EXCLUDED.online, link_up = EXCLUDED.link_up, hint = EXCLUDED.hint, "
                "version = EXCLUDED.version, newest_day = EXCLUDED.newest_day, "
                "status_at = EXCLUDED.status_at"),
            {s->station.toUtf8(), flag(s->online), flag(s->linkUp), s->hint.toUtf8(),
             s->version.toUtf8(), s->newestDay.isEmpty() ? QByteArray() : s->newestDay.toUtf8(),
             Utc(s->at)},
            why);
        if (!result.Ok()) return false;
    }
    return true;
}

bool ArchiveWriter::WriteEvents(const std::vector<archive::Event>& events, QString* why) {
    if (events.empty()) return true;
    return connection_.Copy(QStringLiteral("COPY incoming_events FROM STDIN"), CopyRows(events),
                            why) &&
           connection_.Exec(
               QStringLiteral(
                   "INSERT INTO events SELECT * FROM incoming_events ON CONFLICT DO NOTHING"),
               why) &&
           connection_.Exec(
               QStringLiteral(
                   "INSERT INTO stations AS s (name, last_event_at, last_event) "
                   "SELECT DISTINCT ON (station) station, utc, text FROM incoming_events "
                   "ORDER BY station, utc DESC ON CONFLICT (name) DO UPDATE SET "
                   "last_event_at = EXCLUDED.last_event_at, last_event = EXCLUDED.last_event "
                   "WHERE s.last_event_at IS NULL OR s.last_event_at <= EXCLUDED.last_event_at"),
               why);
}

namespace {

// The messages [from, to) of a batch, counted through its readings, then its statuses, then
// its events; the statuses keep their order, so the last of a station still holds.
archive::Batch Slice(const archive::Batch& batch, std::size_t from, std::size_t to) {
    archive::Batch out;
    const auto take = [&](const auto& items, auto& into, std::size_t offset) {
        for (std::size_t i = std::max(from, offset); i < std::min(to, offset + items.size()); ++i)
            into.push_back(items[i - offset]);
    };
    take(batch.readings, out.readings, 0);
    take(batch.statuses, out.statuses, batch.readings.size());
    take(batch.events, out.events, batch.readings.size() + batch.statuses.size());
    take(batch.minutes, out.minutes,
         batch.readings.size() + batch.statuses.size() + batch.events.size());
    return out;
}

} // namespace

bool ArchiveWriter::Write(const archive::Batch& batch, QString* why) {
    refused_.clear();
    QString refusal;
    if (WriteWhole(batch, &refusal)) return true;
    if (!dataError_) return Fail(why, refusal);
    return WriteSplit(batch, refusal, why);
}

bool ArchiveWriter::WriteSplit(const archive::Batch& batch, const QString& refusal, QString* why) {
    if (batch.Size() == 1) {
        if (!batch.readings.empty())
            refused_.push_back({batch.readings[0].station, QStringLiteral("reading"), refusal});
        else if (!batch.statuses.empty())
            refused_.push_back({batch.statuses[0].station, QStringLiteral("status"), refusal});
        else if (!batch.events.empty())
            refused_.push_back({batch.events[0].station, QStringLiteral("event"), refusal});
        else
            refused_.push_back({batch.minutes[0].station, QStringLiteral("minute"), refusal});
        return true;
    }
    const std::size_t middle = batch.Size() / 2;
    for (const archive::Batch& half :
         {Slice(batch, 0, middle), Slice(batch, middle, batch.Size())}) {
        QString halfRefusal;
        if (WriteWhole(half, &halfRefusal)) continue;
        if (!dataError_) return Fail(why, halfRefusal);
        if (!WriteSplit(half, halfRefusal, why)) return false;
    }
    return true;
}

bool ArchiveWriter::WriteWhole(const archive::Batch& batch, QString* why) {
    dataError_ = false;
    if (batch.Empty()) return true;
    if (!Prepare(why) || !EnsureMonths(batch.readings, why)) return GiveUp();
    if (!connection_.Exec(QStringLiteral("BEGIN"), why)) return GiveUp();
    if (!WriteReadings(batch.readings, why) || !WriteStatuses(batch.statuses, why) ||
        !WriteEvents(batch.events, why) || !WriteMinutes(batch.minutes, why) ||
        !SumMinutes(batch.readings, why) || !connection_.Exec(QStringLiteral("COMMIT"), why))
        return GiveUp();
    return true;
}
