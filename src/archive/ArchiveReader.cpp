// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveReader.h"

#include <QByteArray>

#include <libpq-fe.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <type_traits>

namespace {

// The span's local bounds as the timestamps they stand for, and UTC bounds a day and two
// hours wider, so the partitions and the index narrow the search whatever the station's
// time zone.
constexpr const char* kSpanWhere =
    " FROM readings WHERE station = $1"
    " AND utc >= ($2::timestamp AT TIME ZONE 'UTC') - interval '26 hours'"
    " AND utc < ($3::timestamp AT TIME ZONE 'UTC') + interval '26 hours'"
    " AND local >= $2::timestamp AND local < $3::timestamp";

QByteArray Utf8(const QString& text) {
    return text.toUtf8();
}

QByteArray Stamp(WallSeconds t) {
    return IsoWallTime(t).toLatin1();
}

// A binary field in network byte order.
template <typename Integer> Integer BigEndian(const char* field) {
    using Unsigned = std::make_unsigned_t<Integer>;
    Unsigned value = 0;
    for (std::size_t i = 0; i < sizeof(Integer); ++i)
        value = Unsigned(value << 8) | Unsigned(static_cast<unsigned char>(field[i]));
    return static_cast<Integer>(value);
}

// A timestamp's binary value (microseconds since 2000-01-01 00:00) as seconds since 1970.
WallSeconds WallOfMicroseconds(std::int64_t microseconds) {
    constexpr std::int64_t k2000 = 946684800;
    const std::int64_t seconds = microseconds / 1000000 - (microseconds % 1000000 < 0 ? 1 : 0);
    return seconds + k2000;
}

} // namespace

struct ArchiveReader::Result {
    PgResult result;

    int Rows() const { return result.Rows(); }
    bool Null(int row, int column) const { return result.IsNull(row, column); }
    const char* Text(int row, int column) const { return PQgetvalue(result.Get(), row, column); }
    std::int64_t Integer(int row, int column) const {
        return std::strtoll(Text(row, column), nullptr, 10);
    }
    std::optional<std::int64_t> MaybeInteger(int row, int column) const {
        if (Null(row, column)) return std::nullopt;
        return Integer(row, column);
    }
    std::optional<bool> MaybeBool(int row, int column) const {
        if (Null(row, column)) return std::nullopt;
        return Text(row, column)[0] == 't';
    }
    QString String(int row, int column) const { return QString::fromUtf8(Text(row, column)); }
};

ArchiveReader::ArchiveReader(const QString& address)
    : address_(address) {
    if (QString why; !Connect(&why))
        throw ArchiveError("cannot reach the archive: " + why.toStdString());
    const QString host = connection_.Host();
    describe_ = QStringLiteral("%1 on %2")
                    .arg(connection_.Database(),
                         host.startsWith(u'/') ? QStringLiteral("this machine") : host);
}

ArchiveReader::~ArchiveReader() = default;

bool ArchiveReader::Connect(QString* why) {
    // Time stamps in results and parameters are read and written as UTC.
    return connection_.Open(address_, why) &&
           connection_.Exec(QStringLiteral("SET TIME ZONE 'UTC'"), why);
}

ArchiveReader::Result
ArchiveReader::Query(const char* sql, const std::vector<QByteArray>& parameters, Format format) {
    const QString text = QString::fromUtf8(sql);
    for (int attempt = 0;; ++attempt) {
        // Given up or broken before: a new connection first.
        QString why;
        if (!connection_.IsOpen() && !Connect(&why))
            throw ArchiveError("cannot reach the archive: " + why.toStdString());
        Result result{format == Format::Binary ? connection_.QueryBinary(text, parameters, &why)
                                               : connection_.Query(text, parameters, &why)};
        if (PQresultStatus(result.result.Get()) == PGRES_TUPLES_OK) return result;
        // A server restarted since: one new connection, and the question asked again. A
        // server that did not answer is not asked twice, so the caller hears in bounded time.
        if (attempt == 0 && !connection_.IsOpen() && !connection_.TimedOut() &&
            !connection_.Interrupted())
            continue;
        throw ArchiveError("the archive did not answer: " + why.toStdString());
    }
}

