#!/usr/bin/env python3
"""Writes tests/conformance/corpus.txt from a native build: the calls that the
core tests make through their host helper (recorded by core_test when
TARV_CONFORMANCE_RECORD is set), without repeats and without requests above
MAX_REQUEST bytes, then a handful of hand-made calls; every call is made
again through the build's libtarv_core.so and written down with its status
and response bytes.

    tests/conformance/generate.py BUILD_DIR

Run it on purpose only, when a change of the responses is intended: the
corpus is checked in so that every changed response byte shows in review.
"""
import ctypes
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus.txt")
MAX_REQUEST = 65536
BYTES_PER_LINE = 32


def document_exports():
    """The document exports, in the order of src/tarv_core.def."""
    with open(os.path.join(HERE, "..", "..", "src", "tarv_core.def")) as f:
        names = [line.split()[0] for line in f.read().split("EXPORTS", 1)[1].splitlines()
                 if line.strip()]
    return [n for n in names if n.startswith(("tarvcore_create_", "tarvcore_register_"))]


EXPORTS = document_exports()
# Requests that every export gets: the empty request, bytes that are no
# message (wire type 7, field number 0, a varint of 11 bytes, a length past
# the end, a stray end-group tag), and a message with only an unknown field.
HAND_MADE = [
    b"",
    b"\x07",
    b"\x00",
    b"\x08" + b"\xff" * 10 + b"\x01",
    b"\x0a\x05\x01",
    b"\x0c",
    b"\xf8\x01\x01",
]
UNTOUCHED = 0xDEADBEEF
INT64_MAX = (1 << 63) - 1


def recorded_calls(build_dir):
    with tempfile.TemporaryDirectory() as tmp:
        recording = os.path.join(tmp, "calls.txt")
        env = dict(os.environ, TARV_CONFORMANCE_RECORD=recording)
        subprocess.run([os.path.join(build_dir, "core_test"), "--gtest_brief=1"], env=env,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(recording) as f:
            for line in f:
                name, _, hex_request = line.rstrip("\n").partition(" ")
                yield name, bytes.fromhex(hex_request)


def all_calls(build_dir):
    seen = set()
    for call in recorded_calls(build_dir):
        if len(call[1]) <= MAX_REQUEST and call not in seen:
            seen.add(call)
            yield call
    for request in HAND_MADE:
        for name in EXPORTS:
            if (name, request) not in seen:
                seen.add((name, request))
                yield name, request


def varint(value):
    out = b""
    while value >= 0x80:
        out += bytes([value & 0x7F | 0x80])
        value >>= 7
    return out + bytes([value])


def length_delimited(number, payload):
    return varint(number << 3 | 2) + varint(len(payload)) + payload


def without_room_for_quantity(sale_request):
    """The sale again, with the quantity of every section counter ("0" to
    "99") of its DocumentAttributes (SaleRequest field 3, sections field 10)
    at the largest value: the sale's own quantity no longer fits. The second
    attrs field merges into the first, its map entries replacing theirs."""
    cell = varint(3 << 3) + varint(INT64_MAX)
    sections = b"".join(
        length_delimited(10, length_delimited(1, str(s).encode()) + length_delimited(2, cell))
        for s in range(100))
    return sale_request + length_delimited(3, sections)


class Library:
    def __init__(self, path):
        self.lib = ctypes.CDLL(path)
        for name in EXPORTS:
            fn = getattr(self.lib, name)
            fn.argtypes = [ctypes.c_char_p, ctypes.c_uint64,
                           ctypes.POINTER(ctypes.c_void_p), ctypes.POINTER(ctypes.c_uint64)]
            fn.restype = ctypes.c_uint8
        self.lib.tarvcore_free_buffer.argtypes = [ctypes.c_void_p, ctypes.c_uint64]

    def call(self, name, request):
        out = ctypes.c_void_p(UNTOUCHED)
        out_length = ctypes.c_uint64(UNTOUCHED)
        status = getattr(self.lib, name)(request, len(request), ctypes.byref(out),
                                         ctypes.byref(out_length))
        if status == 255:
            assert out.value == UNTOUCHED and out_length.value == UNTOUCHED, name
            return status, b""
        response = ctypes.string_at(out.value, out_length.value)
        self.lib.tarvcore_free_buffer(out, out_length)
        return status, response


def error_code(response):
    # ErrorResponse: field 1, the code, comes first and is shorter than 128.
    assert response[0] == 0x0A and response[1] < 0x80
    return response[2:2 + response[1]].decode()


def hex_lines(prefix, data):
    return [prefix + " " + data[i:i + BYTES_PER_LINE].hex()
            for i in range(0, len(data), BYTES_PER_LINE)]


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: generate.py BUILD_DIR")
    build_dir = sys.argv[1]
    lib = Library(os.path.join(build_dir, "libtarv_core.so"))
    calls = list(all_calls(build_dir))
    # The library's diagnostic lines are not part of the corpus.
    saved_stderr = os.dup(2)
    with open(os.devnull, "w") as devnull:
        os.dup2(devnull.fileno(), 2)
    try:
        results = [lib.call(name, request) for name, request in calls]
        # The counters' quantity limit, which the recorded calls reach only
        # below the exports, from the first sale that passed.
        sale = next(request for (name, request), (status, _) in zip(calls, results)
                    if name == "tarvcore_create_sale" and status == 0)
        calls.append(("tarvcore_create_sale", without_room_for_quantity(sale)))
        results.append(lib.call(*calls[-1]))
    finally:
        os.dup2(saved_stderr, 2)
    body = []
    exports, statuses, codes = {}, {}, {}
    for (name, request), (status, response) in zip(calls, results):
        body.append(f"call {name} {len(request)}")
        body += hex_lines(">", request)
        body.append(f"status {status} {len(response)}")
        body += hex_lines("<", response)
        exports[name] = exports.get(name, 0) + 1
        statuses[status] = statuses.get(status, 0) + 1
        if status == 1:
            code = error_code(response)
            codes[code] = codes.get(code, 0) + 1
    header = [
        "# tarv_core conformance corpus, written by tests/conformance/generate.py:",
        "# every call with its request, the status and the response, byte for byte.",
        "# call EXPORT REQUEST_LENGTH / > request hex / status STATUS RESPONSE_LENGTH /",
        "# < response hex. Status 255: nothing written, the out-parameters untouched.",
        f"# {sum(exports.values())} calls",
    ]
    header += [f"#   {n} {name}" for name, n in exports.items()]
    header += [f"#   status {s}: {n}" for s, n in sorted(statuses.items())]
    header.append(f"# {len(codes)} error codes")
    header += [f"#   {n} {code}" for code, n in sorted(codes.items())]
    with open(CORPUS, "w") as f:
        f.write("\n".join(header + body) + "\n")
    print(f"{CORPUS}: {sum(exports.values())} calls, {len(codes)} error codes")


if __name__ == "__main__":
    main()
