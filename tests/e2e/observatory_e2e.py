#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end checks of what the logger offers observatories, against the emulated sensor.

alpaca: an Alpaca client of the test's own, written from the Alpaca API's rules, finds the
    station by discovery on loopback and checks the management API and both devices member
    by member: transaction numbers, error numbers, parameter names in any case, the content
    types, and the answers to requests it cannot interpret (HTTP 400, 404, 405); meanwhile
    every second is recorded as ever.
safety: IsSafe and the INDI driver's link follow an unplug and a replug of the sensor.
clouds: a night run twenty times as fast, clear, then under the emulator's broken clouds:
    the client finds the station by discovery and reads IsSafe true under the clear dark
    sky and false once the clouds come, as the state socket's condition and INDI's
    SKY_CONDITION say.
indi: a real indiserver runs indi_nocturo, which reads the logger's state socket;
    indi_getprop shows the sensor's sky quality, count, temperature and link.

usage: observatory_e2e.py --emulator E --logger L --shim S --indi-driver D SCENARIO
"""
import argparse
import json
import math
import os
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.parse
import urllib.request

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import scenario_runner  # noqa: E402
from nocturo_e2e import Failure, Run, check, day_file, gaps, parse  # noqa: E402

ZERO_POINT = 21.0
STATION_CONF = f"""name = roof
latitude = 48.2
longitude = 16.4
zero_point = {ZERO_POINT}
"""
START = "2009-01-26 22:00:00"  # a moonless night at the station
NOT_IMPLEMENTED, INVALID_VALUE, NOT_CONNECTED, ACTION_NOT_IMPLEMENTED = 0x400, 0x401, 0x407, 0x40C


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, probe, limit=30):
    """Polls `probe` until it gives something true; fails after `limit` seconds."""
    deadline = time.time() + limit
    while time.time() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.2)
    raise Failure("waiting too long for " + what)


def start_logger(tools, workdir, args, faults=None, start=START, **run):
    os.makedirs(os.path.join(workdir, "records"), exist_ok=True)
    with open(os.path.join(workdir, "records", "station.conf"), "w") as f:
        f.write(STATION_CONF)
    return Run(tools, workdir, start, faults=faults, front_end="logger", args=args, **run)


def wait_event(run, start):
    return wait_for(f"the line {start!r}",
                    lambda: (run.check_running(), [e for e in run.events()
                                                   if e.startswith(start)])[1])[0]


class Alpaca:
    """A client of the Alpaca API as its documentation gives it."""

    def __init__(self, port):
        self.base = f"http://127.0.0.1:{port}"
        self.client_transaction = 0
        self.server_transactions = []

    def raw(self, method, path, query=None, form=None, content_type=None):
        url = self.base + path + ("?" + urllib.parse.urlencode(query) if query else "")
        data = urllib.parse.urlencode(form).encode() if form is not None else None
        request = urllib.request.Request(url, data=data, method=method)
        if data is not None:
            request.add_header("Content-Type",
                               content_type or "application/x-www-form-urlencoded")
        try:
            with urllib.request.urlopen(request, timeout=10) as reply:
                return reply.status, reply.headers.get("Content-Type", ""), reply.read()
        except urllib.error.HTTPError as error:
            return error.code, error.headers.get("Content-Type", ""), error.read()

    def call(self, method, path, names=("ClientID", "ClientTransactionID"), **parameters):
        """A well-formed request: the answer's JSON, checked against the API's rules."""
        self.client_transaction += 1
        values = {names[0]: "4711", names[1]: str(self.client_transaction)}
        values.update(parameters)
        if method == "GET":
            status, kind, body = self.raw("GET", path, query=values)
        else:
            status, kind, body = self.raw("PUT", path, form=values)
        check(status == 200, f"{method} {path}: HTTP {status} {body!r}")
        check(kind.startswith("application/json"), f"{method} {path}: content type {kind}")
        answer = json.loads(body)
        for key in ("ClientTransactionID", "ServerTransactionID", "ErrorNumber",
                    "ErrorMessage"):
            check(key in answer, f"{method} {path}: no {key} in {answer}")
        check(answer["ClientTransactionID"] == self.client_transaction,
              f"{method} {path}: transaction {self.client_transaction} not echoed: {answer}")
        check(answer["ServerTransactionID"] > 0 and (not self.server_transactions or
              answer["ServerTransactionID"] > self.server_transactions[-1]),
              f"{method} {path}: server transactions {self.server_transactions} then {answer}")
        self.server_transactions.append(answer["ServerTransactionID"])
        check((answer["ErrorNumber"] == 0) == (answer["ErrorMessage"] == ""),
              f"{method} {path}: an error number goes with a message: {answer}")
        return answer

    def get(self, path, **parameters):
        return self.call("GET", path, **parameters)

    def value(self, path, **parameters):
        answer = self.get(path, **parameters)
        check(answer["ErrorNumber"] == 0 and "Value" in answer, f"GET {path}: {answer}")
        return answer["Value"]

    def error(self, method, path, number, **parameters):
        answer = self.call(method, path, **parameters)
        check(answer["ErrorNumber"] == number,
              f"{method} {path}: error {number:#x} expected: {answer}")
        return answer

    def refused(self, status, method, path, **kwargs):
        got, kind, body = self.raw(method, path, **kwargs)
        check(got == status, f"{method} {path}: HTTP {status} expected, got {got} {body!r}")
        if status == 400:
            check(kind.startswith("text/plain") and body.strip(),
                  f"{method} {path}: a 400 tells why in plain text: {kind} {body!r}")


def discover(port):
    """Alpaca discovery on loopback: the station's Alpaca port."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(10)
        s.sendto(b"something else", ("127.0.0.1", port))  # not answered
        s.sendto(b"alpacadiscovery1", ("127.0.0.1", port))
        try:
            data, sender = s.recvfrom(1024)
        except socket.timeout:
            raise Failure("no answer to the discovery")
    answer = json.loads(data)
    check(set(answer) == {"AlpacaPort"}, f"discovery answer {answer}")
    return answer["AlpacaPort"]


