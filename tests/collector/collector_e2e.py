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
  first    three real loggers publish a minute before the collector's first start: the
           archive equals their day files
  broker_persistent, broker_volatile  the broker killed with SIGKILL while the collector is
           down (with persistence on and off): the archive equals the day files
  client_id  the collector back under another client id: the same
  restore  the archive restored from an older dump: the stations send the rest again
  minutes  a real logger's minute summaries: an archive made before minutes were kept gets
           their table (from --create-schema and from the collector), every minute stored
           is summed up from its seconds (the back-filled ones of a day file too), the live
           ones carry the station's magnitude and condition, and --status shows them
  minutes_sky  the sky of minutes back-filled without minute messages, worked out by the
           collector from the station's description: equal to a live logger's messages
  minutes_restart  minutes back-filled just before the collector stopped, too recent to be
           worked out: the next collector works out their sky
"""
import argparse
import calendar
import json
import math
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

    def __init__(self, tools, folder, broker, database, extra=(), client_id="nocturo-collect",
                 env=None):
        self.command = [tools.collector, "--broker", broker.url(), "--database",
                        database.conninfo, "--spool", os.path.join(folder, "spool"),
                        "--report-every", "1", "--confirm-every", "1",
                        "--client-id", client_id] + list(extra)
        self.broker = broker
        self.client_id = client_id
        self.log = os.path.join(folder, "collector.log")
        self.process = None
        self.since = 0
        self.env = dict(os.environ, **env) if env else None

    def start(self):
        self.since = self.broker.log_size()
        with open(self.log, "a") as log:
            self.process = subprocess.Popen(self.command, stdout=log, stderr=log, env=self.env)
        STARTED.append(self.process)
        return self

    def subscribed(self):
        """Once the broker says the collector subscribed: from then on its session keeps
        what the stations publish."""
        self.broker.wait_subscribed(self.client_id, [f"nocturo/+/{kind}" for kind in
                                                     ("reading", "status", "event", "minute")],
                                    60, self.since)
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
        collector = Collector(tools, folder, broker, database).start().subscribed()
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
        collector = Collector(tools, folder, broker, database).start().subscribed()
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
        # The session exists once the collector has subscribed; from then on the broker
        # keeps what arrives while it is down.
        collector = Collector(tools, folder, broker, database).start().subscribed()
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
        collector = Collector(tools, folder, broker, database).start().subscribed()
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
        collector = Collector(tools, folder, broker, database).start().subscribed()
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


# Healing: real loggers publish while something between them and the archive loses what the
# broker had taken; the archive's confirmations make them send it again.

class Observer:
    """A plain subscriber to every station's readings: what the stations sent, whatever
    became of it afterwards."""

    def __init__(self, broker, folder):
        self.path = os.path.join(folder, f"observed-{len(STARTED)}.txt")
        self.out = open(self.path, "wb")
        self.process = subprocess.Popen(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-q", "1",
             "-t", "nocturo/+/reading", "-F", "%t\t%p"], stdout=self.out,
            stderr=subprocess.DEVNULL)
        STARTED.append(self.process)
        broker.wait_subscribed_any("nocturo/+/reading", 30)

    def seconds(self):
        """Per station, the UTC seconds of the readings seen."""
        self.out.flush()
        seen = {}
        with open(self.path, "rb") as f:
            for line in f.read().split(b"\n"):
                if b"\t" not in line:
                    continue
                topic, payload = line.split(b"\t", 1)
                try:
                    utc = json.loads(payload)["time"]
                except ValueError:
                    continue
                seen.setdefault(topic.decode().split("/")[1], set()).add(utc)
        return seen


def archived_seconds(database, station):
    return {r[0] for r in database.sql(
        "SELECT to_char(utc AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"') FROM readings "
        f"WHERE station = '{station}'")}


def wait_lines(observer, minimum, timeout, what):
    """Until every station was seen sending `minimum` more readings than in `before`."""
    wait_for(lambda: all(len(observer.seconds().get(n, ())) >= minimum[n] for n in minimum),
             timeout, what)


def wait_archived_all_seen(database, observer, stations, timeout):
    """Until the archive holds every reading seen on the broker."""
    def caught_up():
        seen = observer.seconds()
        return all(seen.get(n, set()) <= archived_seconds(database, n) for n in stations)
    try:
        wait_for(caught_up, timeout, "the archive did not catch up")
    except TimeoutError:
        seen = observer.seconds()
        raise Failure("missing from the archive: " + ", ".join(
            f"{n} {len(seen.get(n, set()) - archived_seconds(database, n))}" for n in stations))


class Stations:
    """Real loggers against emulated sensors, publishing as stations; `prewritten` lines
    of the day already in each one's day file (a minute recorded before the network was
    there, say)."""

    def __init__(self, tools, folder, broker, names, prewritten=0, conf=None, env=None,
                 hour=12, emulator_args=()):
        import nocturo_e2e
        self.e2e = nocturo_e2e
        check(tools.emulator and tools.logger, "the stations need --emulator and --logger")
        tools.front_end, tools.program, tools.probe, tools.runs = "logger", tools.logger, None, []
        # Yesterday noon (or `hour`): away from midnight, well within the archive's window
        # of times.
        day = int(time.time()) // 86400 * 86400 - 86400
        start = day + hour * 3600
        self.runs = {}
        for seed, name in enumerate(names):
            workdir = os.path.join(folder, name)
            records = os.path.join(workdir, "records")
            os.makedirs(records)
            if conf:
                with open(os.path.join(records, "station.conf"), "w") as f:
                    f.write(conf)
            if prewritten:
                day_file(os.path.join(records, time.strftime("%Y%m%d.txt", time.gmtime(day))),
                         start - prewritten, prewritten, seed)
            self.runs[name] = nocturo_e2e.Run(
                tools, workdir, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(start)),
                args=["--publish", broker.url(), "--station", name, "--publish-retry-max", "1"],
                env=env, light=not emulator_args, emulator_args=emulator_args)

    def stop(self):
        try:
            codes = {name: run.stop() for name, run in self.runs.items()}
        finally:
            for run in self.runs.values():
                run.kill()
        check(set(codes.values()) == {0}, f"the loggers ended with {codes}")

    def lines(self, name):
        run = self.runs[name]
        lines = []
        for file in sorted(os.listdir(run.days)):
            if file.endswith(".txt"):
                lines += self.e2e.day_file(run.days, file)
        return [tuple(line.split()) for line in lines]


def check_archive_equals_files(database, stations, timeout=120):
    """After the stations stopped: the archive holds their day files, line for line, and
    confirms each up to its last line."""
    def confirmed(n):
        return database.sql(
            "SELECT to_char(confirmed AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS') "
            f"FROM stations WHERE name = '{n}'")[0][0]

    def equal():
        return all([tuple(l.split()) for l in archive_lines(database, n)] == stations.lines(n)
                   and confirmed(n) == " ".join(stations.lines(n)[-1][:2])
                   for n in stations.runs)
    try:
        wait_for(equal, timeout, "the archive differs")
    except TimeoutError:
        for n in stations.runs:
            got = [tuple(l.split()) for l in archive_lines(database, n)]
            want = stations.lines(n)
            check(got == want, f"{n}: the archive holds {len(got)} lines, its day files "
                  f"{len(want)}; first missing: {[w for w in want if w not in set(got)][:3]}")
            check(confirmed(n) == " ".join(want[-1][:2]),
                  f"{n}: confirmed up to {confirmed(n)}, not its last line")


def retained_confirmation(broker, station):
    result = subprocess.run(
        ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-C", "1", "-W", "20",
         "-t", f"nocturo-archive/{station}/confirmed"], stdout=subprocess.PIPE, text=True,
        timeout=60)
    return json.loads(result.stdout)


def median(values):
    values = sorted(values)
    half = len(values) // 2
    return values[half] if len(values) % 2 else (values[half - 1] + values[half]) / 2


def minute_rows(database, station):
    """The station's minutes: {"HH:MM" of UTC: (median, good seconds, magnitude, condition)}."""
    rows = database.sql(
        "SELECT to_char(utc AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI'), median_count, good_seconds, "
        f"magnitude, condition FROM minutes WHERE station = '{station}' ORDER BY utc")
    return {r[0]: (float(r[1]) if r[1] else None, int(r[2]), float(r[3]) if r[3] else None,
                   r[4] or None) for r in rows}


