// Rollbacks through tarvcore_create_rollback: a sale made by the library,
// signed here with the test-only bign signer and annulled; refusals of
// changed, unsigned or foreign targets; targets crafted with the document
// writer whose figures the library never writes.
#include <google/protobuf/text_format.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "tests/core/receipt.h"
#include "tests/support/bign_signer.h"

namespace tarv::testing {
namespace {

using Key = std::array<uint8_t, 32>;
using Tweak = std::function<void(pb::RollbackRequest&)>;

constexpr uint32_t kRollbackNumber = 501;
constexpr char kLongCode[] = "0104810000000024215ABCDEFGHIJKLM";
constexpr char kShortCode[] = "ukz-0000123";

Key key_bytes(uint8_t first) {
  Key k;
  for (size_t i = 0; i < k.size(); ++i) k[i] = static_cast<uint8_t>(first + i);
  return k;
}
const Key kPrivate = key_bytes(1);

std::string as_string(std::span<const uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }
std::span<const uint8_t> as_bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}
std::string public_key(const Key& d) { return as_string(bign_public_key(d)); }
std::string sign(const std::string& message) {
  return as_string(bign_sign(as_bytes(message), kPrivate, key_bytes(0x40)));
}

template <class M>
void merge(const std::string& text, M& m) {
  EXPECT_TRUE(google::protobuf::TextFormat::MergeFromString(text, &m)) << text;
}

// A rollback of `target` signed with kPrivate: number 501, two hours into
// the shift, next document number 90, 11000 in the drawer.
pb::RollbackRequest rollback_of(const std::string& target) {
  auto r = envelope<pb::RollbackRequest>();
  r.mutable_context()->set_next_doc_number(90);
  drawer(*r.mutable_context()).set_cash_in(11000);
  pb::Rollback& doc = *r.mutable_doc();
  doc.mutable_header()->set_number(kRollbackNumber);
  *doc.mutable_header()->mutable_at() = stamp(kOpenedAt + 2 * kHour);
  doc.set_target(target);
  doc.set_signature(sign(target));
  doc.set_pub_key(public_key(kPrivate));
  doc.set_uid("uid-1");
  return r;
}

// A sale made by the library (document number 77): 4800 in section 3
// without marking, 10500 with a long marking code, 700 in section 7 with a
// short one; 1000 off, 15000 paid 5000 by card, 2000 other and 10000 in
// cash (8000 kept), for a third party.
const std::string& sale_document() {
  static const std::string bytes = [] {
    auto r = envelope<pb::SaleRequest>();
    drawer(*r.mutable_context()).set_cash_in(3000);
    merge(R"(doc { tp_tax_number: 190000001
      items { name: 'Молоко' price: 2000 quantity: 2500 discount { modifier: 200 }
              section { code: 3 } code { gtin: '4810000000017' } }
      items { name: 'Сигареты' price: 10000 quantity: 1000 markup { modifier: 500 }
              code { scan_list { scans { mark_c: '0104810000000024215ABCDEFGHIJKLM' }
                                 scans { gtin: '04810000000024' } } } }
      items { name: 'Пиво' price: 700 quantity: 1000 section { code: 7 }
              code { scan_list { scans { mark_b: 'ukz-0000123' } scans { gtin: '04810000000031' } } } }
      discount { modifier: 1000 }
      payments { type_id: 1 sum: 5000 } payments { type_id: 2 sum: 2000 }
      payments { type_id: 0 sum: 10000 } })",
          r);
    const pb::SaleResponse response = succeed(r);
    EXPECT_EQ(response.sum(), 15000u);
    EXPECT_EQ(response.shift_attrs().at("BYN").cash_in(), 11000);
    return response.binary_doc();
  }();
  return bytes;
}

