// What keeping a register costs: a one-line sale as a bare call of the
// library beside the same sale through a register database (filled from its
// state, journaled and its new state written in one transaction, flushed to
// the disk), in a temporary folder (TMPDIR) of this machine.
#include <benchmark/benchmark.h>
#include <google/protobuf/util/json_util.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/databases.h"
#include "host/register.h"
#include "host/register_call.h"
#include "include/tarv_core.h"

namespace {

namespace fs = std::filesystem;
using namespace ::tarv::host;

HostState initial() {
  HostState s;
  const auto ok = google::protobuf::util::JsonStringToMessage(R"({"context": {
      "currencies": ["BYN"], "device_id": 4242, "tax_number": 190123456,
      "next_doc_number": 1, "next_shift_number": 1,
      "shift_ctx": {"opened_at": "2024-03-15T06:00:00Z"}}})",
                                                              &s);
  if (!ok.ok()) std::abort();
  return s;
}

std::unique_ptr<google::protobuf::Message> sale(const Export& e) {
  auto r = new_message(e.request);
  const auto ok = google::protobuf::util::JsonStringToMessage(
      R"({"doc": {"header": {"cashier": "Иванов", "currency": "BYN",
          "at": "2024-03-15T06:09:00Z"},
          "items": [{"name": "Хлеб", "price": 185, "quantity": 2000}],
          "payments": [{"type_id": 0, "sum": 370}]}})",
      r.get());
  if (!ok.ok()) std::abort();
  return r;
}

void BM_Sale_BareCall(benchmark::State& state) {
  const Export& e = *find_export("sale");
  auto request = sale(e);
  if (!Register(initial()).fill(e, *request, {})) std::abort();
  const std::string bytes = request->SerializeAsString();
  for (auto _ : state) {
    const CallOutcome outcome = call(e, bytes);
    if (outcome.status != TARV_STATUS_OK) {
      state.SkipWithError(outcome.error() ? outcome.error()->message().c_str() : "no answer");
      return;
    }
    benchmark::DoNotOptimize(outcome.bytes.data());
  }
}
BENCHMARK(BM_Sale_BareCall);

void BM_Sale_Journaled(benchmark::State& state) {
  const Export& e = *find_export("sale");
  const auto request = sale(e);
  const fs::path db =
      fs::temp_directory_path() / ("tarv_register_bench_" + std::to_string(getpid()) + ".db");
  auto store = create_store(db.string(), initial());
  if (!store) std::abort();
  for (auto _ : state) {
    auto committed = call_register(**store, e, *request, "");
    if (!committed || committed->entry.status != TARV_STATUS_OK) std::abort();
  }
  store->reset();
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(db.string() + suffix);
}
BENCHMARK(BM_Sale_Journaled)->Unit(benchmark::kMicrosecond);

}  // namespace
