#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end checks of the real programs against the emulated sensor.

Each scenario runs one front end of the station, the window program nocturo (offscreen)
or nocturo-logger, in a fresh temporary directory, as the child of sensor-emulator, with
the wall clock moved by the tests' own preload library, and then looks at what a user
would find on disk, and for the logger at its lines on standard error. The logger writes
into a data directory of its own, made by itself. Every wait is bounded, and every bound
is only a guard against a hang, about ten times what a loaded machine needs: the tests
judge what the programs do, never how fast (that is for the benchmarks in bench/).

usage: nocturo_e2e.py --emulator E [--program P] [--logger L] [--front-end window|logger]
                      [--shim S] [--probe U] SCENARIO
"""
import argparse
import calendar
import os
import re
import signal
import socket
import subprocess
import sys
import time

# The helper it imports leaves no compiled copy in the source tree.
sys.dont_write_bytecode = True
import scenario_runner  # noqa: E402

# The light and temperature the sensor holds, and the line they make: count 1234 at
# range 3 scales by 4.
LIGHT, TEMPERATURE = "1234:3", "21.5"
FIELDS = "  21.5    4936 3"
FAILED_FIELDS = " -273.1       0 0"  # a second whose passes all failed
STAMP = re.compile(r"^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)(.*)$")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def epoch(text):
    """Seconds since 1970 of a "yyyy-mm-dd hh:mm:ss" UTC time."""
    return calendar.timegm(time.strptime(text, "%Y-%m-%d %H:%M:%S"))


def days_dir(tools, workdir, front_end=None):
    """Where the front end's day files go: the window's working directory, or the data
    directory the logger is given (which it makes)."""
    logger = (front_end or tools.front_end) == "logger"
    return os.path.join(workdir, "records") if logger else workdir


class Run:
    """A front end under the emulator, with the wall clock starting near `start`."""

    def __init__(self, tools, workdir, start, faults=None, light=True, stats=None,
                 front_end=None, env=None, args=(), emulator_args=()):
        self.workdir = workdir
        self.front_end = front_end or tools.front_end
        self.days = days_dir(tools, workdir, self.front_end)
        self.offset = epoch(start) - time.time()
        extra = env or {}
        env = dict(os.environ, TZ="UTC0", LC_ALL="C.UTF-8", QT_QPA_PLATFORM="offscreen",
                   HOME=workdir, XDG_RUNTIME_DIR=workdir,
                   WALLCLOCK_SHIM_OFFSET=repr(self.offset), WALLCLOCK_SHIM=tools.shim or "")
        # Only a scenario's own service manager, never the one the tests may run under.
        for name in ("NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID", "JOURNAL_STREAM"):
            env.pop(name, None)
        env.update(extra)
        check(tools.program, "no --program given")
        program = [tools.program]
        if self.front_end == "logger":
            check(tools.logger, "no --logger given")
            program = [tools.logger] + (["--data-dir", self.days] if self.days != workdir else [])
            program += list(args)
        command = [tools.emulator]
        if light:
            command += ["--light", LIGHT, "--temperature", TEMPERATURE]
        if faults:
            command += ["--faults", faults]
        if stats:
            command += ["--stats", stats]
        command += list(emulator_args)
        # The shim goes last in LD_PRELOAD, behind what the emulator put there.
        command += ["--", "sh", "-c", 'LD_PRELOAD="$LD_PRELOAD $WALLCLOCK_SHIM" exec "$@"',
                    "sh"] + program
        self.output = open(os.path.join(workdir, "output.txt"), "ab")
        self.process = subprocess.Popen(command, cwd=workdir, env=env, stdout=self.output,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        tools.runs.append(self)

    def now(self):
        """The program's wall clock, in seconds since 1970."""
        return time.time() + self.offset

    def wait_until(self, moment, limit=30):
        """Sleeps until the program's clock reads `moment` ("yyyy-mm-dd hh:mm:ss")."""
        delay = epoch(moment) - self.now()
        check(delay < limit, "waiting too long for " + moment)
        if delay > 0:
            time.sleep(delay)
        self.check_running()

    def check_running(self):
        check(self.process.poll() is None, "nocturo ended early:\n" + self.log())

    def program_pid(self):
        children = []
        for task in os.listdir(f"/proc/{self.process.pid}/task"):
            with open(f"/proc/{self.process.pid}/task/{task}/children") as f:
                children += f.read().split()
        check(len(children) == 1, "no nocturo process")
        return int(children[0])

    def stop(self):
        """Ends nocturo as a session ending would (SIGTERM); returns its exit code."""
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
            raise Failure("nocturo did not end on SIGTERM:\n" + self.log())

    def kill(self):
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()

    def log(self):
        self.output.flush()
        with open(os.path.join(self.workdir, "output.txt"), errors="replace") as f:
            return f.read()[-3000:]

    def events(self):
        """The logger's lines on standard error, without its name."""
        self.output.flush()
        prefix = "nocturo-logger: "
        with open(os.path.join(self.workdir, "output.txt"), errors="replace") as f:
            return [line[len(prefix):].rstrip("\n") for line in f if line.startswith(prefix)]

    def check_events(self, *expected):
        """For the logger: started first, stopped last, each expected line (a regular
        expression) in order between them, and not one line per second."""
        if self.front_end != "logger":
            return
        events = self.events()
        text = "\n".join(events)
        check(events and events[0].startswith("started: version "), "not started:\n" + text)
        check(events[-1] == "stopped; the day's file is saved", "not stopped:\n" + text)
        at = 0
        for pattern in expected:
            while at < len(events) and not re.fullmatch(pattern, events[at]):
                at += 1
            check(at < len(events), f"no line {pattern!r} in order:\n" + text)
        check(len(events) <= 4 + 2 * len(expected), "too many lines:\n" + text)


