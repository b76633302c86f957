#include "tools/demo.h"

#include <google/protobuf/message.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <map>
#include <vector>

#include "converter/document.h"
#include "converter/processors/date_time.h"
#include "include/tarv_core.h"
#include "tests/support/bign_signer.h"
#include "tools/doc_view.h"
#include "tools/host.h"
#include "tools/text.h"

namespace tarv::tool {
namespace {

using google::protobuf::FieldDescriptor;
using google::protobuf::Message;

// 2024-03-15T06:00:00Z: the shift opens at 09:00 local time.
constexpr int64_t kOpenedAt = 1710482400;
constexpr int64_t kMinute = 60;
constexpr char kCashier[] = "Мария Иванова";

pb::Timestamp at_minute(int64_t minutes) {
  pb::Timestamp t;
  t.set_seconds(kOpenedAt + minutes * kMinute);
  return t;
}

std::string local_time(int64_t unix_seconds) {
  const auto utc = converter::utc_time(unix_seconds, 0);
  const auto local = utc ? converter::local_date_time(*utc) : std::nullopt;
  return local ? date_time(*local) : std::to_string(unix_seconds);
}

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

pb::Header header(int64_t minute) {
  pb::Header h;
  h.set_cashier(kCashier);
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

// ---------------------------------------------------------------------------
// The counters that changed: every set field of the state as a path and a
// value, compared before and after.

std::string scalar_text(const Message& m, const FieldDescriptor* f) {
  const auto* r = m.GetReflection();
  const std::string& name = f->name();
  int64_t v = 0;
  switch (f->cpp_type()) {
    case FieldDescriptor::CPPTYPE_STRING:
      return r->GetString(m, f);
    case FieldDescriptor::CPPTYPE_BOOL:
      return r->GetBool(m, f) ? "true" : "false";
    case FieldDescriptor::CPPTYPE_INT64:
      v = r->GetInt64(m, f);
      break;
    case FieldDescriptor::CPPTYPE_UINT64:
      v = static_cast<int64_t>(r->GetUInt64(m, f));
      break;
    case FieldDescriptor::CPPTYPE_INT32:
      v = r->GetInt32(m, f);
      break;
    case FieldDescriptor::CPPTYPE_UINT32:
      v = r->GetUInt32(m, f);
      break;
    default:
      return "?";
  }
  if (name == "sum" || name == "cash_in" || name == "income") return money(v);
  if (name == "quantity") return thousandths(v);
  if (name == "seconds") return local_time(v);
  return std::to_string(v);
}

void flatten(const Message& m, const std::string& prefix, std::map<std::string, std::string>& out) {
  const auto* r = m.GetReflection();
  std::vector<const FieldDescriptor*> fields;
  r->ListFields(m, &fields);
  for (const FieldDescriptor* f : fields) {
    const std::string path = prefix.empty() ? f->name() : prefix + "." + f->name();
    if (f->is_map()) {
      for (int i = 0; i < r->FieldSize(m, f); ++i) {
        const Message& entry = r->GetRepeatedMessage(m, f, i);
        const FieldDescriptor* value = entry.GetDescriptor()->map_value();
        const std::string at =
            fmt("{}[{}]", path, scalar_text(entry, entry.GetDescriptor()->map_key()));
        if (value->cpp_type() == FieldDescriptor::CPPTYPE_MESSAGE) {
          flatten(entry.GetReflection()->GetMessage(entry, value), at, out);
        } else {
          out[at] = scalar_text(entry, value);
        }
      }
    } else if (f->is_repeated()) {
      std::string joined;
      for (int i = 0; i < r->FieldSize(m, f); ++i) {
        joined += (i ? ", " : "") + r->GetRepeatedString(m, f, i);
      }
      out[path] = joined;
    } else if (f->cpp_type() == FieldDescriptor::CPPTYPE_MESSAGE) {
      flatten(r->GetMessage(m, f), path, out);
    } else {
      out[path] = scalar_text(m, f);
    }
  }
}

std::map<std::string, std::string> flat_state(const HostState& state) {
  std::map<std::string, std::string> all, out;
  flatten(state, "", all);
  for (auto& [path, value] : all) {
    out[path.starts_with("context.") ? path.substr(8) : path] = std::move(value);
  }
  return out;
}

size_t characters(std::string_view s) {
  return static_cast<size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The value of a leaf that proto3 leaves out: zero, written as its kind.
std::string zero_of(std::string_view path) {
  const std::string_view leaf = path.substr(path.rfind('.') + 1);
  if (leaf == "sum" || leaf == "cash_in" || leaf == "income") return money(0);
  if (leaf == "quantity") return thousandths(0);
  return leaf == "seconds" ? "-" : "0";
}

void print_changes(const std::map<std::string, std::string>& before,
                   const std::map<std::string, std::string>& after) {
  std::vector<std::array<std::string, 3>> rows;
  std::map<std::string, size_t> cleared;  // "counters[BYN]" -> cells
  std::map<std::string, std::string> paths(before);
  paths.insert(after.begin(), after.end());
  for (const auto& [path, unused] : paths) {
    const auto b = before.find(path);
    const auto a = after.find(path);
    const std::string old_value = b == before.end() ? zero_of(path) : b->second;
    const std::string new_value = a == after.end() ? zero_of(path) : a->second;
    if (old_value == new_value) continue;
    if (path.starts_with("counters[") && a == after.end()) {
      const std::string group = path.substr(0, path.find(']') + 1);
      const auto kept = after.lower_bound(group);
      if (kept == after.end() || !kept->first.starts_with(group)) {
        ++cleared[group];
        continue;
      }
    }
    rows.push_back({path, old_value, new_value});
  }
  for (const auto& [group, cells] : cleared) {
    rows.push_back({group, fmt("{} cells", cells), "cleared for the next shift"});
  }
  if (rows.empty()) {
    std::cout << "  counters: unchanged\n";
    return;
  }
  size_t width = 0;
  for (const auto& r : rows) width = std::max(width, characters(r[0]));
  std::cout << "  counters that changed:\n";
  for (const auto& [path, old_value, new_value] : rows) {
    std::cout << fmt("    {}{}  {} -> {}\n", path, std::string(width - characters(path), ' '),
                     old_value, new_value);
  }
}

std::string indented(std::string_view text, std::string_view indent) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    out += indent;
    out += text.substr(start, end - start);
    out += '\n';
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return out;
}

std::string hex(std::span<const uint8_t> bytes) {
  std::string s;
  for (const uint8_t b : bytes) s += hex_padded(b, 2);
  return s + "\n";
}

// An order has no fiscal document: its block comes from the response.
void print_order(const pb::OrderResponse& response) {
  const pb::Order& order = response.doc();
  std::cout << fmt("\n    ORDER {} / table {}\n", order.header().state().id(),
                   order.header().table());
  for (const pb::Item& i : order.items()) {
    std::cout << "    "
              << row(fmt("{} x {}", thousandths(i.quantity()), i.name()),
                     money(static_cast<int64_t>(i.calculations().sum())))
              << '\n';
  }
  std::cout << "    " << row("ORDER TOTAL", money(static_cast<int64_t>(order.cheque_sums().sum())))
            << "\n\n";
}

// ---------------------------------------------------------------------------

class Demo {
 public:
  explicit Demo(std::optional<std::string> out) : out_(std::move(out)), host_(demo_register()) {}

  Result<int> run();

 private:
  void heading(std::string_view title, std::string_view what) {
    ++step_;
    const std::string line = fmt("== {}. {} ", step_, title);
    std::cout << '\n'
              << line << std::string(characters(line) < 72 ? 72 - characters(line) : 0, '=') << '\n'
              << what << '\n';
  }

  void expect(bool ok, std::string_view what) {
    ++checks_;
    if (!ok) ++failed_;
    std::cout << fmt("  {} {}\n", ok ? "ok    " : "FAILED", what);
  }

  template <class T>
  void expect_eq(std::string_view what, const T& got, const T& want) {
    if (got == want) {
      expect(true, what);
    } else {
      expect(false, fmt("{}: got {}, expected {}", what, got, want));
    }
  }

  Result<void> write(std::string_view name, std::string_view bytes) {
    if (!out_) return {};
    return write_file(fmt("{}/{}-{}", *out_, zero_padded(static_cast<uint64_t>(step_), 2), name),
                      bytes);
  }

  // Calls one export through the register and prints what happened; the
  // typed success response, or null after anything else.
  template <class Response>
  Result<const Response*> call_step(std::string_view slug, std::string_view export_name,
                                    Message& request);

  // Sums of the register's state.
  int64_t drawer() const {
    const auto& attrs = host_.state().context().shift_ctx().attrs();
    const auto it = attrs.find("BYN");
    return it == attrs.end() ? 0 : it->second.cash_in();
  }
  const pb::DocumentsAttributes& counters() const {
    static const pb::DocumentsAttributes kNone;
    const auto it = host_.state().counters().find("BYN");
    return it == host_.state().counters().end() ? kNone : it->second;
  }

  std::optional<std::string> out_;
  Register host_;
  int step_ = 0;
  int checks_ = 0;
  int failed_ = 0;
  std::vector<Outcome> outcomes_;  // what the typed responses point into
  std::string marked_sale_;        // the document the rollback annuls
};

template <class Response>
Result<const Response*> Demo::call_step(std::string_view slug, std::string_view export_name,
                                        Message& request) {
  const Export& e = *find_export(export_name);
  host_.fill(e, request);
  const auto before = flat_state(host_.state());
  Outcome outcome = call(e, request);
  host_.take(e, request, outcome);

  std::cout << fmt("  {} -> status {}\n", e.symbol, outcome.status);
  if (auto ok = write(fmt("{}.request.json", slug), to_json(request)); !ok) {
    return std::unexpected(ok.error());
  }
  if (auto ok = write(fmt("{}.request.pb", slug), request.SerializeAsString()); !ok) {
    return std::unexpected(ok.error());
  }
  if (outcome.response) {
    if (auto ok = write(fmt("{}.response.json", slug), to_json(*outcome.response)); !ok) {
      return std::unexpected(ok.error());
    }
    if (auto ok = write(fmt("{}.response.pb", slug), outcome.bytes); !ok) {
      return std::unexpected(ok.error());
    }
  }
  if (const pb::ErrorResponse* error = outcome.error()) {
    std::cout << fmt("  error {}: {}\n", error->code(), error->message());
  }

  const auto* typed = dynamic_cast<const Response*>(outcome.response.get());
  expect(outcome.status == TARV_STATUS_OK && typed != nullptr, "the library accepts the request");
  if (typed == nullptr) return nullptr;

  if (!outcome.binary_doc.empty()) {
    const auto bytes = std::span<const uint8_t>(
        reinterpret_cast<const uint8_t*>(outcome.binary_doc.data()), outcome.binary_doc.size());
    const auto doc = converter::decode(bytes);
    if (doc) {
      ReceiptExtras extras;
      if constexpr (std::is_same_v<Response, pb::SaleResponse>) {
        const auto& calc = typed->doc().calculations();
        extras.vat = {calc.taxes().begin(), calc.taxes().end()};
        if (const auto p = calc.payments().find("BYN"); p != calc.payments().end()) {
          extras.change = p->second.cash_change();
        }
      }
      std::cout << '\n' << indented(receipt(*doc, extras), "    ") << '\n';
    }
    expect(doc.has_value(), "the binary document reads back");
    print_changes(before, flat_state(host_.state()));
    std::cout << fmt("  document: {} bytes, kind {}\n", outcome.binary_doc.size(),
                     doc ? kind_name(*doc) : "unreadable")
              << hex_dump(outcome.binary_doc, "    ");
    if (auto ok = write(fmt("{}.document.bin", slug), outcome.binary_doc); !ok) {
      return std::unexpected(ok.error());
    }
  } else {
    if constexpr (std::is_same_v<Response, pb::OrderResponse>) print_order(*typed);
    print_changes(before, flat_state(host_.state()));
  }
  outcomes_.push_back(std::move(outcome));
  return typed;
}

Result<int> Demo::run() {
  if (out_ && mkdir(out_->c_str(), 0777) != 0 && errno != EEXIST) {
    return std::unexpected(Failure{kExitUsage, fmt("cannot create {}", *out_)});
  }
  uint32_t length = 0;
  uint8_t flag = 0;
  const char* version = tarvcore_get_version(&length, &flag);
  const pb::Context& reg = host_.state().context();
  std::cout << fmt(
      "tarv demo: one shift on register {} (УНП {}), currency BYN, cashier {},\n"
      "through libtarv_core {} and its C exports. Amounts in BYN, quantities in units.\n",
      reg.device_id(), reg.tax_number(), kCashier, std::string_view(version, length));

  // 1. Open the shift: the host's own business; the library only checks it.
  heading("Open the shift", "The register opens shift 7; the host keeps its opening time.");
  {
    const auto before = flat_state(host_.state());
    host_.open_shift(at_minute(0));
    std::cout << fmt("  shift {} opened at {}\n", reg.next_shift_number(), local_time(kOpenedAt));
    print_changes(before, flat_state(host_.state()));
  }

  // 2. Deposit.
  heading("Deposit", "Change money goes into the drawer: 100.00.");
  {
    pb::DepositRequest r;
    *r.mutable_doc()->mutable_header() = header(2);
    r.mutable_doc()->set_sum(10000);
    const auto resp = call_step<pb::DepositResponse>("deposit", "deposit", r);
    if (!resp) return std::unexpected(resp.error());
    expect_eq<int64_t>("the drawer holds 100.00", drawer(), 10000);
    expect_eq<int64_t>("one deposit counted", counters().deposits().cash().count(), 1);
  }

  // 3. A sale with VAT and a discount, paid by card and cash with change.
  heading("Sale",
          "Bread, cheese by weight and coffee with a 10% line discount; VAT 10% and 20%;\n"
          "10.00 by card, 20.00 tendered in cash, the change from the drawer.");
  {
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
    const auto resp = call_step<pb::SaleResponse>("sale", "sale", r);
    if (!resp) return std::unexpected(resp.error());
    if (const pb::SaleResponse* sale = *resp) {
      const auto& calc = sale->doc().calculations();
      expect_eq<uint64_t>("total 21.96 (3.70 + 6.65 + 12.90 - 1.29)", sale->sum(), 2196);
      expect_eq<uint64_t>("VAT 10% 0.94", calc.taxes().at("10"), 94);
      expect_eq<uint64_t>("VAT 20% 1.94", calc.taxes().at("20"), 194);
      expect_eq<uint64_t>("change 8.04", calc.payments().at("BYN").cash_change(), 804);
      expect_eq<int64_t>("the drawer holds 111.96", drawer(), 11196);
    }
  }

  // 4. A sale of a marked item.
  heading("Sale of a marked item",
          "Mineral water carries a marking code and its GTIN (scanned); a bag without a\n"
          "code. Paid in cash, exactly.");
  {
    pb::SaleRequest r;
    pb::Sale& s = *r.mutable_doc();
    *s.mutable_header() = header(31);
    *s.add_items() = item("Вода минеральная 0,5 л", 159, 1000, 20, 4, "Напитки");
    auto& scans = *s.mutable_items(0)->mutable_code()->mutable_scan_list();
    scans.add_scans()->set_gtin("04810268027803");
    scans.add_scans()->set_mark_c("0104810268027803215BvTq8Nd3kLz91EE0692xQ7aHc2mWp");
    *s.add_items() = item("Пакет-майка", 15, 1000, 20, 4, "Напитки");
    *s.add_payments() = payment(0, 174);
    const auto resp = call_step<pb::SaleResponse>("sale-marked", "sale", r);
    if (!resp) return std::unexpected(resp.error());
    if (const pb::SaleResponse* sale = *resp) {
      expect_eq<uint64_t>("total 1.74", sale->sum(), 174);
      expect(sale->doc().items(0).calculations().has_marking(), "the water counts as marked");
      expect_eq<int64_t>("marked goods with a long code: 1.59",
                         counters().sales().marking().si().sum(), 159);
      expect_eq<uint32_t>("two sales counted", counters().sales().count(), 2);
      marked_sale_ = sale->binary_doc();
    }
  }

  // 5. A refund.
  heading("Refund", "A loaf of bread comes back; 1.85 paid out in cash.");
  {
    pb::RefundRequest r;
    pb::Refund& d = *r.mutable_doc();
    *d.mutable_header() = header(47);
    *d.add_items() = item("Хлеб пшеничный", 185, 1000, 10, 1, "Хлеб");
    d.mutable_items(0)->mutable_code()->set_gtin("4810151022350");
    *d.add_payments() = payment(0, 185);
    const auto resp = call_step<pb::RefundResponse>("refund", "refund", r);
    if (!resp) return std::unexpected(resp.error());
    if (const pb::RefundResponse* refund = *resp) {
      expect_eq<uint64_t>("refund total 1.85", refund->sum(), 185);
      expect_eq<int64_t>("the drawer holds 111.85", drawer(), 11185);
    }
  }

  // 6 and 7. A restaurant order, registered and then raised.
  pb::OrderRequest order;
  {
    pb::OrderHeader& h = *order.mutable_doc()->mutable_header();
    h.mutable_state()->set_id("T4-0315-01");
    h.mutable_state()->set_open_shift_number(7);
    *h.mutable_at() = at_minute(95);
    h.set_cashier(kCashier);
    h.set_table(4);
    h.set_currency("BYN");
    *order.mutable_doc()->add_items() = item("Борщ с пампушками", 650, 1000, 10, 5, "Кухня");
    *order.mutable_doc()->add_items() = item("Драники со сметаной", 890, 2000, 10, 5, "Кухня");
  }
  heading("Restaurant order", "Table 4 orders borscht and two portions of draniki: 24.30.");
  {
    pb::OrderRequest r = order;
    const auto resp = call_step<pb::OrderResponse>("order", "order", r);
    if (!resp) return std::unexpected(resp.error());
    if (const pb::OrderResponse* o = *resp) {
      expect_eq<uint64_t>("order total 24.30", o->doc().cheque_sums().sum(), 2430);
      expect_eq<int64_t>("one order opened", counters().orders().opened().count(), 1);
    }
  }
  heading("Order raised",
          "Table 4 adds a compote: the order is registered again with its previous total,\n"
          "and only the difference is counted as opened.");
  {
    pb::OrderRequest r = order;
    *r.mutable_doc()->mutable_header()->mutable_at() = at_minute(118);
    *r.mutable_doc()->add_items() = item("Компот из сухофруктов", 250, 1000, 10, 5, "Кухня");
    r.set_prev_order_sum(2430);
    const auto resp = call_step<pb::OrderResponse>("order-raised", "order", r);
    if (!resp) return std::unexpected(resp.error());
    if (const pb::OrderResponse* o = *resp) {
      expect_eq<uint64_t>("order total 26.80", o->doc().cheque_sums().sum(), 2680);
      expect_eq<int64_t>("opened orders: 26.80", counters().orders().opened().sum(), 2680);
      expect_eq<int64_t>("still one order", counters().orders().opened().count(), 1);
    }
  }

  // 8. Rollback of the marked sale, signed with the demo key.
  heading("Rollback",
          "The sale of the marked item (document 3) is annulled. The host signs the stored\n"
          "sale document with the demo key; the library verifies the bign signature.");
  {
    const std::string& target = marked_sale_;
    const auto message =
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(target.data()), target.size());
    const std::array<uint8_t, 48> signature =
        testing::bign_sign_deterministic(message, testing::kDemoPrivateKey);
    const std::array<uint8_t, 64> key = testing::bign_public_key(testing::kDemoPrivateKey);
    std::cout << "  signature " << hex(signature) << "  public key " << hex(key);
    if (auto ok = write("rollback.signature.hex", hex(signature)); !ok) {
      return std::unexpected(ok.error());
    }
    if (auto ok = write("rollback.public-key.hex", hex(key)); !ok) {
      return std::unexpected(ok.error());
    }
    pb::RollbackRequest r;
    pb::Rollback& d = *r.mutable_doc();
    *d.mutable_header() = header(126);
    d.set_target(target);
    d.set_signature(signature.data(), signature.size());
    d.set_pub_key(key.data(), key.size());
    d.set_uid("demo-rollback-1");
    const auto resp = call_step<pb::RollbackResponse>("rollback", "rollback", r);
    if (!resp) return std::unexpected(resp.error());
    if (const pb::RollbackResponse* rollback = *resp) {
      expect_eq<uint32_t>("annuls document 3", rollback->doc().target_number(), 3);
      expect_eq<uint64_t>("annuls 1.74", rollback->sum(), 174);
      expect_eq<int64_t>("the drawer holds 110.11", drawer(), 11011);
      expect_eq<int64_t>("one marked item rolled back",
                         counters().rollbacks().marking().si().count(), 1);
    }
  }

  // 9. Withdrawal of the whole drawer.
  heading("Withdrawal", "Everything in the drawer is taken out before the shift closes.");
  {
    pb::WithdrawRequest r;
    *r.mutable_doc()->mutable_header() = header(530);
    r.mutable_doc()->set_sum(static_cast<uint64_t>(drawer()));
    const auto resp = call_step<pb::WithdrawResponse>("withdraw", "withdraw", r);
    if (!resp) return std::unexpected(resp.error());
    expect_eq<int64_t>("the drawer is empty", drawer(), 0);
  }

  // 10. The shift-close report.
  heading("Shift-close report", "The shift closes at 18:00; the report condenses its counters.");
  {
    pb::ReportRequest r;
    *r.mutable_close_at() = at_minute(540);
    const auto resp = call_step<pb::ReportResponse>("report", "report", r);
    if (!resp) return std::unexpected(resp.error());
    if (*resp != nullptr) {
      const std::string& bytes = (*resp)->binary_doc();
      const auto doc =
          converter::decode({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
      const auto* report = doc ? std::get_if<converter::ReportDoc>(&*doc) : nullptr;
      expect(report != nullptr && report->records.size() == 1, "one record, BYN");
      if (report != nullptr && !report->records.empty()) {
        const converter::ReportRecord& byn = report->records[0];
        expect_eq<uint32_t>("two sales", byn.count_a, 2);
        expect_eq<uint64_t>("sales 23.70", byn.sum_a1, 2370);
        expect_eq<uint64_t>("of them 10.00 by card", byn.sum_a2, 1000);
        expect_eq<uint64_t>("refunds 1.85", byn.sum_b1, 185);
        expect_eq<uint64_t>("deposits 100.00", byn.sum_b2, 10000);
        expect_eq<uint64_t>("withdrawals 110.11", byn.sum_b3, 11011);
        expect_eq<uint64_t>("rollbacks 1.74", byn.sum_c2, 174);
        expect(byn.orders.has_value() && byn.orders->opened.sum == 2680, "orders opened 26.80");
      }
      expect(host_.state().context().shift_ctx().has_closed_at(), "the shift is closed");
    }
  }

  std::cout << '\n';
  if (failed_ == 0) {
    std::cout << fmt("All {} steps behaved as expected ({} checks).\n", step_, checks_);
    return kExitOk;
  }
  std::cout << fmt("{} of {} checks FAILED.\n", failed_, checks_);
  return kExitRefused;
}

}  // namespace

Result<int> run_demo(const std::optional<std::string>& out_dir) { return Demo(out_dir).run(); }

}  // namespace tarv::tool