def minutes_table(database):
    return database.sql("SELECT count(*) FROM pg_tables WHERE tablename = 'minutes'")[0][0] == "1"


def scenario_minutes(tools, folder):
    zero_point = 20.5
    conf = f"latitude = 48.2\nlongitude = 16.4\nzero_point = {zero_point}\n"
    with Broker(folder) as broker, Database(folder) as database:
        # An archive of an older version: no minutes table. --create-schema adds it, and so
        # does a collector that finds it missing.
        create_schema(tools, database)
        database.sql("DROP TABLE minutes")
        create_schema(tools, database)
        check(minutes_table(database), "--create-schema did not add the minutes table")
        database.sql("DROP TABLE minutes")
        collector = Collector(tools, folder, broker, database).start().subscribed()
        # Three minutes recorded before the network was there, then live ones; the station's
        # clock runs six times as fast, so that minutes pass in seconds.
        stations = Stations(tools, folder, broker, ["roof"], prewritten=180, conf=conf,
                            env={"WALLCLOCK_SHIM_RATE": "6"})
        lines = stations.lines("roof")
        check(len(lines) >= 180, f"the day file holds {len(lines)} lines")
        backfilled = {}
        for date, clock, _, count, range_ in lines[:180]:
            backfilled.setdefault(f"{date} {clock[:5]}", []).append(
                int(count) if int(range_) > 0 else None)
        check(len(backfilled) == 3, f"the day file's minutes: {sorted(backfilled)}")

        def live_minutes():
            # The collector adds the table once it has connected.
            if not minutes_table(database):
                return []
            rows = minute_rows(database, "roof")
            return [m for m, r in rows.items() if m not in backfilled and r[3]]
        wait_for(lambda: len(live_minutes()) >= 2, 120, "no live minute with its condition")
        stations.stop()
        check_archive_equals_files(database, stations)
        rows = minute_rows(database, "roof")
        # The back-filled minutes: summed up from the seconds the archive holds; the station
        # sent no summary of them, and the archive has no description of it to work one out
        # from, so no magnitude or condition.
        for minute, counts in backfilled.items():
            good = [c for c in counts if c is not None]
            check(minute in rows, f"no row for the back-filled minute {minute}: {sorted(rows)}")
            check(rows[minute] == (median(good), len(good), None, None),
                  f"{minute}: {rows[minute]}, the day file says {median(good)}, {len(good)}")
        # Every live minute summed up from its seconds; those the station summed up carry its
        # magnitude of the median by the zero point, and the condition of its sky (noon).
        archived = {}
        for line in archive_lines(database, "roof"):
            date, clock, _, count, range_ = line.split()
            if int(range_) > 0:
                archived.setdefault(f"{date} {clock[:5]}", []).append(int(count))
        for minute in live_minutes():
            wanted = median(archived[minute])
            med, good, magnitude, condition = rows[minute]
            check((med, good) == (wanted, len(archived[minute])), f"{minute}: {rows[minute]}")
            check(abs(magnitude - (zero_point - 2.5 * math.log10(wanted))) < 0.0051,
                  f"{minute}: magnitude {magnitude} for a median of {wanted}")
            check(condition == "day", f"{minute}: the sky at noon is {condition}")
        # The newest summary is retained on the minute topic.
        retained = subprocess.run(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-C", "1", "-W", "20",
             "-t", "nocturo/roof/minute"], stdout=subprocess.PIPE, text=True, timeout=60)
        newest = json.loads(retained.stdout)
        check(newest["condition"] == "day" and newest["good_seconds"] > 0,
              f"the retained minute: {newest}")
        # The naked-eye limiting magnitude of the minute's brightness (Schaefer's conversion).
        eye = 7.93 - 5 * math.log10(10 ** (4.316 - newest["magnitude"] / 5) + 1)
        check(abs(newest["limiting_magnitude"] - eye) < 0.011, f"the retained minute: {newest}")
        last = rows[max(live_minutes())]
        code, table = status(tools, database)
        print(table)
        row = [line for line in table.splitlines() if line.startswith("roof ")]
        check(row and row[0].split()[-2:] == [f"{last[2]:.2f}", "day"],
              f"--status does not show the last minute's sky: {table}")
        check(table.splitlines()[0].split()[-2:] == ["MAG/ARCSEC²", "SKY"], table)
        collector.stop()


