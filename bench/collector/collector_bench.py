#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The archive's collector under load: N stations at one reading a second each, played by
mqtt-load through a real Mosquitto, nocturo-collect in between, into a real PostgreSQL
(fsync on, as a server runs), all on this machine.

For growing N it holds the load for a window (default 60 s after 10 s of warm-up;
--ten-minutes for 600 s) and checks that nothing was lost and that the collector's lag
(the end of a reading's second to its commit) stayed under 2 s at the 99th percentile. The
collector reports its lag every 10 s; the window's p99 is taken as the largest of those
intervals' p99, which is never below the true figure. It reports the largest N held, then
the back-fill of one station's whole day (86,400 lines sent at once) and its rate.

usage: collector_bench.py --collector C --load L [--ten-minutes] [--window S]
                          [--stations N,N,…] [--skip-backfill]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "support"))
from network_servers import Broker, Database, wait_for  # noqa: E402

REPORT = re.compile(r"stored (\d+) readings .* lag p50 ([\d.]+) s, p99 ([\d.]+) s, max ([\d.]+) s")


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def cpu_seconds(pid):
    """User and system CPU seconds of a process so far."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Rig:
    def __init__(self, args, folder):
        self.args, self.folder = args, folder
        self.broker = Broker(folder).start()
        # WAL room for the load, as a network's operator would set it: at 20,000 readings/s
        # the server writes some 5 MB of WAL a second, and with the default 1 GB it would
        # checkpoint every few minutes. (2 GB of shared buffers made the lag worse here.)
        self.database = Database(folder, fsync=True, settings={"max_wal_size": "8GB"}).start()
        subprocess.run([args.collector, "--create-schema", "--database", self.database.conninfo],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.log = open(os.path.join(folder, "collector.log"), "w+")
        self.collector = subprocess.Popen(
            [args.collector, "--broker", self.broker.url(), "--database", self.database.conninfo,
             "--spool", os.path.join(folder, "spool"), "--report-every", "10"],
            stdout=self.log, stderr=self.log)
        wait_for(lambda: "connected to the broker" in self.lines(), 30, "no connection")

    def lines(self):
        self.log.flush()
        with open(self.log.name) as f:
            return f.read()

    def count(self, where):
        return int(self.database.sql(f"SELECT count(*) FROM readings WHERE {where}")[0][0])

    def close(self):
        self.collector.terminate()
        self.collector.wait(60)
        self.broker.stop()
        self.database.stop("immediate")


def hold(rig, stations, start_index, warmup, window):
    """N stations for warm-up plus window seconds: (held, figures)."""
    seconds = warmup + window + 2
    reports_before = len(REPORT.findall(rig.lines()))
    cpu = {"collector": cpu_seconds(rig.collector.pid), "broker": cpu_seconds(rig.broker.process.pid)}
    began = time.monotonic()
    player = subprocess.Popen([rig.args.load, "live", "--port", str(rig.broker.port),
                               "--stations", str(stations), "--start-index", str(start_index),
                               "--seconds", str(seconds), "--connections", "4"],
                              stdout=subprocess.PIPE, text=True)
    # One generator thread plays every station: past what one core can send it falls
    # behind and its queue grows without end. That is the generator's limit, not a figure.
    try:
        out, _ = player.communicate(timeout=3 * seconds + 60)
    except subprocess.TimeoutExpired:
        player.kill()
        player.communicate()
        return False, (f"N={stations:6d}: the load generator could not keep the pace (still "
                       f"sending {3 * seconds + 60} s after it began): the limit of the "
                       f"generator on this machine, not of the collector; load {load_average()}")
    elapsed = time.monotonic() - began
    sent = int(re.search(r"published (\d+)", out).group(1))
    late = int(re.search(r"late (\d+)", out).group(1))
    where = f"station >= 'load-{start_index:05d}' AND station <= 'load-{start_index + stations - 1:05d}'"
    try:
        wait_for(lambda: rig.count(where) >= sent, 120, "not all stored")
    except TimeoutError:
        pass
    stored = rig.count(where)
    time.sleep(11)  # the last interval's report
    used = {k: cpu_seconds(p) - cpu[k] for k, p in
            (("collector", rig.collector.pid), ("broker", rig.broker.process.pid))}
    reports = REPORT.findall(rig.lines())[reports_before:]
    # The intervals of the window, after the warm-up.
    steady = reports[warmup // 10:][: max(1, window // 10)]
    p99 = max((float(r[2]) for r in steady), default=float("inf"))
    rate = sum(int(r[0]) for r in steady) / (10 * max(1, len(steady)))
    # The generator's own delays (a loaded machine) are told, not counted against the
    # collector: its lag is measured from each reading's second, whenever it was sent.
    held = stored == sent and p99 < 2.0
    over = sum(1 for r in steady if float(r[2]) >= 2.0)
    return held, (f"N={stations:6d}: sent {sent}, stored {stored}, {rate:8.0f} readings/s, "
                  f"lag p99 <= {p99:.2f} s ({over} of {len(steady)} 10 s intervals at 2 s or more), "
                  f"generator late {late} s, CPU collector "
                  f"{100 * used['collector'] / elapsed:.0f}% broker "
                  f"{100 * used['broker'] / elapsed:.0f}%, load {load_average()}"
                  f" -> {'held' if held else 'NOT held'}")


def backfill(rig, folder):
    """One station's whole day at once: seconds from the first message to the last commit."""
    path = os.path.join(folder, "day.txt")
    start = int(time.time()) // 86400 * 86400 - 86400
    with open(path, "w") as f:
        for t in range(start, start + 86400):
            f.write(time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(t))
                    + f"  21.5 {t % 1000000:7d} 3\r\n")
    began = time.monotonic()
    player = subprocess.Popen([rig.args.load, "file", "--port", str(rig.broker.port),
                               "--station", "backfill", path], stdout=subprocess.PIPE, text=True)
    wait_for(lambda: rig.count("station = 'backfill'") >= 86400, 600, "the back-fill is not stored")
    took = time.monotonic() - began
    player.communicate()
    return f"back-fill of a whole day (86,400 lines): {took:.1f} s, {86400 / took:.0f} readings/s, load {load_average()}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--collector", required=True)
    parser.add_argument("--load", required=True)
    parser.add_argument("--ten-minutes", action="store_true", help="hold each N for 600 s")
    parser.add_argument("--window", type=int, default=60)
    parser.add_argument("--stations", default="1000,2500,5000,10000,15000,20000,25000,30000")
    parser.add_argument("--skip-backfill", action="store_true")
    args = parser.parse_args()
    window = 600 if args.ten_minutes else args.window
    folder = tempfile.mkdtemp(prefix="nocturo-collect-bench-")
    rig = Rig(args, folder)
    try:
        print(f"collector bench: window {window} s per N after 10 s warm-up; "
              f"{os.cpu_count()} cores, load {load_average()}", flush=True)
        largest, start_index = 0, 0
        for n in (int(x) for x in args.stations.split(",")):
            held, text = hold(rig, n, start_index, 10, window)
            print(text, flush=True)
            start_index += n
            if not held:
                break
            largest = n
        print(f"largest N held: {largest} stations ({largest} readings/s)", flush=True)
        if not args.skip_backfill:
            print(backfill(rig, folder), flush=True)
    finally:
        rig.close()
        subprocess.run(["rm", "-rf", folder])


if __name__ == "__main__":
    main()
