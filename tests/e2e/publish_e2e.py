#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end checks of the logger publishing to a real Mosquitto of the test's own.

Each scenario runs nocturo-logger against the emulated sensor (as nocturo_e2e.py does, with
the wall clock moved by the tests' shim) and a broker started by the test on a free port of
127.0.0.1 (tests/support/mqtt_broker.py), and compares what a subscriber received with the
day files the logger wrote. Every wait is bounded.

usage: publish_e2e.py --emulator E --logger L --shim S SCENARIO
"""
import argparse
import json
import os
import re
import signal
import socket
import sys
import time

# The modules it imports leave no compiled copies in the source tree.
sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import mqtt_broker  # noqa: E402
import scenario_runner  # noqa: E402
from nocturo_e2e import Failure, Run, check, day_file, epoch  # noqa: E402

FIELDS = re.compile(r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d) +(-?\d+\.\d) +(\d+) +(\d+)$")
# Short waits between attempts, so that a broker back is found within a second or two. No
# archive's collector runs in these tests: the broker's acknowledgement is taken.
ALONE = ["--publish-without-archive"]
QUICK = ["--publish-retry-max", "1"] + ALONE


def readings(messages, station="roof"):
    """The reading messages of a station, decoded, in order of arrival."""
    topic = f"nocturo/{station}/reading"
    return [json.loads(payload) for t, payload in messages if t == topic]


def as_line(reading):
    """A reading as the fields of a day-file line: (local stamp, temperature, count, range)."""
    return (reading["local"], f"{reading['temperature']:.1f}", str(reading["mean_count"]),
            str(reading["range"]))


def file_fields(lines, name):
    out = []
    for line in lines:
        m = FIELDS.match(line)
        check(m, f"{name}: not a log line: {line!r}")
        out.append(m.groups())
    return out


def first_occurrences(items):
    """The items without repeats, each where it came first (a line may arrive twice)."""
    seen, out = set(), []
    for item in items:
        if item not in seen:
            seen.add(item)
            out.append(item)
    return out


def check_utc(reading, offset_hours=0):
    """`time` is the UTC second of `local` in a zone `offset_hours` ahead of UTC."""
    local = epoch(reading["local"])
    utc = epoch(reading["time"].replace("T", " ").rstrip("Z"))
    check(local - utc == offset_hours * 3600, f"time and local disagree: {reading}")


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def start(tools, workdir, when, args, env=None):
    """A logger run; its own event lines are those written after it started (the runs of
    a scenario share one output file)."""
    path = os.path.join(workdir, "output.txt")
    offset = os.path.getsize(path) if os.path.exists(path) else 0
    run = Run(tools, workdir, when, args=args, env=env)
    run.own_events = lambda: own_events(run, offset)
    return run


def own_events(run, offset):
    run.output.flush()
    prefix = "nocturo-logger: "
    with open(os.path.join(run.workdir, "output.txt"), "rb") as f:
        f.seek(offset)
        text = f.read().decode(errors="replace")
    return [line[len(prefix):] for line in text.splitlines() if line.startswith(prefix)]


def publishing_events(run):
    return [e for e in run.own_events() if e.startswith("publishing")]


def scenario_lines(tools, workdir):
    """One reading per day-file line, equal field by field and in order; a retained status
    online while it runs, offline after it ends; offline too (the last will) when it is
    killed without a goodbye; Home Assistant's discovery, retained."""
    broker = tools.broker(workdir)
    sub = broker.subscribe("nocturo/#")
    run = start(tools, workdir, "2009-01-26 15:37:20",
                args=["--publish", broker.url(), "--station", "roof", "--home-assistant"] + QUICK)
    run.wait_until("2009-01-26 15:37:28")
    online = [json.loads(p) for t, p in sub.messages() if t == "nocturo/roof/status"]
    check(online and online[-1]["online"] and online[-1]["link"] == "up",
          f"no status online: {online}\n" + run.log())
    check(run.stop() == 0, "did not exit cleanly:\n" + run.log())
    lines = file_fields(day_file(run.days, "20090126.txt"), "20090126.txt")
    got = sub.wait_for(lambda m: len(readings(m)) >= len(lines), 10)
    check(got is not None, f"{len(readings(sub.messages()))} readings for {len(lines)} lines")
    sent = readings(got)
    check([as_line(r) for r in sent] == [tuple(f) for f in lines],
          "readings differ from the file:\n" + "\n".join(map(str, sent)) + "\n" + str(lines))
    for r in sent:
        check_utc(r)
    last = sub.wait_for(lambda m: any(t == "nocturo/roof/status" and not json.loads(p)["online"]
                                      for t, p in m), 10)
    check(last is not None, "no status offline after the logger ended")
    events = [json.loads(p)["text"] for t, p in sub.messages() if t == "nocturo/roof/event"]
    check("sensor connected" in events, f"no event lines on the event topic: {events}")
    run.check_events("sensor connected", "publishing to .*: connected")
    # The discovery is retained: a dashboard that subscribes later finds it.
    discovery = broker.subscribe("homeassistant/#").wait_for(lambda m: len(m) >= 7, 10)
    check(discovery is not None, "no discovery")
    configs = {t: json.loads(p) for t, p in discovery}
    check(set(configs) == {f"homeassistant/{c}/nocturo_roof/{k}/config" for c, k in (
        ("sensor", "counts"), ("sensor", "temperature"), ("sensor", "range"),
        ("binary_sensor", "link"), ("sensor", "sky_brightness"),
        ("sensor", "limiting_magnitude"), ("sensor", "sky_condition"))},
          f"discovery topics: {sorted(configs)}")
    for config in configs.values():
        check(config["availability_topic"] == "nocturo/roof/status" and
              config["state_topic"].startswith("nocturo/roof/"), f"discovery: {config}")

    # Killed: the broker publishes the last will.
    run = start(tools, workdir, "2009-01-26 15:40:00",
              args=["--publish", broker.url(), "--station", "roof"] + QUICK)
    check(sub.wait_for(lambda m: [json.loads(p)["online"] for t, p in m
                                  if t == "nocturo/roof/status"][-1:] == [True], 15),
          "not online again:\n" + run.log())
    os.kill(run.program_pid(), signal.SIGKILL)
    check(sub.wait_for(lambda m: [json.loads(p)["online"] for t, p in m
                                  if t == "nocturo/roof/status"][-1:] == [False], 15),
          "the last will did not say offline")


def scenario_outage(tools, workdir):
    """The broker stopped while the logger is restarted and midnight passes, then started
    again: the subscriber receives every line of both day files, in order."""
    broker = tools.broker(workdir, persistence=True)
    # A persistent session: what arrives while the subscriber is away is kept for it.
    sub = broker.subscribe("nocturo/#", client_id="archive")
    args = ["--publish", broker.url(), "--station", "roof"] + QUICK
    first = start(tools, workdir, "2009-01-26 23:59:44", args=args)
    first.wait_until("2009-01-26 23:59:47")
    check(sub.wait_for(lambda m: readings(m), 10), "nothing published:\n" + first.log())
    broker.stop()
    first.wait_until("2009-01-26 23:59:50")
    check(first.stop() == 0, "did not exit cleanly:\n" + first.log())
    check(len(publishing_events(first)) == 2,
          "the outage was not told once:\n" + "\n".join(first.own_events()))
    second = start(tools, workdir, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(first.now() + 1)),
                 args=args)
    second.wait_until("2009-01-27 00:00:05")
    broker.start()
    second.wait_until("2009-01-27 00:00:08")
    check(second.stop() == 0, "did not exit cleanly:\n" + second.log())
    old = file_fields(day_file(second.days, "20090126.txt"), "20090126.txt")
    new = file_fields(day_file(second.days, "20090127.txt"), "20090127.txt")
    check(old and new, "a day file is empty")
    wanted = [tuple(f) for f in old + new]
    got = sub.wait_for(lambda m: set(wanted) <= set(map(as_line, readings(m))), 20)
    received = [as_line(r) for r in readings(sub.messages())]
    missing = [w for w in wanted if w not in set(received)]
    check(got is not None, f"{len(missing)} lines never arrived: {missing[:5]}\n" + broker.log())
    check(first_occurrences(received) == wanted,
          "not in the files' order:\n" + "\n".join(map(str, received)))
    print(f"{len(wanted)} lines of two days, {len(received)} readings received")