def counts_of(run):
    lines = day_file(run.days, "20090126.txt")
    return {int(line.split()[-2]) for line in lines}


def check_recorded(run):
    """Nothing the observatory side did cost a line: every second is in the day file."""
    lines = day_file(run.days, "20090126.txt")
    missing = gaps(parse(lines, "20090126.txt"))
    check(not missing, f"seconds missing from the day file: {missing}")


def scenario_alpaca(tools, workdir):
    http, udp = free_port(), free_port(socket.SOCK_DGRAM)
    run = start_logger(tools, workdir, ["--alpaca", str(http), "--alpaca-discovery-port",
                                        str(udp)])
    wait_event(run, "alpaca: answering discovery")
    port = discover(udp)
    check(port == http, f"discovery tells port {port}, not {http}")
    alpaca = Alpaca(port)

    # Management.
    check(1 in alpaca.value("/management/apiversions"), "API version 1 not listed")
    description = alpaca.value("/management/v1/description")
    for key in ("ServerName", "Manufacturer", "ManufacturerVersion", "Location"):
        check(key in description, f"description lacks {key}: {description}")
    devices = alpaca.value("/management/v1/configureddevices")
    check(sorted((d["DeviceType"], d["DeviceNumber"]) for d in devices) ==
          [("ObservingConditions", 0), ("SafetyMonitor", 0)], f"devices {devices}")
    check(len({d["UniqueID"] for d in devices}) == 2, f"unique ids {devices}")

    oc, sm = "/api/v1/observingconditions/0/", "/api/v1/safetymonitor/0/"
    for device in (oc, sm):
        check(alpaca.value(device + "connected") is False, device + " connected at start")
        for member in ("name", "description", "driverinfo", "driverversion"):
            check(isinstance(alpaca.value(device + member), str), device + member)
        check(alpaca.value(device + "interfaceversion") >= 1, device + "interfaceversion")
        check(alpaca.value(device + "supportedactions") == [], device + "supportedactions")
        # The device's own members need it connected.
        alpaca.error("GET", device + ("issafe" if device == sm else "skyquality"),
                     NOT_CONNECTED)
    # Parameter names in any case; values of booleans too.
    check(alpaca.call("PUT", oc + "connected", names=("clientid", "clienttransactionid"),
                      connected="TRUE")["ErrorNumber"] == 0, "PUT connected")
    check(alpaca.value(oc + "connected") is True, "not connected after PUT Connected")
    check(alpaca.call("PUT", sm + "connected", names=("CLIENTID", "CLIENTTRANSACTIONID"),
                      CONNECTED="true")["ErrorNumber"] == 0, "PUT connected")

    # A client transaction number that is not one is answered as 0.
    for wrong in ("-1", "abc", "4294967296"):
        _, _, body = alpaca.raw("GET", sm + "issafe", query={"ClientTransactionID": wrong})
        check(json.loads(body)["ClientTransactionID"] == 0, f"transaction {wrong}: {body!r}")

    # ObservingConditions.
    wait_for("a reading", lambda: alpaca.get(oc + "skyquality")["ErrorNumber"] == 0)
    quality = alpaca.value(oc + "skyquality")
    since = alpaca.value(oc + "timesincelastupdate", SensorName="SkyQuality")
    check(0 <= since < 10, f"TimeSinceLastUpdate {since}")
    check(0 <= alpaca.value(oc + "timesincelastupdate", sensorname="") < 10, "latest update")
    check(alpaca.value(oc + "sensordescription", SensorName="skyquality"), "no description")
    alpaca.error("GET", oc + "timesincelastupdate", NOT_IMPLEMENTED, SensorName="Humidity")
    alpaca.error("GET", oc + "timesincelastupdate", INVALID_VALUE, SensorName="Bogus")
    alpaca.refused(400, "GET", oc + "timesincelastupdate")  # no SensorName
    check(alpaca.value(oc + "averageperiod") == 0, "AveragePeriod")
    check(alpaca.call("PUT", oc + "averageperiod", AveragePeriod="0")["ErrorNumber"] == 0,
          "AveragePeriod 0")
    alpaca.error("PUT", oc + "averageperiod", INVALID_VALUE, AveragePeriod="1.5")
    alpaca.refused(400, "PUT", oc + "averageperiod", form={"AveragePeriod": "soon"})
    cover = alpaca.get(oc + "cloudcover")
    check(cover["ErrorNumber"] == 0 and cover["Value"] in (0, 100) or
          cover["ErrorNumber"] >= 0x500, f"CloudCover {cover}")
    for member in ("dewpoint", "humidity", "pressure", "rainrate", "skybrightness",
                   "skytemperature", "starfwhm", "temperature", "winddirection", "windgust",
                   "windspeed"):
        alpaca.error("GET", oc + member, NOT_IMPLEMENTED)
    check(alpaca.call("PUT", oc + "refresh")["ErrorNumber"] == 0, "Refresh")
    state = alpaca.value(oc + "devicestate")
    check(any(item["Name"] == "SkyQuality" for item in state), f"DeviceState {state}")

    # SafetyMonitor.
    check(isinstance(alpaca.value(sm + "issafe"), bool), "IsSafe")
    alpaca.error("PUT", sm + "action", ACTION_NOT_IMPLEMENTED, Action="open", Parameters="")
    alpaca.error("PUT", sm + "commandblind", NOT_IMPLEMENTED, Command="x", Raw="false")

    # What the service cannot interpret.
    alpaca.refused(400, "GET", "/api/v1/safetymonitor/1/issafe")
    alpaca.refused(400, "GET", "/api/v1/telescope/0/connected")
    alpaca.refused(400, "GET", "/api/v1/SafetyMonitor/0/IsSafe")  # URLs are lower case
    alpaca.refused(400, "GET", sm + "nosuchmember")
    alpaca.refused(400, "PUT", sm + "connected", form={"Connected": "maybe"})
    alpaca.refused(400, "PUT", sm + "connected", form={"ClientTransactionID": "1"})
    alpaca.refused(400, "PUT", sm + "connected", form={"Connected": "true"},
                   content_type="application/json")
    alpaca.refused(405, "PUT", sm + "issafe", form={})
    alpaca.refused(405, "GET", sm + "connect")
    alpaca.refused(405, "DELETE", sm + "issafe")
    alpaca.refused(404, "GET", "/nothing/here")
    check(alpaca.call("PUT", sm + "connected", Connected="False")["ErrorNumber"] == 0, "off")
    alpaca.error("GET", sm + "issafe", NOT_CONNECTED)
    status, kind, _ = alpaca.raw("GET", "/setup")
    check(status == 200 and kind.startswith("text/html"), f"setup page: {status} {kind}")

    run.check_running()
    check(run.stop() == 0, "did not exit cleanly:\n" + run.log())
    check_recorded(run)
    expected = {ZERO_POINT - 2.5 * math.log10(c) for c in counts_of(run) if c > 0}
    check(any(abs(quality - e) < 1e-9 for e in expected),
          f"SkyQuality {quality}, the day file says {expected}")


