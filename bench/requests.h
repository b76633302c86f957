// Typical requests of every export, for the benchmarks and the soak run.
#ifndef TARV_BENCH_REQUESTS_H_
#define TARV_BENCH_REQUESTS_H_

#include <cstdlib>
#include <string>
#include <vector>

#include "host/exports.h"
#include "include/tarv_core.h"
#include "tarv_core.pb.h"
#include "tests/support/fixtures.h"

namespace tarv::bench {

namespace pb = ::tarv::core;
using host::ExportFn;
using testing::default_header;
using testing::kOpenedAt;

// The default register with a second currency and a full drawer.
inline pb::Context context() {
  pb::Context c = testing::default_context();
  c.add_currencies("USD");
  testing::drawer(c).set_cash_in(10000000000);
  return c;
}

inline void add_items(google::protobuf::RepeatedPtrField<pb::Item>* items, int n) {
  for (int i = 0; i < n; ++i) {
    pb::Item* item = items->Add();
    item->set_name("Товар № " + std::to_string(i));
    item->set_price(1250 + static_cast<uint64_t>(i) * 10);
    item->set_quantity(1000 + static_cast<uint32_t>(i % 3) * 500);
    item->set_tax_rate(i % 2 ? 20 : 10);
    item->mutable_section()->set_code(1 + static_cast<uint32_t>(i % 4));
    item->mutable_code()->set_code_a("481000" + std::to_string(1000000 + i));
    if (i == 0) item->mutable_discount()->set_modifier(50);
  }
}

inline std::string sale_bytes(int lines) {
  pb::SaleRequest r;
  *r.mutable_context() = context();
  *r.mutable_doc()->mutable_header() = default_header();
  add_items(r.mutable_doc()->mutable_items(), lines);
  auto* card = r.mutable_doc()->add_payments();
  card->set_type_id(1);
  card->set_sum(1000);
  card->set_group("visa");
  auto* cash = r.mutable_doc()->add_payments();
  cash->set_type_id(0);
  cash->set_sum(static_cast<uint64_t>(lines) * 30000);
  r.mutable_attrs()->set_count(3);
  return r.SerializeAsString();
}

inline std::string refund_bytes(int lines) {
  pb::RefundRequest r;
  *r.mutable_context() = context();
  *r.mutable_doc()->mutable_header() = default_header();
  add_items(r.mutable_doc()->mutable_items(), lines);
  r.mutable_attrs();
  // The refund is paid by card: no change, whatever its total.
  auto* card = r.mutable_doc()->add_payments();
  card->set_type_id(1);
  uint64_t total = 0;
  for (const auto& item : r.doc().items()) {
    uint64_t p = item.price() * item.quantity();
    total += (p + 500) / 1000 - (item.has_discount() ? item.discount().modifier() : 0);
  }
  card->set_sum(total);
  return r.SerializeAsString();
}

inline std::string deposit_bytes() {
  pb::DepositRequest r;
  *r.mutable_context() = context();
  *r.mutable_doc()->mutable_header() = default_header();
  r.mutable_doc()->set_sum(150000);
  r.mutable_attrs();
  return r.SerializeAsString();
}

inline std::string order_bytes() {
  pb::OrderRequest r;
  *r.mutable_context() = context();
  auto* h = r.mutable_doc()->mutable_header();
  h->set_cashier("Официант");
  h->mutable_at()->set_seconds(kOpenedAt + 3600);
  h->set_table(4);
  add_items(r.mutable_doc()->mutable_items(), 10);
  r.mutable_attrs();
  r.set_prev_order_sum(1000);
  return r.SerializeAsString();
}

inline std::string report_bytes() {
  pb::ReportRequest r;
  *r.mutable_context() = context();
  (*r.mutable_context()->mutable_shift_ctx()->mutable_attrs())["BYN"].set_cash_in(0);
  r.mutable_close_at()->set_seconds(kOpenedAt + 7200);
  for (const char* currency : {"BYN", "USD"}) {
    pb::DocumentsAttributes& a = (*r.mutable_attrs())[currency];
    a.mutable_deposits()->mutable_cash()->set_sum(100000);
    a.mutable_deposits()->mutable_cash()->set_count(2);
    a.mutable_sales()->set_count(40);
    auto& pay = (*a.mutable_sales()->mutable_payments())[currency];
    pay.mutable_cash()->set_sum(500000);
    pay.mutable_card()->mutable_values()->set_sum(250000);
    a.mutable_refunds()->set_count(1);
    a.mutable_orders()->mutable_opened()->set_count(3);
  }
  return r.SerializeAsString();
}

inline std::vector<uint8_t> call(ExportFn fn, const std::string& request) {
  uint8_t* out = nullptr;
  uint64_t length = 0;
  uint8_t status =
      fn(reinterpret_cast<const uint8_t*>(request.data()), request.size(), &out, &length);
  std::vector<uint8_t> bytes(out, out + length);
  tarvcore_free_buffer(out, length);
  if (status != 0) std::abort();
  return bytes;
}

inline std::string rollback_bytes() {
  const std::string sale = sale_bytes(10);
  pb::SaleRequest request;
  request.ParseFromString(sale);
  pb::SaleResponse sold;
  std::vector<uint8_t> response = call(tarvcore_create_sale, sale);
  sold.ParseFromArray(response.data(), static_cast<int>(response.size()));
  return testing::annulment(request, sold).SerializeAsString();
}

}  // namespace tarv::bench

#endif  // TARV_BENCH_REQUESTS_H_
