#!/usr/bin/env python3
"""Planted faults in the request decoder and the response encoder: how many
the tests that decode requests catch.

Each mutant of the table below is one small edit of src/wire/ that a
programmer could make (an off-by-one, a flipped tie-break, a check left out).
For each, the script applies it, rebuilds the build directory build-mutants
(Release; only core_test, conformance_replay, memory_test and the shared
library), runs the tests that decode requests, and restores the file:

  ctest -R '\\.|^conformance$' -E '^(server|fleet|postgres)\\.|NOT_BUILT'

that is, every case of core_test (the exports, the wire codec, and Holding:
the corpus and each suite's calls held and left in the request), the
conformance corpus replayed through the shared library, and the heap bound
of memory_test (HeapBound). The register tool, the server and the bindings
are left out: they decode through the same library. The tests take a few
seconds; the rebuild after a header's mutant 2-5 minutes on two shared
cores (every object of the library, twice, and three test files), so a whole
run takes one to two hours, best left in the background:

  CCACHE_BASEDIR=/work nice -n 10 scripts/mutants.py > mutants.md 2> mutants.log
  scripts/mutants.py --only 3,14   # some mutants again, by number
  scripts/mutants.py --check       # only that each original text is found once

A mutant is "caught" when a test fails (the first failing test in ctest's
numbering is named), "survived" when every test passes, and "does not
compile" when the build fails (a mutant that should be replaced, not a
catch). Rows marked equivalent are edits no input can tell apart, the reason
given in their description. The files are restored after each mutant, and
on Ctrl-C or any error; the script refuses to start on a src/ with local
changes and checks at the end that git sees none.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build-mutants"
TARGETS = ["core_test", "conformance_replay", "memory_test", "tarv_core"]
TESTS = ["-R", r"\.|^conformance$", "-E", r"^(server|fleet|postgres)\.|NOT_BUILT"]


@dataclass
class Mutant:
    path: str
    original: str
    replacement: str
    description: str
    equivalent: str = ""  # why no input can tell it from the original


MUTANTS = [
    # The cursor.
    Mutant("src/wire/cursor.h", "if (length > remaining()) return fail",
           "if (length >= remaining()) return fail",
           "a nested value may not end at the buffer's end (`>` as `>=`)"),
    Mutant("src/wire/cursor.cc", "if (i == 9 && byte > 1)", "if (i == 9 && byte > 2)",
           "the tenth varint byte may hold bit 65"),
    Mutant("src/wire/cursor.h", "if (end_ - p_ >= 2 && p_[1] < 0x80) {",
           "if (end_ - p_ >= 2 && p_[1] <= 0x80) {",
           "two-byte varint fast path takes a continued second byte 0x80 as the last"),
    Mutant("src/wire/cursor.h", "p_[0] >= 0x80 && p_[1] != 0 && p_[1] < 0x80",
           "p_[0] >= 0x80 && p_[1] < 0x80",
           "two-byte key fast path lets the overlong key 0x80 0x00 (field 0) through"),
    Mutant("src/wire/cursor.h", "*p_ >= 8 && (*p_ & 7) <= 5)", "*p_ >= 8 && (*p_ & 7) < 5)",
           "one-byte key fast path leaves wire type 5 to the slow path",
           "the slow path reads a key of wire type 5 the same way"),
    Mutant("src/wire/cursor.h", "if (bytes > hold_budget_) return false;",
           "if (bytes < hold_budget_) return false;",
           "hold budget comparison inverted"),
    Mutant("src/wire/cursor.cc", "count += key == wanted;", "count += key >> 3 == number;",
           "count_ahead counts the field number whatever its wire type",
           "that case only sees wire type 2, where the two tests agree"),
    Mutant("src/wire/cursor.cc", "    case WireType::kSixtyFourBit:\n      length = 8;",
           "    case WireType::kSixtyFourBit:\n      length = 4;",
           "an unknown fixed64 field skipped as a fixed32"),
    # Repeated fields.
    Mutant("src/wire/repeated.h", "if (holding_ || count_ == 0) leave_in_request(c, budget);",
           "if (holding_) leave_in_request(c, budget);",
           "a field never held does not note its way at its first occurrence"),
    Mutant("src/wire/encode.h", "    if (!shape(e)) return true;\n    const size_t at",
           "    if (!shape(e)) return false;\n    const size_t at",
           "write_left: an element shaped out of the response stops the walk instead of being "
           "skipped"),
    Mutant("src/wire/repeated.h", "      element = T{};\n", "",
           "the reused value of a left walk is not reset between occurrences"),
    Mutant("src/wire/repeated.h", "if (n <= c.hold_budget() / sizeof(T) && c.hold(",
           "if (n < c.hold_budget() / sizeof(T) && c.hold(",
           "a field that fills the hold budget exactly is left in the request",
           "held or left, a field answers the same; the memory differs by one element"),
    Mutant("src/wire/repeated.h", "    count_ += owned_.size();\n", "",
           "stopping to hold forgets the occurrences held so far"),
    # Maps left in the request.
    Mutant("src/wire/request_map.h", "return ka != kb ? ka < kb : a.place < b.place;",
           "return ka != kb ? ka < kb : a.place > b.place;",
           "left map: the first entry of a duplicated key wins (tie-break flipped)"),
    Mutant("src/wire/request_map.h",
           "if (key_at(static_cast<size_t>(c.position() - way.begin)) == key) last =",
           "if (last == nullptr && key_at(static_cast<size_t>(c.position() - way.begin)) == key) last =",
           "find() on a left map returns a key's first entry"),
    Mutant("src/wire/request_map.h", "        keyless = place;",
           "        if (!keyless) keyless = place;",
           "left map: the first entry without a key wins"),
    Mutant("src/wire/request_map.h",
           "if (number == 1 && wire_type == WireType::kLengthDelimited) key = entry.position();",
           "if (number == 1 && wire_type == WireType::kLengthDelimited && key == nullptr) "
           "key = entry.position();",
           "left map: an entry's first key field is its key, not its last"),
    Mutant("src/wire/request_map.h",
           "if (number == 1 && wire_type == WireType::kLengthDelimited) key = entry.position();",
           "if (number == 1) key = entry.position();",
           "left map: a key field of any wire type",
           "decoding refused every entry whose field 1 is not length-delimited"),
    Mutant("src/wire/request_map.h",
           "it->second = std::move(node.mapped());  // a later entry of a key replaces it",
           "// the first entry of a key is kept",
           "held map: the first entry of a duplicated key wins"),
    Mutant("src/wire/request_map.h", "left_->count = held_entries_ + 1;",
           "left_->count = held_entries_;",
           "a map left part way counts one entry too few",
           "the count only sizes the walk's index; a vector grows past it"),
    # The encoder.
    Mutant("src/wire/encode.h", "size_t n = 1;\n  while (v >= 0x80) {",
           "size_t n = 1;\n  while (v > 0x80) {",
           "varint_size of 128 is one byte"),
    Mutant("src/wire/encode.h", "  if (v < 0x80) {\n    *--end", "  if (v <= 0x80) {\n    *--end",
           "the one-byte write of a varint takes 128"),
    Mutant("src/wire/encode.h", "    v.size_cache.keep(left);\n", "",
           "a left repeated field's size is not kept between sizing and writing"),
    Mutant("src/wire/encode.h", "if (!v.all_held()) end = write_left_before(",
           "if (v.all_held()) end = write_left_before(",
           "the elements left in the request written only where there are none"),
    Mutant("src/wire/encode.h", "if (v != 0) n += varint_size(kValueKey)",
           "n += varint_size(kValueKey)",
           "a map entry's empty message value counted though not written"),
    Mutant("src/wire/encode.h",
           "      p += FieldEncoder<Map<V>>::entry_occurrence_size(number, key, value);\n"
           "      FieldEncoder<Map<V>>::write_entry_before(number, key, value, p);\n",
           "      FieldEncoder<Map<V>>::write_entry_before(number, key, value, p);\n"
           "      p += FieldEncoder<Map<V>>::entry_occurrence_size(number, key, value);\n",
           "a left map's entry written before its slot is advanced to"),
    # The decoder.
    Mutant("src/wire/decode.h", "if (!known) return c.skip_field(number, wire_type, budget);",
           "if (!known) return c.skip_field(number, wire_type, budget - 1);",
           "an unknown field skipped one level deeper than it is"),
    Mutant("src/wire/decode.h",
           "        if (!c.check_wire_type(ValueCodec<V>::kWire, wire_type)) return false;\n", "",
           "a map value's wire type unchecked"),
    Mutant("src/wire/decode.h", "      if (!v) v.emplace();", "      v.emplace();",
           "a repeated singular message replaces the earlier one instead of merging"),
    Mutant("src/wire/decode.h",
           "        c.enter(2);\n        if (!ValueCodec<V>::merge(value, c, budget - 1)) return false;\n"
           "        c.leave();",
           "        if (!ValueCodec<V>::merge(value, c, budget - 1)) return false;",
           "a map value not on the path of the fields left inside it"),
    Mutant("src/wire/decode.h", "map.insert_or_assign(std::move(key), std::move(value));",
           "map.emplace(std::move(key), std::move(value));",
           "an entry's key already in the map keeps its earlier value",
           "every Map the decoder fills is a fresh one-entry map (RequestMap::merge_entry)"),
    Mutant("src/wire/decode.h", "  if (size == 0) return true;\n", "",
           "the empty request not answered before the cursor is made",
           "the field loop reads nothing from an empty buffer"),
]


def run(cmd):
    """Runs `cmd` in a process group of its own, ended if we are interrupted:
    SIGTERM first, which ninja passes on to the compilers it runs in groups
    of their own."""
    proc = subprocess.Popen(cmd, cwd=ROOT, text=True, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, start_new_session=True)
    try:
        out, _ = proc.communicate()
    except BaseException:
        os.killpg(proc.pid, signal.SIGTERM)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
        raise
    return subprocess.CompletedProcess(cmd, proc.returncode, out, "")


def build():
    if not (BUILD / "build.ninja").exists():
        cfg = run(["cmake", "-S", ".", "-B", str(BUILD), "-G", "Ninja",
                   "-DCMAKE_BUILD_TYPE=Release"])
        if cfg.returncode != 0:
            sys.exit(cfg.stdout + cfg.stderr)
    return run(["cmake", "--build", str(BUILD), "--target", *TARGETS]).returncode == 0


def test():
    """The names of the failing tests, in ctest's numbering."""
    out = run(["ctest", "--test-dir", str(BUILD), "-j2", "--timeout", "300", *TESTS]).stdout
    failed = out.split("The following tests FAILED:", 1)
    if len(failed) < 2:
        if "100% tests passed" not in out:
            return ["(ctest: " + out.strip().splitlines()[-1] + ")"]
        return []
    return [m.group(1) for m in re.finditer(r"^\s*\d+ - (.+?)(?:  #.*)? \(", failed[1], re.M)]


