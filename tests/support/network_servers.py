# SPDX-License-Identifier: GPL-3.0-or-later
"""A Mosquitto broker and a PostgreSQL server of a test's own, on loopback and on a Unix
socket in a temporary folder, started and ended by the test.

    with Broker(folder) as broker, Database(folder) as database:
        broker.port, database.conninfo, database.sql("SELECT 1")

PostgreSQL refuses to run as root: under root its files belong to the unprivileged user
"nobody" and its programs run as that user (runuser). Every wait is bounded.
"""
import os
import pwd
import shutil
import socket
import subprocess
import time

PG_BIN = "/usr/lib/postgresql/15/bin"
MOSQUITTO = "/usr/sbin/mosquitto"


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, timeout, what):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return
        time.sleep(0.05)
    raise TimeoutError(f"{what} after {timeout} s")


class Broker:
    """Mosquitto on 127.0.0.1:port. Sessions are kept without limit of queued messages
    (the archive's collector must find everything that arrived while it was away), and the
    in-flight window is large enough for a collector that acknowledges in batches."""

    def __init__(self, folder, extra=""):
        self.folder = os.path.join(folder, "broker")
        os.makedirs(self.folder, exist_ok=True)
        self.port = free_port()
        self.config = os.path.join(self.folder, "mosquitto.conf")
        with open(self.config, "w") as f:
            f.write(f"listener {self.port} 127.0.0.1\n"
                    "allow_anonymous true\n"
                    "persistence false\n"
                    "max_queued_messages 0\n"
                    "max_inflight_messages 1000\n"
                    f"log_dest file {self.folder}/mosquitto.log\n"
                    # Subscriptions are logged: a test waits for them, never for a time.
                    "log_type error\nlog_type warning\nlog_type notice\n"
                    "log_type information\nlog_type subscribe\n"
                    + extra)
        self.process = None

    def start(self):
        # The broker drops root for "mosquitto" unless told otherwise; its log folder must
        # then be writable by that user.
        if os.geteuid() == 0:
            # Its log is read by the tests: the folder above must let it through.
            os.chmod(os.path.dirname(self.folder), 0o755)
            shutil.chown(self.folder, "mosquitto")
        self.process = subprocess.Popen([MOSQUITTO, "-c", self.config],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def listening():
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return True
            except OSError:
                return False
        wait_for(listening, 20, "the broker does not listen")
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def kill(self):
        """Ends the broker with SIGKILL: what it held only in memory is gone."""
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process = None

    def log_size(self):
        try:
            return os.path.getsize(os.path.join(self.folder, "mosquitto.log"))
        except OSError:
            return 0

    def wait_subscribed(self, client_id, topics, timeout, since=0):
        """Until the broker's log says `client_id` subscribed to every topic filter, in
        what it wrote after byte `since`."""
        def subscribed():
            try:
                with open(os.path.join(self.folder, "mosquitto.log"), errors="replace") as f:
                    f.seek(since)
                    lines = f.read().splitlines()
            except OSError:
                return False
            seen = set()
            for line in lines:
                parts = line.split()
                if len(parts) == 4 and parts[1] == client_id:
                    seen.add(parts[3])
            return set(topics) <= seen
        wait_for(subscribed, timeout, f"{client_id} did not subscribe to {topics}")

    def wait_subscribed_any(self, topic, timeout):
        """Until some client subscribed to `topic`."""
        def subscribed():
            try:
                with open(os.path.join(self.folder, "mosquitto.log"), errors="replace") as f:
                    return any(line.split()[3:] == [topic] for line in f if len(line.split()) == 4)
            except OSError:
                return False
        wait_for(subscribed, timeout, f"nobody subscribed to {topic}")

    def url(self):
        return f"mqtt://127.0.0.1:{self.port}"

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class Database:
    """A PostgreSQL cluster in `folder`/pg, listening only on a Unix socket there. Tests
    run it without fsync (a restart of the server still keeps every commit; only a power
    cut would not); benchmarks with fsync, as a real server runs."""

    def __init__(self, folder, fsync=False, settings=None):
        self.fsync = fsync
        self.settings = settings or {}
        self.folder = os.path.join(folder, "pg")
        self.data = os.path.join(self.folder, "data")
        self.port = free_port()  # names the socket file; nothing listens on TCP
        os.makedirs(self.folder, exist_ok=True)
        self.user = pwd.getpwuid(os.geteuid()).pw_name
        self.runas = []
        if os.geteuid() == 0:
            self.user = "nobody"
            os.chmod(folder, 0o755)
            shutil.chown(self.folder, "nobody")
            self.runas = ["runuser", "-u", "nobody", "--"]
        self.conninfo = f"host={self.folder} port={self.port} user={self.user} dbname=postgres"
        self.started = False

    def _run(self, *command, check=True):
        return subprocess.run(self.runas + list(command), check=check, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, timeout=120)

    def start(self):
        if not os.path.isdir(self.data):
            self._run(f"{PG_BIN}/initdb", "-D", self.data, "-A", "trust", "-E", "UTF8",
                      "--no-sync", "-U", self.user)
        self._run(f"{PG_BIN}/pg_ctl", "-D", self.data, "-l", os.path.join(self.folder, "log"),
                  "-w", "-t", "60", "-o",
                  f"-k {self.folder} -p {self.port} -c listen_addresses=''"
                  + ("" if self.fsync else " -c fsync=off")
                  + "".join(f" -c {key}={value}" for key, value in self.settings.items()),
                  "start")
        self.started = True
        return self

    def stop(self, mode="fast"):
        if self.started:
            self._run(f"{PG_BIN}/pg_ctl", "-D", self.data, "-m", mode, "-w", "-t", "60", "stop",
                      check=False)
        self.started = False

    def sql(self, query):
        """The rows of a query, as lists of texts."""
        out = subprocess.run(["psql", "-X", "-A", "-t", "-F", "\t", "-v", "ON_ERROR_STOP=1",
                              "-d", self.conninfo, "-c", query],
                             check=True, stdout=subprocess.PIPE, text=True, timeout=120).stdout
        return [line.split("\t") for line in out.splitlines() if line]

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop("immediate")
