#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What a station may and may not do to the archive, with a real Mosquitto and a real
PostgreSQL started by the test.

usage: guard_e2e.py --collector C --emulator E --logger G --shim S --readme R SCENARIO
  poison    events and statuses the archive cannot store (a NUL, half a surrogate pair, a
            value a constraint of the database refuses) among honest readings: refused alone
            and counted, the readings stored, also when the spool holds them after a restart
  accounts  the broker set up as the README says (its ACL and configuration, taken from the
            README itself): a station asking for the collector's or another station's client
            id knocks nobody off, a station writing under another name is refused and its
            journal says why, the collector's account cannot write as a station, a second
            collector with the same account loses nothing, Home Assistant's account reads
            discovery and states; the archive equals the honest station's day files
"""
import argparse
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
sys.path.insert(0, HERE)
import collector_e2e  # noqa: E402
import mqtt_broker  # noqa: E402
from collector_e2e import Collector, Failure, archive_lines, check, count, create_schema  # noqa: E402
from collector_e2e import reading, wait_count  # noqa: E402
from network_servers import Broker, Database, wait_for  # noqa: E402


def event(utc, text):
    return json.dumps({"time": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(utc)),
                       "priority": 4, "text": text}).encode()


def status(hint):
    return json.dumps({"online": True, "link": "down", "hint": hint, "version": "0.1.0",
                       "newest_day": ""}).encode()


def pub(port, topic, payload, *extra):
    """mosquitto_pub at QoS 1: it returns once the broker has the message (and the
    collector, which acknowledges only what its spool holds, if it was subscribed)."""
    result = subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(port), "-q", "1",
                             "-V", "mqttv5", "-t", topic, "-s"] + list(extra), input=payload,
                            capture_output=True, timeout=30)
    return result.returncode, result.stderr.decode(errors="replace")


def broker_says(log_path, pattern, limit=30, since=0):
    """Until the broker's log holds a line matching `pattern`, after byte `since`."""
    def found():
        try:
            with open(log_path, errors="replace") as f:
                f.seek(since)
                return re.search(pattern, f.read(), re.M) is not None
        except OSError:
            return False
    try:
        wait_for(found, limit, "")
    except TimeoutError:
        with open(log_path, errors="replace") as f:
            raise Failure(f"the broker never logged {pattern!r}:\n" + f.read()[-3000:])


