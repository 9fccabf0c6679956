// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the network's archive back: the stations it holds, the days each has lines on, and
// a station's lines within a span of its local time. One connection, with its time limits:
// a server that does not answer is given up (ArchiveError) when its limit passes, and a
// connection that broke or was given up is made again at the next call.
//
// A span is read by the local stamps the station wrote, so a night shows the same lines
// as the station's own day files; the UTC bounds, a day wider than any time zone's
// offset on either side, only let the database skip the months and index pages that
// cannot hold the span.
#pragma once

#include "archive/PgConnection.h"
#include "core/log/DayRecord.h"
#include "core/log/LogSpan.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

class ArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ArchiveReader {
public:
    // Connects to `address` ("postgresql://…" or "key=value …"; empty: the PG* variables).
    // Throws ArchiveError with the server's or libpq's words when it cannot.
    explicit ArchiveReader(const QString& address);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // "database on host" of the connection.
    QString Describe() const { return describe_; }
    // Ends a wait for the archive now, and every later question fails at once: for a
    // program that ends while another thread waits for an answer. Any thread may call it.
    void Interrupt() { connection_.Interrupt(); }

    // Every station with a row of its own or lines, by name. Throws ArchiveError.
    QStringList Stations();
    // The stations' descriptions as the archive keeps them (`stations.description`, JSON
    // text), of those that have one, by name.
    std::vector<std::pair<QString, QByteArray>> Descriptions();
    // A station's lines stamped within [span.from, span.to) of its local time, in the
    // order of their stamps (equal stamps in the order they were taken). `utcEnd`, when
    // given, is set to the UTC second before which every line of the span lies, whatever
    // came in since (the bound the lines were read to); left alone for a span without lines.
    // `confirmed`, when given, is set to what Confirmed() says, asked in the same statement
    // as the span's bounds and so never later than the lines it covers (nothing for a span
    // without lines).
    std::vector<DayRecord> Span(const QString& station, const TimeSpan& span,
                                std::int64_t* utcEnd = nullptr,
                                std::optional<std::int64_t>* confirmed = nullptr);

    // The UTC second up to which the archive holds every line of the station without a gap
    // (`stations.confirmed`); none when it does not say.
    std::optional<std::int64_t> Confirmed(const QString& station);
    // The station's confirmation and its newest line at or before it and `now` (UTC
    // seconds): the UTC and the local stamp of that line. None without a confirmation or
    // without such a line.
    struct ConfirmedLine {
        std::int64_t confirmed = 0;
        std::int64_t utc = 0;
        WallSeconds wall = 0;
    };
    std::optional<ConfirmedLine> NewestConfirmed(const QString& station, std::int64_t now);
    // The station's minute summaries (`minutes`) with UTC within [utcFrom, utcTo), in order:
    // each minute's start (UTC) and its median count, NaN where it has none.
    std::vector<std::pair<std::int64_t, double>>
    MinuteMedians(const QString& station, std::int64_t utcFrom, std::int64_t utcTo);
    // The zone offset (local stamp less UTC, seconds) of the station's first line in each
    // hour of UTC, from the hour that holds `utcFrom` to the one before `utcTo`; none for an
    // hour without lines. What places the minute summaries, kept by UTC, on the station's
    // wall clock, as its lines have them.
    std::vector<std::optional<std::int64_t>> HourOffsets(const QString& station,
                                                         std::int64_t utcFrom, std::int64_t utcTo);
    // The number of those lines and the newest UTC time among them (0 without lines):
    // enough to tell whether the span grew since it was read.
    std::pair<std::int64_t, std::int64_t> SpanStamp(const QString& station, const TimeSpan& span);
    // A station's days with lines on or after `fromDay` (days since 1970-01-01 of its
    // local time), with their counts and first and last stamps; newest first.
    std::vector<DaySummary> Days(const QString& station, std::int64_t fromDay);
    // The local stamp of a station's newest line (by UTC); none without lines.
    std::optional<WallSeconds> Newest(const QString& station);

private:
    // The UTC range that holds a span's lines (none when the widest window holds no line),
    // with the station's confirmation when asked.
    struct SpanRange {
        std::int64_t utcFrom = 0;
        std::int64_t utcTo = 0; // the bound Span() gives as `utcEnd`
        std::optional<std::int64_t> confirmed;
    };
    std::optional<SpanRange> RangeOf(const QString& station, const TimeSpan& span,
                                     bool withConfirmed);
    // The span's lines with UTC within [utcFrom, utcTo), in the order of their UTC.
    std::vector<DayRecord> LinesIn(const QString& station, const TimeSpan& span,
                                   std::int64_t utcFrom, std::int64_t utcTo);
    struct Result;
    enum class Format { Text, Binary };
    Result Query(const char* sql, const std::vector<QByteArray>& parameters,
                 Format format = Format::Text);
    bool Connect(QString* why);

    QString address_;
    PgConnection connection_;
    QString describe_;
};
