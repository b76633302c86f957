// Shift counters: cell addition and its limit classes, the merges, and the
// delta builders the receipt calculators use.
#include "src/counters/counters.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "src/counters/cash_position.h"
#include "tests/core/bytes.h"
#include "tests/support/fixtures.h"

namespace tarv::counters {
namespace {

using ::tarv::testing::ByteVec;
using ::tarv::testing::cat;
using ::tarv::testing::ld;
using ::tarv::testing::vi;
using DA = msg::DocumentAttributes;
using Values = std::tuple<int64_t, int64_t, int64_t>;

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kLimit = ::tarv::testing::kMaxCounter;
const std::string kSum = "tarv.core.attrs.sum";
const std::string kCount = "tarv.core.attrs.count";
const std::string kQuantity = "tarv.core.attrs.quantity";
const std::string kNegative = "tarv.core.attrs.cash-in.neg";

template <class T>
std::string code(const CalcResult<T>& r) {
  return r ? "" : std::string(describe(r.error()).code);
}
Values values(const Cell& c) { return {c.sum, c.count, c.quantity}; }
template <class T>
T& make(std::optional<T>& o) {
  return o ? *o : o.emplace();
}

struct CellCase {
  std::string name;
  Cell start, delta;
  CellClass cls;
  std::string code;  // empty: added
  Values expected{};
};

TEST(Counters, CellAddition) {
  const auto B = CellClass::kBounded, W = CellClass::kWideCount, O = CellClass::kOpen;
  const std::vector<CellCase> cases = {
      // Signed overflow: sum, then count, then quantity; before any limit.
      {"all_overflow", {kMax, kMax, kMax}, {1, 1, 1}, O, kSum},
      {"count_and_quantity_overflow", {0, kMax, kMax}, {0, 1, 1}, O, kCount},
      {"quantity_overflow", {0, 0, kMax}, {0, 0, 1}, O, kQuantity},
      {"sum_underflow", {kMin, 0, 0}, {-1, 0, 0}, O, kSum},
      {"count_overflow_before_sum_limit", {kLimit, kMax, 0}, {1, 1, 0}, B, kCount},
      {"quantity_overflow_before_sum_limit", {kLimit, 0, kMax}, {1, 0, 1}, B, kQuantity},
      // Bounded: sum ≤ 54975581388799, count ≤ 65535, quantity free.
      {"bounded_to_sum_limit", {kLimit - 1, 0, 0}, {1, 1, 0}, B, "", {kLimit, 1, 0}},
      {"bounded_past_sum_limit", {kLimit, 0, 0}, {1, 0, 0}, B, kSum},
      {"bounded_zero_at_sum_limit", {kLimit, 5, 0}, {0, 1, 0}, B, "", {kLimit, 6, 0}},
      {"bounded_count_65535", {0, 65534, 0}, {0, 1, 0}, B, "", {0, 65535, 0}},
      {"bounded_count_65536", {0, 65535, 0}, {0, 1, 0}, B, kCount},
      {"bounded_sum_beats_count", {kLimit, 65535, 0}, {1, 1, 0}, B, kSum},
      {"bounded_negative_sum", {-kLimit * 100, 0, 0}, {5, 1, 0}, B, "", {5 - kLimit * 100, 1, 0}},
      {"bounded_quantity_free", {0, 0, kMax - 1}, {0, 0, 1}, B, "", {0, 0, kMax}},
      // Wide count: same sum limit, count ≤ 16777215.
      {"wide_count_65536", {0, 65535, 0}, {0, 1, 0}, W, "", {0, 65536, 0}},
      {"wide_count_16777215", {0, 16777214, 0}, {0, 1, 0}, W, "", {0, 16777215, 0}},
      {"wide_count_16777216", {0, 16777215, 0}, {0, 1, 0}, W, kCount},
      {"wide_past_sum_limit", {kLimit, 0, 0}, {1, 0, 0}, W, kSum},
      // Open: only overflow.
      {"open_past_both_limits", {kLimit, 16777215, 0}, {1, 1, 0}, O, "", {kLimit + 1, 16777216, 0}},
      {"open_to_int64_max", {kMax - 1, 0, 0}, {1, 0, 0}, O, "", {kMax, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Cell cell = c.start;
    auto r = add_cell(cell, c.delta, c.cls);
    EXPECT_EQ(code(r), c.code);
    if (r) {
      EXPECT_EQ(values(cell), c.expected);
    }
  }
  std::optional<Cell> absent;
  ASSERT_TRUE(add_cell(absent, Cell{5, 1, 0}, CellClass::kBounded));
  ASSERT_TRUE(absent.has_value());
  EXPECT_EQ(values(*absent), (Values{5, 1, 0}));
}

// A cash position as a request's shift context carries it, in `request`.
msg::UpdatedMap<msg::GeneralAttributes> position(
    ByteVec& request, const std::vector<std::pair<std::string, msg::GeneralAttributes>>& entries) {
  for (const auto& [currency, value] : entries) {
    const ByteVec cells = cat(
        {vi(1, static_cast<uint64_t>(value.cash_in)), vi(2, static_cast<uint64_t>(value.income))});
    request = cat({request, ld(3, cat({ld(1, currency), ld(2, cells)}))});
  }
  msg::ShiftContext shift;
  wire::DecodeError error;
  EXPECT_TRUE(wire::decode(request.data(), request.size(), shift, error));
  return msg::UpdatedMap<msg::GeneralAttributes>(std::move(shift.attrs));
}

TEST(Counters, MergeGeneral) {
  struct Case {
    std::string name;
    msg::GeneralAttributes start;
    CashDelta delta;
    std::string code;
    msg::GeneralAttributes expected{};
  };
  const std::vector<Case> cases = {
      {"to_zero", {5, 0}, {"BYN", -5, 0}, "", {0, 0}},
      {"below_zero", {5, 0}, {"BYN", -6, 0}, kNegative},
      {"negative_from_host_unchanged", {-1, 0}, {"BYN", 0, 5}, kNegative},
      {"income_may_go_negative", {0, 0}, {"BYN", 0, -10}, "", {0, -10}},
      {"cash_in_overflow", {kMax, 0}, {"BYN", 1, 0}, kSum},
      {"cash_in_underflow", {kMin, 0}, {"BYN", -1, 0}, kSum},
      {"income_overflow_before_negative_cash", {0, kMax}, {"BYN", -1, 1}, kSum},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ByteVec request;
    auto r = merge_general(position(request, {{"BYN", c.start}, {"USD", {7, 8}}}), c.delta);
    ASSERT_EQ(code(r), c.code);
    if (!r) continue;
    EXPECT_EQ(r->find("BYN")->cash_in, c.expected.cash_in);
    EXPECT_EQ(r->find("BYN")->income, c.expected.income);
    EXPECT_EQ(r->find("USD")->cash_in, 7);
  }
  ByteVec request;
  auto r = merge_general(position(request, {{"BYN", {100, 50}}}), CashDelta{"RUB", 30, 4});
  ASSERT_TRUE(r);
  std::vector<std::string> keys;
  r->for_each([&](const std::string& key, const msg::GeneralAttributes&) {
    keys.push_back(key);
    return true;
  });
  EXPECT_EQ(keys, (std::vector<std::string>{"BYN", "RUB"}));
  EXPECT_EQ(r->find("RUB")->cash_in, 30);
  EXPECT_EQ(r->find("RUB")->income, 4);
  EXPECT_EQ(r->find("BYN")->cash_in, 100);
}

TEST(Counters, DocumentTotals) {
  struct Case {
    std::string name;
    uint64_t sum, add_sum;
    uint32_t count, add_count;
    std::string code;
  };
  const uint64_t u64 = std::numeric_limits<uint64_t>::max();
  const uint32_t u32 = std::numeric_limits<uint32_t>::max();
  const uint64_t limit = kLimit;
  const std::vector<Case> cases = {
      {"sum_wraps", u64, 1, 0, 1, kSum},
      {"sum_wrap_before_count_wrap", u64, 1, u32, 1, kSum},
      {"count_wrap_before_sum_limit", limit + 1, 0, u32, 1, kCount},
      {"sum_limit_before_count_limit", limit, 1, 65535, 1, kSum},
      {"at_both_limits", limit - 10, 10, 65534, 1, ""},
      {"count_past_limit", 0, 1, 65535, 1, kCount},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DA current, delta;
    current.sum = c.sum;
    current.count = c.count;
    delta.sum = c.add_sum;
    delta.count = c.add_count;
    auto r = merge_document_attributes(current, DA(delta));
    EXPECT_EQ(code(r), c.code);
    if (r) {
      EXPECT_EQ(r->sum, c.sum + c.add_sum);
    }
  }
}

// Where each cell of DocumentAttributes lives (created on the way).
using Loc = std::function<Cell&(DA&)>;
struct Place {
  std::string name;
  Loc loc;
  CellClass cls;
};
const std::vector<Place>& places() {
  static const std::vector<Place> kPlaces = {
      {"sections", [](DA& d) -> Cell& { return d.sections.update("1"); }, CellClass::kOpen},
      {"3party.values", [](DA& d) -> Cell& { return make(make(d._3party).values); },
       CellClass::kBounded},
      {"3party.groups", [](DA& d) -> Cell& { return make(d._3party).groups.update("123456789"); },
       CellClass::kBounded},
      {"marking.si", [](DA& d) -> Cell& { return make(make(d.marking).si); },
       CellClass::kWideCount},
      {"marking.ukz", [](DA& d) -> Cell& { return make(make(d.marking).ukz); },
       CellClass::kWideCount},
      {"items_modifiers.discounts",
       [](DA& d) -> Cell& { return make(d.items_modifiers).discounts.update("g"); },
       CellClass::kOpen},
      {"items_modifiers.markups",
       [](DA& d) -> Cell& { return make(d.items_modifiers).markups.update("g"); },
       CellClass::kOpen},
      {"modifiers.discounts",
       [](DA& d) -> Cell& { return make(d.modifiers).discounts.update("g"); }, CellClass::kOpen},
      {"modifiers.markups", [](DA& d) -> Cell& { return make(d.modifiers).markups.update("g"); },
       CellClass::kOpen},
      {"taxes", [](DA& d) -> Cell& { return d.taxes.update("20"); }, CellClass::kOpen},
      {"payments.cash", [](DA& d) -> Cell& { return make(d.payments.update("BYN").cash); },
       CellClass::kBounded},
      {"payments.card.values",
       [](DA& d) -> Cell& { return make(make(d.payments.update("BYN").card).values); },
       CellClass::kBounded},
      {"payments.card.groups",
       [](DA& d) -> Cell& { return make(d.payments.update("BYN").card).groups.update("visa"); },
       CellClass::kBounded},
      {"payments.other.values",
       [](DA& d) -> Cell& { return make(make(d.payments.update("BYN").other).values); },
       CellClass::kBounded},
      {"payments.other.groups",
       [](DA& d) -> Cell& { return make(d.payments.update("BYN").other).groups.update("gift"); },
       CellClass::kBounded},
  };
  return kPlaces;
}

// Each cell is checked against the limits of its class.
TEST(Counters, LimitClassOfEachCell) {
  struct Probe {
    Cell start, add;
    std::string bounded, wide, open;
  };
  const std::vector<Probe> probes = {
      {{kLimit, 0, 0}, {1, 0, 0}, kSum, kSum, ""},
      {{0, 65535, 0}, {0, 1, 0}, kCount, "", ""},
      {{0, 16777215, 0}, {0, 1, 0}, kCount, kCount, ""},
      {{0, 0, kMax}, {0, 0, 1}, kQuantity, kQuantity, kQuantity},
  };
  for (const Place& p : places()) {
    for (const Probe& probe : probes) {
      SCOPED_TRACE(p.name + " from " + std::to_string(probe.start.sum) + "/" +
                   std::to_string(probe.start.count));
      DA current, delta;
      p.loc(current) = probe.start;
      p.loc(delta) = probe.add;
      auto r = merge_document_attributes(current, DA(delta));
      EXPECT_EQ(code(r), p.cls == CellClass::kBounded     ? probe.bounded
                         : p.cls == CellClass::kWideCount ? probe.wide
                                                          : probe.open);
    }
  }
}

// A cell the counters do not have yet is checked the same way before the
// delta's entry moves over.
TEST(Counters, NewCellsAreCheckedToo) {
  struct Probe {
    Cell add;
    std::string bounded, wide, open;
  };
  const std::vector<Probe> probes = {
      {{kLimit + 1, 1, 0}, kSum, kSum, ""},
      {{0, 65536, 0}, kCount, "", ""},
      {{0, 16777216, 0}, kCount, kCount, ""},
      {{kLimit, 65535, 7}, "", "", ""},
  };
  for (const Place& p : places()) {
    for (const Probe& probe : probes) {
      SCOPED_TRACE(p.name + " adding " + std::to_string(probe.add.sum) + "/" +
                   std::to_string(probe.add.count));
      DA delta;
      p.loc(delta) = probe.add;
      auto r = merge_document_attributes(DA{}, DA(delta));
      EXPECT_EQ(code(r), p.cls == CellClass::kBounded     ? probe.bounded
                         : p.cls == CellClass::kWideCount ? probe.wide
                                                          : probe.open);
      if (r) {
        EXPECT_EQ(values(p.loc(*r)), values(probe.add));
      }
    }
  }
}

// With breaches in two steps, the earlier step decides. The breaches
// alternate between codes so that a swapped pair shows.
TEST(Counters, MergeStepOrder) {
  struct Breach {
    std::string name;
    std::function<void(DA&, DA&)> apply;
    std::string code;
  };
  auto at = [](size_t place, Cell start, Cell add) {
    return [=](DA& current, DA& delta) {
      places()[place].loc(current) = start;
      places()[place].loc(delta) = add;
    };
  };
  const Cell sum_at{kMax, 0, 0}, count_at{0, kMax, 0}, quantity_at{0, 0, kMax};
  const Cell sum_add{1, 0, 0}, count_add{0, 1, 0}, quantity_add{0, 0, 1};
  std::vector<Breach> steps = {{"totals",
                                [](DA& current, DA& delta) {
                                  current.sum = kLimit;
                                  delta.sum = 1;
                                },
                                kSum}};
  // The places in the order of the merge, each with a breach of its own.
  const std::vector<std::pair<Cell, Cell>> kinds = {
      {count_at, count_add}, {sum_at, sum_add}, {quantity_at, quantity_add}};
  const std::vector<std::string> codes = {kCount, kSum, kQuantity};
  for (size_t i = 0; i < places().size(); ++i) {
    const size_t k = i % 3;
    steps.push_back({places()[i].name, at(i, kinds[k].first, kinds[k].second), codes[k]});
  }
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(steps[i].name);
    DA current, delta;
    steps[i].apply(current, delta);
    EXPECT_EQ(code(merge_document_attributes(current, DA(delta))), steps[i].code);
    if (i + 1 == steps.size()) continue;
    steps[i + 1].apply(current, delta);
    EXPECT_EQ(code(merge_document_attributes(current, DA(delta))), steps[i].code)
        << "before " << steps[i + 1].name;
  }
}

TEST(Counters, MergeCreatesOnlyWhatTheDeltaHas) {
  DA current, delta;
  current.count = 3;
  current.sum = 100;
  make(current.modifiers).discounts.update("x") = {5, 1, 0};
  make(current.payments.update("BYN").cash) = {10, 1, 0};
  current.sections.update("1") = {7, 1, 1000};
  delta.count = 1;
  delta.sum = 50;
  make(delta._3party).groups.update("123456789") = {50, 1, 0};
  make(make(delta.marking).si) = {50, 1, 1000};
  auto& card = make(delta.payments.update("USD").card);
  card.values = Cell{300, 2, 0};
  card.groups.update("visa") = {100, 1, 0};
  delta.sections.update("2") = {50, 1, 1000};

  auto r = merge_document_attributes(current, DA(delta));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->count, 4u);
  EXPECT_EQ(r->sum, 150u);
  ASSERT_TRUE(r->_3party);
  EXPECT_FALSE(r->_3party->values);
  EXPECT_EQ(values(r->_3party->groups.find("123456789").value()), (Values{50, 1, 0}));
  ASSERT_TRUE(r->marking);
  EXPECT_FALSE(r->marking->ukz);
  EXPECT_EQ(values(*r->marking->si), (Values{50, 1, 1000}));
  EXPECT_FALSE(r->items_modifiers);
  ASSERT_TRUE(r->modifiers);
  EXPECT_EQ(values(r->modifiers->discounts.find("x").value()), (Values{5, 1, 0}));
  EXPECT_EQ(values(r->sections.find("1").value()), (Values{7, 1, 1000}));
  EXPECT_EQ(values(r->sections.find("2").value()), (Values{50, 1, 1000}));
  EXPECT_EQ(values(*r->payments.find("BYN").value().cash), (Values{10, 1, 0}));
  const auto usd = r->payments.find("USD").value();
  EXPECT_FALSE(usd.cash);
  EXPECT_FALSE(usd.other);
  ASSERT_TRUE(usd.card);
  EXPECT_EQ(values(*usd.card->values), (Values{300, 2, 0}));
  EXPECT_EQ(values(usd.card->groups.find("visa").value()), (Values{100, 1, 0}));
}

// Sections whose keys outgrow the hold budget stay in the request: a merge
// adds to the ones the delta names, makes the rest, and the map reads in key
// order with the untouched ones as they came.
TEST(Counters, MergeIntoCellsLeftInRequest) {
  ByteVec request;
  for (char c = 'b'; c <= 'm'; c += 1) {
    request = cat({request, ld(10, cat({ld(1, std::string(100000, c)), ld(2, vi(1, 5))}))});
  }
  msg::DocumentAttributes current;
  wire::DecodeError error;
  ASSERT_TRUE(wire::decode(request.data(), request.size(), current, error));
  ASSERT_EQ(current.sections.held(), nullptr);
  msg::UpdatedMap<Cell> delta;
  delta.update(std::string(100000, 'c')) = {1, 1, 0};
  delta.update("a") = {2, 1, 0};
  delta.update("z") = {3, 1, 0};
  ASSERT_TRUE(merge_cells(current.sections, std::move(delta), CellClass::kOpen));
  std::string read;
  current.sections.for_each([&](const std::string& key, const Cell& cell) {
    read += key.substr(0, 1) + std::to_string(cell.sum);
    return true;
  });
  EXPECT_EQ(read, "a2b5c6d5e5f5g5h5i5j5k5l5m5z3");
}

TEST(Counters, CountPayments) {
  msg::PaymentsAttributes payments;
  auto& card = make(payments.card);
  card.values = Cell{300, 2, 0};
  card.groups.update("visa") = {100, 1, 0};
  DA delta;
  ASSERT_TRUE(count_payments(delta, "BYN", payments));
  ASSERT_TRUE(count_payments(delta, "BYN", payments));
  const auto byn = delta.payments.find("BYN").value();
  EXPECT_FALSE(byn.cash);
  EXPECT_FALSE(byn.other);
  EXPECT_EQ(values(*byn.card->values), (Values{600, 4, 0}));
  EXPECT_EQ(values(byn.card->groups.find("visa").value()), (Values{200, 2, 0}));

  // A breach is the receipt's payments error, not a counter error.
  const std::string overflow = "tarv.core.receipt.payments.arithmetic.overflow";
  msg::PaymentsAttributes too_many;
  make(too_many.other).groups.update("gift") = {0, 65536, 0};
  DA fresh;
  EXPECT_EQ(code(count_payments(fresh, "BYN", too_many)), overflow);
  msg::PaymentsAttributes too_much;
  too_much.cash = Cell{kLimit + 1, 1, 0};
  EXPECT_EQ(code(count_payments(fresh, "BYN", too_much)), overflow);
}

TEST(Counters, DeltaBuilders) {
  DA d;
  CellsByNumber taxes(d.taxes), sections(d.sections);
  count_item_tax(taxes, std::nullopt, 100);
  count_item_section(sections, std::nullopt, 100, 1000);
  count_item_marking(d, Marking::kNone, 100, 1000);
  count_third_party(d, std::nullopt, 100);
  EXPECT_TRUE(d.taxes.empty());
  EXPECT_TRUE(d.sections.empty());
  EXPECT_FALSE(d.marking);
  EXPECT_FALSE(d._3party);
  EXPECT_FALSE(d.items_modifiers);

  // Modifier groups are created with the first item, modifiers or not.
  count_item_modifiers(d, std::nullopt, std::nullopt);
  ASSERT_TRUE(d.items_modifiers);
  EXPECT_TRUE(d.items_modifiers->discounts.empty());
  msg::Modifier ungrouped{std::nullopt, "скидка", 40};
  msg::Modifier grouped{"Акция", std::nullopt, 50};
  count_item_modifiers(d, ungrouped, grouped);
  count_item_modifiers(d, grouped, std::nullopt);
  EXPECT_EQ(d.items_modifiers->discounts.size(), 1u);
  EXPECT_EQ(values(d.items_modifiers->discounts.find("Акция").value()), (Values{50, 1, 0}));
  EXPECT_EQ(values(d.items_modifiers->markups.find("Акция").value()), (Values{50, 1, 0}));

  count_item_tax(taxes, 20, 150);
  count_item_tax(taxes, 20, std::nullopt);
  count_item_tax(taxes, 0, std::nullopt);
  EXPECT_EQ(values(d.taxes.find("20").value()), (Values{150, 2, 0}));
  EXPECT_EQ(values(d.taxes.find("0").value()), (Values{0, 1, 0}));

  count_item_section(sections, 7, 1250, 2500);
  count_item_section(sections, 7, 100, 1000);
  EXPECT_EQ(values(d.sections.find("7").value()), (Values{1350, 2, 3500}));
  // Past the few numbers it keeps, a section is looked up each time.
  for (uint32_t section = 100; section < 112; ++section)
    count_item_section(sections, section, 1, 0);
  count_item_section(sections, 111, 1, 0);
  EXPECT_EQ(values(d.sections.find("111").value()), (Values{2, 2, 0}));

  count_item_marking(d, Marking::kSi, 500, 1000);
  ASSERT_TRUE(d.marking);
  EXPECT_FALSE(d.marking->ukz);
  count_item_marking(d, Marking::kUkz, 300, 1000);
  EXPECT_EQ(values(*d.marking->si), (Values{500, 1, 1000}));
  EXPECT_EQ(values(*d.marking->ukz), (Values{300, 1, 1000}));

  count_third_party(d, 12345678, 900);  // keyed in decimal, no padding
  ASSERT_TRUE(d._3party);
  EXPECT_EQ(values(*d._3party->values), (Values{900, 1, 0}));
  ASSERT_EQ(d._3party->groups.size(), 1u);
  EXPECT_EQ(values(d._3party->groups.find("12345678").value()), (Values{900, 1, 0}));
}

}  // namespace
}  // namespace tarv::counters