def scenario_unreachable(tools, workdir):
    """A broker that takes the connection and never answers: the logger records every
    second all the same, its memory stays flat, and its event lines say it once."""
    silent = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    silent.bind(("127.0.0.1", 0))
    silent.listen(64)  # never accepted: the connection is made, no answer ever comes
    port = silent.getsockname()[1]
    try:
        run = start(tools, workdir, "2009-01-26 12:00:00",
                  args=["--publish", f"mqtt://127.0.0.1:{port}", "--station", "roof"] + QUICK)
        run.wait_until("2009-01-26 12:00:05")
        pid = run.program_pid()
        before = rss_kb(pid)
        run.wait_until("2009-01-26 12:00:25")
        after = rss_kb(pid)
        check(run.stop() == 0, "did not exit cleanly:\n" + run.log())
    finally:
        silent.close()
    print(f"resident memory {before} kB after 5 s, {after} kB after 25 s")
    check(after - before < 2048, f"memory grew from {before} kB to {after} kB")
    lines = day_file(run.days, "20090126.txt")
    stamps = [epoch(line[:19]) for line in lines]
    check(all(b - a == 1 for a, b in zip(stamps, stamps[1:])) and len(lines) >= 22,
          f"seconds missing while the broker was unreachable: {len(lines)} lines")
    told = publishing_events(run)
    check(len(told) == 1 and "no answer" in told[0], "not told once:\n" + "\n".join(run.own_events()))


