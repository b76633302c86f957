// Every export end to end through its C entry point, on typical requests,
// with the peak heap each call takes; and the 10-line sale beside
// libprotobuf's bare parse of its request and serialize of its response.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "bench/requests.h"
#include "include/tarv_core.h"
#include "tarv_core.pb.h"

// A counting allocator for this binary: the heap in use and its peak. Each
// block carries its size in a 16-byte prefix.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<int64_t> g_in_use{0};
std::atomic<int64_t> g_peak{0};
}  // namespace

void* operator new(size_t size) {
  void* p = std::malloc(size + 16);
  if (p == nullptr) throw std::bad_alloc();
  *static_cast<size_t*>(p) = size;
  int64_t now = g_in_use.fetch_add(static_cast<int64_t>(size)) + static_cast<int64_t>(size);
  int64_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  char* base = static_cast<char*>(p) - 16;
  g_in_use.fetch_sub(static_cast<int64_t>(*reinterpret_cast<size_t*>(base)));
  std::free(base);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
#pragma GCC diagnostic pop

namespace {

using namespace ::tarv::bench;

// One export on one request; reports the peak heap above the baseline.
void run(benchmark::State& state, Export fn, const std::string& request) {
  int64_t peak = 0;
  for (auto _ : state) {
    const int64_t base = g_in_use.load();
    g_peak.store(base);
    uint8_t* out = nullptr;
    uint64_t length = 0;
    uint8_t status =
        fn(reinterpret_cast<const uint8_t*>(request.data()), request.size(), &out, &length);
    benchmark::DoNotOptimize(status);
    peak = std::max(peak, g_peak.load() - base);
    tarvcore_free_buffer(out, length);
    if (status != 0) state.SkipWithError("export failed");
  }
  state.counters["request_B"] = static_cast<double>(request.size());
  state.counters["peak_heap_B"] = static_cast<double>(peak);
}

void BM_Export_Deposit(benchmark::State& s) { run(s, tarvcore_create_deposit, deposit_bytes()); }
void BM_Export_Sale10(benchmark::State& s) { run(s, tarvcore_create_sale, sale_bytes(10)); }
void BM_Export_Refund10(benchmark::State& s) { run(s, tarvcore_create_refund, refund_bytes(10)); }
void BM_Export_Order10(benchmark::State& s) { run(s, tarvcore_register_order, order_bytes()); }
void BM_Export_Report2(benchmark::State& s) { run(s, tarvcore_create_report, report_bytes()); }
void BM_Export_Rollback10(benchmark::State& s) {
  run(s, tarvcore_create_rollback, rollback_bytes());
}
BENCHMARK(BM_Export_Deposit);
BENCHMARK(BM_Export_Sale10);
BENCHMARK(BM_Export_Refund10);
BENCHMARK(BM_Export_Order10);
BENCHMARK(BM_Export_Report2);
BENCHMARK(BM_Export_Rollback10);

// libprotobuf alone on the same 10-line sale: parse the request, serialize
// the response the library gave for it.
void BM_Sale10_LibProtobufOnly(benchmark::State& state) {
  const std::string request = sale_bytes(10);
  pb::SaleResponse response;
  std::vector<uint8_t> bytes = call(tarvcore_create_sale, request);
  response.ParseFromArray(bytes.data(), static_cast<int>(bytes.size()));
  std::vector<uint8_t> out;
  for (auto _ : state) {
    pb::SaleRequest parsed;
    benchmark::DoNotOptimize(parsed.ParseFromString(request));
    out.resize(response.ByteSizeLong());
    benchmark::DoNotOptimize(response.SerializeToArray(out.data(), static_cast<int>(out.size())));
  }
}
BENCHMARK(BM_Sale10_LibProtobufOnly);

}  // namespace
