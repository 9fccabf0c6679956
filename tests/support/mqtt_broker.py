# SPDX-License-Identifier: GPL-3.0-or-later
"""A Mosquitto broker of a test's own, and subscribers to it.

The broker runs on a free port of 127.0.0.1 with a configuration the test writes into its
own folder: anonymous or with accounts (a password file made with mosquitto_passwd) and an
ACL, plain or TLS, with or without persistence. The test starts it, may stop it and start it
again on the same port (an outage), and ends it.

    broker = Broker(folder, users={"roof": "secret"}, acl="pattern write nocturo/%u/#\\n")
    broker.start()
    sub = broker.subscribe("nocturo/#", user="archive", password="...")
    ... sub.messages() -> [(topic, payload bytes), ...]
    broker.stop()

Every wait is bounded; nothing is left running when the test ends (close()).
"""
import os
import pwd
import socket
import subprocess
import time

MOSQUITTO = os.environ.get("MOSQUITTO", "/usr/sbin/mosquitto")


def free_port():
    """A TCP port of 127.0.0.1 that nothing listens on now."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, limit=10.0, process=None):
    """Until something accepts connections on the port; False after `limit` seconds."""
    deadline = time.time() + limit
    while time.time() < deadline:
        if process is not None and process.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


class Broker:
    def __init__(self, folder, users=None, acl=None, tls=None, persistence=False, port=None):
        """users: {name: password}; acl: the ACL file's text; tls: {"ca": path, "cert": path,
        "key": path} of the listener; persistence: keep sessions and queued messages across
        a stop and a start."""
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.port = port or free_port()
        self.tls = tls
        self.process = None
        self.subscribers = []
        self.log_path = os.path.join(folder, "mosquitto.log")
        lines = [f"listener {self.port} 127.0.0.1",
                 # Started as root, the broker would give up its rights to its own account,
                 # which cannot read the test's folder.
                 f"user {pwd.getpwuid(os.getuid()).pw_name}",
                 f"log_dest file {self.log_path}", "log_type all",
                 "connection_messages true",
                 "max_queued_messages 100000",
                 f"persistence {'true' if persistence else 'false'}"]
        if persistence:
            lines += [f"persistence_location {folder}/", "autosave_interval 1"]
        if users:
            password_file = os.path.join(folder, "passwords")
            open(password_file, "w").close()
            for name, password in users.items():
                subprocess.run(["mosquitto_passwd", "-b", password_file, name, password],
                               check=True, capture_output=True)
            os.chmod(password_file, 0o600)
            lines += ["allow_anonymous false", f"password_file {password_file}"]
        else:
            lines.append("allow_anonymous true")
        if acl is not None:
            acl_file = os.path.join(folder, "acl")
            with open(acl_file, "w") as f:
                f.write(acl)
            os.chmod(acl_file, 0o600)
            lines.append(f"acl_file {acl_file}")
        if tls:
            lines += [f"cafile {tls['ca']}", f"certfile {tls['cert']}", f"keyfile {tls['key']}",
                      "require_certificate false"]
        self.config = os.path.join(folder, "mosquitto.conf")
        with open(self.config, "w") as f:
            f.write("\n".join(lines) + "\n")

    def url(self, scheme=None):
        return f"{scheme or ('mqtts' if self.tls else 'mqtt')}://127.0.0.1:{self.port}"

    def start(self):
        self.process = subprocess.Popen([MOSQUITTO, "-c", self.config], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        if not wait_for_port(self.port, process=self.process):
            raise RuntimeError("mosquitto did not start:\n" + self.log())

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None

    def log_size(self):
        """Bytes in the broker's log so far: where to look for what it says next."""
        try:
            return os.path.getsize(self.log_path)
        except OSError:
            return 0

    def log(self):
        try:
            with open(self.log_path, errors="replace") as f:
                return f.read()[-4000:]
        except OSError:
            return ""

    def client_args(self, user=None, password=None, ca=None):
        args = ["-h", "127.0.0.1", "-p", str(self.port)]
        if user:
            args += ["-u", user, "-P", password or ""]
        if self.tls:
            args += ["--cafile", ca or self.tls["ca"]]
        return args

    def subscribe(self, topic, user=None, password=None, client_id=None, ca=None):
        """A mosquitto_sub on `topic` at QoS 1; with a client id, a persistent session,
        which keeps what arrives while it is away (the broker needs persistence)."""
        sub = Subscriber(self, topic, user, password, client_id, ca)
        self.subscribers.append(sub)
        return sub

    def publish(self, topic, payload, user=None, password=None, retain=False):
        """mosquitto_pub once; its exit status."""
        args = ["mosquitto_pub"] + self.client_args(user, password) + ["-q", "1", "-t", topic,
                                                                       "-m", payload]
        if retain:
            args.append("-r")
        return subprocess.run(args, capture_output=True, timeout=15).returncode

    def close(self):
        for sub in self.subscribers:
            sub.close()
        self.stop()


class Subscriber:
    """mosquitto_sub writing "topic<TAB>payload" lines into a file."""

    def __init__(self, broker, topic, user, password, client_id, ca):
        self.path = os.path.join(broker.folder, f"sub-{len(broker.subscribers)}.txt")
        self.output = open(self.path, "wb")
        args = ["mosquitto_sub"] + broker.client_args(user, password, ca) + [
            "-t", topic, "-q", "1", "-F", "%t\t%p"]
        if client_id:
            args += ["-i", client_id, "-c"]
        self.process = subprocess.Popen(args, stdout=self.output, stderr=subprocess.STDOUT)

    def messages(self):
        """(topic, payload) of every message so far, in order of arrival."""
        self.output.flush()
        with open(self.path, "rb") as f:
            data = f.read()
        out = []
        for line in data.split(b"\n"):
            if b"\t" in line:
                topic, payload = line.split(b"\t", 1)
                out.append((topic.decode(), payload))
        return out

    def wait_for(self, predicate, limit=30.0):
        """Until predicate(messages()) holds; the messages, or None after `limit` s."""
        deadline = time.time() + limit
        while time.time() < deadline:
            messages = self.messages()
            if predicate(messages):
                return messages
            if self.process.poll() is not None:
                break
            time.sleep(0.1)
        return None

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.output.close()


def make_test_ca(folder, name, hosts=("127.0.0.1", "localhost")):
    """A certificate authority of the test's own and a server certificate it signed for
    `hosts`; returns {"ca", "cert", "key"} paths."""
    os.makedirs(folder, exist_ok=True)
    ca_key, ca = os.path.join(folder, f"{name}-ca.key"), os.path.join(folder, f"{name}-ca.pem")
    key, csr = os.path.join(folder, f"{name}-server.key"), os.path.join(folder, f"{name}.csr")
    cert = os.path.join(folder, f"{name}-server.pem")
    ext = os.path.join(folder, f"{name}.ext")
    alt = ",".join(("IP:" if h.replace(".", "").isdigit() or ":" in h else "DNS:") + h
                   for h in hosts)
    with open(ext, "w") as f:
        f.write(f"subjectAltName={alt}\nbasicConstraints=CA:FALSE\n")
    run = lambda *a: subprocess.run(list(a), check=True, capture_output=True)
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca,
        "-days", "2", "-subj", f"/CN=Test CA {name}")
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
        "-subj", f"/CN={hosts[0]}")
    run("openssl", "x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
        "-out", cert, "-days", "2", "-extfile", ext)
    return {"ca": ca, "cert": cert, "key": key}