def indi(tools, port, *args):
    out = subprocess.run([tools.indi_getprop, "-p", str(port), "-t", "2", "-1", *args],
                         capture_output=True, text=True, timeout=30)
    return out.stdout.strip() if out.returncode == 0 else None


def start_indi(tools, workdir, state_socket):
    port = free_port()
    env = dict(os.environ, NOCTURO_STATE_SOCKET=state_socket, HOME=workdir)
    log = open(os.path.join(workdir, "indiserver.txt"), "ab")
    # A local socket of its own (indiserver's default is one name for the whole machine),
    # so that another server, of a test beside it or left over, never holds it.
    local = os.path.join(workdir, "indiserver.sock")
    server = subprocess.Popen([tools.indiserver, "-p", str(port), "-u", local, tools.indi_driver],
                              cwd=workdir, env=env, stdout=log, stderr=subprocess.STDOUT,
                              start_new_session=True)
    tools.servers.append(server)
    wait_for("the driver under indiserver", lambda: indi(tools, port,
                                                          "Nocturo.CONNECTION.CONNECT"))
    subprocess.run([tools.indi_setprop, "-p", str(port), "Nocturo.CONNECTION.CONNECT=On"],
                   check=True, timeout=30)
    return port


def scenario_indi(tools, workdir):
    path = os.path.join(workdir, "state")
    run = start_logger(tools, workdir, ["--state-socket", path], faults="14:unplug,20:replug")
    wait_event(run, "state socket: streaming")
    port = start_indi(tools, workdir, path)
    link = lambda: indi(tools, port, "Nocturo.STATION_LINK.SENSOR")  # noqa: E731
    wait_for("the link Ok", lambda: link() == "Ok")
    counts = wait_for("a count", lambda: (lambda c: c if c and float(c) > 0 else None)(
        indi(tools, port, "Nocturo.SKY_QUALITY.SENSOR_COUNTS")))
    brightness = float(indi(tools, port, "Nocturo.SKY_QUALITY.SKY_BRIGHTNESS"))
    check(abs(brightness - (ZERO_POINT - 2.5 * math.log10(float(counts)))) < 1e-6,
          f"SKY_BRIGHTNESS {brightness} for {counts} counts")
    check(indi(tools, port, "Nocturo.SENSOR_TEMPERATURE.TEMPERATURE") == "21.5", "temperature")
    # The unplug, then the replug, as the logger saw them.
    wait_for("the link Alert after the unplug", lambda: link() == "Alert")
    check(indi(tools, port, "Nocturo.STATION_STATUS.LINK") == "down", "link not down")
    wait_for("the link Ok after the replug", lambda: link() == "Ok")
    after = wait_for("readings after the replug", lambda: indi(
        tools, port, "Nocturo.STATION_STATUS.LAST_READING"))
    wait_for("newer readings", lambda: indi(tools, port, "Nocturo.STATION_STATUS.LAST_READING")
             > after)
    check(run.stop() == 0, "did not exit cleanly:\n" + run.log())
    check(int(float(counts)) in counts_of(run), f"count {counts} not in the day file")
    # The logger gone: the driver says so rather than showing old readings as current.
    wait_for("the logger's loss told", lambda: indi(tools, port, "Nocturo.STATION_STATUS.LINK")
             == "unknown")
    check_recorded_with_gap(run)