def day_file(workdir, name):
    path = os.path.join(workdir, name)
    check(os.path.exists(path), name + " was not written; files: " + str(os.listdir(workdir)))
    with open(path, "rb") as f:
        data = f.read()
    check(data.endswith(b"\r\n"), name + " does not end with CR LF")
    lines = data.decode("ascii").split("\r\n")[:-1]
    check("\n" not in "".join(lines) and "\r" not in "".join(lines), name + ": lone line break")
    return lines


def parse(lines, name):
    """(seconds since 1970, fields after the stamp) of each line."""
    parsed = []
    for line in lines:
        m = STAMP.match(line)
        check(m, f"{name}: not a log line: {line!r}")
        parsed.append((epoch(line[:19]), m.group(7)))
    return parsed


def gaps(parsed):
    """The runs of seconds missing between consecutive lines; fails on a repeated second."""
    missing = []
    for (a, _), (b, _) in zip(parsed, parsed[1:]):
        check(b > a, f"second {time.strftime('%H:%M:%S', time.gmtime(b))} logged twice "
                     "or out of order")
        if b - a > 1:
            missing.append(b - a - 1)
    return missing


def scenario_lines(tools, workdir):
    """One line per second, exactly formatted, with the count scaled by its range."""
    run = Run(tools, workdir, "2009-01-26 15:37:20")
    run.wait_until("2009-01-26 15:37:27")
    check(run.stop() == 0, "nocturo did not exit cleanly:\n" + run.log())
    run.check_events("sensor connected")
    lines = day_file(run.days, "20090126.txt")
    check(len(lines) >= 3, f"only {len(lines)} lines in about 5 s")
    for line in lines:
        check(line[:17] == "2009-01-26 15:37:" and line[19:] == FIELDS, f"bad line {line!r}")
    check(gaps(parse(lines, "20090126.txt")) == [], "a second is missing")
    check(os.listdir(run.days).count("20090126.txt") == 1
          and not [f for f in os.listdir(run.days) if f.endswith(".txt")
                   and f not in ("20090126.txt", "output.txt")], "unexpected day files")


