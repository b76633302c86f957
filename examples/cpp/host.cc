// A C++ host of tarv_core: the requests and responses are the classes that
// protoc generates from the installed tarv_core.proto. A cash deposit, a sale
// paid in cash with change from the drawer, and a sale in a currency the
// register does not accept; the counters of every answer go into the next
// request.
#include <tarv_core.h>

#include <cstdint>
#include <iostream>
#include <string>

#include "tarv_core.pb.h"

namespace pb = tarv::core;

namespace {

constexpr int64_t kOpenedAt = 1704103200;  // 2024-01-01T10:00:00Z, when the shift opened

using Export = tarvcore_export_fn*;

// What the host persists between calls.
struct Register {
  uint32_t next_doc_number = 1;
  google::protobuf::Map<std::string, pb::GeneralAttributes> drawer;
  pb::CashInOutAttributes deposits;
  pb::DocumentAttributes sales;
};

// Calls an export. On status 0 parses the response into `ok`, on status 1
// into `error`; the library's buffer is freed either way.
uint8_t call(Export fn, const google::protobuf::Message& request, google::protobuf::Message& ok,
             pb::ErrorResponse& error) {
  const std::string bytes = request.SerializeAsString();
  uint8_t* response = nullptr;
  uint64_t length = 0;
  const uint8_t status =
      fn(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &response, &length);
  if (status == TARV_STATUS_UNDECODABLE) return status;  // nothing to free
  google::protobuf::Message& out = status == TARV_STATUS_OK ? ok : error;
  if (!out.ParseFromArray(response, static_cast<int>(length))) std::cerr << "bad response\n";
  tarvcore_free_buffer(response, length);
  return status;
}

pb::Context context(const Register& r) {
  pb::Context c;
  c.add_currencies("BYN");
  c.mutable_shift_ctx()->mutable_opened_at()->set_seconds(kOpenedAt);
  *c.mutable_shift_ctx()->mutable_attrs() = r.drawer;
  c.set_next_doc_number(r.next_doc_number);
  c.set_next_shift_number(1);
  c.set_device_id(4242);
  c.set_tax_number(190000001);
  return c;
}

pb::Header header(const std::string& currency, int64_t at) {
  pb::Header h;
  h.set_cashier("Иванова");
  h.set_currency(currency);
  h.mutable_at()->set_seconds(at);
  return h;
}

// Prints the outcome; on success keeps the new cash position and counters.
template <class Response, class Counters>
void finish(const char* what, Register& r, uint8_t status, const Response& ok,
            const pb::ErrorResponse& error, Counters& counters) {
  std::cout << what << " #" << r.next_doc_number << ": status " << int{status};
  if (status == TARV_STATUS_ERROR) std::cout << ", " << error.code() << ": " << error.message();
  if (status != TARV_STATUS_OK) {
    std::cout << "\n";
    return;
  }
  std::cout << ", sum " << ok.sum() << ", document " << ok.binary_doc().size() << " bytes\n";
  r.drawer = ok.shift_attrs();
  counters = ok.attrs();
  ++r.next_doc_number;
  for (const auto& [currency, cash] : r.drawer) {
    std::cout << "  drawer " << currency << ": cash_in " << cash.cash_in() << ", income "
              << cash.income() << "\n";
  }
}

void deposit(Register& r, uint64_t sum, int64_t at) {
  pb::DepositRequest request;
  *request.mutable_context() = context(r);
  *request.mutable_doc()->mutable_header() = header("BYN", at);
  request.mutable_doc()->set_sum(sum);
  *request.mutable_attrs() = r.deposits;
  pb::DepositResponse ok;
  pb::ErrorResponse error;
  const uint8_t status = call(tarvcore_create_deposit, request, ok, error);
  finish("deposit", r, status, ok, error, r.deposits);
}

// One line of `price` kopecks (one piece, 20 % VAT) paid with `cash`.
void sale(Register& r, const std::string& currency, const std::string& name, uint64_t price,
          uint64_t cash, int64_t at) {
  pb::SaleRequest request;
  *request.mutable_context() = context(r);
  pb::Sale& doc = *request.mutable_doc();
  *doc.mutable_header() = header(currency, at);
  pb::Item& item = *doc.add_items();
  item.set_name(name);
  item.set_price(price);
  item.set_quantity(1000);  // thousandths: one piece
  item.set_tax_rate(20);
  pb::Payment& payment = *doc.add_payments();
  payment.set_type_id(0);  // cash
  payment.set_sum(cash);
  *request.mutable_attrs() = r.sales;
  pb::SaleResponse ok;
  pb::ErrorResponse error;
  const uint8_t status = call(tarvcore_create_sale, request, ok, error);
  finish("sale", r, status, ok, error, r.sales);
}

}  // namespace

int main() {
  uint32_t length = 0;
  uint8_t flag = 0;
  const char* version = tarvcore_get_version(&length, &flag);
  std::cout << "tarv_core " << std::string(version, length) << "\n";

  Register r;
  deposit(r, 10000, kOpenedAt + 600);
  sale(r, "BYN", "Хлеб", 250, 1000, kOpenedAt + 1200);
  sale(r, "USD", "Хлеб", 250, 1000, kOpenedAt + 1500);
  return 0;
}
