// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveSchema.h"

#include "archive/PgConnection.h"
#include "core/log/DayRecord.h"

namespace archiveschema {

namespace {

// One statement each, all idempotent. The readings' primary key (station, utc) is a
// B-tree in every month's table: it is what ON CONFLICT needs to store a line sent twice
// once, and it is also the index a night of one station is read by (station first, then a
// range of utc, within the one or two months the range prunes to). A BRIN index on utc
// would not do it: all stations write at once, so each block range of a month's table
// holds every station's rows of those minutes, and a BRIN range of one night would read
// the whole night of every station.
const char* const kStatements[] = {
    R"(CREATE TABLE IF NOT EXISTS stations (
         name text PRIMARY KEY,
         online boolean,
         link_up boolean,
         hint text,
         version text,
         newest_day date,
         status_at timestamptz,
         first_reading timestamptz,
         last_reading timestamptz,
         last_event_at timestamptz,
         last_event text,
         description jsonb))",
    R"(CREATE TABLE IF NOT EXISTS readings (
         station text NOT NULL,
         utc timestamptz NOT NULL,
         local timestamp NOT NULL,
         temperature_tenths smallint NOT NULL,
         mean_count integer NOT NULL,
         range smallint NOT NULL,
         PRIMARY KEY (station, utc)) PARTITION BY RANGE (utc))",
    R"(CREATE TABLE IF NOT EXISTS events (
         station text NOT NULL,
         utc timestamptz NOT NULL,
         priority smallint NOT NULL,
         text text NOT NULL))",
    // An event sent again (after a reconnection or a collector's restart) is stored once.
    // The text's digest keeps the key small whatever the text's length.
    R"(CREATE UNIQUE INDEX IF NOT EXISTS events_once ON events (station, utc, md5(text)))",
    // Columns added since the first version are added here, with ADD COLUMN IF NOT EXISTS.
    // `confirmed`: the newest second up to which the archive holds a station's lines
    // without a gap. An archive made before it was kept is taken to hold every line up to
    // its last reading, as the broker's acknowledgements said then.
    R"(DO $$ BEGIN
         IF NOT EXISTS (SELECT 1 FROM information_schema.columns WHERE
                        table_schema = current_schema() AND table_name = 'stations' AND
                        column_name = 'confirmed') THEN
           ALTER TABLE stations ADD COLUMN confirmed timestamptz;
           UPDATE stations SET confirmed = last_reading;
         END IF;
       END $$)",
    // Added in a later version: an archive made before gets it (empty) when a collector or
    // --create-schema of this version first reaches it, and minutes fill it from then on.
    R"(CREATE TABLE IF NOT EXISTS minutes (
         station text NOT NULL,
         utc timestamptz NOT NULL,
         median_count double precision,
         good_seconds smallint NOT NULL DEFAULT 0,
         magnitude double precision,
         limiting_magnitude double precision,
         condition text,
         PRIMARY KEY (station, utc)))",
    // The minutes a station summed up itself, newest first: what --status shows, found
    // without reading the minutes of a station that sends no summaries.
    R"(CREATE INDEX IF NOT EXISTS minutes_summed ON minutes (station, utc)
         WHERE magnitude IS NOT NULL OR condition IS NOT NULL)",
    // Added in a later version: the sky of a minute the collector worked out itself, for a
    // minute the station stored without its minute message (see MinuteSky); a minute message
    // of the station clears it with what it brings.
    R"(ALTER TABLE minutes ADD COLUMN IF NOT EXISTS sky_derived boolean NOT NULL DEFAULT false)",
    // Added in a later version: each station's days (by the local stamps its lines carry)
    // with their lines and first and last stamps, kept by triggers on every statement that
    // changes the readings, so that a station's days are one row a day to read and not
    // every line ever stored to count. A row a day of each station: a few kilobytes a year.
    R"(CREATE TABLE IF NOT EXISTS station_days (
         station text NOT NULL,
         day date NOT NULL,
         lines bigint NOT NULL,
         first timestamp NOT NULL,
         last timestamp NOT NULL,
         PRIMARY KEY (station, day)))",
    // Lines added: their days' counts grow, in one statement for the whole batch.
    R"(CREATE OR REPLACE FUNCTION station_days_added() RETURNS trigger LANGUAGE plpgsql AS $$
       BEGIN
         INSERT INTO station_days AS d (station, day, lines, first, last)
           SELECT station, local::date, count(*), min(local), max(local) FROM added
           GROUP BY 1, 2 ORDER BY 1, 2
           ON CONFLICT (station, day) DO UPDATE SET lines = d.lines + EXCLUDED.lines,
             first = LEAST(d.first, EXCLUDED.first), last = GREATEST(d.last, EXCLUDED.last);
         RETURN NULL;
       END $$)",
    // Lines removed or changed (by hand: the programs only add): their days are counted
    // again from the lines that remain, each from all of the station's lines, since a
    // line's day is that of its local stamp whatever its UTC. Rare enough to afford.
    R"(CREATE OR REPLACE FUNCTION station_days_recount(s text, d date) RETURNS void
       LANGUAGE sql AS $$
         DELETE FROM station_days WHERE station = s AND day = d;
         INSERT INTO station_days (station, day, lines, first, last)
           SELECT s, d, count(*), min(local), max(local) FROM readings
           WHERE station = s AND local::date = d HAVING count(*) > 0;
       $$)",
    R"(CREATE OR REPLACE FUNCTION station_days_removed() RETURNS trigger LANGUAGE plpgsql AS $$
       DECLARE touched record;
       BEGIN
         FOR touched IN SELECT DISTINCT station, local::date AS day FROM gone ORDER BY 1, 2 LOOP
           PERFORM station_days_recount(touched.station, touched.day);
         END LOOP;
         RETURN NULL;
       END $$)",
    R"(CREATE OR REPLACE FUNCTION station_days_changed() RETURNS trigger LANGUAGE plpgsql AS $$
       DECLARE touched record;
       BEGIN
         FOR touched IN SELECT station, local::date AS day FROM gone
                        UNION SELECT station, local::date FROM came ORDER BY 1, 2 LOOP
           PERFORM station_days_recount(touched.station, touched.day);
         END LOOP;
         RETURN NULL;
       END $$)",
    R"(CREATE OR REPLACE FUNCTION station_days_emptied() RETURNS trigger LANGUAGE plpgsql AS $$
       BEGIN
         DELETE FROM station_days;
         RETURN NULL;
       END $$)",
    // The triggers are made together with the days of the lines already there (an archive
    // made before, or its readings made again), with the writers held off meanwhile, so that
    // no line is counted twice or left out. Last: UpToDate() looks for its trigger.
    R"(DO $$ BEGIN
         IF NOT EXISTS (SELECT 1 FROM pg_trigger WHERE tgname = 'readings_days_added' AND
                        tgrelid = 'readings'::regclass) THEN
           LOCK TABLE readings IN SHARE ROW EXCLUSIVE MODE;
           DELETE FROM station_days;
           INSERT INTO station_days (station, day, lines, first, last)
             SELECT station, local::date, count(*), min(local), max(local) FROM readings
             GROUP BY 1, 2;
           CREATE TRIGGER readings_days_added AFTER INSERT ON readings
             REFERENCING NEW TABLE AS added FOR EACH STATEMENT
             EXECUTE FUNCTION station_days_added();
           CREATE TRIGGER readings_days_removed AFTER DELETE ON readings
             REFERENCING OLD TABLE AS gone FOR EACH STATEMENT
             EXECUTE FUNCTION station_days_removed();
           CREATE TRIGGER readings_days_changed AFTER UPDATE ON readings
             REFERENCING OLD TABLE AS gone NEW TABLE AS came FOR EACH STATEMENT
             EXECUTE FUNCTION station_days_changed();
           CREATE TRIGGER readings_days_emptied AFTER TRUNCATE ON readings
             FOR EACH STATEMENT EXECUTE FUNCTION station_days_emptied();
         END IF;
       END $$)",
};

} // namespace

