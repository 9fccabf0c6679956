# SPDX-License-Identifier: GPL-3.0-or-later
"""A test network for nocturo-web: three stations' day files (each with its station.conf),
the same lines in a real PostgreSQL archive, and nocturo-web started on either."""
import os
import random
import subprocess
import sys
import threading
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from network_servers import Database, free_port, wait_for  # noqa: E402

STATIONS = {
    # name: latitude, longitude, zero point, seconds of lines from 2026-12-07 00:00 UTC
    "ridge": (47.1, 11.4, 20.5, 86400 + 43200),
    "valley": (46.5, 9.8, None, 86400 + 3 * 3600),
    "town": (-33.9, 151.2, 19.0, 72000),
}
START = 1796601600  # 2026-12-07 00:00:00 UTC
NIGHT = "2026-12-07"


def make_folders(root, seed=7, gaps=0.002):
    """Day files of every station, returns {station: [(stamp, temperature, count, range)]}."""
    import time
    lines_of = {}
    for number, (name, (lat, lon, zp, seconds)) in enumerate(sorted(STATIONS.items())):
        folder = os.path.join(root, name)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "station.conf"), "w") as f:
            f.write(f"name = {name}\nlatitude = {lat}\nlongitude = {lon}\ntimezone = UTC\n")
            if zp is not None:
                f.write(f"zero_point = {zp}\n")
        rng = random.Random(seed + number)
        rows, files = [], {}
        days = {}
        for t in range(START, START + seconds):
            if rng.random() < gaps:
                continue  # a second without a line
            day = t - t % 86400
            if day not in days:
                days[day] = time.strftime("%Y-%m-%d", time.gmtime(day))
            s = t - day
            stamp = f"{days[day]} {s // 3600:02d}:{s // 60 % 60:02d}:{s % 60:02d}"
            if rng.random() < 0.01:
                row = (t, -2731, 0, 0)
            else:
                row = (t, rng.randint(-100, 150), rng.randint(1, 400) * (number + 1), rng.randint(3, 5))
            rows.append(row)
            files.setdefault(stamp[:10].replace("-", ""), []).append(
                f"{stamp} {row[1] / 10:5.1f} {row[2]:7d} {row[3]}")
        for day, text in files.items():
            with open(os.path.join(folder, day + ".txt"), "w") as f:
                f.write("\r\n".join(text) + "\r\n")
        lines_of[name] = rows
    return lines_of


def stamp_of(t):
    import time
    s = t % 86400
    return time.strftime("%Y-%m-%d", time.gmtime(t - s)) + f" {s // 3600:02d}:{s // 60 % 60:02d}:{s % 60:02d}"


def fill_archive(database, collector, lines_of):
    subprocess.run([collector, "--database", database.conninfo, "--create-schema"], check=True,
                   stdout=subprocess.DEVNULL, timeout=120)
    copy = os.path.join(database.folder, "readings.copy")
    with open(copy, "w") as f:
        for name, rows in lines_of.items():
            for t, temperature, count, range_ in rows:
                stamp = stamp_of(t)
                f.write(f"{name}\t{stamp}+00\t{stamp}\t{temperature}\t{count}\t{range_}\n")
    os.chmod(database.folder, 0o755)
    os.chmod(copy, 0o644)
    database.sql("CREATE TABLE IF NOT EXISTS readings_rest PARTITION OF readings DEFAULT")
    database.sql(f"COPY readings (station, utc, local, temperature_tenths, mean_count, range) "
                 f"FROM '{copy}'")
    sum_minutes(database)
    for name, rows in lines_of.items():
        database.sql(f"INSERT INTO stations (name, online, link_up, last_reading) VALUES "
                     f"('{name}', true, true, to_timestamp({rows[-1][0]}))")


def sum_minutes(database):
    """The minute summaries of every line stored, as the collector sums them up when lines
    come in (ArchiveWriter::SumMinutes): the median count of the seconds that read their
    light, and how many did."""
    database.sql("INSERT INTO minutes AS m (station, utc, median_count, good_seconds) "
                 "SELECT station, to_timestamp(floor(extract(epoch FROM utc) / 60) * 60), "
                 "percentile_cont(0.5) WITHIN GROUP (ORDER BY mean_count) FILTER (WHERE range > 0), "
                 "count(*) FILTER (WHERE range > 0) FROM readings GROUP BY 1, 2 "
                 "ON CONFLICT (station, utc) DO UPDATE SET median_count = EXCLUDED.median_count, "
                 "good_seconds = EXCLUDED.good_seconds")


class Web:
    """nocturo-web on a free loopback port; its address once it says it listens."""

    def __init__(self, program, *args, pages=None):
        self.port = free_port()
        command = [program, "--listen", f"127.0.0.1:{self.port}", *args]
        if pages:
            command += ["--pages", pages]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        line = self.process.stdout.readline()
        if "serving" not in line:
            raise RuntimeError("nocturo-web did not start: " + line + self.process.stderr.read())
        self.url = f"http://127.0.0.1:{self.port}"
        self.log = []
        self._logged = threading.Condition()
        # What it says on standard error, read as it comes, so a test can wait for a line.
        self._reader = threading.Thread(target=self._read_log, daemon=True)
        self._reader.start()

    def _read_log(self):
        for line in self.process.stderr:
            with self._logged:
                self.log.append(line.rstrip("\n"))
                self._logged.notify_all()

    def wait_for_line(self, text, timeout=120):
        """The first line of its log holding `text`; a hang guard of `timeout` s."""
        with self._logged:
            found = self._logged.wait_for(lambda: any(text in l for l in self.log), timeout)
            if not found:
                raise TimeoutError(f"nocturo-web did not say \"{text}\": {self.log}")
            return next(l for l in self.log if text in l)

    def get(self, path, headers=None):
        """(status, headers, body bytes)"""
        request = urllib.request.Request(self.url + path, headers=headers or {})
        try:
            with urllib.request.urlopen(request, timeout=60) as answer:
                return answer.status, dict(answer.headers), answer.read()
        except urllib.error.HTTPError as error:
            return error.code, dict(error.headers), error.read()

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)
        self._reader.join(timeout=30)