def scenario_acl(tools, workdir):
    """Accounts and an ACL that lets each station write only its own topics: station A
    cannot publish as station B, and the archive account may only read."""
    users = {"roof": "roof-secret", "garden": "garden-secret", "archive": "archive-secret"}
    acl = ("user archive\ntopic read nocturo/#\n\n"
           "pattern write nocturo/%u/#\npattern write homeassistant/+/nocturo_%u/#\n")
    broker = tools.broker(workdir, users=users, acl=acl)
    sub = broker.subscribe("nocturo/#", user="archive", password="archive-secret")
    credentials = os.path.join(workdir, "roof-credentials")
    with open(credentials, "w") as f:
        f.write("roof\nroof-secret\n")
    os.chmod(credentials, 0o600)
    base = ["--publish", broker.url(), "--publish-credentials", credentials] + QUICK
    # The account roof, posing as garden, from a file every user may read: it works, and
    # the logger warns about the file.
    readable = os.path.join(workdir, "readable-credentials")
    with open(readable, "w") as f:
        f.write("roof\nroof-secret\n")
    os.chmod(readable, 0o644)
    posing = start(tools, workdir, "2009-01-26 12:00:00",
                   args=["--publish", broker.url(), "--publish-credentials", readable,
                         "--station", "garden"] + QUICK)
    posing.wait_until("2009-01-26 12:00:05")
    check(posing.stop() == 0, "did not exit cleanly:\n" + posing.log())
    check(broker.publish("nocturo/garden/reading", "{}", "roof", "roof-secret") == 0,
          "mosquitto_pub failed")
    check(broker.publish("nocturo/roof/reading", "{}", "archive", "archive-secret") == 0,
          "mosquitto_pub failed")
    # Itself: accepted.
    honest = start(tools, workdir, "2009-01-26 12:01:00", args=base + ["--station", "roof"])
    honest.wait_until("2009-01-26 12:01:05")
    check(honest.stop() == 0, "did not exit cleanly:\n" + honest.log())
    got = sub.wait_for(lambda m: len(readings(m)) >= 3 and any(
        t == "nocturo/roof/status" and not json.loads(p)["online"] for t, p in m), 10)
    check(got is not None, "station roof was not heard:\n" + broker.log())
    topics = {t for t, _ in sub.messages()}
    check(not any(t.startswith("nocturo/garden/") for t in topics),
          f"roof published as garden: {topics}")
    check(all(r.get("local") for r in readings(sub.messages())),
          "the archive account published a reading")
    check(publishing_events(posing) and "connected" in publishing_events(posing)[0],
          "\n".join(posing.own_events()))
    check(any("may be read by other users" in e for e in posing.own_events()),
          "no warning about the credentials file:\n" + "\n".join(posing.own_events()))


def scenario_tls(tools, workdir):
    """TLS with a certificate authority made by the test: with it the readings arrive;
    with another one the broker's certificate is refused, told in a clear event line, and
    nothing is sent."""
    certs = mqtt_broker.make_test_ca(os.path.join(workdir, "pki"), "good")
    other = mqtt_broker.make_test_ca(os.path.join(workdir, "pki"), "other")
    broker = tools.broker(workdir, tls=certs)
    sub = broker.subscribe("nocturo/#")
    # The certificates are valid from now: the wall clock stays where it is.
    now = time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime())
    good = start(tools, workdir, now,
               args=["--publish", broker.url(), "--publish-ca", certs["ca"], "--station", "roof"]
               + QUICK)
    time.sleep(5)
    check(good.stop() == 0, "did not exit cleanly:\n" + good.log())
    check(sub.wait_for(lambda m: len(readings(m)) >= 3, 10), "nothing over TLS:\n" + good.log())
    wrong = start(tools, workdir, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime()),
                args=["--publish", broker.url(), "--publish-ca", other["ca"], "--station",
                      "impostor"] + QUICK)
    time.sleep(5)
    check(wrong.stop() == 0, "did not exit cleanly:\n" + wrong.log())
    told = publishing_events(wrong)
    check(len(told) == 1 and "certificate verify failed" in told[0],
          "the refusal was not told clearly:\n" + "\n".join(wrong.own_events()))
    check(not any(t.startswith("nocturo/impostor/") for t, _ in sub.messages()),
          "sent with the wrong certificate authority")
    # The plain port is not the TLS one: nothing of the station reached the broker in clear.
    check("impostor" not in broker.log(), "the broker heard the station:\n" + broker.log())


