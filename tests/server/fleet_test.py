#!/usr/bin/env python3
"""Many registers behind `tarv serve`: their routes on SQLite and PostgreSQL,
the registers of one PostgreSQL database served by two processes while one
of them is killed and the database server crashes and comes back, a register
held by another session, a database that stops answering, and commits whose
answer is cut off on the way back.

Run one case: TARV=build/tarv python3 tests/server/fleet_test.py Fleet.test_chaos
"""
import collections
import concurrent.futures
import json
import os
import random
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from server_test import REGISTER, TARV, Served, sale  # noqa: E402

CLUSTER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "postgres",
                       "cluster.sh")


def deposit(minute, amount):
    return {"doc": {"header": {"cashier": "Иванов", "currency": "BYN",
                               "at": f"2024-03-15T06:{minute:02}:00Z"}, "sum": amount}}


def timed(f, *args):
    """(seconds f took, what it returned)."""
    start = time.monotonic()
    result = f(*args)
    return time.monotonic() - start, result


# The one message a client sends to commit (the simple protocol's Query).
COMMIT = b"Q\x00\x00\x00\x0bCOMMIT\x00"


class CuttingProxy:
    """A loopback TCP proxy to PostgreSQL that, when armed, cuts the
    connection that sends COMMIT: "after" passes the COMMIT on (and drops
    the answer), "before" does not. With `refuse` it then closes every new
    connection for that many seconds, so that nothing can be asked."""

    def __init__(self, port):
        self.port_to = port
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.armed, self.refuse, self.refuse_until = None, 0, 0
        threading.Thread(target=self.accept, daemon=True).start()

    def arm(self, point, refuse=0):
        self.armed, self.refuse = point, refuse

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            if time.monotonic() < self.refuse_until:
                client.close()
                continue
            server = socket.create_connection(("127.0.0.1", self.port_to))
            cut = threading.Event()  # the database's answers are no longer passed on
            for source, sink, to_database in ((client, server, True), (server, client, False)):
                threading.Thread(target=self.pipe, args=(source, sink, cut, to_database),
                                 daemon=True).start()

    def pipe(self, source, sink, cut, to_database):
        try:
            while data := source.recv(65536):
                if to_database and self.armed and COMMIT in data:
                    point, self.armed = self.armed, None
                    cut.set()
                    self.refuse_until = time.monotonic() + self.refuse
                    if point == "after":
                        sink.sendall(data)
                        time.sleep(0.3)  # the database commits; its answer is dropped
                    break
                if not cut.is_set():
                    sink.sendall(data)
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()

    def close(self):
        self.listener.close()