class MinuteMessages:
    """A plain subscriber to a station's minute messages: what the station summed up live."""

    def __init__(self, broker, folder, station):
        self.path = os.path.join(folder, f"minutes-{station}.txt")
        self.out = open(self.path, "wb")
        topic = f"nocturo/{station}/minute"
        self.process = subprocess.Popen(
            ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-q", "1",
             "-t", topic], stdout=self.out, stderr=subprocess.DEVNULL)
        STARTED.append(self.process)
        broker.wait_subscribed_any(topic, 30)

    def minutes(self):
        """{"YYYY-MM-DD HH:MM" of UTC: message}; the retained one is one of them."""
        self.out.flush()
        with open(self.path, "rb") as f:
            messages = [json.loads(line) for line in f.read().splitlines() if line.strip()]
        return {m["time"][:16].replace("T", " "): m for m in messages}


def sky_rows(database, station):
    """{"YYYY-MM-DD HH:MM": (magnitude, limiting magnitude, condition, derived)}."""
    rows = database.sql(
        "SELECT to_char(utc AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI'), magnitude, "
        f"limiting_magnitude, condition, sky_derived FROM minutes WHERE station = '{station}'")
    number = lambda text: float(text) if text else None  # noqa: E731
    return {r[0]: (number(r[1]), number(r[2]), r[3] or None, r[4] == "t") for r in rows}