def interrupted(*_):
    raise KeyboardInterrupt


def src_clean():
    return run(["git", "diff", "--quiet", "--", "src"]).returncode == 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--only", help="mutant numbers, comma-separated (1-based), run in that order")
    ap.add_argument("--check", action="store_true", help="only check the table against src/")
    args = ap.parse_args()
    chosen = list(enumerate(MUTANTS, 1))
    if args.only:
        chosen = [(int(n), MUTANTS[int(n) - 1]) for n in args.only.split(",")]

    for n, m in chosen:
        found = (ROOT / m.path).read_text().count(m.original)
        if found != 1:
            sys.exit(f"mutant {n}: original text found {found} times in {m.path}")
    if args.check:
        print(f"{len(chosen)} mutants match src/")
        return
    if not src_clean():
        sys.exit("src/ has local changes: commit or stash them first")

    # A kill restores the files as Ctrl-C does.
    signal.signal(signal.SIGTERM, interrupted)
    log = sys.stderr
    print("baseline build and tests", file=log, flush=True)
    if not build() or test():
        sys.exit("the unmutated tree does not build or pass")

    rows = []
    originals = {}
    try:
        for n, m in chosen:
            path = ROOT / m.path
            text = originals.setdefault(path, path.read_text())
            path.write_text(text.replace(m.original, m.replacement, 1))
            try:
                if not build():
                    result, first = "does not compile", ""
                else:
                    failing = test()
                    if failing:
                        result = f"caught ({len(failing)} failing)"
                        first = failing[0]
                    else:
                        result = "survived, equivalent" if m.equivalent else "survived"
                        first = ""
            finally:
                path.write_text(text)
            rows.append((n, m, result, first))
            print(f"{n:2} {result:24} {first}  [{m.path}: {m.description}]", file=log, flush=True)
    finally:
        for path, text in originals.items():
            path.write_text(text)
        if not src_clean():
            print("src/ differs from git after restoring: check it", file=log)
    build()  # leave the build directory as the tree is

    print("| # | file | mutant | result | first failing test |")
    print("|---|------|--------|--------|--------------------|")
    for n, m, result, first in rows:
        what = m.description + (f" (equivalent: {m.equivalent})" if m.equivalent else "")
        print(f"| {n} | {Path(m.path).name} | {what} | {result} | {first} |")
    caught = sum(r[2].startswith("caught") for r in rows)
    equivalent = sum(r[2] == "survived, equivalent" for r in rows)
    real = sum(r[2] == "survived" for r in rows)
    broken = sum(r[2] == "does not compile" for r in rows)
    print(f"\n{len(rows)} mutants: {caught} caught, {equivalent} survived (equivalent), "
          f"{real} survived (not equivalent), {broken} did not compile")


if __name__ == "__main__":
    main()
