// The two ways decoding carries a repeated field or a map, held or left in
// the request and walked again, give the same answers: the conformance
// corpus with every field held and with every field left (every call of the
// other suites is compared so by call()), and requests past the hold budget,
// where duplicated lines and map keys are read from the request. A line left
// in the request is read again by the calculator's walks alone.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "src/messages.h"
#include "src/wire.h"
#include "tests/core/receipt.h"
#include "tests/support/hex.h"

namespace tarv::testing {
namespace {

struct Recorded {
  ExportFn fn = nullptr;
  ByteVec request;
  int status = -1;
  ByteVec response;
  int line = 0;
};

// The calls of corpus.txt (its format: tests/conformance/generate.py).
std::vector<Recorded> corpus() {
  std::ifstream in(TARV_SOURCE_DIR "/tests/conformance/corpus.txt");
  std::vector<Recorded> calls;
  std::string text;
  for (int n = 1; std::getline(in, text); ++n) {
    if (text.starts_with("call ")) {
      Recorded& c = calls.emplace_back();
      c.line = n;
      const std::string name = text.substr(5, text.find(' ', 5) - 5);
      host::for_each_export([&](const auto& row) {
        if (row.symbol == name) c.fn = row.fn;
      });
    } else if (text.starts_with("> ")) {
      const ByteVec bytes = from_hex(std::string_view(text).substr(2));
      calls.back().request.insert(calls.back().request.end(), bytes.begin(), bytes.end());
    } else if (text.starts_with("status ")) {
      calls.back().status = std::stoi(text.substr(7));
    } else if (text.starts_with("< ")) {
      const ByteVec bytes = from_hex(std::string_view(text).substr(2));
      calls.back().response.insert(calls.back().response.end(), bytes.begin(), bytes.end());
    }
  }
  return calls;
}

TEST(Holding, CorpusAnswersTheSameEitherWay) {
  const std::vector<Recorded> calls = corpus();
  ASSERT_GT(calls.size(), 500u);
  for (const auto& [holding, name] : kForcedHoldings) {
    const ForcedHolding forced(holding);
    int differ = 0;
    for (const Recorded& c : calls) {
      ASSERT_NE(c.fn, nullptr) << "corpus line " << c.line;
      const Call got = call_once(c.fn, c.request);
      if (got.status != c.status || got.response != c.response) {
        if (differ++ < 5) ADD_FAILURE() << name << ": corpus line " << c.line << " differs";
      }
    }
    EXPECT_EQ(differ, 0) << name;
  }
}

// Requests past the hold budget, answered (by call()) as when every field is
// held; a typical one within it holds every field. The duplicates are where
// the walks of a field left in the request differ from holding it: a map
// key's last entry wins, equal lines stay apart and in order.
TEST(Holding, PastTheBudgetAnswersAsHeld) {
  // A typical receipt is within it: its lines and maps are held, decoded once.
  const ByteVec small = serialize(sale_of({line(100), line(200)}, {pay(kCash, 300)}));
  msg::SaleRequest held;
  wire::DecodeError error;
  ASSERT_TRUE(wire::decode(small.data(), small.size(), held, error));
  EXPECT_TRUE(held.doc->items.all_held());
  EXPECT_TRUE(held.context->shift_ctx->attrs.all_held());

  // 5,000 cash positions, each given twice: first cash_in i, then i + 1.
  constexpr int kKeys = 5000;
  ByteVec positions;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < kKeys; ++i) {
      const ByteVec value = ld(2, vi(1, static_cast<uint64_t>(i + pass)));
      positions = cat({positions, ld(3, cat({ld(1, "K" + std::to_string(10000 + i)), value}))});
    }
  }
  const ByteVec map_sale =
      cat({serialize(sale_of({line(100)}, {pay(kCash, 100)})), ld(1, ld(3, positions))});
  msg::SaleRequest decoded;
  ASSERT_TRUE(wire::decode(map_sale.data(), map_sale.size(), decoded, error));
  EXPECT_FALSE(decoded.context->shift_ctx->attrs.all_held());
  const Call map_call = call(tarvcore_create_sale, map_sale);
  ASSERT_EQ(map_call.status, TARV_STATUS_OK) << map_call.stderr_text;
  pb::SaleResponse with_map;
  ASSERT_TRUE(parse(map_call.response, with_map));
  ASSERT_EQ(with_map.shift_attrs().size(), kKeys + 1);
  EXPECT_EQ(with_map.shift_attrs().at("K10007").cash_in(), 8);
  EXPECT_EQ(with_map.shift_attrs().at("BYN").cash_in(), 100);