def check_recorded_with_gap(run):
    lines = day_file(run.days, "20090126.txt")
    missing = gaps(parse(lines, "20090126.txt"))
    check(len(missing) == 1, f"one gap (the unplug) expected, found {missing}")


def scenario_safety(tools, workdir):
    http = free_port()
    path = os.path.join(workdir, "state")
    run = start_logger(tools, workdir, ["--alpaca", str(http), "--alpaca-discovery-port", "0",
                                        "--state-socket", path], faults="14:unplug,20:replug")
    wait_event(run, "alpaca: serving")
    alpaca = Alpaca(http)
    sm = "/api/v1/safetymonitor/0/"
    alpaca.call("PUT", sm + "connected", Connected="True")
    state = socket.socket(socket.AF_UNIX)
    state.connect(path)
    state.settimeout(30)
    lines = state.makefile("r")

    def next_state():
        return json.loads(lines.readline())

    first = wait_for("a reading on the state socket",
                     lambda: (lambda s: s if s["time"] else None)(next_state()))
    check(first["station"] == "roof" and first["link"] == "up", f"state {first}")
    check(isinstance(alpaca.value(sm + "issafe"), bool), "IsSafe")
    down = wait_for("the unplug", lambda: (lambda s: s if s["link"] == "down" else None)(
        next_state()))
    check(not down["safe"] and down["why"], f"safe while unplugged: {down}")
    check(alpaca.value(sm + "issafe") is False, "IsSafe while the sensor is unplugged")
    up = wait_for("the replug", lambda: (lambda s: s if s["link"] == "up" else None)(
        next_state()))
    wait_for("readings after the replug", lambda: next_state()["readings"] >= up["readings"] + 3)
    check(run.stop() == 0, "did not exit cleanly:\n" + run.log())
    check_recorded_with_gap(run)


