#!/usr/bin/env python3
"""Many registers behind `tarv serve`: their routes on SQLite and PostgreSQL,
and the registers of one PostgreSQL database served by two processes while
one of them is killed and the database server crashes and comes back.

Run one case: TARV=build/tarv python3 tests/server/fleet_test.py Fleet.test_chaos
"""
import concurrent.futures
import json
import os
import random
import shutil
import signal
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

    def serve(self, db):
        served = Served(db)
        self.servers.append(served)
        return served

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

    # Two servers on one PostgreSQL database, clients calling both: one
    # server is killed (-9) and started again, then the database server stops
    # at once (pg_ctl -m immediate) and starts again. Every keyed call is
    # asked again, on either server, until it is answered: each register's
    # documents stay numbered without gaps, no key counts twice, each answer
    # a client got is the journal's, and each journal checks.
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

        with concurrent.futures.ThreadPoolExecutor(9) as pool:
            done = [pool.submit(client, c) for c in range(8)] + [pool.submit(chaos)]
            for future in done:
                future.result()
        print(f"chaos test: {len(answered)} calls answered, {retries[0]} asked again")
        self.assertGreater(retries[0], 0)  # the chaos hit calls in flight
        for rid in ids:
            keys = [k for k, (r, _) in answered.items() if r == rid]
            entries = self.check_register(db, rid, keys)
            by_key = {e["key"]: e["seq"] for e in entries}
            for key in keys:
                self.assertEqual(by_key[key], answered[key][1], key)


if __name__ == "__main__":
    unittest.main()