def scenario_saves(tools, workdir):
    """The file is saved after second 29 of a minute, and again at exit."""
    run = Run(tools, workdir, "2009-01-26 10:00:24")
    path = os.path.join(run.days, "20090126.txt")
    run.wait_until("2009-01-26 10:00:29")
    deadline = time.time() + 20
    while not os.path.exists(path) and time.time() < deadline:
        time.sleep(0.05)
    check(os.path.exists(path), "no save after second 29")
    time.sleep(0.2)  # let the write finish
    first = day_file(run.days, "20090126.txt")
    check(first[-1][:19] == "2009-01-26 10:00:30",
          f"the save after second 29 ends with {first[-1]!r}")
    run.wait_until("2009-01-26 10:00:33")
    check(day_file(run.days, "20090126.txt") == first, "saved at a second other than 29")
    check(run.stop() == 0, "nocturo did not exit cleanly:\n" + run.log())
    run.check_events("sensor connected")
    final = day_file(run.days, "20090126.txt")
    check(final[:len(first)] == first, "the save at exit lost lines")
    check(final[-1][:19] >= "2009-01-26 10:00:33", f"the save at exit ends with {final[-1]!r}")
    check(gaps(parse(final, "20090126.txt")) == [], "a second is missing")


def scenario_midnight(tools, workdir):
    """Starting at 23:59:5x gives the old day's file and the new day's, no line lost."""
    run = Run(tools, workdir, "2009-01-26 23:59:52")
    run.wait_until("2009-01-27 00:00:04")
    check(run.stop() == 0, "nocturo did not exit cleanly:\n" + run.log())
    run.check_events("sensor connected")
    old = day_file(run.days, "20090126.txt")
    new = day_file(run.days, "20090127.txt")
    check(all(line.startswith("2009-01-26 23:59:") for line in old), "old file: " + str(old))
    check(all(line.startswith("2009-01-27 00:00:") for line in new), "new file: " + str(new))
    check(old[-1][:19] == "2009-01-26 23:59:59", "old day ends with " + old[-1])
    check(new[0][:19] == "2009-01-27 00:00:00", "new day begins with " + new[0])
    check(all(line[19:] == FIELDS for line in old + new), "bad line")
    check(gaps(parse(old + new, "both days")) == [], "a second is missing around midnight")


def scenario_unplug(tools, workdir):
    """Unplugged for 3 s: no lines for those seconds, then lines again."""
    run = Run(tools, workdir, "2009-01-26 12:00:00", faults="5:unplug,8:replug")
    run.wait_until("2009-01-26 12:00:12")
    check(run.stop() == 0, "nocturo did not survive the unplug:\n" + run.log())
    run.check_events("sensor connected", r"sensor lost: .+", "sensor connected")
    lines = day_file(run.days, "20090126.txt")
    parsed = parse(lines, "20090126.txt")
    missing = gaps(parsed)
    # About 3 s; a loaded machine may see the replug a little late.
    check(len(missing) == 1 and 2 <= missing[0] <= 6,
          f"expected one gap of about 3 s, found {missing}:\n" + "\n".join(lines))
    # The second in which the device went away may close with a failed reading.
    failed = [i for i, (_, fields) in enumerate(parsed) if fields != FIELDS]
    check(len(failed) <= 1 and all(parsed[i][1].endswith(" 0") for i in failed),
          "unexpected lines:\n" + "\n".join(lines))
    check(parsed[-1][1] == FIELDS and len(parsed) - 1 - max(failed, default=0) >= 3,
          "too few good lines after the replug:\n" + "\n".join(lines))


def scenario_silent(tools, workdir):
    """A silent sensor: failed seconds (range 0) while it is silent, then good ones."""
    run = Run(tools, workdir, "2009-01-26 12:00:00", faults="5:silent,8:answer")
    run.wait_until("2009-01-26 12:00:12")
    check(run.stop() == 0, "nocturo did not survive the silence:\n" + run.log())
    run.check_events("sensor connected",
                     r"sensor lost: The sensor does not answer; reconnecting\.", "sensor connected")
    lines = day_file(run.days, "20090126.txt")
    parsed = parse(lines, "20090126.txt")
    check(gaps(parsed) == [], "a second is missing:\n" + "\n".join(lines))
    # Seconds of the silence read nothing (temperature -273.1, mean 0, range 0); the two
    # at its edges mix good and failed passes and carry the closing pass's values.
    kinds = "".join("g" if f == FIELDS else "f" if f == FAILED_FIELDS else "?" for _, f in parsed)
    check(re.fullmatch(r"g+\??f+\??g{2,}", kinds) is not None and 2 <= kinds.count("f") +
          kinds.count("?") <= 7, f"unexpected sequence {kinds}:\n" + "\n".join(lines))


