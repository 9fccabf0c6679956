#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end checks of nocturo-collect between a real Mosquitto and a real PostgreSQL,
both started by the test on loopback and a Unix socket in a temporary folder. Stations are
played by mqtt-load, a publisher of the tests' own that speaks the stations' messages.

usage: collector_e2e.py --collector C --load L [--emulator E --logger G --shim S] SCENARIO
  loggers  two real loggers against the emulated sensor publish: the archive equals their
           day files, line for line
  archive  two stations' day files published by mqtt-load (one of them twice): the archive
           holds every line once, equal to the files
  kill     the collector killed with SIGKILL at random moments while stations publish,
           the database restarted once: afterwards the archive holds every line sent
  hostile  malformed, huge, forbidden, far-off and out-of-range messages are counted,
           told once per station and kind, and skipped; the good ones around them stored
  status   --status flags a station offline by its last will and one online but silent
"""
import argparse
import calendar
import os
import random
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from network_servers import Broker, Database, wait_for  # noqa: E402

# Every process a scenario starts, ended when it ends, whatever happened.
STARTED = []


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Collector:
    """nocturo-collect as a service would run it, its lines kept in a file."""

    def __init__(self, tools, folder, broker, database, extra=()):
        self.command = [tools.collector, "--broker", broker.url(), "--database",
                        database.conninfo, "--spool", os.path.join(folder, "spool"),
                        "--report-every", "1"] + list(extra)
        self.log = os.path.join(folder, "collector.log")
        self.process = None

    def start(self):
        with open(self.log, "a") as log:
            self.process = subprocess.Popen(self.command, stdout=log, stderr=log)
        STARTED.append(self.process)
        return self

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait(30)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(30)
        check(self.process.returncode == 0,
              f"the collector ended with {self.process.returncode}: {self.lines()[-5:]}")

    def alive(self):
        return self.process.poll() is None

    def lines(self):
        with open(self.log) as f:
            return f.read().splitlines()


def create_schema(tools, database):
    result = subprocess.run([tools.collector, "--create-schema", "--database", database.conninfo],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            timeout=60)
    check(result.returncode == 0, f"--create-schema failed: {result.stdout}")


def load(tools, broker, *args, background=False):
    command = [tools.load, args[0], "--port", str(broker.port)] + list(args[1:])
    if background:
        process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
        STARTED.append(process)
        return process
    result = subprocess.run(command, stdout=subprocess.PIPE, text=True, timeout=300)
    check(result.returncode == 0, f"mqtt-load {args[0]} failed")
    return result.stdout


def published(output):
    for line in output.splitlines():
        if line.startswith("published "):
            return int(line.split()[1])
    raise Failure(f"mqtt-load said nothing of what it published: {output}")


def count(database, where="true"):
    return int(database.sql(f"SELECT count(*) FROM readings WHERE {where}")[0][0])


def wait_count(database, wanted, timeout, where="true"):
    def reached():
        try:
            return count(database, where) >= wanted
        except subprocess.CalledProcessError:
            return False
    try:
        wait_for(reached, timeout, "the archive did not fill")
    except TimeoutError:
        raise Failure(f"the archive holds {count(database, where)} readings, not {wanted}")


def day_file(path, start, seconds, seed):
    """A day file of `seconds` lines from `start` (UTC seconds, taken as the local stamp),
    with some failed seconds, as the daily log writes them."""
    rng = random.Random(seed)
    lines = []
    for t in range(start, start + seconds):
        stamp = time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(t))
        if rng.random() < 0.05:
            lines.append(f"{stamp} -273.1       0 0")
        else:
            lines.append(f"{stamp} {rng.randint(-300, 400) / 10:5.1f} "
                         f"{rng.randint(0, 9999999):7d} {rng.randint(1, 5)}")
    with open(path, "w") as f:
        f.write("\r\n".join(lines) + "\r\n")
    return lines


def archive_lines(database, station):
    rows = database.sql(
        "SELECT to_char(local, 'YYYY-MM-DD HH24:MI:SS'), temperature_tenths, mean_count, range "
        f"FROM readings WHERE station = '{station}' ORDER BY utc")
    return [f"{r[0]} {int(r[1]) / 10:5.1f} {int(r[2]):7d} {r[3]}" for r in rows]


def scenario_archive(tools, folder):
    now = int(time.time())
    start = now - now % 60 - 1200
    with Broker(folder) as broker, Database(folder) as database:
        create_schema(tools, database)
        collector = Collector(tools, folder, broker, database).start()
        files = {"east": (os.path.join(folder, "east.txt"), 900),
                 "west-2": (os.path.join(folder, "west.txt"), 700)}
        expected = {}
        for seed, (station, (path, seconds)) in enumerate(files.items()):
            expected[station] = day_file(path, start, seconds, seed)
        sent = 0
        for station, (path, _) in files.items():
            sent += published(load(tools, broker, "file", "--station", station, path))
        # One station sends its file again, as after a reconnection: stored once.
        sent += published(load(tools, broker, "file", "--station", "east", files["east"][0]))
        check(sent == 900 * 2 + 700, f"mqtt-load sent {sent} readings")
        wait_count(database, 1600, 60)
        collector.stop()
        for station, lines in expected.items():
            got = archive_lines(database, station)
            check(got == lines,
                  f"{station}: the archive differs from its day file "
                  f"({len(got)} lines against {len(lines)})")
        first, last = database.sql("SELECT extract(epoch FROM first_reading)::bigint, "
                                   "extract(epoch FROM last_reading)::bigint FROM stations "
                                   "WHERE name = 'east'")[0]
        check((int(first), int(last)) == (start, start + 899),
              f"east's first and last reading are {first}, {last}")
        check(count(database) == 1600, "more rows than lines")


def scenario_loggers(tools, folder):
    """Two real loggers against the emulated sensor, publishing while the collector runs:
    the archive equals their day files, line for line."""
    import nocturo_e2e
    check(tools.emulator and tools.logger, "the loggers need --emulator and --logger")
    tools.front_end, tools.program, tools.probe, tools.runs = "logger", tools.logger, None, []
    now = time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(time.time()))
    with Broker(folder) as broker, Database(folder) as database:
        create_schema(tools, database)
        collector = Collector(tools, folder, broker, database).start()
        runs = {}
        for station in ("east", "west"):
            workdir = os.path.join(folder, station)
            os.makedirs(workdir)
            runs[station] = nocturo_e2e.Run(
                tools, workdir, now, args=["--publish", broker.url(), "--station", station,
                                           "--publish-retry-max", "1"])
        try:
            time.sleep(8)
            codes = {station: run.stop() for station, run in runs.items()}
        finally:
            for run in runs.values():
                run.kill()
        check(codes == {"east": 0, "west": 0}, f"the loggers ended with {codes}")
        for station, run in runs.items():
            lines = []
            for name in sorted(os.listdir(run.days)):
                if name.endswith(".txt"):
                    lines += nocturo_e2e.day_file(run.days, name)
            check(len(lines) >= 5, f"{station} wrote {len(lines)} lines")
            wait_count(database, len(lines), 60, f"station = '{station}'")
            got = archive_lines(database, station)
            check(got == lines, f"{station}: the archive differs from its day files:\n"
                  + "\n".join(got) + "\nagainst\n" + "\n".join(lines))
        collector.stop()
        statuses = database.sql("SELECT name, online FROM stations ORDER BY name")
        check(statuses == [["east", "f"], ["west", "f"]],
              f"the stations' last status: {statuses}")


def scenario_kill(tools, folder):
    stations, seconds = 40, 24
    rng = random.Random(int(os.environ.get("KILL_SEED", time.time())))
    with Broker(folder) as broker, Database(folder) as database:
        create_schema(tools, database)
        collector = Collector(tools, folder, broker, database).start()
        # The session exists once the collector has subscribed; from then on the broker
        # keeps what arrives while it is down.
        wait_for(lambda: any("connected to the broker" in l for l in collector.lines()), 30,
                 "the collector did not connect")
        players = [load(tools, broker, "live", "--stations", str(stations), "--seconds",
                        str(seconds), "--start-index", str(i * stations), background=True)
                   for i in range(2)]
        end = time.monotonic() + seconds
        kills = 0
        restarted = False
        while time.monotonic() < end - 2:
            time.sleep(rng.uniform(0.2, 2.0))
            collector.kill()
            kills += 1
            if not restarted and time.monotonic() > end - seconds / 2:
                # The database goes away and comes back while the collector is down.
                database.stop("immediate")
                database.start()
                restarted = True
            time.sleep(rng.uniform(0, 0.5))
            collector.start()
        outputs = [p.communicate(timeout=120)[0] for p in players]
        sent = sum(published(o) for o in outputs)
        check(sent == 2 * stations * seconds, f"the players sent {sent}")
        wait_count(database, sent, 120)
        collector.stop()
        check(count(database) == sent, f"{count(database)} rows for {sent} readings")
        # Every station's every second, with the count it was sent with.
        bad = database.sql("SELECT count(*) FROM readings WHERE mean_count <> "
                           "substr(station, 6)::int * 1000 + "
                           "(mean_count % 1000)")[0][0]
        check(bad == "0", f"{bad} readings differ from what was sent")
        per_station = database.sql("SELECT count(DISTINCT station), min(n), max(n) FROM "
                                   "(SELECT station, count(*) n FROM readings GROUP BY station) s")
        check(per_station[0] == [str(2 * stations), str(seconds), str(seconds)],
              f"stations and lines: {per_station}")
        check(restarted, "the database was not restarted")
        print(f"killed {kills} times, database restarted once, {sent} readings all stored")


def pub(broker, topic, payload):
    subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(broker.port), "-q", "1",
                    "-t", topic, "-s"], input=payload, check=True, timeout=30)


def reading(utc, mean=1, temperature="21.5", range_=3, local=None):
    local = local if local is not None else utc
    return (f'{{"time":"{time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(utc))}",'
            f'"local":"{time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(local))}",'
            f'"temperature":{temperature},"mean_count":{mean},"range":{range_}}}').encode()


def scenario_hostile(tools, folder):
    now = int(time.time())
    with Broker(folder) as broker, Database(folder) as database:
        create_schema(tools, database)
        collector = Collector(tools, folder, broker, database).start()
        wait_for(lambda: any("connected to the broker" in l for l in collector.lines()), 30,
                 "the collector did not connect")
        good = 0
        hostile = [
            ("nocturo/roof/reading", b'{"time": "2026-'),                      # malformed
            ("nocturo/roof/reading", b"\xff\xfe not json"),                    # malformed
            ("nocturo/roof/reading", b"[" * 100000),                           # too large
            ("nocturo/Roof Top/reading", reading(now - 5)),                    # forbidden name
            ("nocturo/" + "x" * 80 + "/reading", reading(now - 5)),            # name too long
            ("nocturo/roof/reading", reading(631152000)),                      # 1990
            ("nocturo/roof/reading", reading(3786912000)),                     # 2090
            ("nocturo/roof/reading", reading(now - 5, mean=-4)),               # out of range
            ("nocturo/roof/reading", reading(now - 5, range_=300)),            # out of range
            ("nocturo/roof/reading", reading(now - 5, temperature="4000.0")),  # out of range
            ("nocturo/roof/status", b'{"online":"yes"}'),                      # malformed
            ("nocturo/roof/event", b'{"time":"x","priority":99,"text":1}'),    # malformed
        ]
        for round_ in range(3):
            for i, (topic, payload) in enumerate(hostile):
                pub(broker, topic, payload)
                # A good reading after each bad message: none may be lost.
                pub(broker, "nocturo/roof/reading", reading(now - 600 + round_ * 100 + i, mean=i))
                good += 1
        wait_count(database, good, 60)
        check(collector.alive(), "the collector stopped")
        collector.stop()
        check(count(database) == good, f"{count(database)} rows for {good} good readings")
        refused = [l for l in collector.lines() if "refused a message" in l]
        # Told once per station and kind, although each was sent three times.
        kinds = {("roof", "malformed"), ("roof", "too large"), ("Roof?Top", "not a station's topic"),
                 ("x" * 64, "not a station's topic"), ("roof", "time far from now"),
                 ("roof", "wrong values")}
        check(len(refused) == len(kinds),
              f"{len(refused)} refusals told, not {len(kinds)}: " + "\n".join(refused))
        for station, kind in kinds:
            check(any(f"station {station} ({kind})" in l for l in refused),
                  f"no refusal told for {station}, {kind}")
        reports = [l for l in collector.lines() if "refused " in l and "stored" in l]
        check(reports and "malformed 6" in reports[-1] and "too large 3" in reports[-1],
              f"the counts are not reported: {reports[-1:]}")


def status(tools, database, *extra):
    result = subprocess.run([tools.collector, "--status", "--database", database.conninfo]
                            + list(extra), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, timeout=60)
    return result.returncode, result.stdout


def scenario_status(tools, folder):
    with Broker(folder) as broker, Database(folder) as database:
        create_schema(tools, database)
        collector = Collector(tools, folder, broker, database).start()
        code, table = status(tools, database)
        check(code == 0, f"--status of an empty archive: {code}\n{table}")
        # A station that is well: online, a reading a second.
        load(tools, broker, "status", "--station", "load-00000")
        player = load(tools, broker, "live", "--stations", "1", "--seconds", "4",
                      background=True)
        player.communicate(timeout=60)
        wait_count(database, 4, 30)
        wait_for(lambda: status(tools, database)[1].count("online") == 1, 30,
                 "the station's status did not arrive")
        code, table = status(tools, database)
        check(code == 0, f"--status with one good station: {code}\n{table}")
        # A station whose program dies: the broker's last will says offline.
        holder = subprocess.Popen([tools.load, "status", "--port", str(broker.port),
                                   "--station", "dome", "--will", "--hold"],
                                  stdout=subprocess.PIPE, text=True)
        check(holder.stdout.readline().startswith("published"), "dome did not publish")
        holder.send_signal(signal.SIGKILL)
        holder.wait(30)
        # A station online, link down, whose last reading is ten minutes old.
        load(tools, broker, "status", "--station", "mast", "--link-down", "sensor unplugged")
        load(tools, broker, "live", "--stations", "1", "--seconds", "1", "--start-index", "7",
             "--utc-shift", "-600")
        wait_for(lambda: "OFFLINE" in status(tools, database)[1], 60,
                 "the last will did not arrive")
        wait_for(lambda: "load-00007" in status(tools, database)[1], 60,
                 "the silent station's reading did not arrive")
        code, table = status(tools, database)
        print(table)
        check(code == 1, f"--status with an offline and a stale station exits {code}")
        rows = {line.split()[0]: line for line in table.splitlines()[1:]}
        check("OFFLINE" in rows["dome"], f"dome: {rows['dome']}")
        check("STALE" in rows["load-00007"] and "10 min ago" in rows["load-00007"]
              and "1/3600" in rows["load-00007"], f"load-00007: {rows['load-00007']}")
        check("online" in rows["load-00000"] and "4/3600" in rows["load-00000"],
              f"load-00000: {rows['load-00000']}")
        check("down (sensor unplugged)" in rows["mast"], f"mast: {rows['mast']}")
        # Longer patience: the silent station is no longer stale, the dead one still offline.
        code, table = status(tools, database, "--stale-after", "30")
        rows = {line.split()[0]: line for line in table.splitlines()[1:]}
        check(code == 1 and "STALE" not in rows["load-00007"] and "OFFLINE" in rows["dome"],
              f"--stale-after 30: {code}\n{table}")
        collector.stop()
        database.stop()
        code, _ = status(tools, database)
        check(code == 3, f"--status without an archive exits {code}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--collector", required=True)
    parser.add_argument("--load", required=True)
    parser.add_argument("--emulator")
    parser.add_argument("--logger")
    parser.add_argument("--shim")
    parser.add_argument("scenario", choices=["loggers", "archive", "kill", "hostile", "status"])
    tools = parser.parse_args()
    for name in ("collector", "load", "emulator", "logger", "shim"):
        if getattr(tools, name):
            setattr(tools, name, os.path.abspath(getattr(tools, name)))
    folder = tempfile.mkdtemp(prefix="nocturo-collect-")
    try:
        globals()["scenario_" + tools.scenario](tools, folder)
    except Failure as failure:
        log = os.path.join(folder, "collector.log")
        if os.path.exists(log):
            with open(log) as f:
                sys.stderr.write("collector's lines:\n" + "".join(f.readlines()[-30:]))
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    finally:
        for process in STARTED:
            if process.poll() is None:
                process.kill()
                process.wait()
        subprocess.run(["rm", "-rf", folder])
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
