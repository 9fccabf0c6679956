#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""nocturo-web as its users meet it: over three stations' day files and over a real
PostgreSQL archive holding the same lines.

  api      every answer of the API the same from the day files and from the archive
  hostile  bad names, dates, spans, parameters, malformed and oversized requests, many at
           once: each refused with its status, and the service still answers
  cache    a night the archive confirms whole is kept once made (its ETag answered "not
           modified"); a night still getting lines, and today's night, are read afresh
  prewarm  a fresh service makes each station's last confirmed night before it is asked;
           a night still getting lines is not kept
  year     the archive's year heat map from its minute summaries, the same as the day
           files'; from the seconds of a station without summaries
  days     the archive's days as its triggers keep them, through lines added, removed,
           changed and an archive made before them: the same as a count of every line
  browser  Debian's headless chromium: the network page shows the archive's stations, a
           station's chart holds exactly its day file's points, zoom, previous, next and
           the year's click work, no error in the console, no request to another host;
           screenshots kept in SHOTS
"""
import argparse
import calendar
import concurrent.futures
import gzip
import json
import os
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
import webfixture as fx  # noqa: E402
from network_servers import Database  # noqa: E402


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


CONDITIONS = ["no_line", "unknown", "day", "civil", "nautical", "astronomical", "moonlit",
              "clear", "cloudy"]


def check_conditions(station, answer, wanted):
    """A night's conditions: a minute each from 12:00 to 12:00 (the stations keep UTC), "no
    line" exactly where the day file has no line in the minute, the Sun up at noon."""
    c = answer.get("conditions")
    check(c is not None, f"{station}: the night carries no sky conditions")
    check(c["names"] == CONDITIONS, f"{station}: the conditions' names are {c['names']}")
    night_from = fx.START + 43200
    check(c["t"] == list(range(night_from, night_from + 86400, 60)),
          f"{station}: the conditions are not one a minute over the night")
    names = [c["names"][k] for k in c["code"]]
    with_lines = {r[0] - r[0] % 60 for r in wanted}
    wrong = [t for t, n in zip(c["t"], names) if (n == "no_line") != (t not in with_lines)]
    check(not wrong, f"{station}: 'no line' where the day file has lines or not: {wrong[:5]}")
    # 12:00 UTC is about noon in the Alps, ten at night in Sydney.
    noon = "day" if fx.STATIONS[station][1] < 30 else "night"
    if night_from in with_lines:
        check((names[0] == "day") == (noon == "day"),
              f"{station}: at 12:00 UTC the sky is {names[0]}, where it is {noon}")
    return names


def api_paths(station):
    d = fx.NIGHT
    return [
        f"/api/days?station={station}",
        f"/api/span?stations={station}&date={d}&kind=night",
        f"/api/span?stations={station}&date=2026-12-06&days=3&resolution=minute",
        f"/api/span?stations={station}&date=2026-12-07&kind=day",
        f"/api/sky?station={station}&date={d}&kind=night",
        f"/api/nights?station={station}&from=2026-12-05&to=2026-12-08",
        f"/api/nights?station={station}&from=2026-12-05&to=2026-12-08&format=csv",
        f"/api/year?station={station}&night=2026-12-08&step=10",
        f"/api/download?station={station}&date={d}&kind=night&format=csv",
        f"/api/download?station={station}&date={d}&kind=night&format=skyglow",
    ]


def scenario_api(args, folder, lines_of, archive):
    for station in fx.STATIONS:
        web = fx.Web(args.web, "--folder", os.path.join(folder, station), pages=args.pages)
        try:
            for path in api_paths(station):
                if station not in fx.STATIONS:
                    continue
                a = web.get(path)
                b = archive.get(path)
                check(a[0] in (200, 409), f"{path}: {a[0]} {a[2][:200]}")
                check(a[0] == b[0], f"{path}: status {a[0]} from day files, {b[0]} from the archive")
                check(a[2] == b[2], f"{path}: day files and archive answer differently")
            # The night's lines are the day file's, one for one.
            status, _, body = web.get(f"/api/span?stations={station}&date={fx.NIGHT}&kind=night")
            s = json.loads(body)["stations"][0]
            night_from = fx.START + 43200
            wanted = [r for r in lines_of[station] if night_from <= r[0] < night_from + 86400]
            times, t = [], s["t0"]
            for dt in s["dt"]:
                t += dt
                times.append(t)
            check(times == [r[0] for r in wanted], f"{station}: the night's times differ")
            check(s["count"] == [r[2] for r in wanted], f"{station}: the night's counts differ")
            check(s["temperature"] == [r[1] for r in wanted], f"{station}: temperatures differ")
            check_conditions(station, s, wanted)
            # Compressed for a client that takes gzip, and the same when unpacked.
            _, headers, packed = web.get(f"/api/span?stations={station}&date={fx.NIGHT}&kind=night",
                                         {"Accept-Encoding": "gzip"})
            check(headers.get("Content-Encoding") == "gzip", "no gzip for a client that takes it")
            check(gzip.decompress(packed) == body, "the compressed night differs")
        finally:
            web.stop()
    stations = json.loads(archive.get("/api/stations")[2])
    check([s["name"] for s in stations["stations"]] == sorted(fx.STATIONS), "archive's stations")
    check(stations["header"] == ["STATION", "STATE", "LINK", "LAST READING", "LAST HOUR",
                                 "LAST EVENT"], "the health table's header")
    span = json.loads(archive.get(f"/api/span?stations=ridge,town&date={fx.NIGHT}")[2])
    check([s["name"] for s in span["stations"]] == ["ridge", "town"], "two stations at once")
    check_described(args, folder)
    print("api: day files and archive give the same answers")


def check_described(args, folder):
    """Without --describe, positions and zero points come from the archive's own
    stations.description; one that does not read is no position, not a failure."""
    database = args.database
    database.sql("UPDATE stations SET description = '{\"latitude\": 47.1, \"longitude\": 11.4, "
                 "\"timezone\": \"UTC\", \"zero_point\": [\"20.5\"]}' "
                 "WHERE name = 'ridge'")
    database.sql("UPDATE stations SET description = '{\"latitude\": \"north\"}' WHERE name = 'town'")
    web = fx.Web(args.web, "--archive", database.conninfo, pages=args.pages)
    files = fx.Web(args.web, "--folder", os.path.join(folder, "ridge"), pages=args.pages)
    try:
        stations = {s["name"]: s for s in json.loads(web.get("/api/stations")[2])["stations"]}
        ridge = stations["ridge"]
        check((ridge["latitude"], ridge["longitude"], ridge["elevation"], ridge["zeroPoint"],
               ridge["timezone"]) == (47.1, 11.4, None, 20.5, "UTC"),
              f"ridge as the archive describes it: {ridge}")
        check(stations["town"]["latitude"] is None and stations["valley"]["latitude"] is None,
              "a station the archive does not describe (or wrongly) has a position")
        for path in [f"/api/span?stations=ridge&date={fx.NIGHT}&kind=night",
                     f"/api/sky?station=ridge&date={fx.NIGHT}&kind=night"]:
            check(web.get(path)[2] == files.get(path)[2],
                  f"{path}: the archive's description gives another answer than station.conf")
    finally:
        web.stop()
        files.stop()
        database.sql("UPDATE stations SET description = NULL")


def raw(port, data):
    with socket.create_connection(("127.0.0.1", port), timeout=30) as s:
        s.sendall(data)
        answer = b""
        try:
            while chunk := s.recv(65536):
                answer += chunk
                if b"\r\n\r\n" in answer:
                    head, _, rest = answer.partition(b"\r\n\r\n")
                    length = [int(l.split(b":")[1]) for l in head.split(b"\r\n")
                              if l.lower().startswith(b"content-length:")]
                    if length and len(rest) >= length[0]:
                        break
        except socket.timeout:
            pass
    return int(answer[9:12]) if answer[:5] == b"HTTP/" else 0


def scenario_hostile(args, folder, lines_of, archive):
    refusals = {
        "/api/span?stations=Ridge&date=2026-12-07": 400,
        "/api/span?stations=nope&date=2026-12-07": 404,
        "/api/span?stations=../../etc/passwd&date=2026-12-07": 400,
        "/api/span?stations=ridge';DROP%20TABLE%20readings;--&date=2026-12-07": 400,
        "/api/span?stations=ridge&date=2026-02-30": 400,
        "/api/span?stations=ridge&date=2026-12-07&days=32": 400,
        "/api/span?stations=ridge&date=2026-12-07&days=10&resolution=second": 400,
        "/api/span?stations=ridge&date=2026-12-07&kind=year": 400,
        "/api/span?stations=ridge&date=2026-12-07&kind=night&days=1": 400,
        "/api/span?stations=ridge&date=2026-12-07&extra=1": 400,
        "/api/span?stations=ridge&stations=town&date=2026-12-07": 400,
        "/api/span?stations=a,b,c,d,e,f,g,h,i&date=2026-12-07": 400,
        "/api/span?stations=ridge,ridge&date=2026-12-07": 400,
        "/api/nights?station=ridge&from=2026-01-01&to=2026-12-07": 400,
        "/api/nights?station=valley&from=2026-12-07&to=2026-12-07": 200,
        "/api/year?station=ridge&night=2026-12-07&step=7": 400,
        "/api/download?station=ridge&date=2026-12-07&format=exe": 400,
        "/api/days": 400,
        "/api/nothing": 404,
        "/../../etc/passwd": 404,
        "/%2e%2e/%2e%2e/etc/passwd": 404,
        "/api/span?stations=%ff%fe&date=2026-12-07": 400,
        "/api/span?" + "&".join(f"p{i}=1" for i in range(100)): 400,
    }
    for path, status in refusals.items():
        got, headers, body = archive.get(path)
        check(got == status, f"{path}: {got}, not {status}: {body[:200]}")
        if status >= 400:
            check("error" in json.loads(body), f"{path}: no error told")
    port = archive.port
    check(raw(port, b"POST /api/stations HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n") == 405,
          "POST is not refused")
    check(raw(port, b"NONSENSE\r\n\r\n") in (0, 400), "a broken request line is answered")
    check(raw(port, b"GET /api/stations HTTP/1.1\r\nHost: x\r\nbroken\r\n\r\n") == 400,
          "a broken header is not refused")
    long_target = b"GET /api/span?stations=" + b"a" * 200000 + b" HTTP/1.1\r\nHost: x\r\n\r\n"
    check(raw(port, long_target) in (0, 400, 414, 431), "an oversized request is answered")

    # Many at once: every one answered, good ones good, bad ones refused.
    def one(i):
        path = (f"/api/span?stations=ridge&date={fx.NIGHT}" if i % 2 else
                f"/api/span?stations=x{i}&date=2026-13-01")
        return archive.get(path)[0], i % 2
    with concurrent.futures.ThreadPoolExecutor(64) as pool:
        results = list(pool.map(one, range(300)))
    check(all((status == 200) == bool(good) for status, good in results),
          f"many at once: {sorted(set(r[0] for r in results))}")
    check(archive.get("/api/stations")[0] == 200, "the service no longer answers")
    print(f"hostile: {len(refusals) + 4} hostile requests refused, 300 at once answered")


def add_lines(database, station, first, last):
    """Lines of `station` for the UTC seconds first..last, as a collector stores them."""
    database.sql(f"INSERT INTO readings SELECT '{station}', to_timestamp(s), "
                 f"to_timestamp(s) AT TIME ZONE 'UTC', 50, 123, 4 "
                 f"FROM generate_series({first}, {last}) s ON CONFLICT DO NOTHING")


def confirm(database, station, utc):
    database.sql(f"UPDATE stations SET confirmed = to_timestamp({utc}) WHERE name = '{station}'")


def scenario_cache(args, folder, lines_of, archive):
    import time
    database = args.database
    # Answers that may change are not kept at all here: what is kept is the complete nights.
    web = fx.Web(args.web, "--archive", database.conninfo, "--describe", folder, "--cache", "0",
                 pages=args.pages)
    files = fx.Web(args.web, "--folder", os.path.join(folder, "ridge"), pages=args.pages)
    night = f"date={fx.NIGHT}&kind=night"

    def lines(station, date_and_kind, headers=None):
        status, headers_, body = web.get(f"/api/span?stations={station}&{date_and_kind}", headers)
        check(status == 200, f"{station}: {status} {body[:200]}")
        return len(json.loads(body)["stations"][0]["count"]), headers_, body
    try:
        # Ridge's night is over and the archive confirms it whole a day later: made once,
        # the same as the day files, then kept; a client holding it hears "not modified".
        confirm(database, "ridge", fx.START + 2 * 86400)
        path = f"/api/span?stations=ridge&{night}"
        status, headers, body = web.get(path)
        check(status == 200 and body == files.get(path)[2], "the kept night is not the day file's")
        tag = headers.get("ETag")
        check(tag, "a confirmed night has no ETag")
        check(web.get(path, {"If-None-Match": tag})[0] == 304, "the ETag is not answered 304")
        _, zipped_headers, zipped = web.get(path, {"Accept-Encoding": "gzip"})
        check(gzip.decompress(zipped) == body, "the kept night, compressed, differs")
        check(web.get(path, {"Accept-Encoding": "gzip", "If-None-Match": zipped_headers["ETag"]})[0]
              == 304, "the compressed night's ETag is not answered 304")
        database.sql(f"DELETE FROM readings WHERE station = 'ridge' AND "
                     f"utc = to_timestamp({fx.START + 50000})")
        check(web.get(path)[2] == body, "a confirmed night was read again")

        # Valley's night is confirmed only up to its last line: not kept, and lines coming in
        # are in the next answer, until the night is confirmed whole.
        valley = [r[0] for r in lines_of["valley"]]
        confirm(database, "valley", valley[-1])
        before, headers, _ = lines("valley", night)
        check("ETag" not in headers, "a night still getting lines has an ETag")
        add_lines(database, "valley", valley[-1] + 1, valley[-1] + 600)
        confirm(database, "valley", valley[-1] + 600)
        after, headers, _ = lines("valley", night)
        check(after == before + 600 and "ETag" not in headers,
              f"a night that got 600 lines answers {after - before} more")
        confirm(database, "valley", fx.START + 2 * 86400)
        check(lines("valley", night)[0] == after, "the night confirmed whole lost lines")

        # Today's night is never kept, even where the confirmation is ahead of the clock.
        now = int(time.time())
        today = time.strftime("%Y-%m-%d", time.gmtime(now - 43200))
        add_lines(database, "town", now - 600, now)
        confirm(database, "town", now + 3 * 86400)
        first, headers, _ = lines("town", f"date={today}&kind=night")
        check("ETag" not in headers, "today's night has an ETag")
        add_lines(database, "town", now + 1, now + 60)
        second, _, _ = lines("town", f"date={today}&kind=night")
        check(second == first + 60, f"today's night got 60 lines, answers {second - first} more")
    finally:
        web.stop()
        files.stop()
    print("cache: confirmed nights kept and tagged; a growing night and today's read afresh")


def scenario_prewarm(args, folder, lines_of, archive):
    """A fresh service makes each station's newest night the archive confirms whole before
    anyone asks: its first client is answered the night as it was when the service started
    (a line deleted since is still in it), tagged; a night still getting lines is not kept."""
    database = args.database
    night = f"date={fx.NIGHT}&kind=night"
    valley = [r[0] for r in lines_of["valley"]]
    # Ridge and town are confirmed a day past their night; valley only up to its last line,
    # which leaves its night of 12-07 open and its night before final.
    confirm(database, "ridge", fx.START + 2 * 86400)
    confirm(database, "town", fx.START + 2 * 86400)
    confirm(database, "valley", valley[-1])
    made = {"ridge": fx.NIGHT, "town": fx.NIGHT, "valley": "2026-12-06"}
    web = fx.Web(args.web, "--archive", database.conninfo, "--describe", folder, "--cache", "0",
                 pages=args.pages)
    files = {s: fx.Web(args.web, "--folder", os.path.join(folder, s), pages=args.pages)
             for s in fx.STATIONS}
    try:
        summary = web.wait_for_line("last confirmed nights ahead")
        check(summary.startswith("nocturo-web: made 3 "), f"the service says: {summary}")
        for station, date in made.items():
            web.wait_for_line(f"made {station}'s night of {date} ahead")
        # Every line of those nights deleted from the archive at a stroke: the answers that
        # follow can only be those made before.
        for station, date in made.items():
            first = calendar.timegm(time.strptime(date, "%Y-%m-%d")) + 43200
            database.sql(f"DELETE FROM readings WHERE station = '{station}' AND "
                         f"utc >= to_timestamp({first}) AND utc < to_timestamp({first + 86400})")
        for station, date in made.items():
            path = f"/api/span?stations={station}&date={date}&kind=night"
            status, headers, packed = web.get(path, {"Accept-Encoding": "gzip"})
            check(status == 200 and headers.get("ETag"), f"{path}: {status}, not kept")
            check(gzip.decompress(packed) == files[station].get(path)[2],
                  f"{path}: the first answer is not the night made ahead")
        # Valley's last night is still open: read afresh, with the lines that come in.
        add_lines(database, "valley", valley[-1] + 1, valley[-1] + 600)
        status, headers, body = web.get(f"/api/span?stations=valley&{night}",
                                        {"Accept-Encoding": "gzip"})
        check(status == 200 and "ETag" not in headers, "valley's open night was kept")
        wanted = len([t for t in valley if fx.START + 43200 <= t]) + 600
        got = len(json.loads(gzip.decompress(body))["stations"][0]["count"])
        check(got == wanted, f"valley's open night has {got} lines, not {wanted}")
    finally:
        web.stop()
        for f in files.values():
            f.stop()
    # Without room to keep nights, nothing is made ahead.
    bare = fx.Web(args.web, "--archive", database.conninfo, "--keep", "0", pages=args.pages)
    try:
        check(bare.get("/api/stations")[0] == 200, "the service without --keep does not answer")
    finally:
        bare.stop()
    check(not any("ahead" in l for l in bare.log), f"--keep 0 made nights ahead: {bare.log}")
    print("prewarm: the stations' last confirmed nights made at start, the open one read afresh")


def scenario_year(args, folder, lines_of, archive):
    """The year's heat map from the archive is made of its minute summaries: the same cells
    as from the day files; a summary changed changes its cell, lines deleted do not; a
    station without summaries (an archive from before they were kept) is read from its
    seconds."""
    database = args.database
    paths = [f"/api/year?station={s}&night=2026-12-08&step={step}"
             for s in sorted(fx.STATIONS) for step in (1, 10, 60)]
    files = {s: fx.Web(args.web, "--folder", os.path.join(folder, s), pages=args.pages)
             for s in fx.STATIONS}

    def fresh_year(path):
        web = fx.Web(args.web, "--archive", database.conninfo, "--describe", folder,
                     "--cache", "0", pages=args.pages)
        try:
            status, _, body = web.get(path)
        finally:
            web.stop()
        check(status == 200, f"{path}: {status} {body[:200]}")
        return json.loads(body)
    try:
        wanted = {}
        for path in paths:
            station = path.split("station=")[1].split("&")[0]
            wanted[path] = json.loads(files[station].get(path)[2])
            check(fresh_year(path) == wanted[path], f"{path}: archive and day files differ")
        # Ridge's minutes from 22:00 to 22:10 of the night of 12-07 say 4242: the cell of those
        # ten minutes says it too.
        night = fx.START + 43200
        database.sql(f"UPDATE minutes SET median_count = 4242 WHERE station = 'ridge' AND "
                     f"utc >= to_timestamp({night + 36000}) AND utc < to_timestamp({night + 36600})")
        # Every line of ridge's night of 12-07 after 23:00 deleted: its summaries stay.
        database.sql(f"DELETE FROM readings WHERE station = 'ridge' AND "
                     f"utc >= to_timestamp({night + 39600}) AND utc < to_timestamp({night + 86400})")
        path = "/api/year?station=ridge&night=2026-12-08&step=10"
        year = fresh_year(path)
        rows = year["rows"]
        column = year["nights"] - 2  # the night of 12-07, the one before the last
        cells = year["median"][column * rows:(column + 1) * rows]
        check(cells[60] == 4242.0, f"the cell of the summaries changed says {cells[60]}")
        before = wanted[path]["median"][column * rows:(column + 1) * rows]
        check(cells[:60] == before[:60] and cells[61:] == before[61:],
              "cells of summaries left alone changed")
        # Valley's summaries gone: its year is read from its seconds, as before.
        database.sql("DELETE FROM minutes WHERE station = 'valley'")
        for step in (1, 10, 60):
            path = f"/api/year?station=valley&night=2026-12-08&step={step}"
            check(fresh_year(path) == wanted[path], f"{path}: valley from its seconds differs")
    finally:
        for f in files.values():
            f.stop()
    print("year: the archive's year from its minute summaries, the same as from day files")


def scenario_days(args, folder, lines_of, archive):
    """The archive keeps each station's days (station_days) as its lines change, so that a
    station's days are read and not counted: after every change they are what a count of
    all its lines gives, and /api/days of a fresh service answers the same, byte for byte,
    as one of an archive made before the days were kept, which counts them."""
    database = args.database
    counted = ("SELECT station, local::date, count(*), min(local), max(local) FROM readings "
               "GROUP BY 1, 2")
    kept = "SELECT station, day, lines, first, last FROM station_days"

    def same_as_count(when):
        wrong = database.sql(f"({kept} EXCEPT {counted}) UNION ALL ({counted} EXCEPT {kept})")
        check(not wrong, f"{when}: the days kept differ from a count of the lines: {wrong[:4]}")

    def days_of_fresh_service(conninfo=database.conninfo):
        web = fx.Web(args.web, "--archive", conninfo, "--describe", folder, pages=args.pages)
        try:
            answers = {}
            for station in lines_of:
                status, _, body = web.get(f"/api/days?station={station}")
                check(status == 200, f"{station}: /api/days answers {status}")
                answers[station] = body
            return answers
        finally:
            web.stop()

    same_as_count("filled by COPY")
    ridge = [r[0] for r in lines_of["ridge"]]
    # A day's lines removed but one, some lines stored twice, a line's stamp moved to
    # another day, and new lines on a day of their own.
    database.sql(f"DELETE FROM readings WHERE station = 'ridge' AND utc > to_timestamp({ridge[0]}) "
                 f"AND utc < to_timestamp({ridge[0] + 86400 - ridge[0] % 86400})")
    add_lines(database, "ridge", ridge[-1] - 100, ridge[-1] + 100)
    database.sql(f"UPDATE readings SET local = local + interval '3 days' WHERE station = 'valley' "
                 f"AND utc = (SELECT max(utc) FROM readings WHERE station = 'valley')")
    add_lines(database, "town", ridge[-1] + 5 * 86400, ridge[-1] + 5 * 86400 + 10)
    same_as_count("after lines removed, added and changed")
    kept_answers = days_of_fresh_service()
    # An account given the lines but not the days kept: they are counted.
    database.sql("CREATE ROLE lines_only LOGIN")
    database.sql("GRANT SELECT ON stations, readings, minutes TO lines_only")
    lines_only = " ".join("user=lines_only" if p.startswith("user=") else p
                          for p in database.conninfo.split())
    check(days_of_fresh_service(lines_only) == kept_answers,
          "the days counted for an account without the days kept differ")

    # An archive a collector of an earlier version made: no triggers, and its days counted
    # from the lines; the next --create-schema keeps them from then on.
    for trigger in ("added", "removed", "changed", "emptied"):
        database.sql(f"DROP TRIGGER readings_days_{trigger} ON readings")
    database.sql("DELETE FROM station_days")
    check(days_of_fresh_service() == kept_answers,
          "the days counted from the lines differ from the days kept")
    add_lines(database, "valley", ridge[-1] + 7 * 86400, ridge[-1] + 7 * 86400 + 10)
    counted_answers = days_of_fresh_service()
    subprocess.run([args.collector, "--database", database.conninfo, "--create-schema"],
                   check=True, stdout=subprocess.DEVNULL, timeout=120)
    same_as_count("an earlier archive brought up to date")
    check(days_of_fresh_service() == counted_answers,
          "the days kept since the update differ from those counted before it")
    database.sql("TRUNCATE readings")
    check(not database.sql(kept), "the days of emptied readings are still kept")
    print(f"days: {len(lines_of)} stations' days kept as the lines change, /api/days the same")


def scenario_browser(args, folder, lines_of, archive):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait

    shots = args.shots
    os.makedirs(shots, exist_ok=True)
    options = webdriver.ChromeOptions()
    for a in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1200",
              "--disable-background-networking", "--no-first-run",
              # Any other host fails to resolve, so a request to one would show as an error.
              "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"]:
        options.add_argument(a)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    wait = WebDriverWait(driver, 60)
    base = archive.url
    try:
        driver.get(base + "/")
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "circle.station")) == 3)
        rows = [r.get_attribute("data-station") for r in driver.find_elements(By.CSS_SELECTOR, "tbody tr")]
        check(rows == sorted(fx.STATIONS), f"the health table shows {rows}")
        driver.save_screenshot(os.path.join(shots, "network.png"))

        driver.get(base + f"/?view=station&station=ridge&night={fx.NIGHT}")
        wait.until(lambda d: d.execute_script("return document.body.dataset.drawn") == fx.NIGHT)
        drawn_ms = driver.execute_script("return +document.body.dataset.drawnMs")
        t = driver.execute_script("return window.nocturoChart.t")
        y = driver.execute_script("return window.nocturoChart.y")
        night_from = fx.START + 43200
        wanted = [r for r in lines_of["ridge"] if night_from <= r[0] < night_from + 86400]
        check(t == [r[0] for r in wanted], "the chart's times are not the day file's")
        check(y == [None if r[3] == 0 or r[1] <= -2731 else r[2] for r in wanted],
              "the chart's counts are not the day file's")
        # The strip under the chart holds the classifier's conditions of the day file, minute
        # by minute, in the legend's colours.
        files = fx.Web(args.web, "--folder", os.path.join(folder, "ridge"), pages=args.pages)
        try:
            answer = json.loads(files.get(f"/api/span?stations=ridge&date={fx.NIGHT}&kind=night")[2])
        finally:
            files.stop()
        names = check_conditions("ridge", answer["stations"][0], wanted)
        shown = driver.execute_script("return window.nocturoConditions")
        check(shown["t"] == answer["stations"][0]["conditions"]["t"] and shown["names"] == names,
              "the page's conditions are not the day file's")
        painted = driver.execute_script(
            "const c = document.getElementById('conditions'), u = window.nocturoChart.chart;"
            "const r = c.width / c.clientWidth, g = c.getContext('2d');"
            "return window.nocturoConditions.t.map((t) => {"
            "  const x = Math.floor(u.valToPos(t + 30, 'x') * r);"
            "  const p = g.getImageData(x, Math.floor(c.height / 2), 1, 1).data;"
            "  return '#' + [p[0], p[1], p[2]].map((v) => v.toString(16).padStart(2, '0')).join('');"
            "})")
        colours = shown["colours"]
        # Minutes narrower than a pixel share it with a neighbour: most, not all, are their own.
        # The canvas may round a colour by a step or two.
        def near(a, b):
            return all(abs(int(a[i:i + 2], 16) - int(b[i:i + 2], 16)) <= 3 for i in (1, 3, 5))
        own = sum(1 for n, p in zip(names, painted) if near(colours[n], p))
        check(own >= 0.9 * len(names), f"the strip paints {own} of {len(names)} minutes in their colour")
        legend = [e.get_attribute("data-condition")
                  for e in driver.find_elements(By.CSS_SELECTOR, "#conditions-legend [data-condition]")]
        check(sorted(legend) == sorted(set(names)), f"the legend names {legend}, the night {set(names)}")
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#figures tbody tr"))
        wait.until(lambda d: d.find_elements(By.ID, "year"))
        driver.save_screenshot(os.path.join(shots, "station.png"))

        # Zoom by dragging over an hour or so, then by the wheel.
        over = driver.find_element(By.CSS_SELECTOR, "#chart .u-over")
        width = over.size["width"]
        ActionChains(driver).move_to_element_with_offset(over, -width // 4, 0).click_and_hold() \
            .move_by_offset(width // 8, 0).release().perform()
        lo, hi = driver.execute_script("const s = window.nocturoChart.chart.scales.x; return [s.min, s.max]")
        check(hi - lo < 86400 / 4, f"dragging did not zoom: {hi - lo} s shown")
        driver.execute_script(
            "const o = document.querySelector('#chart .u-over');"
            "o.dispatchEvent(new WheelEvent('wheel', {deltaY: -100, clientX: o.getBoundingClientRect().x + 200,"
            " clientY: o.getBoundingClientRect().y + 50, bubbles: true, cancelable: true}))")
        lo2, hi2 = driver.execute_script("const s = window.nocturoChart.chart.scales.x; return [s.min, s.max]")
        check(hi2 - lo2 < hi - lo, "the wheel did not zoom")
        ActionChains(driver).move_to_element(over).perform()
        reading = driver.find_element(By.ID, "reading").text
        check(reading.startswith("2026-12-"), "no reading under the pointer")
        check(any(w in reading for w in ["day", "twilight", "moonlit", "clear", "cloudy", "unknown", "no line"]),
              f"the reading does not say the sky's condition: {reading}")
        driver.save_screenshot(os.path.join(shots, "station-zoomed.png"))

        driver.find_element(By.ID, "prev").click()
        wait.until(lambda d: d.execute_script("return document.body.dataset.drawn") == "2026-12-06")
        check("night=2026-12-06" in driver.current_url, "the address does not say the night")
        driver.find_element(By.ID, "next").click()
        wait.until(lambda d: d.execute_script("return document.body.dataset.drawn") == fx.NIGHT)
        # The year's last column is the night shown; a click on the one before opens it.
        year = wait.until(lambda d: d.find_element(By.ID, "year"))
        cw = year.size["width"]
        nights = int(year.get_attribute("width"))
        x = int((nights - 1.5) / nights * cw) - cw // 2
        ActionChains(driver).move_to_element_with_offset(year, x, 0).click().perform()
        wait.until(lambda d: d.execute_script("return document.body.dataset.drawn") == "2026-12-06")

        driver.get(base + f"/?view=compare&stations=ridge,valley,town&night={fx.NIGHT}")
        wait.until(lambda d: d.execute_script("return document.body.dataset.drawn") == fx.NIGHT)
        driver.save_screenshot(os.path.join(shots, "compare.png"))
        driver.set_window_size(390, 844)
        driver.get(base + f"/?view=station&station=town&night={fx.NIGHT}&unit=mag")
        wait.until(lambda d: d.execute_script("return document.body.dataset.drawn") == fx.NIGHT)
        driver.save_screenshot(os.path.join(shots, "station-phone.png"))
        # The browser's own scrollbars (the tables', the page's at a phone's width) and
        # check boxes are dark as the page, not white stripes on it.
        scheme = driver.execute_script(
            "return getComputedStyle(document.documentElement).colorScheme")
        check("dark" in scheme, f"the browser's own controls are drawn for '{scheme}'")

        errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        check(not errors, f"errors in the console: {errors}")
        hosts = driver.execute_script(
            "return performance.getEntriesByType('resource').map(e => new URL(e.name).host)")
        check(all(h == f"127.0.0.1:{archive.port}" for h in hosts), f"requests to {set(hosts)}")
        print(f"browser: pages work; first night drawn {drawn_ms} ms after navigation; "
              f"screenshots in {shots}")
    finally:
        driver.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--web", required=True)
    parser.add_argument("--collector", required=True)
    parser.add_argument("--pages", required=True)
    parser.add_argument("--shots", default=os.path.join(os.getcwd(), "web-screenshots"))
    parser.add_argument("scenario", choices=["api", "hostile", "cache", "prewarm", "year",
                                             "days", "browser"])
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="nocturo-web-test.") as folder:
        os.chmod(folder, 0o755)
        lines_of = fx.make_folders(os.path.join(folder, "stations"))
        with Database(folder) as database:
            fx.fill_archive(database, args.collector, lines_of)
            args.database = database
            archive = fx.Web(args.web, "--archive", database.conninfo, "--describe",
                             os.path.join(folder, "stations"), pages=args.pages)
            try:
                globals()["scenario_" + args.scenario](args, os.path.join(folder, "stations"),
                                                       lines_of, archive)
            except Failure as failure:
                print(f"FAILED: {failure}", file=sys.stderr)
                return 1
            finally:
                archive.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
