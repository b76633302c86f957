#!/usr/bin/env bash
# Builds the benchmarks as the library ships (RelWithDebInfo, the default and
# the package's build), runs them all and prints the tables of targets and of
# memory: the ratios are measured in the same run. TARV_BENCH_FULL=1 adds the
# memory shapes at full size.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARV_TESTS=OFF >/dev/null
cmake --build build-bench --target tarv_bench
# Each benchmark runs BENCH_REPETITIONS times; the table takes the medians.
# On one core (BENCH_CPU): a run the scheduler moves between cores measures
# the moves, and on a shared machine by as much as half again.
pin=()
if command -v taskset >/dev/null; then pin=(taskset -c "${BENCH_CPU:-0}"); fi
"${pin[@]}" build-bench/tarv_bench --benchmark_min_time="${BENCH_MIN_TIME:-0.5}" \
  --benchmark_repetitions="${BENCH_REPETITIONS:-3}" --benchmark_report_aggregates_only=true \
  --benchmark_out=build-bench/bench.json --benchmark_out_format=json "$@"
python3 - build-bench/bench.json <<'PY'
import json, sys
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
        continue
    runs[b.get("run_name", b["name"])] = b
SCALE = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
def cpu(name):  # nanoseconds
    b = runs.get(name)
    return b["cpu_time"] * SCALE[b.get("time_unit", "ns")] if b else float("nan")
def row(what, value, target, ok):
    print(f"| {what:<48} | {value:>14} | {target:<10} | {'met' if ok else 'NOT MET':<7} |")
print("| target                                           |       measured | limit      | result  |")
print("|--------------------------------------------------|----------------|------------|---------|")
r = cpu("BM_Frame_Wire/20") / cpu("BM_Frame_LibProtobuf/20")
row("frame decode+encode / libprotobuf (20 lines)", f"{r:.2f}x", "<= 2x", r <= 2)
r = cpu("BM_Export_Sale10") / cpu("BM_Sale10_LibProtobufOnly")
row("10-line sale end to end / libprotobuf", f"{r:.2f}x", "<= 3x", r <= 3)
# A line's own cost: what ten more, or a hundred more, lines add to a call.
per = [(cpu(f"BM_Sale/{b}") - cpu(f"BM_Sale/{a}")) / (b - a) for a, b in ((1, 10), (10, 100), (100, 1000))]
r = max(per) / min(per)
row("sale cost per line, 1..1000 lines (max/min)", f"{r:.2f}x", "<= 1.5x", r <= 1.5)
r = cpu("BM_Export_Rollback10") / cpu("BM_OpenSslP256Verify")
row("whole rollback (10 lines) / OpenSSL P-256 verify", f"{r:.2f}x", "<= 1x", r <= 1)
us = cpu("BM_BignVerify1KiB") / 1000
row("bign verification, 1 KiB message", f"{us:.0f} us", "<= 150 us", us <= 150)
mbs = runs["BM_BeltHash/1024"]["bytes_per_second"] / 1e6
row("belt-hash, 1 KiB messages", f"{mbs:.0f} MB/s", ">= 90 MB/s", mbs >= 90)
print()
print("| export (typical request)  | cpu time   | peak heap per call |")
print("|---------------------------|------------|--------------------|")
for name in ("Deposit", "Sale10", "Refund10", "Order10", "Report2", "Rollback10"):
    b = runs.get("BM_Export_" + name)
    if b:
        print(f"| {name:<25} | {cpu('BM_Export_' + name)/1000:>7.1f} us | {b.get('peak_heap_B', 0)/1024:>15.1f} KiB |")
print()
print("| request shape (peak heap of one call)   |  bytes in | status | peak heap | x (in+out) | bound |")
print("|-----------------------------------------|-----------|--------|-----------|------------|-------|")
for name, b in runs.items():
    if name.startswith("BM_Memory"):
        print(f"| {name.split('/', 1)[1] + (' (full)' if 'Full' in name else ''):<39} | "
              f"{b['in_B'] / 1e6:>6.2f} MB | {int(b['status']):>6} | {b['peak_heap_B'] / 1e6:>6.1f} MB | "
              f"{b['x_in_out']:>9.1f}x | {'held' if b['within_bound'] else 'NOT'}  |")
PY