def scenario_poison(tools, folder):
    now = int(time.time())
    with Broker(folder, extra="log_type all\n") as broker, Database(folder) as database:
        log = os.path.join(broker.folder, "mosquitto.log")
        create_schema(tools, database)
        # A refusal the decoders cannot foresee: the database's own constraint, so that the
        # archive writer must find the one message among the batch.
        database.sql("ALTER TABLE events ADD CONSTRAINT no_poison CHECK (text <> 'poison')")
        database.sql("ALTER TABLE stations ADD CONSTRAINT no_poison CHECK (hint <> 'poison')")
        collector = Collector(tools, folder, broker, database,
                              extra=["--client-id", "guard-collect"]).start()
        broker_says(log, r"guard-collect 1 nocturo/\+/event")
        poison = [("nocturo/roof/event", event(now - 50, "nul \u0000 inside")),
                  ("nocturo/roof/status", status("unplugged\u0000 and more")),
                  ("nocturo/roof/event", b'{"time":"%s","priority":4,"text":"half \\ud800"}'
                   % time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(now - 49)).encode()),
                  ("nocturo/roof/event", event(now - 48, "poison")),
                  ("nocturo/roof/status", status("poison"))]

        def send_round(base):
            """Honest readings with the poison among them, an honest event and status last."""
            sent = 0
            for i, (topic, payload) in enumerate(poison):
                for k in range(3):
                    code, err = pub(broker.port, "nocturo/roof/reading",
                                    reading(base + i * 3 + k, mean=base + i * 3 + k))
                    check(code == 0, f"mosquitto_pub: {err}")
                    sent += 1
                pub(broker.port, topic, payload)
            pub(broker.port, "nocturo/roof/event", event(base, f"honest {base}"))
            pub(broker.port, "nocturo/roof/status", status(f"honest {base}"))
            return sent

        good = send_round(now - 600)
        wait_count(database, good, 60)
        wait_for(lambda: database.sql(
            f"SELECT count(*) FROM events WHERE text = 'honest {now - 600}'") == [["1"]], 60,
            "the honest event was not stored")
        wait_for(lambda: database.sql("SELECT hint FROM stations WHERE name = 'roof'")
                 == [[f"honest {now - 600}"]], 60, "the honest status was not stored")

        # The collector away, then the database: what arrives waits in the spool, poison
        # and all, and is written after a restart.
        collector.stop()
        database.stop()
        collector = Collector(tools, folder, broker, database,
                              extra=["--client-id", "guard-collect"]).start()
        wait_for(lambda: any("the archive cannot be written" in l for l in collector.lines()),
                 60, "the collector did not miss the archive")
        broker_says(log, r"guard-collect 1 nocturo/\+/event")
        good += send_round(now - 300)
        # Every message acknowledged is in the spool: the collector dies holding them.
        collector.kill()
        database.start()
        collector = Collector(tools, folder, broker, database,
                              extra=["--client-id", "guard-collect"]).start()
        wait_count(database, good, 60)
        wait_for(lambda: database.sql(
            f"SELECT count(*) FROM events WHERE text = 'honest {now - 300}'") == [["1"]], 60,
            "the honest event after the restart was not stored")
        # The collector goes on with new messages: nothing holds it back.
        pub(broker.port, "nocturo/roof/reading", reading(now - 5, mean=7))
        good += 1
        wait_count(database, good, 60)
        collector.stop()
        check(count(database) == good, f"{count(database)} rows for {good} readings")
        events = [r[0] for r in database.sql("SELECT text FROM events ORDER BY utc")]
        check(events == [f"honest {now - 600}", f"honest {now - 300}"],
              f"the events stored: {events}")
        check(database.sql("SELECT hint FROM stations WHERE name = 'roof'")
              == [[f"honest {now - 300}"]], "a poisoned status was stored")
        lines = collector_e2e.Collector.lines(collector)
        text = "\n".join(lines)
        # Told once per station and kind, counted each time.
        check("\"text\" holds a NUL character" in text, "the NUL was not told:\n" + text)
        check("(not storable): the archive refused the" in text and "no_poison" in text,
              "the database's refusal was not told:\n" + text)
        reports = [l for l in lines if "stored" in l and "refused " in l]
        # After the restart: the two NUL-bearing texts and the half surrogate, and the
        # poisoned event the database refuses (more when the broker sent again what the
        # collector killed had not acknowledged). The poisoned status is refused too when
        # it comes in a batch of its own; replayed from the spool in one batch with the
        # honest status sent after it, only that last status of the batch is written, and
        # the poisoned one is never offered to the database (the hint checked above).
        found = re.search(r"not storable (\d+), wrong values (\d+)", reports[-1] if reports else "")
        check(found and int(found.group(1)) >= 1 and int(found.group(2)) >= 3,
              f"the refusals are not counted: {reports[-1:]}")


def readme_block(readme, caption):
    """The indented block after the README's line `caption`."""
    with open(readme) as f:
        lines = f.read().splitlines()
    start = lines.index(caption) + 2
    block = []
    for line in lines[start:]:
        if not line.startswith("    ") and line.strip():
            break
        block.append(line[4:])
    while block and not block[-1].strip():
        block.pop()
    return "\n".join(block) + "\n"


def readme_broker(readme, folder, passwords):
    """A broker with the README's ACL and settings; only the listener, the certificate and
    the files' paths are the test's."""
    acl = readme_block(readme, "`/etc/mosquitto/nocturo.acl`:")
    conf = readme_block(readme, "`/etc/mosquitto/conf.d/nocturo.conf`:")
    own = ("listener", "certfile", "keyfile", "password_file", "acl_file", "allow_anonymous")
    kept = [l for l in conf.splitlines() if l.strip() and not l.startswith(own)
            and not l.startswith("#")]
    check("use_username_as_clientid true" in kept, f"the README's configuration: {kept}")
    broker = mqtt_broker.Broker(os.path.join(folder, "broker"), users=passwords, acl=acl)
    with open(broker.config, "a") as f:
        f.write("\n".join(kept) + "\n")
    return broker


def credentials(folder, user, password):
    path = os.path.join(folder, f"{user}.credentials")
    with open(path, "w") as f:
        f.write(f"{user}\n{password}\n")
    os.chmod(path, 0o600)
    return path