def scenario_clouds(tools, workdir):
    rate = 20
    http, udp, path = free_port(), free_port(socket.SOCK_DGRAM), os.path.join(workdir, "state")
    # The emulated day as long as the logger's: its clock and the light agree at any rate.
    run = start_logger(
        tools, workdir, ["--alpaca", str(http), "--alpaca-discovery-port", str(udp),
                         "--state-socket", path], start="2009-01-26 21:30:00", light=False,
        env={"WALLCLOCK_SHIM_RATE": str(rate)},
        emulator_args=["--day-seconds", str(86400 / rate), "--start", "21:30",
                       "--site", "rural", "--clouds", "22:05-23:59:0.9:broken"])
    wait_event(run, "alpaca: answering discovery")
    alpaca = Alpaca(discover(udp))
    sm, oc = "/api/v1/safetymonitor/0/", "/api/v1/observingconditions/0/"
    for device in (sm, oc):
        alpaca.call("PUT", device + "connected", Connected="True")
    indi_port = start_indi(tools, workdir, path)
    condition = lambda: indi(tools, indi_port, "Nocturo.SKY_CONDITION.CONDITION")  # noqa: E731
    state = socket.socket(socket.AF_UNIX)
    state.connect(path)
    state.settimeout(60)
    lines = state.makefile("r")

    def until(what, wanted):
        # A minute of the night passes in 3 s; the clouds come 35 minutes after the start.
        deadline = time.time() + 600
        while time.time() < deadline:
            line = lines.readline()
            check(line, "the state socket ended")
            s = json.loads(line)
            if wanted(s):
                return s
        raise Failure("waiting too long for " + what)

    clear = until("a clear minute", lambda s: s["condition"] == "clear")
    check(clear["safe"] and not clear["why"], f"not safe under a clear sky: {clear}")
    check(wait_for("IsSafe true", lambda: alpaca.value(sm + "issafe") is True, 60),
          "IsSafe under a clear sky")
    check(alpaca.value(oc + "cloudcover") == 0, "cloud cover of a clear sky")
    check(wait_for("INDI's clear sky", lambda: condition() == "clear", 60), "INDI")
    cloudy = until("the clouds", lambda s: s["condition"] == "cloudy")
    check(not cloudy["safe"] and "cloudy" in cloudy["why"], f"safe under clouds: {cloudy}")
    check(wait_for("IsSafe false", lambda: alpaca.value(sm + "issafe") is False, 60),
          "IsSafe under clouds")
    check(alpaca.value(oc + "cloudcover") == 100, "cloud cover under clouds")
    check(wait_for("INDI's cloudy sky", lambda: condition() == "cloudy", 60), "INDI")
    check(run.stop() == 0, "did not exit cleanly:\n" + run.log())


SCENARIOS = scenario_runner.scenarios(globals())


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--emulator", required=True)
    parser.add_argument("--logger", required=True)
    parser.add_argument("--shim")
    parser.add_argument("--indi-driver")
    parser.add_argument("--indiserver", default="indiserver")
    parser.add_argument("--indi-getprop", default="indi_getprop")
    parser.add_argument("--indi-setprop", default="indi_setprop")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    tools = parser.parse_args()
    tools.runs, tools.servers = [], []
    tools.front_end, tools.probe = "logger", None
    scenario_runner.absolute_paths(tools, ("emulator", "logger", "shim", "indi_driver"))
    tools.program = tools.logger  # Run asks for one; the logger is the front end here
    return scenario_runner.run(SCENARIOS, tools, "nocturo-observatory-", (Failure,),
                               [lambda: [(s.kill(), s.wait()) for s in tools.servers]])


if __name__ == "__main__":
    sys.exit(main())