def close(a, b, within=0.01):
    return (a is None and b is None) or (a is not None and b is not None and abs(a - b) <= within)


def scenario_minutes_sky(tools, folder):
    """A real logger publishes a night's minutes live, after back-filling what it recorded
    before; its day file is then back-filled whole as a second station that sends no
    minute messages. The collector works out the sky of every minute without one from the
    stations' descriptions in the archive: those of the second station equal the first's
    live messages, and the first's own messages are what the archive keeps of its minutes."""
    zero_point = "20.5 per_degree -0.004 at 15"
    conf = f"latitude = 48.2\nlongitude = 16.4\ntimezone = UTC\nzero_point = {zero_point}\n"
    description = json.dumps({"latitude": 48.2, "longitude": 16.4, "timezone": "UTC",
                              "zero_point": zero_point})
    with Broker(folder) as broker, Database(folder) as database:
        create_schema(tools, database)
        # An operator describes the stations before they first send.
        for name in ("roof", "twin"):
            database.sql(f"INSERT INTO stations (name, description) VALUES ('{name}', "
                         f"'{description}')")
        collector = Collector(tools, folder, broker, database).start().subscribed()
        messages = MinuteMessages(broker, folder, "roof")
        # The logger starts at 22:00 (a winter night: the Sun far below, at 48° north) with
        # three minutes recorded before; its clock, and the emulated night with it, runs ten
        # times as fast. Broken cloud comes after six minutes of a clear sky.
        rate = 10
        stations = Stations(tools, folder, broker, ["roof"], prewritten=180, conf=conf,
                            env={"WALLCLOCK_SHIM_RATE": str(rate)}, hour=22,
                            emulator_args=["--day-seconds", str(86400 // rate), "--start",
                                           "22:00", "--site", "rural", "--clouds",
                                           "22:06-23:59:0.9:broken"])
        wait_for(lambda: len(messages.minutes()) >= 18, 240, "the logger sent no minutes")
        stations.stop()
        check_archive_equals_files(database, stations)
        lines = stations.lines("roof")
        prewritten = {f"{d} {c[:5]}" for d, c, *_ in lines[:180]}
        live = {m: v for m, v in messages.minutes().items() if m not in prewritten}
        told = {v["condition"] for v in live.values()}
        check(len(live) >= 16 and {"clear", "cloudy"} <= told, f"the live minutes: {live}")

        # The station's own sky is what the archive keeps of its live minutes, whatever the
        # collector worked out before their messages came.
        def own(minute):
            m = live[minute]
            return (m["magnitude"], m["limiting_magnitude"], m["condition"], False)
        try:
            wait_for(lambda: all(sky_rows(database, "roof").get(m) == own(m) for m in live),
                     60, "")
        except TimeoutError:
            roof = sky_rows(database, "roof")
            raise Failure("roof's live minutes in the archive: " + "; ".join(
                f"{m} {roof.get(m)} against {own(m)}" for m in live if roof.get(m) != own(m)))

        # The twin: the lines the logger recorded live, back-filled at once, no minute message.
        twin_file = os.path.join(folder, "twin.txt")
        run = stations.runs["roof"]
        recorded = [line for name in sorted(os.listdir(run.days)) if name.endswith(".txt")
                    for line in stations.e2e.day_file(run.days, name)]
        check(len(recorded) == len(lines), "the day file changed")
        with open(twin_file, "w") as f:
            f.write("".join(line + "\r\n" for line in recorded[180:]))
        sent = published(load(tools, broker, "file", "--station", "twin", twin_file))
        check(sent == len(lines) - 180, f"mqtt-load sent {sent} of {len(lines) - 180}")
        wait_count(database, sent, 60, "station = 'twin'")
        # Each minute is worked out right after the commit of its seconds: once the collector
        # has stopped, every one of them is.
        collector.stop()
        twin, roof = sky_rows(database, "twin"), sky_rows(database, "roof")
        # The live station counts each second in the minute its day-file line is stamped
        # with: every live minute holds the day file's seconds of that minute, and the sky
        # worked out from them is the station's.
        summed = minute_rows(database, "roof")
        for minute, message in sorted(live.items()):
            mag, limit, condition, derived = twin[minute]
            check(derived, f"twin {minute}: not marked as worked out: {twin[minute]}")
            check(summed[minute][:2] == (message["median_count"], message["good_seconds"]),
                  f"roof {minute}: the day file's seconds {summed[minute][:2]}, the station "
                  f"said {message}")
            check(close(mag, message["magnitude"])
                  and close(limit, message["limiting_magnitude"])
                  and condition == message["condition"],
                  f"twin {minute}: {twin[minute]}, the station said {message}")
        print(f"{len(live)} live minutes, conditions {sorted(told)}: the day file's seconds, "
              "told alike")
        # The minutes back-filled by the logger itself: their magnitude by the zero point
        # of the minute's temperature, and a condition of the night.
        seconds = {}
        for date, clock, celsius, count_, range_ in lines[:180]:
            if int(range_) > 0:
                seconds.setdefault(f"{date} {clock[:5]}", []).append((float(celsius),
                                                                       int(count_)))
        for minute, good in seconds.items():
            mag, limit, condition, derived = roof[minute]
            warm = [c for c, _ in good if c > -273.05]
            point = 20.5 - 0.004 * (sum(warm) / len(warm) - 15) if warm else 20.5
            wanted = point - 2.5 * math.log10(median([n for _, n in good]))
            check(derived and close(mag, wanted, 0.001)
                  and close(limit, 7.93 - 5 * math.log10(10 ** (4.316 - wanted / 5) + 1), 0.001)
                  and condition in ("clear", "cloudy", "moonlit"),
                  f"roof {minute}, back-filled: {roof[minute]}, wanted {wanted:.3f}")


def scenario_minutes_restart(tools, folder):
    """A station back-fills the seconds it has just recorded, and the collector stops before
    their minutes are old enough to be worked out: the next collector takes them up again
    at its start and works out their sky."""
    zero_point = 20.5
    description = json.dumps({"latitude": 48.2, "longitude": 16.4, "timezone": "UTC",
                              "zero_point": str(zero_point)})

    def shifted(seconds):
        # Under AddressSanitizer the preloaded shim comes before its runtime, which it
        # allows when told: the shim wraps only the clock, nothing the runtime intercepts.
        asan = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                      "verify_asan_link_order=0"]))
        return {"LD_PRELOAD": tools.shim, "WALLCLOCK_SHIM_OFFSET": str(seconds),
                "ASAN_OPTIONS": asan}
    with Broker(folder) as broker, Database(folder) as database:
        create_schema(tools, database)
        database.sql(f"INSERT INTO stations (name, description) VALUES ('roof', "
                     f"'{description}')")
        # The first collector's clock ten minutes behind: to it the minutes stay recent
        # however slow the machine, so they wait in its memory alone.
        collector = Collector(tools, folder, broker, database,
                              env=shifted(-600)).start().subscribed()
        # Two whole minutes that ended a minute ago: a minute with few seconds would be of
        # unknown sky, so that its condition would stay empty, as a station's own does.
        start = int(time.time()) // 60 * 60 - 180
        path = os.path.join(folder, "roof.txt")
        lines = day_file(path, start, 120, 3)
        sent = published(load(tools, broker, "file", "--station", "roof", path))
        check(sent == len(lines), f"mqtt-load sent {sent} of {len(lines)}")
        wait_count(database, sent, 60, "station = 'roof'")
        wait_for(lambda: len(sky_rows(database, "roof")) >= 2, 60, "no minutes stored")
        collector.stop()
        rows = sky_rows(database, "roof")
        check(all(r == (None, None, None, False) for r in rows.values()),
              f"worked out before they were old enough: {rows}")
        # The next one's clock five minutes ahead: the minutes are old enough at once, and
        # no station sends anything more.
        Collector(tools, folder, broker, database, env=shifted(300)).start()

        def worked_out():
            return all(r[3] and r[0] is not None for r in sky_rows(database, "roof").values())
        try:
            wait_for(worked_out, 60, "")
        except TimeoutError:
            raise Failure(f"the minutes after the restart: {sky_rows(database, 'roof')}")
        summed = minute_rows(database, "roof")
        for minute, (mag, limit, condition, derived) in sky_rows(database, "roof").items():
            wanted = zero_point - 2.5 * math.log10(summed[minute][0])
            check(close(mag, wanted, 0.001) and condition is not None,
                  f"{minute}: {mag} {condition}, wanted {wanted:.3f}")


