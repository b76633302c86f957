// The line procedure through the sale export: sums and their rounding, the
// limits, modifiers, text cuts, sections, every code form and marking rule as
// the binary document writes it, and the VAT of a line.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/core/receipt.h"
#include "tests/support/hex.h"

namespace tarv::testing {
namespace {

const std::string kSum = "tarv.core.receipt.sum.overflow";
const std::string kArith = "tarv.core.receipt.items.arithmetic.overflow";
const std::string kCodeLen = "tarv.core.receipt.item.code.len";
const std::string kCodeChars = "tarv.core.receipt.item.code.chars";
const std::string kMultiple = "tarv.core.receipt.item.code.multiple-assignments";
const std::string kCount = "tarv.core.receipt.item.marking.codes.count";
const std::string kMarkLen = "tarv.core.receipt.item.marking.code.length";
const std::string kNoGtin = "tarv.core.receipt.item.marking.gtin.missing";
const std::string kMarkQty = "tarv.core.receipt.item.quantity.marking";
const std::string kRate = "tarv.core.receipt.items.taxrate.unknown";

// Sells one line, paid in cash with a sum that covers any line; the drawer
// holds the change.
pb::SaleRequest sell(pb::Item it) {
  return sale_of({std::move(it)}, {pay(kCash, kMaxSum)}, static_cast<int64_t>(kMaxSum));
}

pb::Item with(pb::Item it, std::optional<uint64_t> discount, std::optional<uint64_t> markup = {}) {
  if (discount) *it.mutable_discount() = modifier(*discount);
  if (markup) *it.mutable_markup() = modifier(*markup);
  return it;
}

struct SumCase {
  std::string name;
  pb::Item item;
  std::string error;  // empty: accepted with `base` and `total`
  uint64_t base = 0;
  uint64_t total = 0;
};

TEST(ItemLine, SumsRoundingAndLimits) {
  const auto goods = [](uint64_t price, uint32_t quantity) {
    return item("Гвозди", price, quantity);
  };
  const std::vector<SumCase> cases = {
      {"3 x 0.500 rounds half up", goods(3, 500), "", 2, 2},
      {"3 x 0.499 rounds down", goods(3, 499), "", 1, 1},
      {"1 x 1.499: hundreds digit 4", goods(1, 1499), "", 1, 1},
      {"1 x 0.001 is worth nothing", goods(1, 1), "", 0, 0},
      {"price 0", goods(0, 1000), "", 0, 0},
      {"price at MAX_SUM", goods(kMaxSum, 1000), "", kMaxSum, kMaxSum},
      {"price above MAX_SUM", goods(kMaxSum + 1, 1000), kSum},
      {"product rounding down to MAX_SUM", goods(29572663468961, 1859), "", kMaxSum, kMaxSum},
      {"product rounding up past MAX_SUM", goods(31577014008500, 1741), kSum},
      {"product in 64 bits, base too large", goods(1099511758848, kMaxQuantity), kSum},
      {"product past 64 bits", goods(1099511758849, kMaxQuantity), kArith},
      {"quantity at MAX_QUANTITY", goods(1, kMaxQuantity), "", 16777, 16777},
      {"quantity above MAX_QUANTITY", goods(1, kMaxQuantity + 1),
       "tarv.core.receipt.items.quantity.overflow"},
      {"quantity 0", goods(1, 0), "tarv.core.receipt.items.quantity.zero"},
      {"empty name", item("", 100, 1000), "tarv.core.receipt.items.name.empty"},
      {"name checked before price", item("", kMaxSum + 1, 0), "tarv.core.receipt.items.name.empty"},
      {"price checked before quantity", goods(kMaxSum + 1, 0), kSum},
      {"spaces are a name", item("   ", 100, 1000), "", 100, 100},
      {"discount of the whole base", with(goods(1000, 1000), 1000), "", 1000, 0},
      {"discount above base", with(goods(1000, 1000), 1001), kArith},
      {"markup lets the discount pass", with(goods(1000, 1000), 1001, 1), "", 1000, 0},
      {"markup", with(goods(1000, 1000), {}, 5), "", 1000, 1005},
      {"discount above MAX_SUM is a sum error", with(goods(1000, 1000), kMaxSum + 1), kSum},
      {"markup above MAX_SUM", with(goods(1000, 1000), {}, kMaxSum + 1), kSum},
      {"quantity checked before modifiers", with(goods(1000, 0), kMaxSum + 1),
       "tarv.core.receipt.items.quantity.zero"},
      {"modifiers checked before the product",
       with(goods(1099511758849, kMaxQuantity), kMaxSum + 1), kSum},
      {"total above MAX_SUM", with(goods(kMaxSum, 1000), {}, 1), kSum},
      {"total back at MAX_SUM", with(goods(kMaxSum, 1000), 1, 1), "", kMaxSum, kMaxSum},
      {"total checked before the code",
       [&] {
         pb::Item it = with(goods(10, 1000), 11);
         it.mutable_code()->set_code_a("x");
         return it;
       }(),
       kArith},
  };
  for (const SumCase& c : cases) {
    SCOPED_TRACE(c.name);
    pb::SaleRequest request = sell(c.item);
    if (!c.error.empty()) {
      EXPECT_TRUE(fails_with(request, c.error));
      continue;
    }
    pb::SaleResponse r = succeed(request);
    const uint64_t discount = c.item.discount().modifier(), markup = c.item.markup().modifier();
    EXPECT_TRUE(proto_eq(r.doc().items(0).calculations(),
                         "sum: " + std::to_string(c.total) + " discount: " +
                             std::to_string(discount) + " markup: " + std::to_string(markup)));
    EXPECT_EQ(r.sum(), c.total);
    auto doc = decode_as<cv::SaleDoc>(r.binary_doc());
    ASSERT_EQ(doc.items.size(), 1u);
    EXPECT_EQ(doc.items[0].cost, c.base);
    EXPECT_EQ(doc.items[0].discount, discount);
    EXPECT_EQ(doc.items[0].markup, markup);
    EXPECT_EQ(doc.items_sum, c.total);
  }
}

// Item names are cut to 64 characters (not bytes) before anything sees them;
// the document's 50-byte windows-1251 field cuts again.
TEST(ItemLine, NameCutInCharacters) {
  struct Case {
    std::string name, kept, written;
  };
  const std::string ref = "&#128512;";  // U+1F600 has no windows-1251 form
  const std::vector<Case> cases = {
      {repeat("Ж", 64), repeat("Ж", 64), repeat("Ж", 50)},
      {repeat("Ж", 70), repeat("Ж", 64), repeat("Ж", 50)},
      {repeat("a", 10) + repeat("Ё", 60), repeat("a", 10) + repeat("Ё", 54),
       repeat("a", 10) + repeat("Ё", 40)},
      {repeat("😀", 65), repeat("😀", 64), repeat(ref, 5) + "&#128"},
      {"Сыр «Гауда» 45%", "Сыр «Гауда» 45%", "Сыр «Гауда» 45%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pb::SaleResponse r = succeed(sell(item(c.name, 100, 1000)));
    EXPECT_EQ(r.doc().items(0).name(), c.kept);
    EXPECT_EQ(decode_as<cv::SaleDoc>(r.binary_doc()).items.at(0).name, c.written);
  }

  // Every line keeps its own name, in the response and in the document.
  const std::vector<std::string> names = {"Хлеб", repeat("Ж", 70), "Соль"};
  pb::SaleResponse r = succeed(
      sale_of({item(names[0], 100, 1000), item(names[1], 100, 1000), item(names[2], 100, 1000)},
              {pay(kCash, kMaxSum)}, static_cast<int64_t>(kMaxSum)));
  const auto doc = decode_as<cv::SaleDoc>(r.binary_doc());
  EXPECT_EQ(r.doc().items(0).name(), names[0]);
  EXPECT_EQ(r.doc().items(1).name(), repeat("Ж", 64));
  EXPECT_EQ(r.doc().items(2).name(), names[2]);
  EXPECT_EQ(doc.items.at(1).name, repeat("Ж", 50));
  EXPECT_EQ(doc.items.at(2).name, names[2]);
}

// Modifier names (48), groups (36) and section names (32) are cut in the
// returned document, and the cut group is the counter key.
TEST(ItemLine, ModifierAndSectionCuts) {
  pb::Item it = item("Торт", 5000, 1000);
  *it.mutable_discount() = modifier(100, repeat("Г", 40), repeat("Н", 50));
  *it.mutable_markup() = modifier(30, repeat("g", 36), repeat("n", 48));
  it.mutable_section()->set_code(7);
  it.mutable_section()->set_name(repeat("С", 33));
  pb::SaleResponse r = succeed(sell(it));
  const pb::Item& out = r.doc().items(0);
  EXPECT_EQ(out.discount().group(), repeat("Г", 36));
  EXPECT_EQ(out.discount().name(), repeat("Н", 48));
  EXPECT_EQ(out.markup().group(), repeat("g", 36));
  EXPECT_EQ(out.markup().name(), repeat("n", 48));
  EXPECT_EQ(out.section().name(), repeat("С", 32));
  EXPECT_TRUE(proto_eq(r.attrs().items_modifiers(), "discounts { key: '" + repeat("Г", 36) +
                                                        "' value { sum: 100 count: 1 } } "
                                                        "markups { key: '" +
                                                        repeat("g", 36) +
                                                        "' value { sum: 30 count: 1 } }"));
}

// Section codes 1..255 are kept; any other code drops the section silently.
TEST(ItemLine, Sections) {
  struct Case {
    std::optional<uint32_t> code;
    uint8_t written;  // 0: no section
  };
  for (const Case& c :
       std::vector<Case>{{{}, 0}, {0, 0}, {1, 1}, {255, 255}, {256, 0}, {70000, 0}}) {
    SCOPED_TRACE(c.code.value_or(9999));
    pb::Item it = item("Хлеб", 150, 2000);
    if (c.code) {
      it.mutable_section()->set_code(*c.code);
      it.mutable_section()->set_name("Отдел");
    }
    pb::SaleResponse r = succeed(sell(it));
    EXPECT_EQ(r.doc().items(0).has_section(), c.written != 0);
    EXPECT_EQ(decode_as<cv::SaleDoc>(r.binary_doc()).items.at(0).section, c.written);
    const std::string cells = c.written ? "key: '" + std::to_string(c.written) +
                                              "' value { sum: 300 count: 1 quantity: 2000 }"
                                        : "";
    EXPECT_TRUE(
        proto_eq(r.attrs(), "count: 1 sum: 300 items_modifiers {} " +
                                (cells.empty() ? "" : "sections { " + cells + " } ") +
                                "payments { key: 'BYN' value { cash { sum: 300 count: 1 } } }"));
  }
}

struct CodeCase {
  std::string name;
  std::optional<pb::ItemCode> code;
  std::string error;           // empty: accepted
  cv::CodeBlock written = {};  // as the document reads back
  char marking = '-';          // 's': counted under si, 'u': under ukz
  uint32_t quantity = 1000;
};

pb::ItemCode plain(void (pb::ItemCode::*set)(const std::string&), const std::string& text) {
  pb::ItemCode code;
  (code.*set)(text);
  return code;
}

TEST(ItemCode, FormsAndMarkingRules) {
  const std::string g14 = "14810000000010", g13 = "4810000000013";
  const std::string l100 = "01" + g14 + "21" + repeat("L", 82), s30 = repeat("S", 30);
  const auto x = [](size_t n) { return repeat("X", n); };
  const auto y = [](size_t n) { return repeat("Y", n); };
  const auto code_a = [](const std::string& t) { return plain(&pb::ItemCode::set_code_a, t); };
  const auto code_c = [](const std::string& t) { return plain(&pb::ItemCode::set_code_c, t); };
  const auto code_d = [](const std::string& t) { return plain(&pb::ItemCode::set_code_d, t); };
  const auto gtin = [](const std::string& t) { return plain(&pb::ItemCode::set_gtin, t); };
  using cv::GtinCode, cv::MarkedCode, cv::PlainCode;
  const PlainCode none{0, "0"};  // no digits read back as the number 0
  const std::vector<CodeCase> cases = {
      {"no code", {}, "", none},
      {"code without a member", pb::ItemCode(), "", none},
      {"code_a of 13 digits", code_a("1234567890123"), "", PlainCode{0, "1234567890123"}},
      {"code_a leading zeros", code_a("0000000000042"), "", PlainCode{0, "42"}},
      {"code_a empty", code_a(""), "", none},
      {"code_a of 14 digits", code_a("12345678901234"), kCodeLen},
      {"code_a with a letter", code_a("12A4"), kCodeChars},
      {"code_a with a full-width digit", code_a("12３"), kCodeChars},
      {"characters checked before length", code_a("1234567890123 "), kCodeChars},
      {"code_c", code_c("2000347"), "", PlainCode{3, "2000347"}},
      {"code_d", code_d("77"), "", PlainCode{4, "77"}},
      {"code_d of 14 digits", code_d("12345678901234"), kCodeLen},
      {"gtin of 13 digits", gtin(g13), "", PlainCode{1, g13}},
      {"gtin of 14 digits", gtin(g14), "", GtinCode{{}, {}, g14}},
      {"gtin of 14 digits, two pieces", gtin(g14), "", GtinCode{{}, {}, g14}, '-', 2000},
      {"gtin of 15 digits", gtin(g14 + "0"), kCodeLen},
      {"gtin with a dash", gtin("4810-00"), kCodeChars},
      {"empty scan list", scans({}), "", none},
      {"scans without a member", scans({{'-', ""}, {'-', ""}}), "", none},
      {"lone gtin scan of 13", scans({{'g', g13}}), "", PlainCode{1, g13}},
      {"lone gtin scan of 14", scans({{'-', ""}, {'g', g14}}), "", GtinCode{{}, {}, g14}},
      {"two gtin scans", scans({{'g', g14}, {'g', g14}}), kMultiple},
      {"two mark_a", scans({{'a', l100}, {'g', g14}, {'a', l100}}), kMultiple},
      {"two mark_b", scans({{'b', s30}, {'b', s30}, {'g', g14}}), kMultiple},
      {"collection before count", scans({{'c', s30}, {'c', s30}, {'a', l100}, {'a', l100}}),
       kMultiple},
      {"mark_a", scans({{'a', l100}, {'g', g14}}), "", MarkedCode{l100, {}, g14}, 's'},
      {"mark_a and mark_c", scans({{'c', s30}, {'a', l100}, {'g', g14}}), "",
       MarkedCode{l100, s30, g14}, 's'},
      {"mark_a and mark_b", scans({{'g', g14}, {'b', s30}, {'a', l100}}), "",
       GtinCode{l100, s30, g14}, 's'},
      {"mark_b", scans({{'b', s30}, {'g', g14}}), "", GtinCode{{}, s30, g14}, 'u'},
      {"mark_b with a 13-digit gtin", scans({{'b', s30}, {'g', g13}}), "", GtinCode{{}, s30, g13},
       'u'},
      {"mark_b and mark_c", scans({{'c', l100}, {'b', s30}, {'g', g14}}), "",
       GtinCode{l100, s30, g14}, 's'},
      {"one mark_c", scans({{'c', s30}, {'g', g14}}), "", MarkedCode{s30, {}, g14}, 's'},
      {"mark_c 100 then 30", scans({{'c', x(100)}, {'c', y(30)}, {'g', g14}}), "",
       MarkedCode{x(100), y(30), g14}, 's'},
      {"mark_c 30 then 100", scans({{'c', x(30)}, {'c', y(100)}, {'g', g14}}), "",
       MarkedCode{y(100), x(30), g14}, 's'},
      {"mark_c 64 and 64: the last is long", scans({{'c', x(64)}, {'c', y(64)}, {'g', g14}}), "",
       MarkedCode{y(64), x(64), g14}, 's'},
      {"mark_c 65 then 64", scans({{'c', x(65)}, {'c', y(64)}, {'g', g14}}), "",
       MarkedCode{x(65), y(64), g14}, 's'},
      {"mark_c 64 then 65", scans({{'c', x(64)}, {'c', y(65)}, {'g', g14}}), "",
       MarkedCode{y(65), x(64), g14}, 's'},
      {"two mark_c over 64", scans({{'c', x(65)}, {'c', y(65)}, {'g', g14}}), kMarkLen},
      {"long code of 256", scans({{'a', x(256)}, {'g', g14}}), "", MarkedCode{x(256), {}, g14},
       's'},
      {"long code of 257", scans({{'a', x(257)}, {'g', g14}}), kMarkLen},
      {"long code of 256 bytes", scans({{'a', repeat("Ж", 128)}, {'g', g14}}), "",
       MarkedCode{repeat("Ж", 128), {}, g14}, 's'},
      {"long code past its 256-byte field", scans({{'a', repeat("Ж", 129)}, {'g', g14}}), kMarkLen},
      {"short code past its 64-byte field", scans({{'b', repeat("Ж", 33)}, {'g', g14}}), kMarkLen},
      {"short code of 64", scans({{'b', y(64)}, {'g', g14}}), "", GtinCode{{}, y(64), g14}, 'u'},
      {"short code of 65", scans({{'b', y(65)}, {'g', g14}}), kMarkLen},
      {"three mark_c", scans({{'c', s30}, {'c', s30}, {'c', s30}, {'g', g14}}), kCount},
      {"mark_a, mark_b and mark_c", scans({{'a', l100}, {'b', s30}, {'c', s30}, {'g', g14}}),
       kCount},
      {"count before length", scans({{'c', x(300)}, {'c', x(300)}, {'c', x(300)}}), kCount},
      {"marking without gtin", scans({{'c', s30}}), kNoGtin},
      {"length before gtin", scans({{'c', x(300)}}), kMarkLen},
      {"gtin scan with a letter", scans({{'c', s30}, {'g', "48100O"}}), kCodeChars},
      {"gtin scan of 15 digits", scans({{'c', s30}, {'g', g14 + "1"}}), kCodeLen},
      {"marked line of two pieces", scans({{'c', s30}, {'g', g14}}), kMarkQty, {}, '-', 2000},
      {"short code alone is marking", scans({{'b', s30}, {'g', g14}}), kMarkQty, {}, '-', 500},
      {"code checked before marked quantity",
       scans({{'c', x(300)}, {'g', g14}}),
       kMarkLen,
       {},
       '-',
       2000},
  };
  for (const CodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    pb::Item it = item("Товар", 100, c.quantity);
    if (c.code) *it.mutable_code() = *c.code;
    pb::SaleRequest request = sell(it);
    if (!c.error.empty()) {
      EXPECT_TRUE(fails_with(request, c.error));
      continue;
    }
    pb::SaleResponse r = succeed(request);
    auto doc = decode_as<cv::SaleDoc>(r.binary_doc());
    ASSERT_EQ(doc.items.size(), 1u);
    EXPECT_EQ(doc.items[0].code, c.written);
    // 80 bytes per plain line, 256 more with si_code and 64 with ukz_code.
    const auto* gtin_form = std::get_if<GtinCode>(&c.written);
    const auto* marked = std::get_if<MarkedCode>(&c.written);
    const bool si = marked || (gtin_form && gtin_form->si_code);
    const bool ukz = (marked && marked->ukz_code) || (gtin_form && gtin_form->ukz_code);
    EXPECT_EQ(r.binary_doc().size(), 196u + (si ? 256 : 0) + (ukz ? 64 : 0));
    EXPECT_EQ(r.doc().items(0).calculations().has_marking(), c.marking != '-');
    const uint64_t sum = c.quantity / 10;
    const std::string cell = "{ sum: " + std::to_string(sum) + " count: 1 quantity: 1000 }";
    EXPECT_TRUE(proto_eq(r.attrs().marking(), c.marking == 's'   ? "si " + cell
                                              : c.marking == 'u' ? "ukz " + cell
                                                                 : ""));
    EXPECT_EQ(r.attrs().has_marking(), c.marking != '-');
  }
}

// The code block as bytes, for the three forms: flag nibbles, the marking
// fields and the right-aligned digits.
TEST(ItemCode, BlockBytes) {
  const std::string g14 = "04810000000013";
  auto block = [](const pb::ItemCode& code) {
    pb::Item it = item("Товар", 100, 1000);
    *it.mutable_code() = code;
    std::string doc = succeed(sell(it)).binary_doc();
    return doc.substr(1 + 37 + 2 + 1, doc.size() - 116 - 1 - 50 - 3 - 18);
  };
  pb::ItemCode code_c;
  code_c.set_code_c("12345");
  EXPECT_EQ(to_hex(block(code_c)), "0030000000012345");
  pb::ItemCode gtin;
  gtin.set_gtin(g14);
  EXPECT_EQ(to_hex(block(gtin)), "1004810000000013");
  // Two short mark_c: the last scanned is the long code.
  const std::string si = block(scans({{'c', "FIRST"}, {'c', "LAST"}, {'g', g14}}));
  ASSERT_EQ(si.size(), 8u + 256 + 64);
  EXPECT_EQ(to_hex(si.substr(0, 1)), "1c");
  EXPECT_EQ(si.substr(1, 256), "LAST" + std::string(252, '\0'));
  EXPECT_EQ(si.substr(257, 64), "FIRST" + std::string(59, '\0'));
  EXPECT_EQ(to_hex(si.substr(321)), "04810000000013");
  const std::string ukz = block(scans({{'b', "UKZ"}, {'g', "4810000000013"}}));
  ASSERT_EQ(ukz.size(), 8u + 64);
  EXPECT_EQ(to_hex(ukz.substr(0, 1)), "02");
  EXPECT_EQ(ukz.substr(1, 64), "UKZ" + std::string(61, '\0'));
  EXPECT_EQ(to_hex(ukz.substr(65)), "14810000000013");
}

struct VatCase {
  std::string name;
  uint64_t price;
  uint32_t quantity;
  std::optional<uint32_t> rate;
  std::optional<uint64_t> tax1;
  uint64_t vat = 0;
  uint64_t discount = 0;
  std::string error = "";
};

TEST(ItemVat, UnitAndLineVat) {
  const std::vector<VatCase> cases = {
      {"1200 over two pieces at 20%", 600, 2000, 20, 100, 200},
      {"1000 at 20%", 1000, 1000, 20, 167, 167},
      {"unit price after the discount", 400, 3000, 20, 56, 167, 200},          // unit 333, 55.5
      {"unit price rounds half up", 200, 6000, 20, 28, 167, 200},              // unit 166.6 -> 167
      {"unit price of exactly a half rounds up", 603, 2000, 20, 101, 201, 1},  // 602.5 -> 603
      {"unit price just under a half rounds down", 603, 2500, 20, 100, 251, 2},  // 602.4 -> 602
      {"a half rounds away from zero", 3, 1000, 20, 1, 1},
      {"one and a half", 9, 1000, 20, 2, 2},
      {"10%", 1100, 1000, 10, 100, 100},
      {"25%", 1250, 1000, 25, 250, 250},
      {"total 0 at 20%", 0, 1000, 20, 0, 0},
      {"rate 0 has no tax1", 1000, 1000, 0, {}, 0},
      {"no rate", 1000, 1000, {}, {}, 0},
      {"rate 18", 1000, 1000, 18, {}, 0, 0, kRate},
      {"rate 100", 1000, 1000, 100, {}, 0, 0, kRate},
  };
  for (const VatCase& c : cases) {
    SCOPED_TRACE(c.name);
    pb::Item it = with(item("Товар", c.price, c.quantity), c.discount);
    if (c.rate) it.set_tax_rate(*c.rate);
    pb::SaleRequest request = sell(it);
    if (!c.error.empty()) {
      EXPECT_TRUE(fails_with(request, c.error));
      continue;
    }
    pb::SaleResponse r = succeed(request);
    const pb::ItemCalculations& calc = r.doc().items(0).calculations();
    EXPECT_EQ(calc.has_tax1(), c.tax1.has_value());
    EXPECT_EQ(calc.tax1(), c.tax1.value_or(0));
    const std::string key = c.rate ? std::to_string(*c.rate) : "";
    const auto& taxes = r.doc().calculations().taxes();
    ASSERT_EQ(taxes.size(), c.rate ? 1u : 0u);
    ASSERT_EQ(r.attrs().taxes().size(), c.rate ? 1u : 0u);
    if (c.rate) {
      EXPECT_EQ(taxes.at(key), c.vat);
      EXPECT_TRUE(
          proto_eq(r.attrs().taxes().at(key), "sum: " + std::to_string(c.vat) + " count: 1"));
    }
  }
}

// A marked line with a bad quantity and a bad rate reports the quantity: the
// rate is the line's last check.
TEST(ItemVat, RateCheckedAfterMarking) {
  pb::Item it = item("Водка", 1000, 2000);
  *it.mutable_code() = scans({{'c', "0104"}, {'g', "04810000000013"}});
  it.set_tax_rate(18);
  EXPECT_TRUE(fails_with(sell(it), kMarkQty));
  it.set_quantity(1000);
  EXPECT_TRUE(fails_with(sell(it), kRate));
}

}  // namespace
}  // namespace tarv::testing