QStringList ArchiveReader::Stations() {
    // The names in the readings are found through their index, one name at a time, so
    // that a station without a row of its own is listed without reading every line.
    const Result result =
        Query("WITH RECURSIVE found(name) AS ("
              " SELECT min(station) FROM readings"
              " UNION ALL SELECT (SELECT min(station) FROM readings WHERE station > found.name)"
              " FROM found WHERE found.name IS NOT NULL)"
              " SELECT name FROM stations UNION SELECT name FROM found WHERE name IS NOT NULL"
              " ORDER BY 1",
              {});
    QStringList names;
    for (int row = 0; row < result.Rows(); ++row)
        names << result.String(row, 0);
    return names;
}

std::vector<std::pair<QString, QByteArray>> ArchiveReader::Descriptions() {
    const Result result = Query("SELECT name, description::text FROM stations"
                                " WHERE description IS NOT NULL ORDER BY name",
                                {});
    std::vector<std::pair<QString, QByteArray>> described;
    for (int row = 0; row < result.Rows(); ++row)
        described.emplace_back(result.String(row, 0), QByteArray(result.Text(row, 1)));
    return described;
}

std::vector<DayRecord> ArchiveReader::Span(const QString& station, const TimeSpan& span,
                                           std::int64_t* utcEnd,
                                           std::optional<std::int64_t>* confirmed) {
    const std::optional<SpanRange> range = RangeOf(station, span, confirmed != nullptr);
    if (!range) return {};
    if (utcEnd) *utcEnd = range->utcTo;
    if (confirmed) *confirmed = range->confirmed;
    std::vector<DayRecord> records = LinesIn(station, span, range->utcFrom, range->utcTo);
    // By the local stamps, lines of equal stamps in the order they were taken: what a sort
    // by (local, utc) gives. Local stamps follow UTC but after a clock set back.
    const auto byTime = [](const DayRecord& a, const DayRecord& b) { return a.time < b.time; };
    if (!std::is_sorted(records.begin(), records.end(), byTime))
        std::stable_sort(records.begin(), records.end(), byTime);
    return records;
}

std::optional<ArchiveReader::SpanRange>
ArchiveReader::RangeOf(const QString& station, const TimeSpan& span, bool withConfirmed) {
    // A line's local stamp is its UTC plus the station's zone offset, and the offset of the
    // station's lines at either end of the widest window bounds those between (a zone
    // changes its offset at most twice in a month, by an hour or less, and back): the
    // index is read over the span's UTC with those offsets and an hour either side, not
    // over the widest window, which holds three times as many lines. The confirmation comes
    // in the same statement: one question fewer before the lines, and of the same moment.
    const Result edges = Query(
        "SELECT (SELECT extract(epoch FROM local - utc::timestamp)::bigint FROM readings"
        "   WHERE station = $1 AND utc >= ($2::timestamp AT TIME ZONE 'UTC') - interval '26 hours'"
        "   AND utc < ($3::timestamp AT TIME ZONE 'UTC') + interval '26 hours'"
        "   ORDER BY utc LIMIT 1),"
        " (SELECT extract(epoch FROM local - utc::timestamp)::bigint FROM readings"
        "   WHERE station = $1 AND utc >= ($2::timestamp AT TIME ZONE 'UTC') - interval '26 hours'"
        "   AND utc < ($3::timestamp AT TIME ZONE 'UTC') + interval '26 hours'"
        "   ORDER BY utc DESC LIMIT 1),"
        " CASE WHEN $4 THEN (SELECT extract(epoch FROM confirmed)::bigint FROM stations"
        "   WHERE name = $1) END",
        {Utf8(station), Stamp(span.from), Stamp(span.to),
         withConfirmed ? QByteArrayLiteral("true") : QByteArrayLiteral("false")});
    const std::optional<std::int64_t> first = edges.MaybeInteger(0, 0);
    const std::optional<std::int64_t> last = edges.MaybeInteger(0, 1);
    if (!first || !last) return std::nullopt;
    const std::int64_t hour = 3600;
    const std::int64_t lowest = std::min(*first, *last) - hour;
    const std::int64_t highest = std::max(*first, *last) + hour;
    SpanRange range;
    range.utcFrom = span.from - std::min<std::int64_t>(highest, 26 * hour);
    range.utcTo = span.to - std::max<std::int64_t>(lowest, -26 * hour);
    range.confirmed = edges.MaybeInteger(0, 2);
    return range;
}