bool Create(PgConnection& connection, QString* why) {
    // Two collectors creating the schema at once wait for each other here.
    if (!connection.Exec(QStringLiteral("BEGIN"), why)) return false;
    bool ok = connection.Exec(QStringLiteral("SELECT pg_advisory_xact_lock(7419001)"), why);
    for (const char* statement : kStatements) {
        if (!ok) break;
        ok = connection.Exec(QString::fromUtf8(statement), why);
    }
    if (!ok) {
        // The failed statement's reason is the caller's, not the rollback's.
        connection.Exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return connection.Exec(QStringLiteral("COMMIT"), why);
}

bool Exists(PgConnection& connection, QString* why) {
    const PgResult result = connection.Query(
        QStringLiteral("SELECT count(*) FROM pg_tables WHERE schemaname = current_schema() "
                       "AND tablename IN ('stations', 'events')"
                       " UNION ALL SELECT count(*) FROM pg_partitioned_table p JOIN pg_class c "
                       "ON c.oid = p.partrelid WHERE c.relname = 'readings'"),
        {}, why);
    if (!result.Ok()) return false;
    const bool there = result.Rows() == 2 && result.Text(0, 0) == QLatin1String("2") &&
                       result.Text(1, 0) == QLatin1String("1");
    if (!there && why)
        *why =
            QStringLiteral("the archive has no tables yet (run nocturo-collect --create-schema)");
    return there;
}

bool UpToDate(PgConnection& connection, QString* why) {
    // What the newest statements made for each table they changed: the days' trigger on
    // the readings and the newest column of the minutes (a table an archive can lack on
    // its own, from a version before it or dropped), and with them everything before.
    const PgResult result = connection.Query(
        QStringLiteral("SELECT (SELECT count(*) FROM pg_trigger WHERE tgname = "
                       "'readings_days_added' AND tgrelid = to_regclass('readings')) + "
                       "(SELECT count(*) FROM information_schema.columns WHERE "
                       "table_schema = current_schema() AND table_name = 'minutes' AND "
                       "column_name = 'sky_derived')"),
        {}, why);
    if (!result.Ok()) return false;
    return result.Text(0, 0) == QLatin1String("2");
}

QString Month::TableName() const {
    return QStringLiteral("readings_y%1m%2")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(month, 2, 10, QLatin1Char('0'));
}

QString Month::CreateSql() const {
    const int nextYear = month == 12 ? year + 1 : year;
    const int nextMonth = month == 12 ? 1 : month + 1;
    const auto bound = [](int y, int m) {
        return QStringLiteral("'%1-%2-01 00:00:00+00'")
            .arg(y, 4, 10, QLatin1Char('0'))
            .arg(m, 2, 10, QLatin1Char('0'));
    };
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 PARTITION OF readings "
                          "FOR VALUES FROM (%2) TO (%3)")
        .arg(TableName(), bound(year, month), bound(nextYear, nextMonth));
}

Month MonthOf(std::int64_t utc) {
    const CivilDate date = CivilFromDays(DayOf(utc));
    return Month{date.year, date.month};
}

bool EnsureMonth(PgConnection& connection, const Month& month, QString* why) {
    return connection.Exec(month.CreateSql(), why);
}

} // namespace archiveschema