def scenario_station_conf(tools, workdir):
    """station.conf in the data directory names the station and its time zone; a wrong
    value ends the logger with one line naming the key and the file, status 2."""
    broker = tools.broker(workdir)
    sub = broker.subscribe("nocturo/#")
    days = os.path.join(workdir, "records")
    os.makedirs(days)
    conf = os.path.join(days, "station.conf")
    with open(conf, "w") as f:
        f.write("# the roof\nname = roof\ntimezone = Europe/Vienna\nlatitude = 48.2\n")
    # The computer keeps the station's zone: the day files are written on its clock.
    run = start(tools, workdir, "2009-01-26 12:00:00", args=["--publish", broker.url()] + QUICK,
                env={"TZ": "Europe/Vienna"})
    run.wait_until("2009-01-26 12:00:05")
    check(run.stop() == 0, "did not exit cleanly:\n" + run.log())
    got = sub.wait_for(lambda m: len(readings(m)) >= 3, 10)
    check(got is not None, "station roof was not heard: " + str(sub.messages()[:3]))
    for r in readings(got):
        check_utc(r, offset_hours=1)  # Vienna in January: UTC+1
    with open(conf, "w") as f:
        f.write("name = roof\nlatitude = 91\n")
    bad = start(tools, workdir, "2009-01-26 12:02:00", args=["--publish", broker.url()])
    try:
        status = bad.process.wait(timeout=20)
    except Exception:
        raise Failure("a wrong station.conf did not end the logger:\n" + bad.log())
    errors = bad.own_events()
    check(status != 0 and len(errors) == 1 and "latitude" in errors[0] and
          "station.conf" in errors[0], f"status {status}:\n" + bad.log())


def scenario_bench(tools, workdir):
    """Passes per second of the logger without publishing and publishing to a local broker,
    in alternating rounds so that both see the same load on the machine, counted by the
    emulator as the 'L' requests it answers; and the logger's CPU in each."""
    from nocturo_e2e import cpu_seconds, rate_from_stats
    broker = tools.broker(workdir)
    sub = broker.subscribe("nocturo/#")
    rates = {"without": [], "publishing": []}
    cpu = {"without": [], "publishing": []}
    for round_ in range(int(os.environ.get("NOCTURO_BENCH_ROUNDS", "5"))):
        report = f"round {round_ + 1}:"
        for case in ("without", "publishing"):
            stats = os.path.join(workdir, f"stats-{case}{round_}.txt")
            args = ["--publish", broker.url(), "--station", "bench"] + ALONE \
                if case == "publishing" else []
            run = Run(tools, workdir, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime()),
                      light=False, stats=stats, args=args)
            time.sleep(2)
            pid = run.program_pid()
            before = cpu_seconds(pid)
            time.sleep(8)
            used = cpu_seconds(pid) - before
            run.stop()
            rates[case].append(rate_from_stats(stats, 2))
            cpu[case].append(100 * used / 8)
            report += f" {case} {rates[case][-1]:.0f} passes/s ({cpu[case][-1]:.0f}% of a core)"
        print(report)
    best = {case: max(values) for case, values in rates.items()}
    print(f"best: without {best['without']:.0f} passes/s, publishing {best['publishing']:.0f} "
          f"passes/s; ratio {best['publishing'] / best['without']:.3f} (goal at least 0.99)")
    print(f"readings received by the broker's subscriber: {len(readings(sub.messages(), 'bench'))}")


SCENARIOS = scenario_runner.scenarios(globals())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--emulator", required=True)
    parser.add_argument("--logger", required=True)
    parser.add_argument("--shim")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    tools = parser.parse_args()
    tools.runs, tools.brokers = [], []
    # Run wants a window program too; only the logger is ever started here.
    tools.front_end, tools.program, tools.probe = "logger", tools.logger, None
    scenario_runner.absolute_paths(tools, ("emulator", "logger", "shim"))

    def broker(workdir, **kwargs):
        b = mqtt_broker.Broker(os.path.join(workdir, f"broker{len(tools.brokers)}"), **kwargs)
        tools.brokers.append(b)
        b.start()
        return b

    tools.broker = broker
    return scenario_runner.run(SCENARIOS, tools, "nocturo-publish-", (Failure, RuntimeError),
                               [lambda: [b.close() for b in tools.brokers]])


if __name__ == "__main__":
    sys.exit(main())
