// The shift-close report through tarvcore_create_report: the closing checks,
// the currency records condensed from the shift counters, and the report
// document byte by byte.
#include <google/protobuf/text_format.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "converter/document.h"
#include "tests/core/receipt.h"

namespace tarv::testing {
namespace {

// A report closing at 2024-01-01T18:30:15.999999999Z, first sale 17, last
// 42, with the counters given in text form.
pb::ReportRequest report_request(const std::string& counters = "") {
  auto r = envelope<pb::ReportRequest>();
  r.set_first_sale(17);
  r.set_last_sale(42);
  *r.mutable_close_at() = stamp(kOpenedAt + 8 * kHour + 30 * 60 + 15, 999999999);
  EXPECT_TRUE(google::protobuf::TextFormat::MergeFromString(counters, &r)) << counters;
  return r;
}

// Text form of the request's counters: one attrs entry, a cell, payments.
std::string entry(const std::string& currency, const std::string& kinds = "") {
  return "attrs { key: '" + currency + "' value { " + kinds + " } } ";
}
std::string cell(int64_t sum, int64_t count) {
  return "{ sum: " + std::to_string(sum) + " count: " + std::to_string(count) + " } ";
}
std::string paid(const std::string& currency, int64_t cash, int64_t card, int64_t other) {
  return "payments { key: '" + currency + "' value { cash " + cell(cash, 1) + "card { values " +
         cell(card, 1) + "} other { values " + cell(other, 1) + "} } } ";
}
std::string deposit(const std::string& currency) {
  return entry(currency, "deposits { cash " + cell(100, 1) + "}");
}

// The report document, built independently of the library: every report
// field is byte-aligned, amounts are six bytes of (whole << 8 | hundredths).
struct Expected {
  ByteVec b;
  Expected& u(uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Expected& amount(uint64_t kopecks) { return u((kopecks / 100) << 8 | kopecks % 100, 6); }
  Expected& raw(const ByteVec& bytes) {
    b.insert(b.end(), bytes.begin(), bytes.end());
    return *this;
  }
  Expected& zeros(size_t n) { return raw(ByteVec(n, 0)); }
  Expected& text(std::string_view s) { return raw(ByteVec(s.begin(), s.end())); }
  Expected& pair(uint64_t count, int count_bytes, uint64_t sum) {
    return u(count, count_bytes).amount(sum);
  }
};

// Kind, tax number, device, opened 13:00:00 and closed 21:30:15 local time
// on 2024-01-01, shift 5, then docs_count, first and last sale, record count.
Expected head(uint16_t docs_count, uint8_t records) {
  Expected e;
  e.u(0x0F, 1).u(123456789, 4).u(kDeviceId, 4);
  e.raw({1, 1, 24, 13, 0, 0}).raw({1, 1, 24, 21, 30, 15});
  e.u(5, 2).u(docs_count, 2).u(17, 4).u(42, 4).u(records, 1);
  return e;
}

ByteVec document(const pb::ReportRequest& r) {
  const std::string doc = succeed(r).binary_doc();
  return ByteVec(doc.begin(), doc.end());
}

converter::ReportDoc decoded(const pb::ReportRequest& r) {
  return decode_as<converter::ReportDoc>(succeed(r).binary_doc());
}

TEST(Report, ClosingChecksInOrder) {
  const std::string malformed = "tarv.core.input.malformed";
  const std::string closed = "tarv.core.shift.closed";
  const std::string cash_in = "tarv.core.shift.cash-in";
  struct CheckCase {
    std::string name;
    bool no_context = false, no_close_at = false, no_shift = false, no_opening = false;
    bool closed = false;
    int64_t usd_cash = 0;
    std::optional<google::protobuf::Timestamp> close_at = std::nullopt;
    std::string code = {};  // empty: the report is issued
  };
  const std::vector<CheckCase> cases = {
      {.name = "no_context", .no_context = true, .no_close_at = true, .code = malformed},
      {.name = "no_close_at", .no_close_at = true, .no_shift = true, .code = malformed},
      {.name = "no_shift", .no_shift = true, .usd_cash = 5, .code = closed},
      {.name = "cash_left_in_closed_shift", .closed = true, .usd_cash = 1, .code = cash_in},
      {.name = "negative_cash_unopened", .no_opening = true, .usd_cash = -1, .code = cash_in},
      {.name = "already_closed", .closed = true, .code = closed},
      {.name = "never_opened", .no_opening = true, .code = closed},
      {.name = "close_before_opening", .close_at = stamp(kOpenedAt - 30 * kDay)},
      {.name = "close_nanos_negative", .close_at = stamp(kOpenedAt, -1), .code = malformed},
      {.name = "close_last_second_of_2255", .close_at = stamp(9025246799)},
      {.name = "close_past_calendar", .close_at = stamp(INT64_MAX), .code = malformed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pb::ReportRequest r = report_request();
    pb::ShiftContext& shift = *r.mutable_context()->mutable_shift_ctx();
    (*shift.mutable_attrs())["BYN"].set_income(-500);  // income does not block closing
    (*shift.mutable_attrs())["USD"].set_cash_in(c.usd_cash);
    if (c.closed) *shift.mutable_closed_at() = stamp(kOpenedAt);
    if (c.no_opening) shift.clear_opened_at();
    if (c.no_shift) r.mutable_context()->clear_shift_ctx();
    if (c.no_context) r.clear_context();
    if (c.no_close_at) r.clear_close_at();
    if (c.close_at) *r.mutable_close_at() = *c.close_at;
    const Call result = call(r);
    EXPECT_TRUE(result.stderr_text.empty());
    if (c.code.empty()) {
      EXPECT_EQ(result.status, TARV_STATUS_OK);
    } else {
      EXPECT_TRUE(is_error(result, c.code));
    }
  }
}

// Shifts without anything to report all give the one all-zero "BYN" record.
TEST(Report, EmptyShiftBytes) {
  Expected e = head(0, 1);
  e.text("BYN").zeros(105);
  ASSERT_EQ(e.b.size(), 142u);
  const std::vector<std::string> cases = {
      "",
      entry("BYN"),
      entry("BYN",
            "deposits {} sales { sum: 500 } refunds { marking {} } rollbacks { _3party {} }"),
      entry("USD"),
      entry("USD", "deposits { cash " + cell(0, 0) + "} sales { payments { key: 'EUR' } }"),
      // Counts keep the low bits of their slots.
      entry("USD", "withdraws { cash " + cell(0, 65536) + "} sales { marking { si " +
                       cell(0, 16777216) + "} }"),
  };
  for (const auto& counters : cases) {
    SCOPED_TRACE(counters);
    const Call result = call(report_request(counters));
    EXPECT_TRUE(result.stderr_text.empty());
    pb::ReportResponse response;
    ASSERT_TRUE(parse(result.response, response));
    EXPECT_EQ(serialize(response), result.response);  // field 1 only
    EXPECT_EQ(ByteVec(response.binary_doc().begin(), response.binary_doc().end()), e.b);
  }
}

// Every slot from its own counter; sales paid in USD from the BYN counters
// go to the USD record; "BYN" first, then the others in key order.
TEST(Report, TwoCurrenciesWithOrdersRefundsAndThirdParties) {
  const std::string byn =
      "deposits { cash " + cell(5000, 2) + "} withdraws { cash " + cell(3000, 1) +
      "} ch_withdraws { cash " + cell(700, 1) + "} sales { count: 3 sum: 77777 " + "marking { si " +
      cell(1500, 2) + "ukz " + cell(300, 1) + "} _3party { values " + cell(2000, 1) +
      "groups { key: '190000001' value " + cell(2000, 1) + "} } " + "sections { key: '3' value " +
      cell(4000, 2) + "} taxes { key: '20' value " + cell(600, 2) + "} " +
      paid("BYN", 4000, 1000, 500) + paid("USD", 250, 0, 0) + "} " +
      "refunds { count: 2 sum: 9999 " + paid("BYN", 100, 50, 25) + paid("USD", 999, 0, 0) +
      "marking { si " + cell(40, 4) + "ukz " + cell(50, 5) + "} } " + "rollbacks { count: 1 " +
      paid("BYN", 30, 20, 0) + "marking { si " + cell(60, 6) + "ukz " + cell(70, 7) +
      "} _3party { values " + cell(900, 1) + "} } " + "orders { opened " + cell(12000, 3) +
      "corrected " + cell(500, 1) + "}";
  // Third-party groups without values give no extra group.
  const std::string amd = "deposits { cash " + cell(123456, 1) +
                          "} rollbacks { _3party { groups { key: '190000001' } } }";
  const std::string usd = "sales { count: 1 " + paid("USD", 0, 800, 0) + "} refunds { " +
                          paid("BYN", 60, 0, 0) + "} orders {}";
  const pb::ReportRequest r = report_request(entry("USD", usd) + entry("EUR") + entry("BYN", byn) +
                                             entry("GBP", "deposits {}") + entry("AMD", amd));

  Expected e = head(4, 3);
  e.text("BYN").u(3, 2).amount(5500).amount(1500).amount(4000);  // count_a, sum_a1..3
  e.pair(2, 2, 175);                                             // refunds
  e.pair(2, 2, 5000).pair(1, 2, 3000).pair(1, 2, 700);           // deposits, withdraws
  e.pair(0, 2, 0).pair(1, 2, 50).pair(0, 2, 0);                  // c1, rollbacks, c3
  e.pair(2, 3, 1500).pair(1, 3, 300);                            // sales marking
  e.u(4, 3).u(5, 3).u(6, 2).u(7, 2);                             // refund, rollback marking
  e.u(3, 1);
  e.pair(3, 3, 12000).pair(0, 3, 0).pair(0, 3, 0).pair(1, 3, 500).pair(0, 3, 0);
  e.pair(1, 2, 2000).pair(1, 2, 900);
  e.text("AMD").zeros(28).pair(1, 2, 123456).zeros(69);
  e.text("USD").u(1, 2).amount(1050).amount(800).amount(250).zeros(84).u(1, 1).zeros(45);
  ASSERT_EQ(e.b.size(), 34u + (108 + 45 + 16) + 108 + (108 + 45));
  EXPECT_EQ(document(r), e.b);
}

// The `i`th of the currencies "AAA", "AAB", ...
std::string nth_currency(int i) {
  return {char('A' + i / 676), char('A' + i / 26 % 26), char('A' + i % 26)};
}
// Sales payments in the first `n` of them, cash(i) in the `i`th.
template <class Cash>
std::string paid_in_many(int n, Cash cash) {
  std::string out;
  for (int i = 0; i < n; ++i) out += paid(nth_currency(i), cash(i), 0, 0);
  return out;
}

TEST(Report, RecordSelectionAndOrder) {
  // Sales in USD and AMD paid in 600 currencies, which cancel out but for
  // every third: more currencies than a window holds, so the records are
  // gathered in several, and the windows' edges fall on currencies of both
  // kinds.
  const std::string windows =
      entry("USD", "sales { " + paid_in_many(600, [](int) { return 5; }) + "}") +
      entry("AMD", "sales { " + paid_in_many(600, [](int i) { return i % 3 == 0 ? -4 : -5; }) +
                       "}") +
      entry("EUR", "sales { " + paid("ZZZ", 1, 0, 0) + paid("BYN", 0, 0, 0) + "}");
  std::vector<std::string> windows_records = {"BYN"};
  for (int i = 0; i < 600; i += 3) windows_records.push_back(nth_currency(i));
  windows_records.push_back("ZZZ");
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {windows, windows_records},
      {entry("BYN") + deposit("AMD") + deposit("USD"), {"BYN", "AMD", "USD"}},
      {deposit("USD"), {"USD"}},  // no "BYN" entry: no "BYN" record
      {deposit("BYN") + entry("AMD") + entry("USD", "sales { sum: 100 }"), {"BYN"}},
      {entry("USD", "orders {}"), {"USD"}},
      {entry("USD", "rollbacks { _3party { values {} } }"), {"USD"}},
      {entry("USD", "sales { " + paid("EUR", 5, 0, 0) + "}"), {"EUR"}},
      {entry("USD", "refunds { " + paid("EUR", 5, 0, 0) + "}"), {"BYN"}},
      {entry("BYNX"), {"BYN"}},  // dropped before the writer sees its key
  };
  for (const auto& [counters, records] : cases) {
    SCOPED_TRACE(counters);
    std::vector<std::string> written;
    for (const auto& record : decoded(report_request(counters)).records) {
      written.push_back(record.currency);
    }
    EXPECT_EQ(written, records);
  }
}

// Counts keep the low bits of their slot; sums of sales payments add up per
// currency over all entries, and sum_a1 = sum_a2 + sum_a3.
TEST(Report, CountWidthsAndSums) {
  pb::ReportRequest r =
      report_request(entry("BYN", "sales { count: 65535 marking { si " + cell(7, 16777217) + "} " +
                                      paid("USD", 10, 0, 0) + "} refunds { marking { ukz " +
                                      cell(0, 16777218) + "} } rollbacks { marking { si " +
                                      cell(0, 65539) + "} } " + "deposits { cash " + cell(1, -1) +
                                      "} orders { moved " + cell(9, 16777220) + "}") +
                     entry("USD", "sales { count: 3 " + paid("USD", 20, 0, 3) + "}"));
  r.mutable_context()->set_next_shift_number(65536);
  const converter::ReportDoc report = decoded(r);
  EXPECT_EQ(report.shift_number, 0u);
  EXPECT_EQ(report.docs_count, 2u);  // 65535 + 3 in 16 bits
  converter::ReportRecord byn;
  byn.currency = "BYN";
  byn.count_a = byn.count_b2 = 65535;  // count_b2: a count of -1 in 16 bits
  byn.sum_b2 = byn.count_d1 = 1;
  byn.sum_d1 = 7;
  byn.value_e2 = 2;
  byn.value_f1 = 3;
  byn.orders.emplace().moved = {4, 9};
  converter::ReportRecord usd;
  usd.currency = "USD";
  usd.count_a = 3;
  usd.sum_a1 = 33;  // 30 in cash, 3 other
  usd.sum_a2 = 3;
  usd.sum_a3 = 30;
  EXPECT_TRUE(report.records == (std::vector{byn, usd}));
}

// A report the document cannot hold is refused, with one line on stderr,
// rather than written with truncated figures.
TEST(Report, WriterFailures) {
  std::string many;
  for (int i = 0; i < 256; ++i) many += deposit({'C', char('A' + i / 26), char('a' + i % 26)});
  const std::string kMax = std::to_string(kMaxCounter);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {entry("BYN", "sales { " + paid("BYN", kMaxCounter, 1, 0) + "}"),
       "amount out of range: records[0].sum_a1"},
      {entry("BYN", "sales { " + paid("USD", kMaxCounter, 0, 0) + "}") +
           entry("USD", "sales { " + paid("USD", 1, 0, 0) + "}"),
       "amount out of range: records[1].sum_a1"},
      {entry("BYN", "sales { " + paid("BYN", INT64_MAX, INT64_MAX, 2) + "}"),
       "amount out of range: records[0].sum_a1"},  // past 64 bits
      {entry("BYN", "refunds { " + paid("BYN", 0, kMaxCounter, kMaxCounter) + "}"),
       "amount out of range: records[0].sum_b1"},
      {entry("BYN", "deposits { cash " + cell(-1, 1) + "}"),
       "amount out of range: records[0].sum_b2"},
      {deposit("BYNX"), "Invalid currency name"},
      {many, "count out of range: records"},
      {entry("USD", "sales { " + paid_in_many(256, [](int) { return 1; }) + "}"),
       "count out of range: records"},
      {"close_at { seconds: 9025246800 }", "year out of range: close_at"},  // 2256 local
  };
  for (const auto& [counters, failure] : cases) {
    SCOPED_TRACE(failure);
    const Call result = call(report_request(counters));
    EXPECT_TRUE(is_error(result, "tarv.core.shift.bin"));
    EXPECT_EQ(result.stderr_text,
              "Failed to serialize Report: InvalidParam(\"" + failure + "\")\n");
  }
  many.resize(many.rfind("attrs"));  // 255 records fit
  EXPECT_EQ(document(report_request(many)).size(), 34u + 255 * 108);
}

}  // namespace
}  // namespace tarv::testing