def scenario_first(tools, folder):
    """Three stations publish a minute of lines (and more, live) before the collector ever
    starts: afterwards the archive equals their day files."""
    names = ("east", "west", "north")
    with Broker(folder) as broker, Database(folder) as database:
        create_schema(tools, database)
        observer = Observer(broker, folder)
        stations = Stations(tools, folder, broker, names, prewritten=60)
        wait_lines(observer, {n: 65 for n in names}, 60, "the stations did not publish")
        check(count(database) == 0, "stored without a collector")
        collector = Collector(tools, folder, broker, database).start().subscribed()
        wait_archived_all_seen(database, observer, names, 120)
        stations.stop()
        check_archive_equals_files(database, stations)
        last = stations.lines("east")[-1]
        wanted = {"time": f"{last[0]}T{last[1]}Z"}
        try:
            wait_for(lambda: retained_confirmation(broker, "east") == wanted, 30, "")
        except TimeoutError:
            raise Failure(f"east's retained confirmation: {retained_confirmation(broker, 'east')}"
                          f", not {wanted}")
        collector.stop()


def heal(tools, folder, broker, database, disrupt, names=("east", "west")):
    """Stations publish into the archive; `disrupt` loses what the broker took; once the
    collector is back, the archive equals the day files."""
    create_schema(tools, database)
    observer = Observer(broker, folder)
    collector = Collector(tools, folder, broker, database).start().subscribed()
    stations = Stations(tools, folder, broker, names)
    wait_count(database, 3 * len(names), 60)
    collector = disrupt(collector, observer)
    wait_archived_all_seen(database, observer, names, 120)
    stations.stop()
    check_archive_equals_files(database, stations)
    collector.stop()