def scenario_late(tools, workdir):
    """One reply held 300 ms, past the 50 ms time-out: the transaction fails, the reply the
    sensor still holds is dropped when the link is opened again, and the lines are right
    again within 2 s. No line ever shows another command's reply as a value."""
    run = Run(tools, workdir, "2009-01-26 12:00:00", faults="4:late,9:late")
    run.wait_until("2009-01-26 12:00:15")
    check(run.stop() == 0, "nocturo did not survive the late replies:\n" + run.log())
    run.check_events("sensor connected", r"sensor lost: .+", "sensor connected",
                     r"sensor lost: .+", "sensor connected")
    lines = day_file(run.days, "20090126.txt")
    parsed = parse(lines, "20090126.txt")
    check(gaps(parsed) == [], "a second is missing:\n" + "\n".join(lines))
    # A second with failed passes has a lower mean (a failed pass reads 0) and may close
    # with a failed pass; a value from another command's reply is never in it (a light
    # reply taken for a temperature would read 9.6, a temperature taken for a light
    # another count or range).
    temperature, count, scale = FIELDS.split()
    bad = []
    for stamp, fields in parsed:
        t, c, r = fields.split()
        if fields != FIELDS and not (t in (temperature, "-273.1") and r in (scale, "0")
                                     and 0 <= int(c) <= int(count)):
            bad.append(time.strftime("%H:%M:%S", time.gmtime(stamp)) + fields)
    check(not bad, "lines with another command's reply:\n" + "\n".join(bad))
    # Each late reply disturbs the second it came in and at most the next; every line from
    # the second second after it on is whole again, and the end of the run is good.
    disturbed = [stamp for stamp, fields in parsed if fields != FIELDS]
    check(disturbed, "the late replies left no trace: did the fault happen?\n" + run.log())
    for stamp, fields in parsed:
        if fields == FIELDS:
            continue
        later = [f for s, f in parsed if stamp + 2 <= s <= stamp + 3]
        check(later and all(f == FIELDS for f in later),
              "not right again within 2 s:\n" + "\n".join(lines))
    check(all(f == FIELDS for _, f in parsed[-4:]), "not right at the end:\n" + "\n".join(lines))


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def scenario_cpu_unplugged(tools, workdir):
    """With the sensor unplugged the program idles instead of spinning: a spinning loop
    would take most of a core; the guard allows ten times the 2% that bench_idle_cpu
    holds it to."""
    run = Run(tools, workdir, "2009-01-26 12:00:00", faults="1:unplug")
    run.wait_until("2009-01-26 12:00:03")
    pid = run.program_pid()
    before = cpu_seconds(pid)
    run.wait_until("2009-01-26 12:00:13")
    used = cpu_seconds(pid) - before
    print(f"{run.front_end} used {used:.2f} s of CPU in 10 s while the sensor was unplugged")
    check(run.stop() == 0, "nocturo did not exit cleanly:\n" + run.log())
    run.check_events("sensor connected", r"sensor lost: .+")
    check(used < 2, f"{used:.2f} s of CPU in 10 s: the program does not idle")


def scenario_failed_save(tools, workdir):
    """A day file whose place is taken by a directory: every save fails and is told, the
    program keeps recording, and SIGTERM still ends it, with status 1 and the reason."""
    run_days = days_dir(tools, workdir)
    os.makedirs(os.path.join(run_days, "20090126.txt"))
    run = Run(tools, workdir, "2009-01-26 12:00:25")
    run.wait_until("2009-01-26 12:00:32")
    started = time.time()
    status = run.stop()
    took = time.time() - started
    print(f"ended {took:.2f} s after SIGTERM with status {status}")
    check(status == 1, f"status {status} after a failed last save:\n" + run.log())
    log = run.log()
    check(re.search(r'Cannot create file ".*20090126\.txt"\. ', log), "the failure was not told:\n"
          + log)
    check(os.path.isdir(os.path.join(run_days, "20090126.txt")), "the directory was replaced")
    if run.front_end == "logger":
        events = run.events()
        creates = [e for e in events if e.startswith("Cannot create file")]
        # The save after second 29 and the last one.
        check(len(creates) == 2, "expected two failed saves:\n" + "\n".join(events))
        check(events[-1] == "stopped; the last save failed", "\n".join(events))


