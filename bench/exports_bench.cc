// Every export end to end through its C entry point, on typical requests,
// with the peak heap each call takes; and the 10-line sale beside
// libprotobuf's bare parse of its request and serialize of its response.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/heap_meter.h"
#include "bench/requests.h"
#include "include/tarv_core.h"
#include "tarv_core.pb.h"

namespace {

using namespace ::tarv::bench;

// One export on one request; reports the peak heap of a call, its response
// buffer included, and its ratio to the bytes in and out.
void run(benchmark::State& state, ExportFn fn, const std::string& request) {
  int64_t peak = 0;
  uint64_t response_bytes = 0;
  for (auto _ : state) {
    HeapPeak meter;
    uint8_t* out = nullptr;
    uint64_t length = 0;
    uint8_t status =
        fn(reinterpret_cast<const uint8_t*>(request.data()), request.size(), &out, &length);
    benchmark::DoNotOptimize(status);
    peak = std::max(peak, meter.bytes());
    response_bytes = length;
    tarvcore_free_buffer(out, length);
    if (status != 0) state.SkipWithError("export failed");
  }
  state.counters["request_B"] = static_cast<double>(request.size());
  state.counters["peak_heap_B"] = static_cast<double>(peak);
  state.counters["x_in_out"] =
      static_cast<double>(peak) / static_cast<double>(request.size() + response_bytes);
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