def scenario_accounts(tools, folder):
    import nocturo_e2e
    tools.front_end, tools.program, tools.probe, tools.runs = "logger", tools.logger, None, []
    passwords = {name: name + "-secret" for name in
                 ("roof", "garden", "ridge", "nocturo.collect", "nocturo.view", "nocturo.home")}
    broker = readme_broker(tools.readme, folder, passwords)
    broker.start()
    started = []
    try:
        with Database(folder) as database:
            create_schema(tools, database)

            def collector(name):
                c = Collector(tools, os.path.join(folder, name), broker, database,
                              extra=["--credentials",
                                     credentials(folder, "nocturo.collect",
                                                 passwords["nocturo.collect"])])
                os.makedirs(os.path.join(folder, name), exist_ok=True)
                c.log = os.path.join(folder, name, "collector.log")
                return c.start()

            first = collector("first")
            started.append(first)
            broker_says(broker.log_path, r"nocturo\.collect 1 nocturo/\+/event")
            # Home Assistant's side: discovery and the states, read with its account.
            # (One connection: each account has one client id.)
            home = broker.subscribe("#", user="nocturo.home", password=passwords["nocturo.home"])
            broker_says(broker.log_path, r"nocturo\.home 1 #")

            # roof: honest, with Home Assistant's discovery, in a zone equal to the
            # computer's under another name. ridge: its own account, roof's name.
            now = time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(time.time()))
            runs = {}
            for station, account, name in (("roof", "roof", "roof"), ("ridge", "ridge", "roof")):
                workdir = os.path.join(folder, station)
                days = nocturo_e2e.days_dir(tools, workdir)
                os.makedirs(days)
                with open(os.path.join(days, "station.conf"), "w") as f:
                    f.write("timezone = UTC\n")
                runs[station] = nocturo_e2e.Run(
                    tools, workdir, now, args=[
                        "--publish", broker.url(), "--station", name, "--home-assistant",
                        "--publish-retry-max", "1", "--publish-credentials",
                        credentials(folder, account, passwords[account])])
            # Wait for them to publish before the attacks start.
            wait_for(lambda: count(database, "station = 'roof'") >= 2, 60,
                     "roof's readings did not reach the archive")

            # garden takes the collector's client id, then roof's: the broker binds each
            # account to its own id, so nobody is knocked off.
            for client_id in ("nocturo-collect", "nocturo.collect", "nocturo-station-roof",
                              "roof"):
                code, err = pub(broker.port, "nocturo/garden/reading",
                                reading(int(time.time()) - 30, mean=1), "-i", client_id,
                                "-u", "garden", "-P", passwords["garden"])
                check(code == 0, f"garden as {client_id}: {err}")
            with open(broker.log_path, errors="replace") as f:
                ids = set(re.findall(r"New client connected from \S+ as (\S+) \(.*u'garden'\)",
                                     f.read()))
            check(ids == {"garden"}, f"garden connected as {ids}")
            # Writing under another name is refused by the broker.
            for topic in ("nocturo/roof/reading", "homeassistant/sensor/nocturo_roof/x/config"):
                code, err = pub(broker.port, topic, reading(int(time.time()) - 20, mean=666),
                                "-u", "garden", "-P", passwords["garden"])
                check("Not authorized" in err, f"garden wrote {topic}: {code} {err}")

            # A second collector with the same account: it takes the session over (clean
            # session off: the session and what it holds stay), nothing is lost.
            second = collector("second")
            started.append(second)
            wait_for(lambda: any("connected to the broker" in l for l in second.lines()), 30,
                     "the second collector did not connect")
            pub(broker.port, "nocturo/garden/reading", reading(int(time.time()) - 10, mean=2),
                "-u", "garden", "-P", passwords["garden"])
            second.stop()

            # ridge says why nothing it sends is taken, once.
            told = "the account 'ridge' may not publish as station 'roof'"
            wait_for(lambda: told in runs["ridge"].log(), 60, "ridge's journal is silent")
            codes = {station: run.stop() for station, run in runs.items()}
            check(codes == {"roof": 0, "ridge": 0}, f"the loggers ended with {codes}:\n"
                  + runs["roof"].log())
            check(runs["ridge"].log().count("the broker refused") == 1,
                  "ridge's journal repeats:\n" + runs["ridge"].log())
            check("connected again" not in runs["roof"].log(),
                  "roof was knocked off:\n" + runs["roof"].log())
            lines = []
            for name in sorted(os.listdir(runs["roof"].days)):
                if name.endswith(".txt"):
                    lines += nocturo_e2e.day_file(runs["roof"].days, name)
            wait_count(database, len(lines), 60, "station = 'roof'")
            wait_count(database, 2, 60, "station = 'garden'")
            got = archive_lines(database, "roof")
            check(got == lines, "roof: the archive differs from its day files:\n"
                  + "\n".join(got) + "\nagainst\n" + "\n".join(lines))

            # Home Assistant's account read roof's discovery and states.
            got = home.wait_for(lambda m: any(
                t.startswith("homeassistant/sensor/nocturo_roof/") for t, _ in m) and any(
                t == "nocturo/roof/status" for t, _ in m) and any(
                t == "nocturo/roof/reading" for t, _ in m), 30)
            check(got is not None, "Home Assistant's account did not see roof: "
                  + str([t for t, _ in home.messages()][:10]))

            # The accounts that are not stations write nothing as a station, not even under
            # their own names. (Each connection takes its account's client id over: the
            # collector and the reader come back by themselves.)
            for user in ("nocturo.collect", "nocturo.view", "nocturo.home"):
                for topic in ("nocturo/roof/reading", f"nocturo/{user}/reading",
                              "homeassistant/sensor/nocturo_roof/counts/config",
                              f"homeassistant/sensor/nocturo_{user}/counts/config"):
                    code, err = pub(broker.port, topic, reading(int(time.time()) - 5, mean=666),
                                    "-u", user, "-P", passwords[user])
                    check("Not authorized" in err, f"{user} wrote {topic}: {code} {err}")
            # The collector writes the archive's confirmations. (This connection takes the
            # collector's client id over too: it comes back and subscribes again.)
            since = broker.log_size()
            code, err = pub(broker.port, "nocturo-archive/roof/confirmed", b"{}", "-u",
                            "nocturo.collect", "-P", passwords["nocturo.collect"])
            check(code == 0 and "Not authorized" not in err, f"no confirmation: {err}")
            # Collected still: a reading after all that is stored.
            broker_says(broker.log_path, r"nocturo\.collect 1 nocturo/\+/event", 60, since)
            pub(broker.port, "nocturo/garden/reading", reading(int(time.time()) - 1, mean=3),
                "-u", "garden", "-P", passwords["garden"])
            wait_count(database, 3, 60, "station = 'garden'")
            first.stop()
            stations = [r[0] for r in database.sql("SELECT name FROM stations ORDER BY name")]
            check(stations == ["garden", "roof"], f"stations in the archive: {stations}")
            check(count(database, "mean_count = 666") == 0, "a forged reading was stored")
            check(not any("/nocturo_nocturo." in t or t.startswith("nocturo/nocturo.")
                          for t, _ in home.messages()), "a forged message reached the broker")
    finally:
        for run in tools.runs:
            run.kill()
        for c in started:
            if c.process.poll() is None:
                c.process.kill()
        broker.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--collector", required=True)
    parser.add_argument("--emulator")
    parser.add_argument("--logger")
    parser.add_argument("--shim")
    parser.add_argument("--readme", required=True)
    parser.add_argument("scenario", choices=["poison", "accounts"])
    tools = parser.parse_args()
    for name in ("collector", "emulator", "logger", "shim", "readme"):
        if getattr(tools, name):
            setattr(tools, name, os.path.abspath(getattr(tools, name)))
    folder = tempfile.mkdtemp(prefix="nocturo-guard-")
    # Under root the broker runs as its own user, which must reach its folder for its log.
    os.chmod(folder, 0o755)
    try:
        globals()["scenario_" + tools.scenario](tools, folder)
    except (Failure, TimeoutError) as failure:
        for root, _, files in os.walk(folder):
            for name in files:
                if name in ("collector.log", "output.txt"):
                    with open(os.path.join(root, name), errors="replace") as f:
                        sys.stderr.write(f"{os.path.join(root, name)}:\n"
                                         + "".join(f.readlines()[-25:]))
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    finally:
        for process in collector_e2e.STARTED:
            if process.poll() is None:
                process.kill()
                process.wait()
        if not os.environ.get("GUARD_KEEP"):
            subprocess.run(["rm", "-rf", folder])
        else:
            print("kept", folder)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
