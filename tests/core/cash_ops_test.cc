// Deposit, withdraw and card-holder withdrawal through the C exports: the
// common header and shift checks, the amount rules of each kind, the
// counters, and the 56-byte document.
#include <google/protobuf/util/message_differencer.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tests/core/host.h"

namespace tarv::testing {
namespace {

using Tweak = std::function<void(pb::DepositRequest&)>;

constexpr int64_t kI64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kI64Min = std::numeric_limits<int64_t>::min();
// 10:00:59, the last second of a minute: the one that may hold a leap second.
constexpr int64_t kMinuteEnd = kOpenedAt + 59;
// The last UTC second whose local time (+3 h) is still a calendar date:
// 262142-12-31T20:59:59Z.
constexpr int64_t kLastLocal = 8210266865999;

constexpr ExportFn kDeposit = tarvcore_create_deposit;
constexpr ExportFn kWithdraw = tarvcore_create_withdraw;
constexpr ExportFn kChWithdraw = tarvcore_create_ch_withdraw;

pb::Context& ctx(pb::DepositRequest& r) { return *r.mutable_context(); }
pb::Header& hdr(pb::DepositRequest& r) { return *r.mutable_doc()->mutable_header(); }
pb::ShiftContext& shift(pb::DepositRequest& r) { return *ctx(r).mutable_shift_ctx(); }
void at(pb::DepositRequest& r, int64_t seconds, int32_t nanos = 0) {
  *hdr(r).mutable_at() = stamp(seconds, nanos);
}
void opened(pb::DepositRequest& r, int64_t seconds, int32_t nanos = 0) {
  *shift(r).mutable_opened_at() = stamp(seconds, nanos);
}
// The shift opening and the document time.
Tweak times(int64_t open_s, int32_t open_n, int64_t at_s, int32_t at_n) {
  return [=](pb::DepositRequest& r) {
    opened(r, open_s, open_n);
    at(r, at_s, at_n);
  };
}
void set_cash(pb::DepositRequest& r, int64_t sum, int64_t count, int64_t quantity = 0) {
  auto* cash = r.mutable_attrs()->mutable_cash();
  cash->set_sum(sum);
  cash->set_count(count);
  cash->set_quantity(quantity);
}

std::string letters(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "Ж";
  return s;
}

pb::DepositRequest deposit(uint64_t sum) {
  auto r = envelope<pb::DepositRequest>();
  r.mutable_doc()->set_sum(sum);
  return r;
}

// The header and shift checks run in a fixed order, and only the first
// failure is reported. Each row changes a valid deposit of 100 kopecks.
struct CheckCase {
  std::string name;
  Tweak tweak;
  std::string code;  // empty: the deposit is issued
};

TEST(HeaderAndShift, FirstFailingCheckWins) {
  const std::string missing = "tarv.core.receipt.header.missing";
  const std::string cashier = "tarv.core.receipt.header.cashier.length";
  const std::string currency = "tarv.core.receipt.currency";
  const std::string closed = "tarv.core.receipt.shift.closed";
  const std::string no_time = "tarv.core.receipt.header.datetime";
  const std::string early = "tarv.core.receipt.system.time";
  const std::string old = "tarv.core.receipt.shift.24h";
  const std::string malformed = "tarv.core.input.malformed";
  const std::vector<CheckCase> cases = {
      // Several failures at once.
      {"no_header_and_closed_shift",
       [](auto& r) {
         r.mutable_doc()->clear_header();
         ctx(r).clear_shift_ctx();
       },
       missing},
      {"long_cashier_unknown_currency_no_shift",
       [](auto& r) {
         hdr(r).set_cashier(letters(33));
         hdr(r).set_currency("EUR");
         ctx(r).clear_shift_ctx();
       },
       cashier},
      {"unknown_currency_no_shift",
       [](auto& r) {
         hdr(r).set_currency("EUR");
         ctx(r).clear_shift_ctx();
       },
       currency},
      {"no_currencies_closed_shift",
       [](auto& r) {
         ctx(r).clear_currencies();
         *shift(r).mutable_closed_at() = stamp(kOpenedAt);
       },
       currency},
      {"closed_shift_no_time",
       [](auto& r) {
         *shift(r).mutable_closed_at() = stamp(kOpenedAt);
         hdr(r).clear_at();
       },
       closed},
      {"bad_opening_no_time",
       [](auto& r) {
         opened(r, kOpenedAt, -1);
         hdr(r).clear_at();
       },
       malformed},
      // Cashier and currency.
      {"cashier_32_letters", [](auto& r) { hdr(r).set_cashier(letters(32)); }, ""},
      {"cashier_33_letters", [](auto& r) { hdr(r).set_cashier(letters(33)); }, cashier},
      {"cashier_empty", [](auto& r) { hdr(r).clear_cashier(); }, ""},
      {"currency_lower_case", [](auto& r) { hdr(r).set_currency("byn"); }, currency},
      {"currency_second_listed",
       [](auto& r) {
         ctx(r).clear_currencies();
         ctx(r).add_currencies("USD");
         ctx(r).add_currencies("BYN");
       },
       ""},
      {"currency_only_a_prefix",
       [](auto& r) {
         ctx(r).clear_currencies();
         ctx(r).add_currencies("BYNX");
       },
       currency},
      // Shift state.
      {"no_opened_at", [](auto& r) { shift(r).clear_opened_at(); }, closed},
      {"closed_before_opening",
       [](auto& r) { *shift(r).mutable_closed_at() = stamp(kOpenedAt - kHour); }, closed},
      {"no_time", [](auto& r) { hdr(r).clear_at(); }, no_time},
      // Not before the opening, at most 24 hours after it.
      {"at_opening", [](auto& r) { at(r, kOpenedAt); }, ""},
      {"1ns_before_opening", [](auto& r) { at(r, kOpenedAt - 1, 999999999); }, early},
      {"a_day_before_opening", [](auto& r) { at(r, kOpenedAt - kDay - kHour); }, early},
      {"exactly_24h", [](auto& r) { at(r, kOpenedAt + kDay); }, ""},
      {"24h_and_1ns", [](auto& r) { at(r, kOpenedAt + kDay, 1); }, old},
      {"24h_nanos_both_sides", times(kOpenedAt, 500, kOpenedAt + kDay, 500), ""},
      {"24h_nanos_one_more", times(kOpenedAt, 500, kOpenedAt + kDay, 501), old},
      {"negative_seconds_floor_to_previous_day",  // passes the checks; 1970 has no year byte
       times(-1, 0, 0, 0), "tarv.core.receipt.encoding"},
      // Timestamps that do not convert.
      {"nanos_negative", [](auto& r) { at(r, kOpenedAt + kHour, -1); }, malformed},
      {"nanos_2e9", [](auto& r) { at(r, kMinuteEnd, 2000000000); }, malformed},
      {"leap_nanos_not_last_second", [](auto& r) { at(r, kOpenedAt + kHour, 1000000000); },
       malformed},
      {"leap_nanos_in_opening", [](auto& r) { opened(r, kOpenedAt, 1000000000); }, malformed},
      {"seconds_min", [](auto& r) { at(r, kI64Min); }, malformed},
      {"seconds_max", [](auto& r) { at(r, kI64Max); }, malformed},
      {"local_time_past_calendar", times(kLastLocal + 1, 0, kLastLocal + 1, 0), malformed},
      {"local_time_last_calendar_day", times(kLastLocal, 0, kLastLocal, 0),
       "tarv.core.receipt.encoding"},
      // Leap seconds (nanos of 1e9 or more in the last second of a minute).
      {"leap_second_document", [](auto& r) { at(r, kMinuteEnd, 1999999999); }, ""},
      {"leap_second_earlier_nanos", times(kMinuteEnd, 1500000000, kMinuteEnd, 1499999999), early},
      {"leap_opening_exactly_24h", times(kMinuteEnd, 1500000000, kMinuteEnd + kDay, 1500000000),
       ""},
      {"leap_opening_24h_and_1ns", times(kMinuteEnd, 1500000000, kMinuteEnd + kDay, 1500000001),
       old},
      {"leap_second_before_next_minute",  // 86399.5 s later
       times(kMinuteEnd + 1, 0, kMinuteEnd + kDay, 1500000000), ""},
      {"leap_second_counts_as_a_second",  // 86400.5 s later
       times(kMinuteEnd, 1500000000, kMinuteEnd + 1 + kDay, 0), old},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pb::DepositRequest r = deposit(100);
    c.tweak(r);
    if (c.code.empty()) {
      EXPECT_EQ(succeed(r).binary_doc().size(), 56u);
    } else {
      EXPECT_TRUE(fails_with(r, c.code));
    }
  }
}

// The document carries the local date-time: UTC + 3 h, no sub-second part.
TEST(HeaderAndShift, LocalDateTimeInDocument) {
  struct DateCase {
    int64_t seconds;
    int32_t nanos;
    std::vector<uint8_t> bytes;  // month, day, year − 2000, hour, minute, second
  };
  const std::vector<DateCase> cases = {
      {1704144600, 0, {1, 2, 24, 0, 30, 0}},            // 2024-01-01T21:30:00Z
      {1709154000, 0, {2, 29, 24, 0, 0, 0}},            // 2024-02-28T21:00:00Z
      {1704056400, 999999999, {1, 1, 24, 0, 0, 0}},     // 2023-12-31T21:00:00.999999999Z
      {1483228799, 1500000000, {1, 1, 17, 2, 59, 59}},  // 2016-12-31T23:59:60.5Z
      {946674000, 0, {1, 1, 0, 0, 0, 0}},               // 1999-12-31T21:00:00Z
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    pb::DepositRequest r = deposit(1);
    opened(r, c.seconds);
    at(r, c.seconds, c.nanos);
    const std::string doc = succeed(r).binary_doc();
    ASSERT_EQ(doc.size(), 56u);
    EXPECT_EQ(std::vector<uint8_t>(doc.begin() + 29, doc.begin() + 35), c.bytes);
  }
}

// The amount rules of each kind, the cash position and the counters. Each
// row sends one cash request (the three share one wire layout) to `fn`.
struct CashCase {
  std::string name;
  ExportFn fn;
  uint64_t sum;
  Tweak tweak;
  std::string code;     // empty: issued
  int64_t cash_in = 0;  // the drawer afterwards
  int64_t counter_sum = 0, counter_count = 0, counter_quantity = 0;
};

Tweak with_drawer(int64_t cash_in, uint64_t ch_max = 0) {
  return [=](pb::DepositRequest& r) {
    drawer(ctx(r)).set_cash_in(cash_in);
    ctx(r).set_ch_max_value(ch_max);
  };
}
Tweak late_with_drawer(int64_t cash_in) {  // 25 hours into the shift
  return [=](pb::DepositRequest& r) {
    drawer(ctx(r)).set_cash_in(cash_in);
    ctx(r).set_ch_max_value(1000000);
    at(r, kOpenedAt + 25 * kHour);
  };
}
Tweak with_counters(int64_t sum, int64_t count, int64_t quantity = 0) {
  return [=](pb::DepositRequest& r) { set_cash(r, sum, count, quantity); };
}
Tweak nothing() {
  return [](pb::DepositRequest&) {};
}

TEST(CashOperations, AmountChecksAndCounters) {
  const std::string cash_short = "tarv.core.receipt.cash.in";
  const std::string arithmetic = "tarv.core.receipt.payments.arithmetic.overflow";
  const std::string attrs_sum = "tarv.core.attrs.sum";
  const std::string attrs_count = "tarv.core.attrs.count";
  const std::string negative = "tarv.core.attrs.cash-in.neg";
  const uint64_t u63 = uint64_t{1} << 63;
  const std::vector<CashCase> cases = {
      // Withdraw.
      {"wd_whole_drawer", kWithdraw, 10000, with_drawer(10000), "", 0, 10000, 1},
      {"wd_one_kopeck_more", kWithdraw, 10001, with_drawer(10000), cash_short},
      {"wd_zero_no_entry", kWithdraw, 0, nothing(), "", 0, 0, 1},
      {"wd_one_no_entry", kWithdraw, 1, nothing(), cash_short},
      {"wd_25h_whole_drawer", kWithdraw, 500, late_with_drawer(500), "", 0, 500, 1},
      {"wd_25h_part", kWithdraw, 499, late_with_drawer(500), "tarv.core.receipt.withdraw.all"},
      {"wd_25h_more_than_drawer", kWithdraw, 501, late_with_drawer(500), cash_short},
      {"wd_largest_sum", kWithdraw, 54975581388798, with_drawer(54975581388798), "", 0,
       54975581388798, 1},
      {"wd_sum_too_large", kWithdraw, 54975581388799, nothing(), "tarv.core.receipt.sum.overflow"},
      {"wd_negative_drawer_from_host", kWithdraw, 1, with_drawer(-5), negative},
      {"wd_counters_grow_by_sum", kWithdraw, 300,
       [](auto& r) {
         drawer(ctx(r)).set_cash_in(1000);
         set_cash(r, 200, 2, 7);
       },
       "", 700, 500, 3, 7},
      // Card-holder withdrawal.
      {"ch_at_limit", kChWithdraw, 1000, with_drawer(5000, 1000), "", 4000, 1000, 1},
      {"ch_over_limit", kChWithdraw, 1001, with_drawer(5000, 1000),
       "tarv.core.receipt.client.withdraw.max"},
      {"ch_limit_zero", kChWithdraw, 1, with_drawer(5000, 0),
       "tarv.core.receipt.client.withdraw.max"},
      {"ch_limit_zero_sum_zero", kChWithdraw, 0, with_drawer(5000, 0), "", 5000, 0, 1},
      {"ch_limit_before_drawer", kChWithdraw, 11, with_drawer(0, 10),
       "tarv.core.receipt.client.withdraw.max"},
      {"ch_drawer_short", kChWithdraw, 1000, with_drawer(999, 1000), cash_short},
      {"ch_signed_range", kChWithdraw, u63, with_drawer(-1, UINT64_MAX), arithmetic},
      {"ch_25h", kChWithdraw, 100, late_with_drawer(5000), "tarv.core.receipt.shift.24h"},
      // Deposit.
      {"dep_25h", kDeposit, 100, late_with_drawer(0), "tarv.core.receipt.shift.24h"},
      {"dep_zero", kDeposit, 0, nothing(), "", 0, 0, 1},
      {"dep_largest_amount", kDeposit, kMaxCounter, nothing(), "", kMaxCounter, kMaxCounter, 1},
      // Past the amount field the counters refuse the sum first; when they
      // would take it, the document refuses it.
      {"dep_past_amount_field", kDeposit, kMaxCounter + 1, nothing(), attrs_sum},
      {"dep_signed_max", kDeposit, uint64_t{kI64Max}, nothing(), attrs_sum},
      {"dep_past_amount_field_negative_counters", kDeposit, kMaxCounter + 1,
       [](auto& r) { set_cash(r, -10, 0, 0); }, "tarv.core.receipt.encoding"},
      {"dep_2_pow_63", kDeposit, u63, nothing(), arithmetic},
      {"dep_u64_max", kDeposit, UINT64_MAX, nothing(), arithmetic},
      {"dep_drawer_overflow", kDeposit, 10, with_drawer(kI64Max - 5), attrs_sum},
      {"dep_negative_drawer_stays_negative", kDeposit, 50, with_drawer(-100), negative},
      {"dep_negative_drawer_back_to_zero", kDeposit, 100, with_drawer(-100), "", 0, 100, 1},
      {"dep_income_untouched", kDeposit, 5,
       [](auto& r) {
         drawer(ctx(r)).set_cash_in(10);
         drawer(ctx(r)).set_income(-7);
       },
       "", 15, 5, 1},
      // Counters of the kind (bounded: sum ≤ 54975581388799, count ≤ 65535).
      {"cash_cell_absent", kDeposit, 12345, nothing(), "", 12345, 12345, 1},
      {"count_65534", kDeposit, 1, with_counters(0, 65534), "", 1, 1, 65535},
      {"count_65535", kDeposit, 1, with_counters(0, 65535), attrs_count},
      {"sum_to_limit", kDeposit, 100, with_counters(kMaxCounter - 100, 0), "", 100, kMaxCounter, 1},
      {"sum_past_limit", kDeposit, 101, with_counters(kMaxCounter - 100, 0), attrs_sum},
      {"zero_at_sum_limit", kDeposit, 0, with_counters(kMaxCounter, 3), "", 0, kMaxCounter, 4},
      {"sum_breach_beats_count", kDeposit, 1, with_counters(kMaxCounter, 65535), attrs_sum},
      {"negative_sum_from_host", kDeposit, 10, with_counters(-100000000000000000, 5), "", 10,
       -99999999999999990, 6},
      {"quantity_unbounded", kDeposit, 1, with_counters(0, 0, kI64Max), "", 1, 1, 1, kI64Max},
      // Writer, then cash position, then counters.
      {"writer_first", kDeposit, 1,
       [](auto& r) {
         ctx(r).add_currencies("BYNX");
         hdr(r).set_currency("BYNX");
         drawer(ctx(r), "BYNX").set_cash_in(-100);
         set_cash(r, 0, 65535);
       },
       "tarv.core.receipt.encoding"},
      {"cash_position_before_counters", kDeposit, 1,
       [](auto& r) {
         drawer(ctx(r)).set_cash_in(-100);
         set_cash(r, 0, 65535);
       },
       negative},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pb::DepositRequest r = deposit(c.sum);
    c.tweak(r);
    if (!c.code.empty()) {
      EXPECT_TRUE(fails_with(r, c.code, c.fn));
      continue;
    }
    const int64_t income = drawer(ctx(r)).income();
    const auto response = succeed<pb::DepositRequest, pb::DepositResponse>(r, c.fn);
    ASSERT_EQ(response.shift_attrs().count("BYN"), 1u);
    EXPECT_EQ(response.shift_attrs().at("BYN").cash_in(), c.cash_in);
    EXPECT_EQ(response.shift_attrs().at("BYN").income(), income);
    ASSERT_TRUE(response.attrs().has_cash());
    EXPECT_EQ(response.attrs().cash().sum(), c.counter_sum);
    EXPECT_EQ(response.attrs().cash().count(), c.counter_count);
    EXPECT_EQ(response.attrs().cash().quantity(), c.counter_quantity);
    EXPECT_EQ(response.sum(), c.sum);
    EXPECT_EQ(response.binary_doc().size(), 56u);
  }
}

TEST(CashOperations, NewCurrencyEntryIsCreated) {
  pb::DepositRequest r = deposit(250);
  ctx(r).add_currencies("USD");
  hdr(r).set_currency("USD");
  drawer(ctx(r)).set_cash_in(700);
  drawer(ctx(r)).set_income(30);
  const auto response = succeed(r);
  ASSERT_EQ(response.shift_attrs().size(), 2u);
  EXPECT_EQ(response.shift_attrs().at("USD").cash_in(), 250);
  EXPECT_EQ(response.shift_attrs().at("USD").income(), 0);
  EXPECT_EQ(response.shift_attrs().at("BYN").cash_in(), 700);
  EXPECT_EQ(response.shift_attrs().at("BYN").income(), 30);
}

// A deposit read back with the schema, and its document field by field.
TEST(CashOperations, DepositResponseAndDocument) {
  pb::DepositRequest r = deposit(12345);
  at(r, 1704144600);  // 2024-01-01T21:30:00Z
  hdr(r).set_number(999);
  hdr(r).set_cashier_id("c-17");
  const Call c = call(r);
  ASSERT_EQ(c.status, TARV_STATUS_OK);
  EXPECT_TRUE(c.stderr_text.empty());
  pb::DepositResponse response;
  ASSERT_TRUE(parse(c.response, response));
  EXPECT_EQ(serialize(response), c.response);  // canonical: field order, nothing extra

  EXPECT_TRUE(google::protobuf::util::MessageDifferencer::Equals(response.doc(), r.doc()));
  EXPECT_EQ(response.sum(), 12345u);
  ASSERT_EQ(response.shift_attrs().size(), 1u);
  EXPECT_EQ(response.shift_attrs().at("BYN").cash_in(), 12345);
  EXPECT_EQ(response.shift_attrs().at("BYN").income(), 0);
  EXPECT_EQ(response.attrs().cash().sum(), 12345);
  EXPECT_EQ(response.attrs().cash().count(), 1);
  EXPECT_EQ(response.attrs().cash().quantity(), 0);

  const std::string& doc = response.binary_doc();
  ASSERT_EQ(doc.size(), 56u);
  auto bytes = [&](size_t from, size_t n) {
    return std::vector<uint8_t>(doc.begin() + static_cast<ptrdiff_t>(from),
                                doc.begin() + static_cast<ptrdiff_t>(from + n));
  };
  using V = std::vector<uint8_t>;
  EXPECT_EQ(bytes(0, 1), V{0x0B});                      // kind: deposit
  EXPECT_EQ(bytes(1, 4), (V{0x01, 0x02, 0x03, 0x04}));  // device id
  V cashier = {0xC8, 0xE2, 0xE0, 0xED, 0xEE, 0xE2};     // "Иванов", windows-1251
  cashier.resize(20, 0x00);
  EXPECT_EQ(bytes(5, 20), cashier);
  EXPECT_EQ(bytes(25, 4), (V{0, 0, 0, kDocNumber}));                 // next_doc_number, not 999
  EXPECT_EQ(bytes(29, 6), (V{0x01, 0x02, 0x18, 0x00, 0x1E, 0x00}));  // 2024-01-02 00:30:00
  EXPECT_EQ(bytes(35, 3), (V{'B', 'Y', 'N'}));
  EXPECT_EQ(bytes(38, 6), (V{0, 0, 0, 0, 0x7B, 0x2D}));  // +, 123 whole, 45 hundredths
  EXPECT_EQ(bytes(44, 12), V(12, 0x00));
}

// Kind byte and the sign flag of the amount, which only the card-holder
// withdrawal carries.
TEST(CashOperations, KindAndSignOfEachDocument) {
  struct KindCase {
    ExportFn fn;
    uint64_t sum;
    uint8_t kind;
    uint8_t amount_first_byte;
  };
  for (const KindCase& k :
       {KindCase{kWithdraw, 12345, 0x0C, 0x00}, KindCase{kChWithdraw, 12345, 0x10, 0x80},
        KindCase{kChWithdraw, 0, 0x10, 0x00}}) {
    SCOPED_TRACE(int{k.kind});
    pb::DepositRequest r = deposit(k.sum);
    with_drawer(20000, 20000)(r);
    const auto doc = succeed<pb::DepositRequest, pb::DepositResponse>(r, k.fn).binary_doc();
    ASSERT_EQ(doc.size(), 56u);
    EXPECT_EQ(static_cast<uint8_t>(doc[0]), k.kind);
    EXPECT_EQ(static_cast<uint8_t>(doc[38]), k.amount_first_byte);
  }
}

// doc, context and attrs must be present; only the first missing one is
// named, on one line.
TEST(CashOperations, MissingRequestFields) {
  struct MissingCase {
    std::string name;
    std::function<void(pb::DepositRequest&)> tweak;
    std::string line;
  };
  const std::vector<MissingCase> cases = {
      {"no_doc", [](auto& r) { r.clear_doc(); }, "Missing $req.doc\n"},
      {"no_doc_no_context",
       [](auto& r) {
         r.clear_doc();
         r.clear_context();
       },
       "Missing $req.doc\n"},
      {"nothing", [](auto& r) { r.Clear(); }, "Missing $req.doc\n"},
      {"no_context", [](auto& r) { r.clear_context(); }, "Missing $req.ctx\n"},
      {"no_context_no_attrs",
       [](auto& r) {
         r.clear_context();
         r.clear_attrs();
       },
       "Missing $req.ctx\n"},
      {"no_attrs", [](auto& r) { r.clear_attrs(); }, "Missing $req.attrs\n"},
  };
  for (ExportFn fn : {kDeposit, kWithdraw, kChWithdraw}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      pb::DepositRequest r = deposit(1);
      c.tweak(r);
      const Call result = call(r, fn);
      EXPECT_TRUE(is_error(result, "tarv.core.input.malformed"));
      EXPECT_EQ(result.stderr_text, c.line);
    }
    // Length 0 reads nothing, whatever the pointer points at.
    const uint8_t junk[] = {0x07};
    uint8_t* out = nullptr;
    uint64_t out_len = 0;
    ::testing::internal::CaptureStderr();
    const uint8_t status = fn(junk, 0, &out, &out_len);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Missing $req.doc\n");
    Call empty{status, ByteVec(out, out + out_len), "", false};
    tarvcore_free_buffer(out, out_len);
    EXPECT_TRUE(is_error(empty, "tarv.core.input.malformed"));
  }
  // All three present, the payload empty: the checks, not the frame, refuse it.
  pb::DepositRequest r = envelope<pb::DepositRequest>();
  r.mutable_doc()->clear_header();
  const Call result = call(r);
  EXPECT_TRUE(is_error(result, "tarv.core.receipt.header.missing"));
  EXPECT_TRUE(result.stderr_text.empty());
}

}  // namespace
}  // namespace tarv::testing
