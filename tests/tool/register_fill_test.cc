// How the register completes a request from its state (host/register.h):
// what a caller leaves out is filled, what it names is kept or refused.
#include <google/protobuf/util/time_util.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/register.h"

namespace tarv::host {
namespace {

using google::protobuf::util::TimeUtil;

HostState state() {
  HostState s;
  pb::Context& c = *s.mutable_context();
  c.add_currencies("BYN");
  c.add_currencies("USD");
  c.set_next_doc_number(12);
  c.set_device_id(4242);
  (*s.mutable_counters())["BYN"].mutable_sales()->set_count(5);
  (*s.mutable_counters())["USD"].mutable_sales()->set_count(2);
  (*s.mutable_counters())["BYN"].mutable_deposits()->mutable_cash()->set_count(1);
  s.set_first_sale(3);
  s.set_last_sale(11);
  return s;
}

pb::SaleRequest sale(uint32_t number, const std::string& currency, bool with_time) {
  pb::SaleRequest r;
  pb::Header& h = *r.mutable_doc()->mutable_header();
  h.set_number(number);
  h.set_currency(currency);
  if (with_time) *h.mutable_at() = TimeUtil::SecondsToTimestamp(1710482400);
  return r;
}

TEST(RegisterFill, SaleTakesContextCountersNumberAndTime) {
  const Register reg(state());
  const auto now = TimeUtil::SecondsToTimestamp(1710490000);
  const Export& e = *find_export("sale");
  struct Case {
    const char* name;
    pb::SaleRequest request;
    std::optional<Fault> fault;
    uint32_t number;         // the header's number after filling
    uint32_t sales_counted;  // the attrs' sales count (the currency's)
    int64_t at;              // the header's time
  };
  const Case cases[] = {
      {"zero takes the next number", sale(0, "BYN", true), std::nullopt, 12, 5, 1710482400},
      {"the next number is kept", sale(12, "BYN", true), std::nullopt, 12, 5, 1710482400},
      {"another number is refused", sale(13, "BYN", true), Fault::Numbering, 0, 0, 0},
      {"a number before the next too", sale(11, "BYN", true), Fault::Numbering, 0, 0, 0},
      {"no time takes now", sale(0, "BYN", false), std::nullopt, 12, 5, 1710490000},
      {"the currency's own counters", sale(0, "USD", true), std::nullopt, 12, 2, 1710482400},
      {"no currency counts as BYN", sale(0, "", true), std::nullopt, 12, 5, 1710482400},
      {"a currency without counters", sale(0, "EUR", true), std::nullopt, 12, 0, 1710482400},
  };
  for (const Case& c : cases) {
    pb::SaleRequest request = c.request;
    const auto filled = reg.fill(e, request, now);
    ASSERT_EQ(filled.has_value(), !c.fault) << c.name;
    if (c.fault) {
      EXPECT_EQ(filled.error().kind, *c.fault) << c.name;
      continue;
    }
    EXPECT_EQ(request.context().device_id(), 4242) << c.name;
    EXPECT_EQ(request.doc().header().number(), c.number) << c.name;
    EXPECT_EQ(request.attrs().count(), c.sales_counted) << c.name;
    EXPECT_EQ(request.doc().header().at().seconds(), c.at) << c.name;
  }
}

TEST(RegisterFill, ReportTakesEveryCurrencysCountersAndTheSaleRange) {
  const Register reg(state());
  const auto now = TimeUtil::SecondsToTimestamp(1710490000);
  pb::ReportRequest report;
  ASSERT_TRUE(reg.fill(*find_export("report"), report, now));
  EXPECT_EQ(report.attrs().size(), 2u);
  EXPECT_EQ(report.attrs().at("USD").sales().count(), 2u);
  EXPECT_EQ(report.first_sale(), 3u);
  EXPECT_EQ(report.last_sale(), 11u);
  EXPECT_EQ(report.close_at().seconds(), 1710490000);

  pb::ReportRequest ranged;  // a range given is the caller's
  ranged.set_first_sale(5);
  ranged.set_last_sale(6);
  ASSERT_TRUE(reg.fill(*find_export("report"), ranged, now));
  EXPECT_EQ(ranged.first_sale(), 5u);
  EXPECT_EQ(ranged.last_sale(), 6u);
}

}  // namespace
}  // namespace tarv::host