class Fleet(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.handle = tempfile.mkdtemp(prefix="tarv_fleet_pg_")
        subprocess.run([CLUSTER, "start", cls.handle], check=True)
        with open(os.path.join(cls.handle, "url")) as f:
            cls.server_url = f.read().strip()
        cls.made = 0

    @classmethod
    def tearDownClass(cls):
        subprocess.run([CLUSTER, "stop", cls.handle], check=False)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="tarv_fleet_test_")
        self.addCleanup(shutil.rmtree, self.dir)
        self.servers = []
        # Servers still running at the end (a failed case) are killed.
        self.addCleanup(lambda: [s.stop(signal.SIGKILL) for s in self.servers
                                 if s.process.poll() is None])

    def tarv(self, *args, stdin=None):
        return subprocess.run([TARV, *args], input=stdin, capture_output=True, text=True)

    def database(self, kind):
        """A new database of the kind: an SQLite path or a PostgreSQL URL."""
        if kind == "sqlite":
            return os.path.join(self.dir, "fleet.db")
        Fleet.made += 1
        name = f"fleet{os.getpid()}_{Fleet.made}"
        subprocess.run(["psql", "-q", self.server_url, "-c", f"CREATE DATABASE {name}"],
                       check=True)
        return self.server_url.rsplit("/", 1)[0] + "/" + name

    def registers(self, db, ids):
        for rid in ids:
            made = self.tarv("init", db, "-", "--register", rid, stdin=json.dumps(REGISTER))
            self.assertEqual(made.returncode, 0, made.stderr)

    def serve(self, db, *options):
        served = Served(db, *options)
        self.servers.append(served)
        return served

    def psql(self, db, sql):
        return subprocess.run(["psql", "-X", "-A", "-t", "-q", db, "-c", sql], check=True,
                              capture_output=True, text=True).stdout

    def hold(self, kind, db, rid):
        """Holds the register as another session would (its row on
        PostgreSQL, the file's write lock on SQLite); returns the release."""
        if kind == "sqlite":
            held = sqlite3.connect(db, isolation_level=None)
            held.execute("BEGIN IMMEDIATE")
            return lambda: (held.execute("ROLLBACK"), held.close())
        held = subprocess.Popen(["psql", "-X", "-A", "-t", "-q", db], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, text=True)
        held.stdin.write(f"BEGIN;\nSELECT 'held' FROM registers WHERE id = '{rid}' FOR UPDATE;\n")
        held.stdin.flush()
        self.assertEqual(held.stdout.readline().strip(), "held")
        return lambda: (held.communicate("ROLLBACK;\n", timeout=10))

    def postgres_processes(self):
        """The cluster's postmaster and its children."""
        with open(os.path.join(self.handle, "cluster")) as f:
            data = os.path.join(f.read().strip(), "data")
        with open(os.path.join(data, "postmaster.pid")) as f:
            postmaster = int(f.readline())
        children = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/stat") as f:
                    if int(f.read().rsplit(")", 1)[1].split()[1]) == postmaster:
                        children.append(int(pid))
            except (OSError, IndexError, ValueError):
                pass
        return [postmaster, *children]

    def check_register(self, db, rid, keys=None):
        """The journal replays; documents are numbered 1, 2, 3...; no key twice."""
        checked = self.tarv("journal", db, "--register", rid, "check")
        self.assertEqual(checked.returncode, 0, checked.stderr)
        listed = self.tarv("journal", db, "--register", rid, "--json")
        entries = [json.loads(line) for line in listed.stdout.splitlines()]
        numbers = [e["doc_number"] for e in entries if "doc_number" in e]
        self.assertEqual(numbers, list(range(1, len(numbers) + 1)), rid)
        used = [e["key"] for e in entries if e["key"]]
        self.assertEqual(len(used), len(set(used)), rid)
        if keys is not None:
            self.assertEqual(sorted(used), sorted(keys), rid)
        return entries

    # Every route of a register under /v1/registers/ID, on both stores; the
    # routes without an id refuse a database of several.
    def test_routes(self):
        for kind in ("sqlite", "postgresql"):
            with self.subTest(kind):
                db = self.database(kind)
                self.registers(db, ["a", "b"])
                server = self.serve(db)
                a = "/v1/registers/a"
                cases = [
                    ("GET", "/v1/registers", None, {}, 200, ["a", "b"]),
                    ("POST", a + "/deposit", deposit(5, 5000), {"Idempotency-Key": "k"}, 200, None),
                    ("POST", a + "/deposit", deposit(5, 5000), {"Idempotency-Key": "k"}, 200, None),
                    ("POST", "/v1/registers/b/deposit", deposit(5, 5000), {"Idempotency-Key": "k"},
                     200, None),
                    ("POST", a + "/sale", sale(185, 200), {}, 200, None),
                    ("POST", a + "/open", {}, {}, 409, None),
                    ("GET", a + "/journal/2/document", None, {}, 200, None),
                    ("GET", a + "/journal/2/receipt", None, {}, 200, None),
                    ("GET", a + "/journal/2/receipt?width=32&copy&escpos", None, {}, 200, None),
                    ("GET", a + "/journal/2/receipt?width=40", None, {}, 400, None),
                    ("GET", a + "/journal/3", None, {}, 404, None),
                    ("GET", "/v1/registers/zz/state", None, {}, 404, None),
                    ("GET", "/v1/registers/a/b/state", None, {}, 404, None),
                    ("GET", "/v1/state", None, {}, 400, None),
                    ("POST", "/v1/registers", {}, {}, 405, None),
                ]
                for method, path, body, headers, status, expected in cases:
                    got, _, answer = server.request(method, path, body, headers)
                    self.assertEqual(got, status, f"{method} {path}: {answer!r}")
                    if expected is not None:
                        self.assertEqual(json.loads(answer), expected)
                listed = json.loads(server.request("GET", a + "/journal")[2])
                self.assertEqual([(e["seq"], e["doc_number"], e["key"], e["status"])
                                  for e in listed], [(1, 1, "k", 0), (2, 2, "", 0)])
                state = json.loads(server.request("GET", a + "/state")[2])
                self.assertEqual(state["context"]["next_doc_number"], 3)
                shift = json.loads(server.request("GET", a + "/shift")[2])
                self.assertEqual(shift["next_document"], 3)
                self.check_register(db, "a", ["k"])
                self.check_register(db, "b", ["k"])
                server.stop()

    # The routes without an id serve a database's only register, until a
    # second is added while the server runs; a password in the URL's query
    # shows in no answer; a register is not moved into its own database.
    def test_one_register_then_two(self):
        for kind in ("sqlite", "postgresql"):
            with self.subTest(kind):
                db = self.database(kind)
                self.registers(db, ["a"])
                served = db + "?password=SECRET-7" if kind == "postgresql" else db
                server = self.serve(served)
                for _ in range(8):  # every pool thread
                    self.assertEqual(server.request("GET", "/v1/state")[0], 200)
                self.registers(db, ["b"])
                for _ in range(8):
                    got, _, answer = server.request("POST", "/v1/deposit", deposit(5, 100), {})
                    self.assertEqual(got, 400, answer)
                    self.assertNotIn(b"SECRET", answer)
                    self.assertEqual(server.request("GET", "/v1/shift")[0], 400)
                self.assertEqual(self.check_register(db, "a"), [])
                moved = self.tarv("init", db, "--register", "c", "--from", db)
                self.assertEqual(moved.returncode, 3, moved.stderr)
                server.stop()

    # A register held by another session while four calls wait for it: each
    # is answered busy within its wait (counted once), holding no thread:
    # the other register's reads, and on PostgreSQL its calls, answer at
    # once, and a busy answer leaves the server's connections clean.
    def test_held_register(self):
        for kind in ("postgresql", "sqlite"):
            with self.subTest(kind):
                db = self.database(kind)
                self.registers(db, ["a", "c"])
                server = self.serve(db, "--wait", "2")
                release = self.hold(kind, db, "a")
                try:
                    with concurrent.futures.ThreadPoolExecutor(4) as pool:
                        waiting = [pool.submit(timed, server.request, "POST",
                                               "/v1/registers/a/deposit", deposit(5, 100))
                                   for _ in range(4)]
                        time.sleep(0.3)
                        prompt = [("GET", "/v1/registers/c/shift", None)]
                        if kind == "postgresql":
                            prompt.append(("POST", "/v1/registers/c/deposit", deposit(5, 7)))
                        for method, path, body in prompt:
                            took, (status, _, answer) = timed(server.request, method, path, body)
                            self.assertEqual(status, 200, answer)
                            self.assertLess(took, 1.0, f"{method} {path}")
                            print(f"{kind}: {method} {path} took {took * 1000:.0f} ms "
                                  "while a is held")
                        for future in waiting:
                            took, (status, headers, answer) = future.result()
                            self.assertEqual(status, 503, answer)
                            self.assertEqual(headers["Retry-After"], "1")
                            self.assertTrue(1.8 < took < 2.7, took)
                    if kind == "postgresql":
                        states = self.psql(db, "SELECT state FROM pg_stat_activity WHERE "
                                               "datname = current_database()")
                        self.assertNotIn("aborted", states)
                finally:
                    release()
                status, _, answer = server.request("POST", "/v1/registers/a/deposit",
                                                   deposit(5, 100))
                self.assertEqual(status, 200, answer)
                server.stop()

    # The database server stops answering (its processes stopped, resumed
    # after 15 s at most, and always): a call and a read of the server and
    # `tarv call` each fail within their wait and a second, nothing done, and
    # the server serves again once the database answers.
    def test_paused_database(self):
        db = self.database("postgresql")
        self.registers(db, ["a"])
        server = self.serve(db, "--wait", "1")
        self.assertEqual(server.request("POST", "/v1/registers/a/deposit", deposit(5, 100))[0],
                         200)
        processes = self.postgres_processes()

        def resume():
            for pid in processes:
                try:
                    os.kill(pid, signal.SIGCONT)
                except ProcessLookupError:
                    pass

        guard = threading.Timer(15, resume)
        guard.start()
        try:
            for pid in processes:
                os.kill(pid, signal.SIGSTOP)
            cases = [
                ("a call", lambda: server.request("POST", "/v1/registers/a/deposit",
                                                  deposit(5, 200))[0], 500),
                ("a read", lambda: server.request("GET", "/v1/registers/a/shift")[0], 500),
                ("tarv call", lambda: self.tarv("call", "deposit", "-", "--db", db, "--register",
                                                "a", "--wait", "1",
                                                stdin=json.dumps(deposit(5, 300))).returncode, 7),
            ]
            for name, ask, expected in cases:
                took, got = timed(ask)
                print(f"paused database: {name} failed in {took * 1000:.0f} ms")
                self.assertEqual(got, expected, name)
                self.assertLess(took, 1 + 1 + 0.7, name)
        finally:
            guard.cancel()
            resume()
        deadline = time.monotonic() + 10
        while server.request("GET", "/v1/registers/a/shift")[0] != 200:
            self.assertLess(time.monotonic(), deadline, "the server does not serve again")
            time.sleep(0.1)
        self.assertEqual(len(self.check_register(db, "a")), 1)
        server.stop()

    # A commit whose answer is cut off on its way back is never made again:
    # the server and `tarv call` ask the journal on a new connection and
    # answer what happened; when it cannot be asked, that the outcome is not
    # known (504, exit 8), naming the entry that tells.
    def test_lost_commit(self):
        db = self.database("postgresql")
        self.registers(db, ["a"])
        port = int(db.rsplit(":", 1)[1].split("/")[0])
        proxy = CuttingProxy(port)
        self.addCleanup(proxy.close)
        via = db.replace(f":{port}/", f":{proxy.port}/")
        server = self.serve(via, "--wait", "2")
        # (case, where it is cut, seconds the journal is out of reach, keyed,
        #  the server's answer, the tool's exit status, entries journaled).
        # A call cut before its commit fails with nothing done (the server
        # may make it once more on a new connection: then it answers 200).
        cases = [
            ("cut after the commit", "after", 0, False, 200, 0, 1),
            ("keyed, cut after the commit", "after", 0, True, 200, 0, 1),
            ("cut before the commit", "before", 0, False, 500, 7, 0),
            ("the journal out of reach", "after", 2, False, 504, 8, 1),
        ]
        for case, point, refuse, keyed, status, exit_status, journaled in cases:
            for client in ("server", "tool"):
                with self.subTest(case, client=client):
                    before = len(self.check_register(db, "a"))
                    key = f"{case}-{client}".replace(" ", "-") if keyed else None
                    proxy.arm(point, refuse)
                    if client == "server":
                        got, _, answer = server.request(
                            "POST", "/v1/registers/a/deposit", deposit(5, 100),
                            {"Idempotency-Key": key} if key else {})
                        expected = status
                    else:
                        run = self.tarv("call", "deposit", "-", "--db", via, "--register", "a",
                                        "--wait", "2", *(["--key", key] if key else []),
                                        stdin=json.dumps(deposit(5, 100)))
                        got, answer, expected = run.returncode, run.stderr, exit_status
                    time.sleep(refuse)
                    made = journaled
                    if (client, point, got) == ("server", "before", 200):
                        expected, made = 200, 1
                    self.assertEqual(got, expected, answer)
                    if got in (504, 8):
                        self.assertIn("journal entry", str(answer).lower())
                    self.assertEqual(len(self.check_register(db, "a")) - before, made)
        server.stop()

    # Two servers on one PostgreSQL database, clients calling both: one
    # server is killed (-9) and started again, then the database server stops
    # at once (pg_ctl -m immediate) and starts again. Every keyed call is
    # asked again, on either server, until it is answered: each register's
    # documents stay numbered without gaps, no key counts twice, each answer
    # a client got is the journal's, and each journal checks. Unkeyed calls,
    # each of a sum of its own, are asked once: one answered 200 is journaled
    # once, one answered busy or 500 never, one whose answer was lost (504,
    # or the server killed) at most once.
    def test_chaos(self):
        db = self.database("postgresql")
        ids = [f"till-{i}" for i in range(4)]
        self.registers(db, ids)
        servers = [self.serve(db), self.serve(db)]
        lock = threading.Lock()
        answered = {}  # key -> (register, journal seq it was answered with)
        retries = [0]

        def ask(rid, key, body):
            deadline = time.monotonic() + 60
            while time.monotonic() < deadline:
                with lock:
                    server = random.choice(servers)
                try:
                    status, headers, _ = server.request(
                        "POST", f"/v1/registers/{rid}/deposit", body, {"Idempotency-Key": key})
                except OSError:
                    status, headers = None, None
                if status == 200:
                    return int(headers["Tarv-Journal-Seq"])
                with lock:
                    retries[0] += 1
                time.sleep(0.05)
            raise AssertionError(f"{rid} {key}: no answer in 60 s")

        calm = threading.Event()  # set once the chaos is over
        unkeyed = {}  # sum -> (register, the answer's status; None when none came)

        def unkeyed_client(c):
            rid = ids[c % len(ids)]
            i = 0
            while (not calm.is_set() or i < 10) and i < 2000:
                i += 1
                amount = 100_000 + c * 10_000 + i
                with lock:
                    server = random.choice(servers)
                try:
                    status = server.request("POST", f"/v1/registers/{rid}/deposit",
                                            deposit(5, amount))[0]
                except OSError:
                    status = None
                with lock:
                    unkeyed[amount] = (rid, status)
                time.sleep(0.02)

        def client(c):
            rid = ids[c % len(ids)]
            i = 0
            # Calls until the chaos is over, then a few more; bounded.
            while (not calm.is_set() or i < 10) and i < 2000:
                i += 1
                key = f"c{c}-{i}"
                seq = ask(rid, key, deposit(5, 100 + c + i % 50))
                with lock:
                    answered[key] = (rid, seq)

        def chaos():
            time.sleep(0.7)
            with lock:
                victim = servers[0]
            victim.stop(signal.SIGKILL)
            with lock:
                servers[0] = self.serve(db)
            time.sleep(0.7)
            subprocess.run([CLUSTER, "crash", self.handle], check=True)
            time.sleep(1.0)
            subprocess.run([CLUSTER, "restart", self.handle], check=True)
            time.sleep(0.3)
            calm.set()

        with concurrent.futures.ThreadPoolExecutor(13) as pool:
            done = [pool.submit(client, c) for c in range(8)] + [pool.submit(chaos)]
            done += [pool.submit(unkeyed_client, c) for c in range(4)]
            for future in done:
                future.result()
        statuses = sorted(collections.Counter(s for _, s in unkeyed.values()).items(), key=str)
        print(f"chaos test: {len(answered)} calls answered, {retries[0]} asked again; "
              f"unkeyed calls answered {statuses}")
        self.assertGreater(retries[0], 0)  # the chaos hit calls in flight
        journaled = collections.Counter()
        for rid in ids:
            keys = [k for k, (r, _) in answered.items() if r == rid]
            entries = self.check_register(db, rid, keys)
            by_key = {e["key"]: e["seq"] for e in entries}
            for key in keys:
                self.assertEqual(by_key[key], answered[key][1], key)
            journaled.update((rid, e["sum"]) for e in entries if not e["key"])
        for amount, (rid, status) in unkeyed.items():
            times = journaled[(rid, amount)]
            if status == 200:
                self.assertEqual(times, 1, amount)
            elif status in (500, 503):
                self.assertEqual(times, 0, amount)
            else:
                self.assertLessEqual(times, 1, (amount, status))


if __name__ == "__main__":
    unittest.main()
