// Encoding and decoding of sale documents with 10, 100 and 1000 items; both
// must grow linearly with the number of items.
#include <benchmark/benchmark.h>

#include <string>

#include "converter/document.h"

namespace {

using tarv::converter::CodeBlock;
using tarv::converter::DateTime;
using tarv::converter::DocHeader;
using tarv::converter::GtinCode;
using tarv::converter::MarkedCode;
using tarv::converter::PlainCode;
using tarv::converter::SaleDoc;
using tarv::converter::SaleItem;
using tarv::converter::TarvDocument;

// A receipt of mostly plain and GTIN lines with Cyrillic names; every tenth
// line is marked.
TarvDocument make_sale(int64_t items) {
  SaleDoc s;
  s.header = DocHeader{1001, "Иванова Мария", 42, DateTime{2024, 3, 9, 50700}, "BYN"};
  for (int64_t i = 0; i < items; ++i) {
    auto code = [i]() -> CodeBlock {
      if (i % 10 == 9) {
        return MarkedCode{"0104810000000013215xYz9q" + std::to_string(i), std::nullopt,
                          "04810000000013"};
      }
      if (i % 2 == 0) {
        return GtinCode{std::nullopt, std::nullopt, "481000000" + std::to_string(1000 + i % 9000)};
      }
      return PlainCode{3, std::to_string(100000 + i)};
    };
    s.items.push_back(SaleItem{static_cast<uint8_t>(i % 5), code(),
                               "Молоко 3,2% 1 л, ТМ «Бабушкина крынка» №" + std::to_string(i), 1000,
                               259, 10, 0});
  }
  s.items_sum = 249 * static_cast<uint64_t>(items);
  s.total = s.items_sum;
  s.cash = s.total;
  return s;
}

void BM_EncodeSale(benchmark::State& state) {
  const TarvDocument doc = make_sale(state.range(0));
  size_t bytes = 0;
  for (auto _ : state) {
    auto out = tarv::converter::encode(doc);
    bytes = out->size();
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_EncodeSale)->RangeMultiplier(10)->Range(10, 1000)->Complexity(benchmark::oN);

void BM_DecodeSale(benchmark::State& state) {
  const auto bytes = *tarv::converter::encode(make_sale(state.range(0)));
  for (auto _ : state) {
    auto doc = tarv::converter::decode(bytes);
    benchmark::DoNotOptimize(doc);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DecodeSale)->RangeMultiplier(10)->Range(10, 1000)->Complexity(benchmark::oN);

}  // namespace
