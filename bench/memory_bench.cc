// The peak heap of one export call on each request shape of shapes.h, and
// its ratio to the bytes in and out: the bound is 3 × (in + out) + 1 MiB.
// The shapes run at their small size; TARV_BENCH_FULL=1 in the environment
// adds them at full size, one call each, and at requests of 0.5 and 2 MB
// (BM_Bytes, the least CPU time of three calls; TARV_BENCH_MB="0.5 2" sets
// the sizes), whose times show the work growing with the bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/heap_meter.h"
#include "bench/shapes.h"
#include "include/tarv_core.h"

namespace {

using namespace ::tarv::bench;

void measure(benchmark::State& state, const Shape& shape, int64_t n) {
  const std::string request = shape.build(n);
  int64_t peak = 0;
  uint64_t response_bytes = 0;
  uint8_t status = 0;
  for (auto _ : state) {
    uint8_t* out = nullptr;
    uint64_t length = 0;
    HeapPeak meter;
    status =
        shape.fn(reinterpret_cast<const uint8_t*>(request.data()), request.size(), &out, &length);
    peak = std::max(peak, meter.bytes());
    response_bytes = length;
    tarvcore_free_buffer(out, length);
  }
  const auto in_out = static_cast<double>(request.size() + response_bytes);
  state.counters["in_B"] = static_cast<double>(request.size());
  state.counters["out_B"] = static_cast<double>(response_bytes);
  state.counters["status"] = status;
  state.counters["peak_heap_B"] = static_cast<double>(peak);
  state.counters["x_in_out"] = static_cast<double>(peak) / in_out;
  state.counters["within_bound"] = peak <= heap_bound(request.size(), response_bytes);
}

// The count at which `shape`'s request is about `bytes` long: each count
// adds the same bytes.
int64_t count_for(const Shape& shape, int64_t bytes) {
  constexpr int64_t a = 1000, b = 2000;
  const auto at_a = static_cast<int64_t>(shape.build(a).size());
  const auto at_b = static_cast<int64_t>(shape.build(b).size());
  return a + (bytes - at_a) * (b - a) / (at_b - at_a);
}

// The request sizes of BM_Bytes in MB: TARV_BENCH_MB="0.5 2" by default.
std::vector<double> sizes_mb() {
  const char* given = std::getenv("TARV_BENCH_MB");
  std::istringstream in(given != nullptr ? given : "0.5 2");
  std::vector<double> sizes;
  for (double mb; in >> mb;) sizes.push_back(mb);
  return sizes;
}

void register_sizes(const Shape& shape) {
  for (const double mb : sizes_mb()) {
    std::ostringstream label;
    label << mb << "MB";
    benchmark::RegisterBenchmark(
        ("BM_Bytes/" + std::string(shape.name) + "/" + label.str()).c_str(), measure, shape,
        count_for(shape, static_cast<int64_t>(mb * 1e6)))
        ->Iterations(1)
        ->Repetitions(3)
        ->ComputeStatistics("min",
                            [](const std::vector<double>& v) {
                              return *std::min_element(v.begin(), v.end());
                            })
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
  }
}

const bool kRegistered = [] {
  const bool full = std::getenv("TARV_BENCH_FULL") != nullptr;
  for (const Shape& shape : kShapes) {
    if (shape.small != 0) {
      benchmark::RegisterBenchmark(("BM_Memory/" + std::string(shape.name)).c_str(), measure, shape,
                                   shape.small)
          ->Unit(benchmark::kMillisecond);
    }
    if (full) {
      benchmark::RegisterBenchmark(("BM_MemoryFull/" + std::string(shape.name)).c_str(), measure,
                                   shape, shape.full)
          ->Iterations(1)
          ->Unit(benchmark::kMillisecond);
    }
  }
  // Once a request builder: shapes that differ only in their count share one.
  std::set<std::string (*)(int64_t)> sized;
  for (const Shape& shape : kShapes) {
    if (full && sized.insert(shape.build).second) register_sizes(shape);
  }
  return true;
}();

}  // namespace