def scenario_notify(tools, workdir):
    """Under a service manager (a NOTIFY_SOCKET and a watchdog interval): READY=1 after the
    first pass, with the link state as the status, then a WATCHDOG=1 at half the interval
    from the pass loop, and STOPPING=1 at shut-down."""
    check(tools.front_end == "logger", "only the logger talks to a service manager")
    path = os.path.join(workdir, "notify")
    manager = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    manager.bind(path)
    interval = 0.5
    run = Run(tools, workdir, "2009-01-26 12:00:00",
              env={"NOTIFY_SOCKET": path, "WATCHDOG_USEC": str(int(interval * 1e6))})
    messages = []  # (arrival, message)
    deadline = time.time() + 30
    while time.time() < deadline:
        pings = [m for _, m in messages if m == "WATCHDOG=1"]
        if len(pings) >= 6:
            break
        manager.settimeout(max(0.01, deadline - time.time()))
        try:
            messages.append((time.time(), manager.recv(4096).decode()))
        except socket.timeout:
            break
    run.check_running()
    check(run.stop() == 0, "did not exit cleanly:\n" + run.log())
    manager.settimeout(2)
    try:
        while True:
            messages.append((time.time(), manager.recv(4096).decode()))
            if messages[-1][1] == "STOPPING=1":
                break
    except socket.timeout:
        pass
    manager.close()
    text = "\n".join(repr(m) for _, m in messages)
    check(messages and messages[0][1].startswith("READY=1\nSTATUS=Status: "),
          "READY=1 did not come first:\n" + text)
    pings = [t for t, m in messages if m == "WATCHDOG=1"]
    check(len(pings) >= 6, "too few WATCHDOG=1:\n" + text)
    gaps = [b - a for a, b in zip(pings, pings[1:])]
    # Pings are paced at half the interval, not sent from every pass (thousands a second).
    # Arrival times say little about a single gap on a loaded machine, where a late ping
    # may be followed by an early one, so only their mean is judged, with room to spare.
    mean = (pings[-1] - pings[0]) / (len(pings) - 1)
    check(mean > interval / 4, f"pings too often: {gaps}")
    check(any(m == "STATUS=Status: Ok; recording" or "STATUS=Status: Ok; recording" in m
              for _, m in messages), "no status with the link up:\n" + text)
    check(messages[-1][1] == "STOPPING=1", "no STOPPING=1 at the end:\n" + text)


def rate_from_stats(path, skip, until=float("inf")):
    """'L' replies per second from `skip` to `until` seconds of the emulator's stats."""
    with open(path) as f:
        rows = [tuple(map(float, line.split())) for line in f if line.strip()]
    rows = [r for r in rows if skip <= r[0] <= until + 0.5]
    check(len(rows) >= 2, "too few stats")
    return (rows[-1][1] - rows[0][1]) / (rows[-1][0] - rows[0][0])