  // 3,000 lines, each given twice in a row.
  constexpr int kLines = 3000;
  std::vector<pb::Item> items;
  uint64_t total = 0;
  for (int i = 0; i < kLines; ++i) {
    items.push_back(line(1 + i % 7, "L" + std::to_string(i)));
    items.push_back(items.back());
    total += 2 * (1 + i % 7);
  }
  const ByteVec lines_sale = serialize(sale_of(items, {pay(kCash, total)}));
  msg::SaleRequest lines_decoded;
  ASSERT_TRUE(wire::decode(lines_sale.data(), lines_sale.size(), lines_decoded, error));
  EXPECT_FALSE(lines_decoded.doc->items.all_held());
  const Call lines_call = call(tarvcore_create_sale, lines_sale);
  ASSERT_EQ(lines_call.status, TARV_STATUS_OK) << lines_call.stderr_text;
  pb::SaleResponse with_lines;
  ASSERT_TRUE(parse(lines_call.response, with_lines));
  ASSERT_EQ(with_lines.doc().items_size(), 2 * kLines);
  EXPECT_EQ(with_lines.doc().items(2 * 17).name(), "L17");
  EXPECT_EQ(with_lines.doc().items(2 * 17 + 1).name(), "L17");
}

// After the parse, a call reads a line left in the request twice: in the
// walk that checks the lines (and, for sale and refund, takes the writer's
// verdict on each), and in the one (once the call is known to pass) that
// makes their records and writes them as the response shows them. Sizing and
// writing the response read none.
TEST(Holding, LinesLeftInTheRequestAreReadByTheCalculatorsWalksAlone) {
  constexpr uint64_t kLines = 40;
  std::vector<pb::Item> items;
  uint64_t total = 0;
  for (uint64_t i = 0; i < kLines; ++i) {
    items.push_back(line(100 + i, "L" + std::to_string(i)));
    total += 100 + i;
  }
  items[3].set_tax_rate(20);
  pb::OrderRequest order = envelope<pb::OrderRequest>();
  order.mutable_doc()->mutable_header()->set_cashier("Иванов");
  *order.mutable_doc()->mutable_header()->mutable_at() = stamp(kOpenedAt + kHour);
  for (const pb::Item& item : items) *order.mutable_doc()->add_items() = item;
  const struct {
    std::string_view name;
    ExportFn fn;
    ByteVec request;
    uint64_t walks;
  } cases[] = {
      {"sale", tarvcore_create_sale,
       serialize(sale_of(items, {pay(kCard, 0), pay(kCash, total), pay(kOther, 0)})), 2},
      {"refund", tarvcore_create_refund, serialize(refund_of(items, {pay(kCash, total)}, total)),
       2},
      {"order", tarvcore_register_order, serialize(order), 2},
  };
  const ForcedHolding forced(wire::Holding::kNone);
  for (const auto& c : cases) {
    wire::walk_decodes<msg::Item> = 0;
    const Call got = call_once(c.fn, c.request);
    EXPECT_EQ(got.status, TARV_STATUS_OK) << c.name << ": " << got.stderr_text;
    EXPECT_EQ(wire::walk_decodes<msg::Item>, c.walks * kLines) << c.name;
  }
}

}  // namespace
}  // namespace tarv::testing