TEST(Rollback, AnnulsASignedSale) {
  const std::string& target = sale_document();
  ASSERT_EQ(target.size(), 116u + 3 * 80 + 256 + 64);
  pb::RollbackRequest r = rollback_of(target);
  drawer(*r.mutable_context()).set_income(15000);
  drawer(*r.mutable_context(), "USD").set_cash_in(40);
  merge(R"(attrs { count: 2 sum: 3000
      sections { key: '3' value { sum: 100 count: 1 quantity: 1000 } }
      taxes { key: '20' value { sum: 50 count: 1 } }
      payments { key: 'BYN' value { cash { sum: 5 count: 1 }
          card { values { sum: 7 count: 1 } groups { key: 'visa' value { sum: 7 count: 1 } } } } } })",
        r);
  const std::string expected = R"(count: 3 sum: 18000
      sections { key: '3' value { sum: 4900 count: 2 quantity: 3500 } }
      sections { key: '7' value { sum: 700 count: 1 quantity: 1000 } }
      _3party { values { sum: 15000 count: 1 }
                groups { key: '190000001' value { sum: 15000 count: 1 } } }
      marking { si { sum: 10500 count: 1 quantity: 1000 } ukz { sum: 700 count: 1 quantity: 1000 } }
      taxes { key: '20' value { sum: 50 count: 1 } }
      payments { key: 'BYN' value { cash { sum: 8005 count: 2 }
          card { values { sum: 5007 count: 2 } groups { key: 'visa' value { sum: 7 count: 1 } } }
          other { values { sum: 2000 count: 1 } } } })";

  const Call result = call(r);
  EXPECT_TRUE(result.stderr_text.empty());
  pb::RollbackResponse response;
  ASSERT_TRUE(parse(result.response, response));
  EXPECT_EQ(serialize(response), result.response);
  EXPECT_EQ(response.sum(), 15000u);
  EXPECT_TRUE(proto_eq(response.attrs(), expected));
  pb::Rollback doc = r.doc();
  doc.set_sum(15000);
  doc.set_target_number(kDocNumber);
  EXPECT_TRUE(proto_eq(response.doc(), doc.DebugString()));
  ASSERT_EQ(response.shift_attrs().size(), 2u);
  EXPECT_EQ(response.shift_attrs().at("BYN").cash_in(), 3000);
  EXPECT_EQ(response.shift_attrs().at("BYN").income(), 15000);
  EXPECT_EQ(response.shift_attrs().at("USD").cash_in(), 40);

  // The request's number, the sale's number, one line per sale line with
  // its marking codes, the sale's total.
  const std::string& bin = response.binary_doc();
  ASSERT_EQ(bin.size(), 60u + 3 * 51 + 256 + 64);
  EXPECT_EQ(bin[0], 14);
  EXPECT_EQ(bin[42], 0);   // line 1 flags
  EXPECT_EQ(bin[93], 1);   // line 2: si_code follows
  EXPECT_EQ(bin[400], 2);  // line 3: ukz_code follows
  converter::RollbackDoc want;
  want.header = {kDeviceId, "Иванов", kRollbackNumber, {2024, 1, 1, 15 * 3600}, "BYN"};
  want.target_number = kDocNumber;
  want.lines = {{std::nullopt, std::nullopt, "Молоко"},
                {kLongCode, std::nullopt, "Сигареты"},
                {std::nullopt, kShortCode, "Пиво"}};
  want.amount = 15000;
  EXPECT_EQ(decode_as<converter::RollbackDoc>(bin), want);
}

Tweak text(const std::string& t) {
  return [=](pb::RollbackRequest& r) { merge(t, r); };
}
Tweak flip(std::string* (pb::Rollback::*field)(), size_t at) {
  return [=](pb::RollbackRequest& r) { ((*r.mutable_doc()).*field)()->at(at) ^= 1; };
}
Tweak retarget(const std::string& target) {
  return [=](pb::RollbackRequest& r) {
    r.mutable_doc()->set_target(target);
    r.mutable_doc()->set_signature(sign(target));
  };
}