std::vector<DayRecord> ArchiveReader::LinesIn(const QString& station, const TimeSpan& span,
                                              std::int64_t utcFrom, std::int64_t utcTo) {
    // In the order of the primary key, which the index gives without a sort on the server,
    // and in the server's binary format: a night is 86,400 rows, and a sort of them or their
    // numbers as text and back cost many times what reading them does.
    const Result result =
        Query("SELECT local, temperature_tenths, mean_count, range"
              " FROM readings WHERE station = $1"
              " AND utc >= ($2::timestamp AT TIME ZONE 'UTC')"
              " AND utc < ($3::timestamp AT TIME ZONE 'UTC')"
              " AND local >= $4::timestamp AND local < $5::timestamp"
              " ORDER BY utc",
              {Utf8(station), Stamp(utcFrom), Stamp(utcTo), Stamp(span.from), Stamp(span.to)},
              Format::Binary);
    const int rows = result.Rows();
    std::vector<DayRecord> records(std::size_t(rows), DayRecord{});
    pg_result* r = result.result.Get();
    for (int row = 0; row < rows; ++row) {
        DayRecord& record = records[std::size_t(row)];
        record.time = WallOfMicroseconds(BigEndian<std::int64_t>(PQgetvalue(r, row, 0)));
        record.temperatureTenths = BigEndian<std::int16_t>(PQgetvalue(r, row, 1));
        record.mean = BigEndian<std::int32_t>(PQgetvalue(r, row, 2));
        record.range = BigEndian<std::int16_t>(PQgetvalue(r, row, 3));
    }
    return records;
}

std::optional<std::int64_t> ArchiveReader::Confirmed(const QString& station) {
    const Result result = Query("SELECT extract(epoch FROM confirmed)::bigint FROM stations"
                                " WHERE name = $1",
                                {Utf8(station)});
    if (result.Rows() == 0) return std::nullopt;
    return result.MaybeInteger(0, 0);
}

std::optional<ArchiveReader::ConfirmedLine> ArchiveReader::NewestConfirmed(const QString& station,
                                                                           std::int64_t now) {
    const Result result =
        Query("SELECT extract(epoch FROM s.confirmed)::bigint, extract(epoch FROM r.utc)::bigint,"
              " extract(epoch FROM r.local)::bigint FROM stations s CROSS JOIN LATERAL"
              " (SELECT utc, local FROM readings WHERE station = s.name"
              "  AND utc <= least(s.confirmed, to_timestamp($2)) ORDER BY utc DESC LIMIT 1) r"
              " WHERE s.name = $1 AND s.confirmed IS NOT NULL",
              {Utf8(station), QByteArray::number(qint64(now))});
    if (result.Rows() == 0) return std::nullopt;
    return ConfirmedLine{result.Integer(0, 0), result.Integer(0, 1), result.Integer(0, 2)};
}

std::vector<std::pair<std::int64_t, double>>
ArchiveReader::MinuteMedians(const QString& station, std::int64_t utcFrom, std::int64_t utcTo) {
    // A year is half a million minutes: by the primary key's index, in the binary format.
    const Result result = Query("SELECT utc, median_count FROM minutes WHERE station = $1"
                                " AND utc >= ($2::timestamp AT TIME ZONE 'UTC')"
                                " AND utc < ($3::timestamp AT TIME ZONE 'UTC') ORDER BY utc",
                                {Utf8(station), Stamp(utcFrom), Stamp(utcTo)}, Format::Binary);
    const int rows = result.Rows();
    std::vector<std::pair<std::int64_t, double>> minutes(static_cast<std::size_t>(rows));
    pg_result* r = result.result.Get();
    for (int row = 0; row < rows; ++row) {
        double median = NAN;
        if (!PQgetisnull(r, row, 1))
            median = std::bit_cast<double>(BigEndian<std::uint64_t>(PQgetvalue(r, row, 1)));
        minutes[std::size_t(row)] = {
            WallOfMicroseconds(BigEndian<std::int64_t>(PQgetvalue(r, row, 0))), median};
    }
    return minutes;
}

