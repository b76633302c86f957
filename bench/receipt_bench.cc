// Sale and refund calls through the C exports with 1, 10, 100 and 1000
// lines, from prebuilt request bytes; the cost per line must stay flat.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "host/exports.h"
#include "include/tarv_core.h"
#include "tarv_core.pb.h"
#include "tests/support/export_of.h"
#include "tests/support/fixtures.h"

namespace {

namespace pb = ::tarv::core;

// A receipt of `lines` lines: Cyrillic names, four sections, three VAT
// rates, plain, GTIN and (every tenth line) marked codes, a discount on every
// fifth line; paid by card and cash with change.
template <class Request>
std::string request_bytes(int64_t lines) {
  auto r = tarv::testing::envelope<Request>();
  tarv::testing::drawer(*r.mutable_context()).set_cash_in(1'000'000'000);
  auto& doc = *r.mutable_doc();
  uint64_t total = 0;
  for (int64_t i = 0; i < lines; ++i) {
    pb::Item& it = *doc.add_items();
    it.set_name("Молоко 3,2% 1 л, ТМ «Бабушкина крынка» №" + std::to_string(i));
    it.set_price(259 + static_cast<uint64_t>(i % 7));
    it.set_quantity(1000);
    it.mutable_section()->set_code(static_cast<uint32_t>(1 + i % 4));
    it.set_tax_rate(i % 3 == 0 ? 20 : i % 3 == 1 ? 10 : 0);
    if (i % 10 == 9) {
      auto* scans = it.mutable_code()->mutable_scan_list();
      scans->add_scans()->set_mark_c("0104810000000013215xYz9q" + std::to_string(i));
      scans->add_scans()->set_gtin("04810000000013");
    } else if (i % 2 == 0) {
      it.mutable_code()->set_gtin("481000000" + std::to_string(1000 + i % 9000));
    } else {
      it.mutable_code()->set_code_c(std::to_string(100000 + i));
    }
    uint64_t line = it.price();
    if (i % 5 == 0) {
      it.mutable_discount()->set_modifier(10);
      it.mutable_discount()->set_group("Акция");
      line -= 10;
    }
    total += line;
  }
  pb::Payment& card = *doc.add_payments();
  card.set_type_id(1);
  card.set_sum(total / 2);
  card.set_group("Visa");
  pb::Payment& cash = *doc.add_payments();
  cash.set_type_id(0);
  // The refund pays out exactly; the sale hands back 100 in change.
  cash.set_sum(total - total / 2 + (std::is_same_v<Request, pb::SaleRequest> ? 100 : 0));
  return r.SerializeAsString();
}

template <class Request>
void run(benchmark::State& state) {
  const std::string bytes = request_bytes<Request>(state.range(0));
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  for (auto _ : state) {
    uint8_t* out = nullptr;
    uint64_t out_len = 0;
    const uint8_t status =
        tarv::testing::ExportOf<Request>::kFn(data, bytes.size(), &out, &out_len);
    if (status != 0) {
      state.SkipWithError("the export refused the request");
      break;
    }
    benchmark::DoNotOptimize(out);
    tarvcore_free_buffer(out, out_len);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}

void BM_Sale(benchmark::State& state) { run<pb::SaleRequest>(state); }
void BM_Refund(benchmark::State& state) { run<pb::RefundRequest>(state); }

BENCHMARK(BM_Sale)->RangeMultiplier(10)->Range(1, 1000)->Complexity(benchmark::oN);
BENCHMARK(BM_Refund)->RangeMultiplier(10)->Range(1, 1000)->Complexity(benchmark::oN);

}  // namespace
