#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A station's days from a long archive: the first /api/days of a fresh nocturo-web, read
from the days the archive's triggers keep (station_days), beside the same answer counted
from every line (what an archive no collector of this version reached still gets: the
triggers dropped). Also what the triggers add to the collector's writes: a second of three
stations, and a day of one station at once, with and without them.

The archive is DAYS days of one line a second of one station (86,400 rows a day), on a
PostgreSQL with fsync as a real server runs; a year is 365 of them.

  days_bench.py --web nocturo-web --collector nocturo-collect [--days 60] [--rounds 5]
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "web"))
import webfixture as fx  # noqa: E402
from network_servers import Database  # noqa: E402

TRIGGERS = ("added", "removed", "changed", "emptied")


def first_days(web_program, database, rounds):
    """The first /api/days of a fresh service, best and median ms, and its answer."""
    times = []
    body = None
    for _ in range(rounds):
        web = fx.Web(web_program, "--archive", database.conninfo, "--cache", "0")
        try:
            start = time.perf_counter()
            status, _, body = web.get("/api/days?station=long")
            times.append((time.perf_counter() - start) * 1000)
            if status != 200:
                sys.exit(f"/api/days answered {status}")
        finally:
            web.stop()
    return min(times), statistics.median(times), body


def writes(database, first, label):
    """A second of three stations stored at once, 1,000 times (one statement each, as the
    collector stores a batch), and a day of one station in one statement."""
    start = time.perf_counter()
    database.sql(f"DO $$ BEGIN FOR i IN 0..999 LOOP INSERT INTO readings SELECT s, "
                 f"to_timestamp({first} + i), to_timestamp({first} + i) AT TIME ZONE 'UTC', "
                 f"50, 123, 4 FROM unnest(ARRAY['a', 'b', 'c']) s ON CONFLICT DO NOTHING; "
                 f"END LOOP; END $$")
    batch = (time.perf_counter() - start) * 1000 / 1000
    start = time.perf_counter()
    database.sql(f"INSERT INTO readings SELECT 'd', to_timestamp(s), to_timestamp(s) AT TIME "
                 f"ZONE 'UTC', 50, 123, 4 FROM generate_series({first}, {first + 86399}) s")
    day = (time.perf_counter() - start) * 1000
    print(f"  {label:28} a second of 3 stations {batch:5.2f} ms, a day of 86,400 lines "
          f"{day:5.0f} ms")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--web", required=True)
    parser.add_argument("--collector", required=True)
    parser.add_argument("--days", type=int, default=60)
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="nocturo-days-bench.") as folder:
        os.chmod(folder, 0o755)
        with Database(folder, fsync=True) as database:
            subprocess.run([args.collector, "--database", database.conninfo, "--create-schema"],
                           check=True, stdout=subprocess.DEVNULL, timeout=120)
            end = fx.START + 86400
            first = end - args.days * 86400
            database.sql("CREATE TABLE readings_rest PARTITION OF readings DEFAULT")
            start = time.perf_counter()
            for day in range(args.days):
                t = first + day * 86400
                database.sql(f"INSERT INTO readings SELECT 'long', to_timestamp(s), "
                             f"to_timestamp(s) AT TIME ZONE 'UTC', 50, 123, 4 "
                             f"FROM generate_series({t}, {t + 86399}) s")
            filled = time.perf_counter() - start
            database.sql("VACUUM ANALYZE")
            size = database.sql("SELECT pg_size_pretty(pg_total_relation_size('readings_rest')),"
                                " pg_size_pretty(pg_total_relation_size('station_days'))")[0]
            print(f"{args.days} days of one station, {args.days * 86400:,} lines, stored in "
                  f"{filled:.0f} s: readings {size[0]}, station_days {size[1]}")

            kept = first_days(args.web, database, args.rounds)
            for trigger in TRIGGERS:
                database.sql(f"DROP TRIGGER readings_days_{trigger} ON readings")
            counted = first_days(args.web, database, args.rounds)
            if kept[2] != counted[2]:
                sys.exit("the days kept and the days counted differ")
            print(f"the first /api/days of a fresh service ({args.rounds} services), best / "
                  f"median:")
            print(f"  {'from the days kept':28} {kept[0]:8.1f} / {kept[1]:8.1f} ms")
            print(f"  {'counted from every line':28} {counted[0]:8.1f} / {counted[1]:8.1f} ms")

            print("writes:")
            writes(database, end + 86400, "without the triggers")
            start = time.perf_counter()
            subprocess.run([args.collector, "--database", database.conninfo, "--create-schema"],
                           check=True, stdout=subprocess.DEVNULL, timeout=600)
            print(f"  {'the triggers made':28} their days counted once in "
                  f"{time.perf_counter() - start:.1f} s (an earlier archive brought up to date)")
            writes(database, end + 3 * 86400, "with the triggers")
            print(f"load average {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
