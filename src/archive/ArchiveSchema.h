// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's tables in PostgreSQL, created or brought up to date by
// `nocturo-collect --create-schema`:
//
//   stations  one row a station: its last status, first and last reading, last event, and
//             the second up to which the archive holds its lines without a gap.
//   readings  one row a station and UTC second, the day file's line (local stamp,
//             temperature, mean count, range); partitioned by month of `utc`, each month's
//             table made when the first reading of that month arrives.
//   events    the stations' event lines.
//   minutes   one row a station and UTC minute (`utc`, its start): the median count and the
//             number of good seconds (light read) of the seconds stored, summed up by the
//             collector as they arrive, so nights sent late have them too; and the
//             station's own magnitude (mag/arcsec²), limiting magnitude and sky condition
//             ("day", "twilight", "moonlit", "clear", "cloudy") from its minute messages,
//             null where none came.
//
// Readers rely on the names and types; new columns and indexes may be added, never taken.
#pragma once

#include <QString>

#include <cstdint>

class PgConnection;

namespace archiveschema {

// Creates what is missing: tables, columns, indexes. Safe to run again and while collectors
// write. False with `why` when the server refuses.
bool Create(PgConnection& connection, QString* why = nullptr);

// Whether the tables are there (a collector started before --create-schema was run).
bool Exists(PgConnection& connection, QString* why = nullptr);
// Whether the tables are those of this version; false for an archive made by an older one,
// which Create() brings up to date.
bool UpToDate(PgConnection& connection, QString* why = nullptr);

// The month partition of `readings` that holds the UTC second `utc`: its name
// ("readings_y2026m12") and its bounds, for CREATE TABLE … PARTITION OF.
struct Month {
    int year = 1970;
    int month = 1;
    QString TableName() const;
    QString CreateSql() const;
    bool operator==(const Month&) const = default;
    auto operator<=>(const Month&) const = default;
};
Month MonthOf(std::int64_t utc);

// Makes the partition of `month` unless it is there; false with `why` when it cannot.
bool EnsureMonth(PgConnection& connection, const Month& month, QString* why = nullptr);

} // namespace archiveschema
