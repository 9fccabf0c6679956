#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""nocturo-web's speed, side by side in one run: a station's night of 86,400 lines as
JSON from day files and from a real PostgreSQL archive (each made afresh: the answer cache
off), beside the baseline of a file of the same size served from memory; the compressed
size; a night the archive confirms whole, asked the first time (a fresh service each time:
read, compressed and kept) and then from memory (and "not modified" to a client holding
it); 200 clients at once asking for nights, on a fresh service and on one that has answered
each night once (99th percentile, refusals, the service's resident memory), beside 200
asking for the file of the same size, and on a fresh service once it has made the stations'
last nights ahead; the year's heat map from day files, from the archive's minute summaries
and from its seconds; and the station's page in headless chromium: when it has drawn its
first night, beside when the page itself was ready.

Beside each time, the processor time the service and the database spent on an answer: on
a machine shared with other work the times grow with its load, the processor time hardly.

  web_bench.py --web nocturo-web --collector nocturo-collect --pages DIR [--rounds N]
               [--no-browser]
"""
import argparse
import concurrent.futures
import os
import shutil
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "web"))
import webfixture as fx  # noqa: E402
from network_servers import Database  # noqa: E402


def timed(url, headers=None):
    request = urllib.request.Request(url, headers=headers or {})
    start = time.perf_counter()
    try:
        with urllib.request.urlopen(request, timeout=60) as answer:
            body = answer.read()
            status = answer.status
    except urllib.error.HTTPError as error:
        body, status = error.read(), error.code
    return (time.perf_counter() - start) * 1000, status, body


TICK = os.sysconf("SC_CLK_TCK")


def cpu_ms(pids):
    """Processor time (user and system) of these processes so far, in ms."""
    total = 0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except (OSError, IndexError):
            pass
    return total * 1000 / TICK


def cluster(database):
    """The database server's processes: the postmaster and its children."""
    with open(os.path.join(database.data, "postmaster.pid")) as f:
        master = int(f.readline())
    pids = [master]
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    if int(f.read().rsplit(")", 1)[1].split()[1]) == master:
                        pids.append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    return pids


def best(url, rounds, headers=None, web=None, database=None):
    """Best and median ms, and the processor ms an answer cost the service and the database."""
    timed(url, headers)  # the first answer opens connections and files
    web_pids = [web.process.pid] if web else []
    db_pids = cluster(database) if database else []
    web0, db0 = cpu_ms(web_pids), cpu_ms(db_pids)
    times = sorted(timed(url, headers)[0] for _ in range(rounds))
    return (times[0], times[len(times) // 2], (cpu_ms(web_pids) - web0) / rounds,
            (cpu_ms(db_pids) - db0) / rounds)


def first_draws(url, tries):
    """The station's page in a fresh headless chromium: ms after navigation until the page
    was ready (DOMContentLoaded) and until it drew its first night; the best and median."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.support.ui import WebDriverWait
    options = webdriver.ChromeOptions()
    for a in ["--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1200",
              "--disable-background-networking", "--no-first-run"]:
        options.add_argument(a)
    ready, drawn = [], []
    for i in range(tries):
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        try:
            driver.get("about:blank")  # the browser's own start is not the page's
            driver.get(f"{url}&try={i}")
            WebDriverWait(driver, 60).until(
                lambda d: d.execute_script("return document.body.dataset.drawn"))
            drawn.append(driver.execute_script("return +document.body.dataset.drawnMs"))
            ready.append(driver.execute_script(
                "return performance.getEntriesByType('navigation')[0].domContentLoadedEventEnd"))
        finally:
            driver.quit()
    ready.sort()
    drawn.sort()
    return (ready[0], ready[len(ready) // 2]), (drawn[0], drawn[len(drawn) // 2])


def first_asked(start, path, rounds, headers):
    """Best and median ms of a night asked the first time, from a fresh service each time."""
    times = []
    for _ in range(rounds):
        web = start()
        try:
            times.append(timed(web.url + path, headers)[0])
        finally:
            web.stop()
    times.sort()
    return times[0], times[len(times) // 2], float("nan"), float("nan")


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--web", required=True)
    parser.add_argument("--collector", required=True)
    parser.add_argument("--pages", required=True)
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--clients", type=int, default=200)
    parser.add_argument("--no-browser", action="store_true")
    parser.add_argument("--web-option", action="append", default=[],
                        help="an option for the services that keep answers (repeatable)")
    args = parser.parse_args()
    night = f"date={fx.NIGHT}&kind=night"
    gz = {"Accept-Encoding": "gzip"}
    with tempfile.TemporaryDirectory(prefix="nocturo-web-bench.") as folder:
        os.chmod(folder, 0o755)
        stations = os.path.join(folder, "stations")
        lines_of = fx.make_folders(stations, gaps=0)
        with Database(folder) as database:
            fx.fill_archive(database, args.collector, lines_of)
            # As the collector has it for stations that kept sending: every line confirmed up
            # to a day past the night.
            database.sql(f"UPDATE stations SET confirmed = to_timestamp({fx.START + 2 * 86400})")
            database.sql("ANALYZE")
            pages = os.path.join(folder, "pages")
            shutil.copytree(args.pages, pages)
            files = fx.Web(args.web, "--folder", os.path.join(stations, "ridge"), "--cache", "0",
                           pages=pages)
            _, _, body = timed(f"{files.url}/api/span?stations=ridge&{night}")
            # The baseline: a file of the night's size, served from the service's memory.
            with open(os.path.join(pages, "same-size.json"), "wb") as f:
                f.write(body)
            files.stop()
            files = fx.Web(args.web, "--folder", os.path.join(stations, "ridge"), "--cache", "0",
                           pages=pages)
            archive = fx.Web(args.web, "--archive", database.conninfo, "--describe", stations,
                             "--cache", "0", "--keep", "0", pages=pages)

            def serve_archive():
                return fx.Web(args.web, "--archive", database.conninfo, "--describe", stations,
                              *args.web_option, pages=pages)
            cached = serve_archive()
            # Its making of the last nights ahead is not in the times below.
            cached.wait_for_line("last confirmed nights ahead")
            try:
                lines = len([r for r in lines_of["ridge"]
                             if fx.START + 43200 <= r[0] < fx.START + 43200 + 86400])
                path = f"/api/span?stations=ridge&{night}"
                rows = [
                    ("baseline: same-size file from memory",
                     best(files.url + "/same-size.json", args.rounds, web=files)),
                    ("night JSON from day files", best(files.url + path, args.rounds, web=files)),
                    ("night JSON from the archive",
                     best(archive.url + path, args.rounds, web=archive, database=database)),
                    ("night JSON from day files, gzip",
                     best(files.url + path, args.rounds, gz, web=files)),
                    ("night JSON from the archive, gzip",
                     best(archive.url + path, args.rounds, gz, web=archive, database=database)),
                    ("confirmed night, asked first, gzip",
                     first_asked(serve_archive, path, args.rounds, gz)),
                    ("confirmed night, kept, gzip",
                     best(cached.url + path, args.rounds, gz, web=cached, database=database)),
                ]
                with urllib.request.urlopen(urllib.request.Request(cached.url + path,
                                                                   headers=gz)) as answer:
                    tag = answer.headers["ETag"]
                rows.append(("confirmed night, not modified (304)",
                             best(cached.url + path, args.rounds, {**gz, "If-None-Match": tag},
                                  web=cached, database=database)))
                packed = timed(files.url + path, gz)[2]
                print(f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
                print(f"a night of {lines} lines: {len(body) / 1000:.0f} kB of JSON, "
                      f"{len(packed) / 1000:.0f} kB compressed (goal: at most 400 kB)")
                print(f"{'':44} {'best ms':>8} {'median ms':>10} {'service cpu':>12} {'db cpu':>7}")
                for name, (b, m, web_cpu, db_cpu) in rows:
                    print(f"{name:44} {b:8.1f} {m:10.1f} {web_cpu:12.1f} {db_cpu:7.1f}")

                # 200 clients at once, each asking for a night of one of the stations; beside
                # them 200 asking for the file of a night's size.
                def at_once(path_of, web=None):
                    def client(i):
                        return timed((web or cached).url + path_of(i), gz)
                    with concurrent.futures.ThreadPoolExecutor(args.clients) as pool:
                        results = list(pool.map(client, range(args.clients)))
                    times = sorted(r[0] for r in results)
                    refused = sum(1 for r in results if r[1] != 200)
                    return times[len(times) // 2], times[int(len(times) * 0.99) - 1], refused
                base50, base99, _ = at_once(lambda i: "/same-size.json")
                stations_ = sorted(fx.STATIONS)

                def nights(i):
                    return f"/api/span?stations={stations_[i % 3]}&{night}"
                fresh = serve_archive()
                try:
                    c50, c99, c_refused = at_once(nights, fresh)
                    c_mb = rss_mb(fresh.process.pid)
                finally:
                    fresh.stop()
                # The same once the fresh service has said it made the last nights ahead.
                fresh = serve_archive()
                try:
                    started = time.perf_counter()
                    fresh.wait_for_line("last confirmed nights ahead")
                    prewarm_ms = (time.perf_counter() - started) * 1000
                    w50, w99, w_refused = at_once(nights, fresh)
                    w_mb = rss_mb(fresh.process.pid)
                finally:
                    fresh.stop()
                for i in range(3):
                    timed(cached.url + nights(i), gz)
                p50, p99, refused = at_once(nights)
                print(f"{args.clients} clients at once asking for nights of 3 stations; "
                      f"baseline, the same-size file: p50 {base50:.0f} ms, p99 {base99:.0f} ms")
                print(f"  on a fresh service (each night made once meanwhile): p50 {c50:.0f} ms, "
                      f"p99 {c99:.0f} ms (goal: under 200), refused {c_refused} (goal: 0), "
                      f"peak memory {c_mb:.1f} MB (goal: under 60)")
                print(f"  on a fresh service once it said it made the last nights ahead "
                      f"({prewarm_ms:.0f} ms after it listened): p50 {w50:.0f} ms, "
                      f"p99 {w99:.0f} ms, refused {w_refused}, peak memory {w_mb:.1f} MB")
                print(f"  once each night was asked: p50 {p50:.0f} ms, p99 {p99:.0f} ms, "
                      f"refused {refused}, peak memory {rss_mb(cached.process.pid):.1f} MB")

                # The year's heat map, made afresh by a fresh service each time: from day
                # files, from the archive's minute summaries, and from the archive's seconds
                # (a station without summaries, as an archive from before they were kept).
                year = "/api/year?station=ridge&night=2026-12-08&step=5"

                def serve(*options):
                    return lambda: fx.Web(args.web, *options, "--cache", "0", pages=pages)
                year_rows = [
                    ("year from day files", first_asked(
                        serve("--folder", os.path.join(stations, "ridge")), year, args.rounds, gz)),
                    ("year from the archive's minutes", first_asked(
                        serve("--archive", database.conninfo, "--describe", stations), year,
                        args.rounds, gz)),
                ]
                database.sql("CREATE TABLE kept_minutes AS SELECT * FROM minutes "
                             "WHERE station = 'ridge'")
                database.sql("DELETE FROM minutes WHERE station = 'ridge'")
                year_rows.append(("year from the archive's seconds", first_asked(
                    serve("--archive", database.conninfo, "--describe", stations), year,
                    args.rounds, gz)))
                database.sql("INSERT INTO minutes SELECT * FROM kept_minutes")
                # A whole year of a station's minute summaries, with a line every ten minutes
                # to place them on its wall clock: what a station's year costs from them.
                first = fx.START - 365 * 86400
                database.sql(f"INSERT INTO minutes (station, utc, median_count, good_seconds) "
                             f"SELECT 'yearlong', to_timestamp(s), (s % 997)::float8, 60 "
                             f"FROM generate_series({first}, {fx.START + 86400 - 60}, 60) s")
                database.sql(f"INSERT INTO readings SELECT 'yearlong', to_timestamp(s), "
                             f"to_timestamp(s) AT TIME ZONE 'UTC', 50, 123, 4 "
                             f"FROM generate_series({first}, {fx.START + 86400 - 1}, 600) s")
                database.sql("ANALYZE")
                whole_year = "/api/year?station=yearlong&night=2026-12-07&step=5"

                def year_service():
                    web = fx.Web(args.web, "--archive", database.conninfo, "--cache", "0",
                                 pages=pages)
                    web.get("/api/days?station=yearlong")  # counted first, as the page has it
                    return web
                year_rows.append(("a whole year from the archive's minutes",
                                  first_asked(year_service, whole_year, args.rounds, gz)))
                print(f"the year of nights ending 2026-12-08 (3 with lines; the whole year: "
                      f"366 with minutes), asked first, a fresh service each time:")
                for name, (b, m, _, _) in year_rows:
                    print(f"  {name:42} best {b:6.1f} ms, median {m:6.1f} ms")
                if not args.no_browser:
                    page = f"{archive.url}/?view=station&station=ridge&night={fx.NIGHT}"
                    (r0, r1), (d0, d1) = first_draws(page, 5)
                    print(f"the station's page in headless chromium, best/median ms after "
                          f"navigation: page ready {r0:.0f}/{r1:.0f} (baseline), first night "
                          f"drawn {d0:.0f}/{d1:.0f} (goal: within 1000)")
                print(f"load average {os.getloadavg()[0]:.1f}")
            finally:
                files.stop()
                archive.stop()
                cached.stop()


if __name__ == "__main__":
    main()