def lines_more(observer, names, more):
    seen = observer.seconds()
    return {n: len(seen.get(n, ())) + more for n in names}


def scenario_broker(tools, folder, persistence):
    """The collector stopped, the broker killed with SIGKILL while it holds the collector's
    queue, then both started again."""
    extra = (f"persistence true\npersistence_location {folder}/broker/\n" if persistence
             else "")
    with Broker(folder, extra) as broker, Database(folder) as database:
        def disrupt(collector, observer):
            collector.stop()
            wait_lines(observer, lines_more(observer, ("east", "west"), 5), 60,
                       "the stations stopped publishing")
            broker.kill()
            broker.start()
            return Collector(tools, folder, broker, database).start().subscribed()
        heal(tools, folder, broker, database, disrupt)


def scenario_broker_persistent(tools, folder):
    scenario_broker(tools, folder, True)


def scenario_broker_volatile(tools, folder):
    scenario_broker(tools, folder, False)


def scenario_client_id(tools, folder):
    """The collector comes back under another client id (a new installation, or a session
    the broker let expire): what the old session held never reaches it."""
    with Broker(folder) as broker, Database(folder) as database:
        def disrupt(collector, observer):
            collector.stop()
            wait_lines(observer, lines_more(observer, ("east", "west"), 5), 60,
                       "the stations stopped publishing")
            return Collector(tools, folder, broker, database,
                             client_id="nocturo-collect-new").start().subscribed()
        heal(tools, folder, broker, database, disrupt)