def scenario_bench(tools, workdir):
    """Passes per second of each front end against the same emulated sensor as a plain
    loop of synchronous libusb round trips ('L' then 'T', usb-probe, which shares no code
    with the programs), all counted the same way (the 'L' requests the emulator answers
    over the same span), in rounds that alternate their order so that all see the same
    load on the machine; the best round of each is compared."""
    fronts = [f for f, program in (("window", tools.program), ("logger", tools.logger))
              if program]
    warm, span = 2, 6
    target = 0.97
    rates = {f: [] for f in ["plain loop"] + fronts}
    rounds = int(os.environ.get("NOCTURO_BENCH_ROUNDS", "4"))
    print(f"{rounds} rounds of {span} s each, after {warm} s to settle; "
          f"load before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    for round_ in range(rounds):
        order = list(rates)
        order = order[round_ % len(order):] + order[:round_ % len(order)]
        report = []
        for who in order:
            stats = os.path.join(workdir, f"stats-{who.replace(' ', '-')}{round_}.txt")
            if who == "plain loop":
                probe = subprocess.run(
                    [tools.emulator, "--stats", stats, "--", tools.probe, "--for",
                     str(warm + span + 0.5)], capture_output=True, text=True,
                    timeout=10 * (warm + span))
                check(probe.returncode == 0, "probe failed: " + probe.stdout + probe.stderr)
                used = None
            else:
                run = Run(tools, workdir, time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime()),
                          light=False, stats=stats, front_end=who)
                time.sleep(warm)
                pid = run.program_pid()
                before = cpu_seconds(pid)
                time.sleep(span + 0.5)
                used = cpu_seconds(pid) - before
                run.stop()
            rates[who].append(rate_from_stats(stats, warm, warm + span))
            report.append(f"{who} {rates[who][-1]:.0f}/s"
                          + (f" ({100 * used / (span + 0.5):.0f}% of a core)" if used else ""))
        print(f"round {round_ + 1} (load {os.getloadavg()[0]:.2f}): " + ", ".join(report))
    plain = max(rates["plain loop"])
    print(f"best: plain libusb loop {plain:.0f} 'L'+'T' round trips/s")
    for front in fronts:
        best = max(rates[front])
        print(f"best: {front} {best:.0f} passes/s; ratio {best / plain:.3f} "
              f"(target at least {target})")
    print(f"load after: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


def start_x_server(workdir):
    """An Xvfb of its own; returns (process, display)."""
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp",
                               "-screen", "0", "1280x800x24"], pass_fds=(write,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as f:
        number = f.readline().strip()
    check(number.isdigit(), "Xvfb did not start")
    return server, ":" + number


def scenario_bench_idle(tools, workdir):
    """CPU use without the sensor: each front end for 30 s with the sensor unplugged, the
    window on an X server (Xvfb), whose own CPU is counted apart; best of three rounds."""
    seconds = 30
    results = {}
    for round_ in range(3):
        for front, program in (("window", tools.program), ("logger", tools.logger)):
            if not program:
                continue
            server, env = None, {}
            if front == "window":
                server, display = start_x_server(workdir)
                env = {"QT_QPA_PLATFORM": "xcb", "DISPLAY": display}
            try:
                run = Run(tools, workdir, "2009-01-26 12:00:00", faults="1:unplug",
                          front_end=front, env=env)
                run.wait_until("2009-01-26 12:00:04")
                pid = run.program_pid()
                before = cpu_seconds(pid), cpu_seconds(server.pid) if server else 0
                time.sleep(seconds)
                used = cpu_seconds(pid) - before[0]
                x_used = cpu_seconds(server.pid) - before[1] if server else 0
                run.stop()
            finally:
                if server:
                    server.terminate()
                    server.wait()
            share, x_share = 100 * used / seconds, 100 * x_used / seconds
            print(f"round {round_ + 1}: {front} {share:.2f}% of a core"
                  + (f", X server {x_share:.2f}%" if server else ""))
            best = results.get(front)
            if best is None or share < best[0]:
                results[front] = (share, x_share)
    targets = {"window": 0.6, "logger": 0.2}
    for front, (share, x_share) in results.items():
        print(f"best: {front} {share:.2f}% of a core without the sensor"
              + (f" (X server {x_share:.2f}%)" if front == "window" else "")
              + f" (target at most {targets[front]}%)")


SCENARIOS = scenario_runner.scenarios(globals())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--emulator", required=True)
    parser.add_argument("--program", help="the window program, nocturo")
    parser.add_argument("--logger", help="the logger, nocturo-logger")
    parser.add_argument("--front-end", choices=("window", "logger"), default="window",
                        help="which of the two the scenario runs")
    parser.add_argument("--shim", help="the wall-clock preload library (tests only)")
    parser.add_argument("--probe")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    tools = parser.parse_args()
    tools.runs = []
    scenario_runner.absolute_paths(tools, ("emulator", "program", "logger", "shim", "probe"))
    return scenario_runner.run(SCENARIOS, tools, "nocturo-e2e-", (Failure,))


if __name__ == "__main__":
    sys.exit(main())
