// Writes the seed corpora: valid requests of every export, the binary
// documents they produce, and a few inputs of the structure-aware target.
//   make_corpus fuzz/corpus
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "fuzz/check.h"
#include "tests/support/fixtures.h"

namespace tarv::fuzz {
namespace {

using testing::item;
using testing::kOpenedAt;
using testing::pay;

std::filesystem::path root;

void put(const std::string& target, const std::string& name, const std::string& bytes) {
  const auto dir = root / target;
  std::filesystem::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << bytes;
}

template <class Request>
std::string seed(const std::string& target, const std::string& name, const Request& request) {
  const std::string bytes = request.SerializeAsString();
  put(target, name, bytes);
  const Outcome outcome = run(request);
  if (outcome.status != TARV_STATUS_OK) fail(target + "/" + name + " is refused");
  return outcome.response;
}

// The default register with a second currency, a card-holder limit and
// `cash_in` in the drawer.
pb::Context context(int64_t cash_in = 0) {
  pb::Context c = testing::default_context();
  c.add_currencies("USD");
  c.set_ch_max_value(500000);
  testing::drawer(c).set_cash_in(cash_in);
  return c;
}

pb::Header header() {
  pb::Header h = testing::default_header();
  h.set_number(78);
  return h;
}

void document(const std::string& name, const std::string& response) {
  pb::DocumentResponse r;
  r.ParseFromString(response);
  put("document", name, r.binary_doc());
}

template <class Request>
Request cash_op(uint64_t sum, int64_t cash_in) {
  Request r;
  *r.mutable_context() = context(cash_in);
  *r.mutable_doc()->mutable_header() = header();
  r.mutable_doc()->set_sum(sum);
  r.mutable_attrs()->mutable_cash()->set_sum(1000);
  r.mutable_attrs()->mutable_cash()->set_count(1);
  return r;
}

// Sales: one line in cash; lines with sections, VAT, modifiers and codes paid
// by card and cash with change; a marked line with a third party.
std::array<pb::SaleRequest, 3> sales() {
  std::array<pb::SaleRequest, 3> s;
  for (auto& r : s) {
    *r.mutable_context() = context(10000);
    *r.mutable_doc()->mutable_header() = header();
    r.mutable_attrs();
  }
  *s[0].mutable_doc()->add_items() = item("Хлеб", 150, 1000);
  *s[0].mutable_doc()->add_payments() = pay(0, 150);

  pb::Sale* d = s[1].mutable_doc();
  pb::Item milk = item("Молоко 3,2%", 235, 2000);
  milk.mutable_section()->set_code(3);
  milk.set_tax_rate(20);
  milk.mutable_discount()->set_modifier(20);
  milk.mutable_discount()->set_group("Акция");
  milk.mutable_code()->set_gtin("4810268031524");
  *d->add_items() = milk;
  pb::Item cheese = item("Сыр весовой", 2190, 345);
  cheese.set_tax_rate(10);
  cheese.mutable_markup()->set_modifier(5);
  cheese.mutable_code()->set_code_a("2000345");
  *d->add_items() = cheese;
  d->mutable_discount()->set_modifier(10);
  *d->add_payments() = pay(1, 300, "Visa");
  *d->add_payments() = pay(2, 50);
  *d->add_payments() = pay(0, 1000);
  s[1].mutable_attrs()->set_count(3);
  s[1].mutable_attrs()->set_sum(12345);

  pb::Item marked = item("Обувь", 99900, 1000);
  marked.set_tax_rate(20);
  pb::ScanList* scans = marked.mutable_code()->mutable_scan_list();
  scans->add_scans()->set_mark_a(
      "010460043993125621JgXJ5.T\x1d"
      "91EE06\x1d"
      "92YWCXbmK6");
  scans->add_scans()->set_mark_b("JgXJ5.T");
  scans->add_scans()->set_gtin("04600439931256");
  *s[2].mutable_doc()->add_items() = marked;
  s[2].mutable_doc()->set_tp_tax_number(190000001);
  *s[2].mutable_doc()->add_payments() = pay(1, 99900);
  return s;
}

void make() {
  document("deposit", seed("deposit", "plain", cash_op<pb::DepositRequest>(5000, 0)));
  document("withdraw", seed("withdraw", "plain", cash_op<pb::WithdrawRequest>(3000, 10000)));
  document("ch_withdraw",
           seed("ch_withdraw", "plain", cash_op<pb::CardHolderWithdrawRequest>(20000, 50000)));

  const auto s = sales();
  std::array<std::string, 3> sold;
  for (size_t i = 0; i < s.size(); ++i) {
    sold[i] = seed("sale", "sale" + std::to_string(i), s[i]);
    document("sale" + std::to_string(i), sold[i]);
  }

  pb::RefundRequest refund;
  *refund.mutable_context() = s[1].context();
  *refund.mutable_doc()->mutable_header() = s[1].doc().header();
  *refund.mutable_doc()->mutable_items() = s[1].doc().items();
  pb::SaleResponse response;
  response.ParseFromString(sold[1]);
  const uint64_t total = response.doc().calculations().items().sum();
  *refund.mutable_doc()->add_payments() = pay(1, 100, "Visa");
  *refund.mutable_doc()->add_payments() = pay(0, total - 100);
  refund.mutable_attrs();
  document("refund", seed("refund", "refund", refund));

  // Annulments of the three sales, signed by the test signer; their targets,
  // and those of sales named in characters of 2 and 3 bytes in UTF-8, seed
  // the rollback of a signed target.
  for (size_t i = 0; i < s.size(); ++i) {
    response.ParseFromString(sold[i]);
    const std::string name = "rollback" + std::to_string(i);
    document(name, seed("rollback", name, testing::annulment(s[i], response)));
    put("rollback_target", "sale" + std::to_string(i), response.binary_doc());
  }
  for (const auto& [name, text] : {std::pair{"cyrillic", "Ж"}, std::pair{"euro", "€"}}) {
    pb::SaleRequest wide = s[0];
    wide.mutable_doc()->clear_items();
    std::string long_name;
    for (int i = 0; i < 50; ++i) long_name += text;
    for (int i = 0; i < 8; ++i) *wide.mutable_doc()->add_items() = item(long_name, 150, 1000);
    wide.mutable_doc()->mutable_payments(0)->set_sum(1200);
    response.ParseFromString(seed("sale", std::string("names_") + name, wide));
    put("rollback_target", std::string("names_") + name, response.binary_doc());
  }

  pb::ReportRequest report;
  *report.mutable_context() = context();
  report.set_first_sale(70);
  report.set_last_sale(77);
  report.mutable_close_at()->set_seconds(kOpenedAt + 7200);
  pb::DocumentsAttributes& byn = (*report.mutable_attrs())["BYN"];
  response.ParseFromString(sold[1]);
  *byn.mutable_sales() = response.attrs();
  byn.mutable_deposits()->mutable_cash()->set_sum(5000);
  byn.mutable_deposits()->mutable_cash()->set_count(1);
  (*report.mutable_attrs())["USD"].mutable_withdraws()->mutable_cash()->set_count(1);
  const std::string reported = seed("report", "report", report);
  pb::ReportResponse report_response;
  report_response.ParseFromString(reported);
  put("document", "report", report_response.binary_doc());

  pb::OrderRequest order;
  *order.mutable_context() = context();
  pb::OrderHeader* h = order.mutable_doc()->mutable_header();
  h->mutable_state()->set_id("T7-15");
  h->mutable_state()->set_open_shift_number(5);
  h->mutable_at()->set_seconds(kOpenedAt + 600);
  h->set_cashier("Петрова");
  h->set_table(7);
  *order.mutable_doc()->mutable_items() = s[1].doc().items();
  order.mutable_attrs()->mutable_opened()->set_sum(1000);
  order.mutable_attrs()->mutable_opened()->set_count(1);
  seed("order", "new", order);
  order.set_prev_order_sum(5000);
  seed("order", "corrected", order);

  // The structure-aware target reads its input from the end.
  put("receipt", "empty", "");
  std::string bytes;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 64; ++j) bytes.push_back(static_cast<char>((i * 67 + j * 31) & 0xFF));
    put("receipt", "bytes" + std::to_string(i), bytes);
  }
}

}  // namespace
}  // namespace tarv::fuzz

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_corpus DIR\n");
    return 2;
  }
  tarv::fuzz::root = argv[1];
  tarv::fuzz::make();
  return 0;
}