def scenario_restore(tools, folder):
    """The archive restored from a dump taken a while before (an hour in a real network,
    some seconds here): the stations send what the dump did not hold again."""
    dump = os.path.join(folder, "archive.sql")
    with Broker(folder) as broker, Database(folder) as database:
        def disrupt(collector, observer):
            subprocess.run(["pg_dump", "-d", database.conninfo, "-f", dump], check=True,
                           timeout=120)
            at_dump = count(database)
            wait_count(database, at_dump + 16, 60)
            collector.stop()
            before = count(database)
            database.sql("DROP TABLE stations, readings, events, minutes, station_days CASCADE")
            database.sql("DROP FUNCTION station_days_added, station_days_removed, "
                         "station_days_changed, station_days_emptied, station_days_recount")
            subprocess.run(["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", database.conninfo,
                            "-f", dump], check=True, timeout=120, stdout=subprocess.DEVNULL)
            check(count(database) < before, "the restored archive holds every line")
            return Collector(tools, folder, broker, database).start().subscribed()
        heal(tools, folder, broker, database, disrupt)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--collector", required=True)
    parser.add_argument("--load", required=True)
    parser.add_argument("--emulator")
    parser.add_argument("--logger")
    parser.add_argument("--shim")
    parser.add_argument("scenario", choices=["loggers", "archive", "kill", "hostile", "status",
                                             "first", "broker_persistent", "broker_volatile",
                                             "client_id", "restore", "minutes",
                                             "minutes_sky", "minutes_restart"])
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
        if not os.environ.get("KEEP_FOLDER"):
            subprocess.run(["rm", "-rf", folder])
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
