#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What the archive's confirmations cost the broker: N stations played by mqtt-load live for
S seconds, first as before (readings without `prev`, no subscriptions), then as stations
that wait for the archive (readings with `prev`, each subscribed to its confirmation) with
the collector's side played by mqtt-load confirm (each station's retained confirmation every
E seconds). The broker's own counters ($SYS) give the messages and bytes it received and
sent in each run; /proc gives its CPU time and the machine's load.

usage: confirm_cost.py --load build/tools/mqtt-load [--stations 15000] [--seconds 60]
                       [--every 10]
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "support"))
from network_servers import Broker  # noqa: E402

COUNTERS = ["messages/received", "messages/sent", "bytes/received", "bytes/sent"]


def counters(broker, interval):
    """The broker's totals, as it publishes them at its next $SYS interval."""
    out = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(broker.port), "-v",
                          "-W", str(interval * 3)] + sum(
                              (["-t", f"$SYS/broker/{c}"] for c in COUNTERS), []) +
                         ["-C", str(len(COUNTERS) * 2)],
                         stdout=subprocess.PIPE, text=True, timeout=interval * 6).stdout
    values = {}
    for line in out.splitlines():
        topic, value = line.split(" ", 1)
        values[topic.replace("$SYS/broker/", "")] = int(value)
    return values


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(args, broker, confirmed):
    before = counters(broker, 1)
    cpu = cpu_seconds(broker.process.pid)
    start = time.monotonic()
    live = [args.load, "live", "--port", str(broker.port), "--stations", str(args.stations),
            "--seconds", str(args.seconds)] + (["--confirmed"] if confirmed else [])
    players = [subprocess.Popen(live, stdout=subprocess.PIPE, text=True)]
    if confirmed:
        players.append(subprocess.Popen(
            [args.load, "confirm", "--port", str(broker.port), "--stations", str(args.stations),
             "--seconds", str(args.seconds), "--every", str(args.every)],
            stdout=subprocess.PIPE, text=True))
    outputs = [p.communicate(timeout=args.seconds * 10)[0] for p in players]
    elapsed = time.monotonic() - start
    cpu = cpu_seconds(broker.process.pid) - cpu
    after = counters(broker, 1)
    load = os.getloadavg()[0]
    # Per station and second of readings, whatever time the generator took on a busy
    # machine, then as a rate at N stations.
    station_seconds = args.stations * args.seconds
    rates = {c: (after[c] - before[c]) / station_seconds * args.stations for c in COUNTERS}
    print(f"{'with confirmations' if confirmed else 'as before':>20}: "
          + ", ".join(f"{c} {rates[c]:,.0f}/s" for c in COUNTERS)
          + f" at {args.stations} stations; took {elapsed:.0f} s for {args.seconds} s, "
          f"broker CPU {cpu:.1f} s; load average {load:.1f}; "
          + " ".join(o.replace("\n", " ").strip() for o in outputs))
    return rates


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--load", required=True)
    parser.add_argument("--stations", type=int, default=15000)
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--every", type=int, default=10)
    args = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="nocturo-confirm-cost-")
    try:
        with Broker(folder, "sys_interval 1\n") as broker:
            print(f"{args.stations} stations for {args.seconds} s, a confirmation every "
                  f"{args.every} s, on {os.cpu_count()} cores")
            base = run(args, broker, False)
            with_confirmations = run(args, broker, True)
            print("added: " + ", ".join(
                f"{c} {with_confirmations[c] - base[c]:,.0f}/s" for c in COUNTERS))
    finally:
        subprocess.run(["rm", "-rf", folder])


if __name__ == "__main__":
    main()
