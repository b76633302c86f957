#!/usr/bin/env python3
"""What hostile and ordinary clients cost `tarv serve`: one figure per kind of
client, beside a normal sale's time. Not run in CI; see docs/performance.md.

    bench/server/hostile.py build/tarv
"""
import gzip
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

TARV = sys.argv[1] if len(sys.argv) > 1 else "build/tarv"
REGISTER = {"context": {"currencies": ["BYN"], "device_id": 4242, "tax_number": 190123456,
                        "next_doc_number": 1, "next_shift_number": 1,
                        "shift_ctx": {"opened_at": time.strftime(
                            "%Y-%m-%dT%H:%M:%SZ", time.gmtime(time.time() - 3600))}}}
SALE = json.dumps({"doc": {"header": {"cashier": "Иванов", "currency": "BYN"},
                           "items": [{"name": "Хлеб", "price": 185, "quantity": 1000}],
                           "payments": [{"type_id": 1, "sum": 185}]}}).encode()


def request(body, extra=b"", keep=False):
    return (b"POST /v1/sale HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
            b"Content-Length: %d\r\n%s%s\r\n%s" % (len(body), extra,
                                                  b"" if keep else b"Connection: close\r\n", body))


def answer(s):
    """The status of one answer read whole from `s`."""
    data = b""
    while b"\r\n\r\n" not in data:
        data += s.recv(65536)
    head, _, body = data.partition(b"\r\n\r\n")
    length = int([l for l in head.split(b"\r\n") if l.lower().startswith(b"content-length")][0]
                 .split(b":")[1])
    while len(body) < length:
        body += s.recv(65536)
    return int(head.split()[1])


def timed_sale(port):
    started = time.monotonic()
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.sendall(request(SALE))
        status = answer(s)
    return status, (time.monotonic() - started) * 1000


def main():
    folder = tempfile.mkdtemp(prefix="tarv_hostile_")
    db = os.path.join(folder, "till.db")
    subprocess.run([TARV, "init", db, "-"], input=json.dumps(REGISTER), text=True, check=True,
                   capture_output=True)
    server = subprocess.Popen([TARV, "serve", "--db", db, "--listen", "127.0.0.1:0"],
                              stdout=subprocess.PIPE, text=True)
    port = int(server.stdout.readline().rsplit(":", 1)[1])
    try:
        print("a sale alone: %d in %.1f ms" % timed_sale(port))

        idle = [socket.create_connection(("127.0.0.1", port)) for _ in range(200)]
        stop = threading.Event()

        def slow():
            with socket.create_connection(("127.0.0.1", port)) as s:
                for byte in request(SALE):
                    if stop.is_set():
                        return
                    try:
                        s.send(bytes([byte]))
                    except OSError:
                        return  # cut
                    time.sleep(1)

        slow_clients = [threading.Thread(target=slow) for _ in range(24)]
        for t in slow_clients:
            t.start()
        time.sleep(2)
        print("a sale beside 200 idle connections and 24 byte-a-second clients: %d in %.1f ms"
              % timed_sale(port))
        stop.set()
        for s in idle:
            s.close()

        for mib in (6, 40):
            started = time.monotonic()
            with socket.create_connection(("127.0.0.1", port)) as s:
                s.sendall(b"POST /v1/sale HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                          b"application/json\r\nTransfer-Encoding: chunked\r\n\r\n")
                chunk = b"%x\r\n%s\r\n" % (1 << 20, b" " * (1 << 20))
                try:
                    for _ in range(mib):
                        s.sendall(chunk)
                    s.sendall(b"0\r\n\r\n")
                except OSError:
                    pass
                try:
                    status = answer(s)
                except OSError as e:
                    status = f"connection ended ({e.__class__.__name__})"
            print("a chunked body of %d MiB: %s in %.0f ms, database %d KiB" % (
                mib, status, (time.monotonic() - started) * 1000, os.path.getsize(db) // 1024))

        inflated = gzip.compress(b" " * (1 << 30), compresslevel=9)
        started = time.monotonic()
        with socket.create_connection(("127.0.0.1", port)) as s:
            s.sendall(request(inflated, b"Content-Encoding: gzip\r\n"))
            status = answer(s)
        print("a gzip body of %d KiB (1 GiB inflated): %d in %.0f ms" % (
            len(inflated) // 1024, status, (time.monotonic() - started) * 1000))

        for keep in (True, False):
            times = []
            s = socket.create_connection(("127.0.0.1", port)) if keep else None
            for _ in range(200):
                started = time.monotonic()
                if not keep:
                    s = socket.create_connection(("127.0.0.1", port))
                s.sendall(request(SALE, keep=keep))
                answer(s)
                times.append((time.monotonic() - started) * 1000)
                if not keep:
                    s.close()
            if keep:
                s.close()
            print("a sale on a %s: median %.2f ms (%d sales/s)" % (
                "kept-alive connection" if keep else "new connection each",
                statistics.median(times), 1000 / statistics.mean(times)))
    finally:
        server.terminate()
        server.wait()
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
        os.rmdir(folder)


if __name__ == "__main__":
    main()
