#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""nocturo-web's speed, side by side in one run: a station's night of 86,400 lines as
JSON from day files and from a real PostgreSQL archive (each made afresh: the answer cache
off), beside the baseline of a file of the same size served from memory; the compressed
size; the same night answered from the cache; and 200 clients at once asking for nights
(99th percentile, refusals, the service's resident memory).

  web_bench.py --web nocturo-web --collector nocturo-collect --pages DIR [--rounds N]
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


def best(url, rounds, headers=None):
    times = sorted(timed(url, headers)[0] for _ in range(rounds))
    return times[0], times[len(times) // 2]


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
    args = parser.parse_args()
    night = f"date={fx.NIGHT}&kind=night"
    gz = {"Accept-Encoding": "gzip"}
    with tempfile.TemporaryDirectory(prefix="nocturo-web-bench.") as folder:
        os.chmod(folder, 0o755)
        stations = os.path.join(folder, "stations")
        lines_of = fx.make_folders(stations, gaps=0)
        with Database(folder) as database:
            fx.fill_archive(database, args.collector, lines_of)
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
                             "--cache", "0", pages=pages)
            cached = fx.Web(args.web, "--archive", database.conninfo, "--describe", stations,
                            pages=pages)
            try:
                lines = len([r for r in lines_of["ridge"]
                             if fx.START + 43200 <= r[0] < fx.START + 43200 + 86400])
                path = f"/api/span?stations=ridge&{night}"
                rows = [
                    ("baseline: same-size file from memory", best(files.url + "/same-size.json", args.rounds)),
                    ("night JSON from day files", best(files.url + path, args.rounds)),
                    ("night JSON from the archive", best(archive.url + path, args.rounds)),
                    ("night JSON from day files, gzip", best(files.url + path, args.rounds, gz)),
                    ("night JSON from the archive, gzip", best(archive.url + path, args.rounds, gz)),
                    ("night JSON kept in the answer cache, gzip", best(cached.url + path, args.rounds, gz)),
                ]
                packed = timed(files.url + path, gz)[2]
                print(f"a night of {lines} lines: {len(body) / 1000:.0f} kB of JSON, "
                      f"{len(packed) / 1000:.0f} kB compressed (goal: at most 400 kB)")
                print(f"{'':44} {'best ms':>8} {'median ms':>10}")
                for name, (b, m) in rows:
                    print(f"{name:44} {b:8.1f} {m:10.1f}")

                # 200 clients at once, each asking for a night of one of the stations.
                def client(i):
                    station = sorted(fx.STATIONS)[i % 3]
                    return timed(f"{cached.url}/api/span?stations={station}&{night}", gz)
                with concurrent.futures.ThreadPoolExecutor(args.clients) as pool:
                    results = list(pool.map(client, range(args.clients)))
                times = sorted(r[0] for r in results)
                refused = sum(1 for r in results if r[1] != 200)
                p99 = times[int(len(times) * 0.99) - 1]
                print(f"{args.clients} clients at once asking for nights: p50 {times[len(times) // 2]:.0f} ms, "
                      f"p99 {p99:.0f} ms (goal: under 200), refused {refused} (goal: 0), "
                      f"peak memory {rss_mb(cached.process.pid):.1f} MB (goal: under 60)")
            finally:
                files.stop()
                archive.stop()
                cached.stop()


if __name__ == "__main__":
    main()