std::vector<std::optional<std::int64_t>>
ArchiveReader::HourOffsets(const QString& station, std::int64_t utcFrom, std::int64_t utcTo) {
    // One look into the index an hour (a year is under 9,000), not the year's lines.
    const Result result = Query(
        "SELECT (SELECT extract(epoch FROM local - utc::timestamp)::bigint FROM readings"
        "   WHERE station = $1 AND utc >= h AND utc < h + interval '1 hour' ORDER BY utc LIMIT 1)"
        " FROM generate_series(date_trunc('hour', $2::timestamp AT TIME ZONE 'UTC'),"
        "   ($3::timestamp AT TIME ZONE 'UTC') - interval '1 microsecond', interval '1 hour') h"
        " ORDER BY h",
        {Utf8(station), Stamp(utcFrom), Stamp(utcTo)});
    std::vector<std::optional<std::int64_t>> offsets;
    offsets.reserve(std::size_t(result.Rows()));
    for (int row = 0; row < result.Rows(); ++row)
        offsets.push_back(result.MaybeInteger(row, 0));
    return offsets;
}

std::pair<std::int64_t, std::int64_t> ArchiveReader::SpanStamp(const QString& station,
                                                               const TimeSpan& span) {
    // Built as a QByteArray: GCC 12 takes std::string's literal + pointer for an overrun.
    const QByteArray sql =
        QByteArrayLiteral("SELECT count(*), coalesce(extract(epoch FROM max(utc))::bigint, 0)") +
        kSpanWhere;
    const Result result = Query(sql.constData(), {Utf8(station), Stamp(span.from), Stamp(span.to)});
    return {result.Integer(0, 0), result.Integer(0, 1)};
}

std::vector<DaySummary> ArchiveReader::Days(const QString& station, std::int64_t fromDay) {
    // The days the archive's triggers keep (see ArchiveSchema), one row a day. An archive
    // no collector of this version reached yet has only its lines, which are counted, and
    // so has an account that was given the readings but not the days.
    const Result kept = Query("SELECT count(*) FROM pg_trigger WHERE tgname = 'readings_days_added'"
                              " AND tgrelid = to_regclass('readings')"
                              " AND has_table_privilege(to_regclass('station_days'), 'SELECT')",
                              {});
    const bool summed = kept.Integer(0, 0) > 0;
    const Result result =
        summed ? Query("SELECT day - date '1970-01-01', lines, extract(epoch FROM first)::bigint,"
                       " extract(epoch FROM last)::bigint FROM station_days"
                       " WHERE station = $1 AND day >= $2::timestamp::date ORDER BY day DESC",
                       {Utf8(station), Stamp(StartOfDay(fromDay))})
               : Query("SELECT local::date - date '1970-01-01', count(*),"
                       " extract(epoch FROM min(local))::bigint,"
                       " extract(epoch FROM max(local))::bigint"
                       " FROM readings WHERE station = $1"
                       " AND utc >= ($2::timestamp AT TIME ZONE 'UTC') - interval '26 hours'"
                       " AND local >= $2::timestamp GROUP BY 1 ORDER BY 1 DESC",
                       {Utf8(station), Stamp(StartOfDay(fromDay))});
    std::vector<DaySummary> days;
    days.reserve(std::size_t(result.Rows()));
    for (int row = 0; row < result.Rows(); ++row)
        days.push_back({result.Integer(row, 0), result.Integer(row, 1), result.Integer(row, 2),
                        result.Integer(row, 3)});
    return days;
}

std::optional<WallSeconds> ArchiveReader::Newest(const QString& station) {
    const Result result = Query("SELECT extract(epoch FROM local)::bigint FROM readings"
                                " WHERE station = $1 ORDER BY utc DESC LIMIT 1",
                                {Utf8(station)});
    if (result.Rows() == 0) return std::nullopt;
    return result.Integer(0, 0);
}