// Each row changes the rollback of the library's sale.
TEST(Rollback, RefusedTargetsAndChecks) {
  const std::string invalid = "tarv.core.receipt.rollback.invalid-target";
  const std::string sign_code = "tarv.core.receipt.rollback.target.sign";
  const std::string unreadable = "Rollback target deserialization error: ";
  const auto target = &pb::Rollback::mutable_target;
  const auto signature = &pb::Rollback::mutable_signature;
  auto deposit = envelope<pb::DepositRequest>();
  deposit.mutable_doc()->set_sum(15000);
  const std::string cut = sale_document().substr(0, sale_document().size() - 1);
  struct RefuseCase {
    std::string name;
    Tweak tweak;
    std::string code;  // empty: annulled
    std::string line = {};
  };
  const std::vector<RefuseCase> cases = {
      // The signature covers the target as received.
      {"target_cashier_byte", flip(target, 10), sign_code},
      {"target_reserved_tail_byte", flip(target, 675), sign_code},
      {"s0_first_byte", flip(signature, 0), sign_code},
      {"s1_last_byte", flip(signature, 47), sign_code},
      {"other_key", [](auto& r) { r.mutable_doc()->set_pub_key(public_key(key_bytes(2))); },
       sign_code},
      {"signature_47_bytes", [](auto& r) { r.mutable_doc()->mutable_signature()->pop_back(); },
       sign_code},
      {"key_with_trailing_zero", [](auto& r) { r.mutable_doc()->mutable_pub_key()->push_back(0); },
       ""},
      // What the target holds.
      {"deposit_target", retarget(succeed(deposit).binary_doc()), invalid},
      {"empty_target", retarget(""), invalid, unreadable + "Incomplete(NeedSize { bits: 8 })\n"},
      {"kind_9", [](auto& r) { (*r.mutable_doc()->mutable_target())[0] = 9; }, invalid,
       unreadable + "Parse(\"Could not match enum variant id = 9 on enum `TarvDocument`\")\n"},
      {"cut_in_reserved_tail", retarget(cut), invalid,
       unreadable + "Incomplete(NeedSize { bits: 240 })\n"},
      {"currency_differs", text("doc { header { currency: 'USD' } }"), invalid},
      {"currency_differs_bad_signature",
       [&](auto& r) {
         text("doc { header { currency: 'USD' } }")(r);
         flip(signature, 3)(r);
       },
       sign_code},
      // The header checks that apply, before the target is read.
      {"no_header_empty_target",
       [](auto& r) {
         r.mutable_doc()->clear_header();
         r.mutable_doc()->clear_target();
       },
       "tarv.core.receipt.header.missing"},
      {"shift_closed", text("context { shift_ctx { closed_at {} } }"),
       "tarv.core.receipt.shift.closed"},
      {"before_opening", text("doc { header { at { seconds: 1704103199 } } }"),
       "tarv.core.receipt.system.time"},
      {"after_24h", text("doc { header { at { seconds: 1704189601 } } }"),
       "tarv.core.receipt.shift.24h"},
      {"cashier_length_not_checked",
       text("doc { header { cashier: '" + std::string(40, 'x') + "' } }"), ""},
      {"currency_list_not_checked", [](auto& r) { r.mutable_context()->clear_currencies(); }, ""},
      // Cash position, then counters.
      {"drawer_short", [](auto& r) { drawer(*r.mutable_context()).set_cash_in(7999); },
       "tarv.core.attrs.cash-in.neg"},
      {"drawer_before_counters",
       [](auto& r) {
         r.mutable_context()->mutable_shift_ctx()->clear_attrs();
         r.mutable_attrs()->set_count(65535);
       },
       "tarv.core.attrs.cash-in.neg"},
      {"count_at_limit", text("attrs { count: 65535 }"), "tarv.core.attrs.count"},
      {"payments_at_limit",
       text("attrs { payments { key: 'BYN' value { cash { sum: 54975581388799 } } } }"),
       "tarv.core.attrs.sum"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pb::RollbackRequest r = rollback_of(sale_document());
    c.tweak(r);
    const Call result = call(r);
    EXPECT_EQ(result.stderr_text, c.line);
    if (c.code.empty()) {
      EXPECT_EQ(result.status, TARV_STATUS_OK);
    } else {
      EXPECT_TRUE(is_error(result, c.code));
    }
  }
}

// Targets written directly with the document writer and signed: figures the
// library's sales never carry.
TEST(Rollback, CraftedTargets) {
  auto sale_line = [](uint64_t cost, uint64_t discount, uint64_t markup) {
    const converter::PlainCode code{0, "123"};
    return converter::SaleItem{0, code, "Товар", 1000, cost, discount, markup};
  };
  struct CraftCase {
    std::string name;
    std::vector<converter::SaleItem> items = {};
    uint64_t total = 0, cashless = 0, cash = 0, other = 0;
    // The hundredths byte of `total` (67) or `cash` (79) of a sale without
    // items, set to 0xFF after encoding.
    std::optional<size_t> hundredths_ff = std::nullopt;
    std::string code = {};  // empty: annulled
  };
  const std::string invalid = "tarv.core.receipt.rollback.invalid-target";
  const std::vector<CraftCase> cases = {
      {.name = "discount_above_line",
       .items = {sale_line(100, 0, 0), sale_line(100, 106, 5)},
       .code = invalid},
      {.name = "discount_equal_to_line", .items = {sale_line(100, 105, 5)}},
      {.name = "line_above_largest_sum", .items = {sale_line(kMaxSum, 0, 1)}, .code = invalid},
      {.name = "line_at_largest_sum", .items = {sale_line(kMaxSum - 1, 0, 1)}},
      {.name = "other_above_cashless", .cashless = 100, .other = 101, .code = invalid},
      {.name = "nothing_paid"},
      {.name = "paid_by_card", .total = 500, .cashless = 500},
      {.name = "paid_three_ways", .total = 1500, .cashless = 700, .cash = 800, .other = 200},
      {.name = "cash_past_amount_field",
       .cash = kMaxAmount,
       .hundredths_ff = 79,
       .code = "tarv.core.receipt.payments.arithmetic.overflow"},
      {.name = "total_past_amount_field",
       .total = kMaxAmount,
       .hundredths_ff = 67,
       .code = "tarv.core.receipt.encoding"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    converter::SaleDoc sale;
    sale.header = {kDeviceId, "Петров", 300, {2024, 1, 1, 13 * 3600}, "BYN"};
    sale.items = c.items;
    std::tie(sale.total, sale.cashless, sale.cash, sale.other) =
        std::tie(c.total, c.cashless, c.cash, c.other);
    auto encoded = converter::encode(sale);
    ASSERT_TRUE(encoded.has_value());
    if (c.hundredths_ff) (*encoded)[*c.hundredths_ff] = 0xFF;
    pb::RollbackRequest r = rollback_of(as_string(*encoded));
    drawer(*r.mutable_context()).set_cash_in(1000);
    if (!c.code.empty()) {
      EXPECT_TRUE(fails_with(r, c.code));
      continue;
    }
    const pb::RollbackResponse response = succeed(r);
    EXPECT_EQ(response.attrs().sum(), c.total);
    EXPECT_EQ(response.shift_attrs().at("BYN").cash_in(), 1000 - static_cast<int64_t>(c.cash));
    // All three payment cells, each with count 1, even at sum 0.
    const std::string paid =
        "cash { sum: " + std::to_string(c.cash) +
        " count: 1 } card { values { sum: " + std::to_string(c.cashless - c.other) +
        " count: 1 } } other { values { sum: " + std::to_string(c.other) + " count: 1 } }";
    EXPECT_TRUE(proto_eq(response.attrs().payments().at("BYN"), paid));
    EXPECT_EQ(response.binary_doc().size(), 60u + 51 * c.items.size());
  }
}

}  // namespace
}  // namespace tarv::testing
