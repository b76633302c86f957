#include "tools/demo_steps.h"

#include <array>
#include <iostream>
#include <vector>

#include "base/calendar/date_time.h"
#include "base/text/hex.h"
#include "base/try.h"
#include "converter/document.h"
#include "host/doc_view.h"

namespace tarv::tool {
namespace {

// The demo is a host of the library like any other.
using namespace ::tarv::host;  // NOLINT(google-build-using-namespace)

using google::protobuf::Message;

// 2024-03-15T06:00:00Z: the shift opens at 09:00 local time.
constexpr int64_t kOpenedAt = 1710482400;
constexpr int64_t kMinute = 60;

google::protobuf::Timestamp at_minute(int64_t minutes) {
  google::protobuf::Timestamp t;
  t.set_seconds(kOpenedAt + minutes * kMinute);
  return t;
}

pb::Header header(int64_t minute) {
  pb::Header h;
  h.set_cashier(std::string(kDemoCashier));
  h.set_currency("BYN");
  *h.mutable_at() = at_minute(minute);
  return h;
}

pb::Item item(std::string_view name, uint64_t price, uint32_t quantity, uint32_t tax_rate,
              uint32_t section, std::string_view section_name) {
  pb::Item i;
  i.set_name(std::string(name));
  i.set_price(price);
  i.set_quantity(quantity);
  i.set_tax_rate(tax_rate);
  i.mutable_section()->set_code(section);
  i.mutable_section()->set_name(std::string(section_name));
  return i;
}

pb::Payment payment(uint32_t type, uint64_t sum, std::string_view group = {}) {
  pb::Payment p;
  p.set_type_id(type);
  p.set_sum(sum);
  if (!group.empty()) p.set_group(std::string(group));
  return p;
}

// Table 4's order as first registered.
pb::OrderRequest order() {
  pb::OrderRequest r;
  pb::OrderHeader& h = *r.mutable_doc()->mutable_header();
  h.mutable_state()->set_id("T4-0315-01");
  h.mutable_state()->set_open_shift_number(7);
  *h.mutable_at() = at_minute(95);
  h.set_cashier(std::string(kDemoCashier));
  h.set_table(4);
  h.set_currency("BYN");
  *r.mutable_doc()->add_items() = item("Борщ с пампушками", 650, 1000, 10, 5, "Кухня");
  *r.mutable_doc()->add_items() = item("Драники со сметаной", 890, 2000, 10, 5, "Кухня");
  return r;
}

// The demo register signs its sales with a published demonstration key (the
// tool itself carries no signer: the library only verifies, and a real
// register signs in its secure element). The signature of the marked sale,
// document 3, was made once by tests/support's
// bign_sign_deterministic(document, kDemoPrivateKey); the tool test runs the
// demo, whose rollback fails should the sale's bytes ever change.
constexpr std::array<uint8_t, 64> kDemoPublicKey = {
    0x63, 0xb5, 0x13, 0x67, 0x9d, 0x60, 0x5d, 0x0a, 0x16, 0x00, 0xed, 0x4e, 0x93, 0xd5, 0xcf, 0x2c,
    0xb9, 0x86, 0x7a, 0x73, 0xfb, 0x14, 0xd8, 0x9b, 0x17, 0xe2, 0xd8, 0x25, 0x27, 0xa9, 0xb0, 0x01,
    0xe4, 0x8b, 0xe1, 0x6d, 0xc9, 0x59, 0xa2, 0xf3, 0xbc, 0x0e, 0xab, 0xdf, 0xa7, 0xca, 0x7e, 0x0b,
    0x6b, 0x6d, 0x3d, 0x59, 0x11, 0xd7, 0x36, 0x2c, 0x36, 0x9f, 0xbb, 0x98, 0xb7, 0x2f, 0xb6, 0x28,
};
constexpr std::array<uint8_t, 48> kMarkedSaleSignature = {
    0x02, 0x4c, 0xe8, 0xd3, 0xa1, 0x87, 0x4d, 0x86, 0xcf, 0xe1, 0x03, 0x15, 0xb1, 0xa7, 0xa0, 0x8f,
    0x1e, 0xbf, 0xbf, 0xc1, 0x1e, 0x12, 0x30, 0xfd, 0x97, 0x31, 0xa3, 0x2a, 0x74, 0x36, 0x83, 0x35,
    0x4f, 0xcd, 0x9b, 0x21, 0x4d, 0xfc, 0x95, 0xef, 0x32, 0xa8, 0x01, 0x71, 0xf3, 0xb4, 0x65, 0x0a,
};

std::string hex(std::span<const uint8_t> bytes) { return text::to_hex(bytes) + "\n"; }

using Request = HostResult<std::unique_ptr<Message>>;

template <class M>
Request request(M message) {
  return std::make_unique<M>(std::move(message));
}

const std::vector<Step>& steps() {
  static const std::vector<Step> kSteps = {
      {
          "Open the shift",
          "The register opens shift 7; the host keeps its opening time.",
          "open",
          "",
          [](StepContext& c) -> Request {
            // The host's own business; the library only checks it.
            TARV_TRY(c.open_shift(at_minute(0)));
            std::cout << fmt::format("  shift {} opened at {}\n",
                                     c.host().state().context().next_shift_number(),
                                     local_time(kOpenedAt));
            return nullptr;
          },
      },
      {
          "Deposit",
          "Change money goes into the drawer: 100.00.",
          "deposit",
          "deposit",
          [](StepContext&) {
            pb::DepositRequest r;
            *r.mutable_doc()->mutable_header() = header(2);
            r.mutable_doc()->set_sum(10000);
            return request(std::move(r));
          },
      },
      {
          "Sale",
          "Bread, cheese by weight and coffee with a 10% line discount; VAT 10% and 20%;\n"
          "10.00 by card, 20.00 tendered in cash, the change from the drawer.",
          "sale",
          "sale",
          [](StepContext&) {
            pb::SaleRequest r;
            pb::Sale& s = *r.mutable_doc();
            *s.mutable_header() = header(14);
            *s.add_items() = item("Хлеб пшеничный", 185, 2000, 10, 1, "Хлеб");
            s.mutable_items(0)->mutable_code()->set_gtin("4810151022350");
            *s.add_items() = item("Сыр «Российский» 45%", 1899, 350, 10, 2, "Молочные продукты");
            *s.add_items() = item("Кофе молотый 250 г", 1290, 1000, 20, 3, "Бакалея");
            s.mutable_items(2)->mutable_code()->set_gtin("4607001771234");
            pb::Modifier& discount = *s.mutable_items(2)->mutable_discount();
            discount.set_group("Скидка 10%");
            discount.set_name("Кофе недели");
            discount.set_modifier(129);
            *s.add_payments() = payment(1, 1000, "Белкарт");
            *s.add_payments() = payment(0, 2000);
            return request(std::move(r));
          },
      },
      {
          "Sale of a marked item",
          "Mineral water carries a marking code and its GTIN (scanned); a bag without a\n"
          "code. Paid in cash, exactly.",
          "sale-marked",
          "sale",
          [](StepContext&) {
            pb::SaleRequest r;
            pb::Sale& s = *r.mutable_doc();
            *s.mutable_header() = header(31);
            *s.add_items() = item("Вода минеральная 0,5 л", 159, 1000, 20, 4, "Напитки");
            auto& scans = *s.mutable_items(0)->mutable_code()->mutable_scan_list();
            scans.add_scans()->set_gtin("04810268027803");
            scans.add_scans()->set_mark_c("0104810268027803215BvTq8Nd3kLz91EE0692xQ7aHc2mWp");
            *s.add_items() = item("Пакет-майка", 15, 1000, 20, 4, "Напитки");
            *s.add_payments() = payment(0, 174);
            return request(std::move(r));
          },
      },
      {
          "Refund",
          "A loaf of bread comes back; 1.85 paid out in cash.",
          "refund",
          "refund",
          [](StepContext&) {
            pb::RefundRequest r;
            pb::Refund& d = *r.mutable_doc();
            *d.mutable_header() = header(47);
            *d.add_items() = item("Хлеб пшеничный", 185, 1000, 10, 1, "Хлеб");
            d.mutable_items(0)->mutable_code()->set_gtin("4810151022350");
            *d.add_payments() = payment(0, 185);
            return request(std::move(r));
          },
      },
      {
          "Restaurant order",
          "Table 4 orders borscht and two portions of draniki: 24.30.",
          "order",
          "order",
          [](StepContext&) { return request(order()); },
      },
      {
          "Order raised",
          "Table 4 adds a compote: the order is registered again with its previous total,\n"
          "and only the difference is counted as opened.",
          "order-raised",
          "order",
          [](StepContext&) {
            pb::OrderRequest r = order();
            *r.mutable_doc()->mutable_header()->mutable_at() = at_minute(118);
            *r.mutable_doc()->add_items() =
                item("Компот из сухофруктов", 250, 1000, 10, 5, "Кухня");
            r.set_prev_order_sum(2430);
            return request(std::move(r));
          },
      },
      {
          "Rollback",
          "The sale of the marked item (document 3) is annulled. The host signs the stored\n"
          "sale document with the demo key; the library verifies the bign signature.",
          "rollback",
          "rollback",
          [](StepContext& c) -> Request {
            const std::string& target = c.document("sale-marked");
            const auto& signature = kMarkedSaleSignature;
            const auto& key = kDemoPublicKey;
            std::cout << "  signature " << hex(signature) << "  public key " << hex(key);
            TARV_TRY(c.write("rollback.signature.hex", hex(signature)));
            TARV_TRY(c.write("rollback.public-key.hex", hex(key)));
            pb::RollbackRequest r;
            pb::Rollback& d = *r.mutable_doc();
            *d.mutable_header() = header(126);
            d.set_target(target);
            d.set_signature(signature.data(), signature.size());
            d.set_pub_key(key.data(), key.size());
            d.set_uid("demo-rollback-1");
            return request(std::move(r));
          },
      },
      {
          "Withdrawal",
          "Everything in the drawer is taken out before the shift closes.",
          "withdraw",
          "withdraw",
          [](StepContext& c) {
            pb::WithdrawRequest r;
            *r.mutable_doc()->mutable_header() = header(530);
            r.mutable_doc()->set_sum(static_cast<uint64_t>(c.drawer()));
            return request(std::move(r));
          },
      },
      {
          "Shift-close report",
          "The shift closes at 18:00; the report condenses its counters.",
          "report",
          "report",
          [](StepContext&) {
            pb::ReportRequest r;
            *r.mutable_close_at() = at_minute(540);
            return request(std::move(r));
          },
      },
  };
  return kSteps;
}

}  // namespace

HostState demo_register() {
  HostState s;
  pb::Context& c = *s.mutable_context();
  c.add_currencies("BYN");
  c.set_ch_max_value(50000);
  c.set_next_doc_number(1);
  c.set_next_shift_number(7);
  c.set_device_id(31700042);
  c.set_tax_number(190123456);
  return s;
}

std::string local_time(int64_t unix_seconds) {
  const auto utc = calendar::utc_time(unix_seconds, 0);
  const auto local = utc ? calendar::local_date_time(*utc) : std::nullopt;
  return local ? date_time(*local) : std::to_string(unix_seconds);
}

int64_t StepContext::drawer() {
  const auto& attrs = host().state().context().shift_ctx().attrs();
  const auto it = attrs.find("BYN");
  return it == attrs.end() ? 0 : it->second.cash_in();
}

std::span<const Step> demo_steps() { return steps(); }

}  // namespace tarv::tool
