#!/usr/bin/env python3
"""What `tarv serve` keeps resident for kept-alive clients after large
answers: the server's RSS (VmRSS) once N connections (1,000 by default) have
each had a sale of 150 lines (a 73 KB answer), then a 1,000-entry journal
page, then 1 MB of bad JSON, all kept open, and after they closed. Bounded:
at most 10 minutes. Not run in CI; see docs/performance.md.

    bench/server/memory.py build/tarv [CONNECTIONS]
"""
import concurrent.futures
import json
import os
import socket
import subprocess
import sys
import tempfile
import time

TARV = sys.argv[1] if len(sys.argv) > 1 else "build/tarv"
CONNECTIONS = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
REGISTER = {"context": {"currencies": ["BYN"], "device_id": 4242, "tax_number": 190123456,
                        "next_doc_number": 1, "next_shift_number": 1,
                        "shift_ctx": {"opened_at": time.strftime(
                            "%Y-%m-%dT%H:%M:%SZ", time.gmtime(time.time() - 3600))}}}
ITEMS = 150  # a request of 17 KB, its answer 73 KB
SALE = json.dumps({"doc": {
    "header": {"cashier": "Иванов", "currency": "BYN"},
    "items": [{"name": f"Товар номер {i:05}", "price": 100, "quantity": 1000}
              for i in range(ITEMS)],
    "payments": [{"type_id": 1, "sum": 100 * ITEMS}]}}).encode()
ONE_LINE = json.dumps({"doc": {
    "header": {"cashier": "Иванов", "currency": "BYN"},
    "items": [{"name": "Хлеб", "price": 100, "quantity": 1000}],
    "payments": [{"type_id": 1, "sum": 100}]}}).encode()
BAD = b'{"doc": "' + b"x" * (1 << 20) + b"\x01"  # a control character ends it


def request(method, path, body=b""):
    return (b"%s %s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
            b"Content-Length: %d\r\n\r\n%s" % (method, path, len(body), body))


def answer(s):
    """(status, length of the body) of one answer read whole from `s`."""
    data = b""
    while b"\r\n\r\n" not in data:
        got = s.recv(1 << 16)
        if not got:
            raise ConnectionError("closed before an answer")
        data += got
    head, _, body = data.partition(b"\r\n\r\n")
    length = int([line for line in head.split(b"\r\n")
                  if line.lower().startswith(b"content-length")][0].split(b":")[1])
    while len(body) < length:
        body += s.recv(1 << 16)
    return int(head.split()[1]), length


def ask(s, sent, deadline):
    if time.monotonic() > deadline:
        raise TimeoutError("the measure took above 10 minutes")
    s.sendall(sent)
    return answer(s)


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        return int(next(line for line in f if line.startswith("VmRSS:")).split()[1])


def main():
    folder = tempfile.mkdtemp(prefix="tarv_memory_")
    db = os.path.join(folder, "till.db")
    subprocess.run([TARV, "init", db, "-"], input=json.dumps(REGISTER), text=True, check=True,
                   capture_output=True)
    server = subprocess.Popen([TARV, "serve", "--db", db, "--listen", "127.0.0.1:0"],
                              stdout=subprocess.PIPE, text=True)
    port = int(server.stdout.readline().rsplit(":", 1)[1])
    deadline = time.monotonic() + 600
    try:
        # The journal page's entries: one-line sales, so that a page is
        # quick to read.
        with socket.create_connection(("127.0.0.1", port)) as s:
            for _ in range(1000):
                s.sendall(request(b"POST", b"/v1/sale", ONE_LINE))
                assert answer(s)[0] == 200
        print(f"{TARV}, {CONNECTIONS} kept-alive connections")
        print("  at the start: %d KiB" % rss_kib(server.pid))
        clients = [socket.create_connection(("127.0.0.1", port)) for _ in range(CONNECTIONS)]
        print("  connected: %d KiB" % rss_kib(server.pid))
        for name, sent in (("a sale of 150 lines each", request(b"POST", b"/v1/sale", SALE)),
                           ("a 1,000-entry journal page each",
                            request(b"GET", b"/v1/journal?from=1&limit=1000")),
                           ("1 MB of bad JSON each", request(b"POST", b"/v1/sale", BAD))):
            started = time.monotonic()
            # Eight clients at a time, so that each phase ends well within the
            # 60 s a kept-alive connection may wait between its requests.
            with concurrent.futures.ThreadPoolExecutor(8) as pool:
                answers = list(pool.map(lambda s: ask(s, sent, deadline), clients))
            statuses = {}
            for status, _ in answers:
                statuses[status] = statuses.get(status, 0) + 1
            lengths = [length for _, length in answers]
            time.sleep(0.5)
            print("  (%.1f s)" % (time.monotonic() - started), end="")
            print("  after %s (answers %s, largest %d B): %d KiB" % (
                name, statuses, max(lengths), rss_kib(server.pid)))
        for s in clients:
            s.close()
        time.sleep(2)
        print("  2 s after they closed: %d KiB" % rss_kib(server.pid))
    finally:
        server.terminate()
        server.wait()
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
        os.rmdir(folder)


if __name__ == "__main__":
    main()
