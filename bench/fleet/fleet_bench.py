#!/usr/bin/env python3
"""Sales a second and their latency for a fleet of registers in PostgreSQL,
beside one register in SQLite; and what a register costs the database.

    python3 bench/fleet/fleet_bench.py [--tarv build/tarv] [--registers 1000]
                                       [--seconds 10]

Starts a throw-away PostgreSQL cluster (tests/postgres/cluster.sh), makes
REGISTERS registers in one database, and for 8 and 64 clients against 1 and
2 `tarv serve` processes has every client sell, one sale after another on
kept-alive connections, to a register drawn at random, for SECONDS; then
the same with one SQLite register and one server. Prints a Markdown table
(sales/s, p50 and p99 in ms) and the journal's rows and bytes per sale.
Not a test: nothing here is asserted.
"""
import argparse
import concurrent.futures
import http.client
import json
import os
import random
import re
import statistics
import subprocess
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CLUSTER = os.path.join(HERE, "..", "..", "tests", "postgres", "cluster.sh")
REGISTER = {"context": {
    "currencies": ["BYN"], "device_id": 4242, "tax_number": 190123456,
    "next_doc_number": 1, "next_shift_number": 1,
    "shift_ctx": {"opened_at": "2024-03-15T06:00:00Z"}}}
SALE = json.dumps({"doc": {"header": {"cashier": "Иванов", "currency": "BYN",
                                      "at": "2024-03-15T06:09:00Z"},
                           "items": [{"name": "Хлеб", "price": 185, "quantity": 1000}],
                           "payments": [{"type_id": 0, "sum": 185}]}}).encode()


def serve(tarv, db):
    p = subprocess.Popen([tarv, "serve", "--db", db, "--listen", "127.0.0.1:0"],
                         stdout=subprocess.PIPE, text=True)
    port = int(re.search(r":(\d+)", p.stdout.readline()).group(1))
    return p, port


def load(ports, registers, clients, seconds):
    """(sales a second, p50 ms, p99 ms) of `clients` selling for `seconds`."""
    latencies, failures, lock = [], [], threading.Lock()
    end = time.monotonic() + seconds

    def client(c):
        conn = http.client.HTTPConnection("127.0.0.1", ports[c % len(ports)], timeout=60)
        mine = []
        while time.monotonic() < end:
            rid = random.choice(registers)
            path = f"/v1/registers/{rid}/sale" if rid else "/v1/sale"
            began = time.perf_counter()
            conn.request("POST", path, SALE, {"Content-Type": "application/json"})
            answer = conn.getresponse()
            answer.read()
            if answer.status != 200:
                with lock:
                    failures.append(f"{path}: {answer.status}")
                return
            mine.append(time.perf_counter() - began)
        with lock:
            latencies.extend(mine)

    threads = [threading.Thread(target=client, args=(c,)) for c in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if failures:
        raise SystemExit(f"{len(failures)} clients failed, first {failures[0]}")
    q = statistics.quantiles(latencies, n=100)
    return len(latencies) / seconds, q[49] * 1000, q[98] * 1000


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


def psql(url, sql):
    return subprocess.run(["psql", "-At", url, "-c", sql], check=True, capture_output=True,
                          text=True).stdout.strip()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tarv", default="build/tarv")
    parser.add_argument("--registers", type=int, default=1000)
    parser.add_argument("--seconds", type=float, default=10)
    a = parser.parse_args()
    handle = tempfile.mkdtemp(prefix="tarv_fleet_bench_")
    subprocess.run([CLUSTER, "start", handle], check=True)
    rows = []
    try:
        with open(os.path.join(handle, "url")) as f:
            url = f.read().strip()
        ids = [f"till-{i:04}" for i in range(a.registers)]
        made = time.monotonic()
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            list(pool.map(lambda rid: subprocess.run(
                [a.tarv, "init", url, "-", "--register", rid], input=json.dumps(REGISTER),
                text=True, check=True, stdout=subprocess.DEVNULL), ids))
        made = time.monotonic() - made
        for servers in (1, 2):
            started = [serve(a.tarv, url) for _ in range(servers)]
            idle_kb = rss_kb(started[0][0].pid)
            for clients in (8, 64):
                rate, p50, p99 = load([p for _, p in started], ids, clients, a.seconds)
                rows.append((f"PostgreSQL, {a.registers} registers", servers, clients, rate,
                             p50, p99))
            busy_kb = rss_kb(started[0][0].pid)
            for p, _ in started:
                p.terminate()
                p.wait()
        entries = int(psql(url, "SELECT count(*) FROM journal"))
        table = int(psql(url, "SELECT pg_table_size('journal')"))
        indexes = int(psql(url, "SELECT pg_indexes_size('journal')"))
        with tempfile.TemporaryDirectory() as d:
            db = os.path.join(d, "till.db")
            subprocess.run([a.tarv, "init", db, "-"], input=json.dumps(REGISTER), text=True,
                           check=True, stdout=subprocess.DEVNULL)
            p, port = serve(a.tarv, db)
            for clients in (8, 64):
                rate, p50, p99 = load([port], [""], clients, a.seconds)
                rows.append(("SQLite, 1 register", 1, clients, rate, p50, p99))
            p.terminate()
            p.wait()
    finally:
        subprocess.run([CLUSTER, "stop", handle], check=False)
    print("| store | servers | clients | sales/s | p50 ms | p99 ms |")
    print("|---|---|---|---|---|---|")
    for store, servers, clients, rate, p50, p99 in rows:
        print(f"| {store} | {servers} | {clients} | {rate:.0f} | {p50:.1f} | {p99:.1f} |")
    print(f"\n{a.registers} registers made by tarv init in {made:.0f} s")
    print(f"journal: {entries} entries, table {table / entries:.0f} bytes an entry, "
          f"indexes {indexes / entries:.0f} bytes an entry")
    print(f"a server's resident memory: {idle_kb} KB started, {busy_kb} KB after serving "
          f"{a.registers} registers ({(busy_kb - idle_kb) * 1024 / a.registers:.0f} bytes a "
          "register)")


if __name__ == "__main__":
    main()
