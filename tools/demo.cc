// tarv demo: one complete shift on a built-in register: the steps as data,
// each a request, and the run that calls them through the register and prints
// them; the tool test checks the journal they leave.
#include <fmt/format.h>
#include <google/protobuf/message.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <vector>

#include "base/calendar/date_time.h"
#include "base/text/hex.h"
#include "base/text/utf8.h"
#include "base/try.h"
#include "converter/document.h"
#include "host/answer.h"
#include "host/databases.h"
#include "host/doc_view.h"
#include "host/files.h"
#include "host/journal_view.h"
#include "host/register.h"
#include "host/register_call.h"
#include "include/tarv_core.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

// The demo is a host of the library like any other.
using namespace ::tarv::host;  // NOLINT(google-build-using-namespace)

namespace pb = ::tarv::core;
using google::protobuf::Message;

constexpr std::string_view kDemoCashier = "Мария Иванова";

// The demo register's standing data: register 31700042, currency BYN.
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

// A Unix time as the demo prints it: the local date-time "YYYY-MM-DD HH:MM:SS".
std::string local_time(int64_t unix_seconds) {
  const auto utc = calendar::utc_time(unix_seconds, 0);
  const auto local = utc ? calendar::local_date_time(*utc) : std::nullopt;
  return local ? date_time(*local) : std::to_string(unix_seconds);
}

struct Step;

// Runs the steps through the register and prints each call with its receipt,
// counters and document. A step sees the run through its public part.
class Demo {
 public:
  Demo(std::optional<std::string> out, std::unique_ptr<host::Store> store)
      : out_(std::move(out)), store_(std::move(store)), host_(demo_register()) {}

  HostResult<int> run();

  // The register as it is now (kept in its database by the run).
  const Register& host() const { return host_; }
  // Opens the register's next shift at `at`, as `tarv open` does.
  HostResult<void> open_shift(const google::protobuf::Timestamp& at) {
    TARV_TRY(host::open_shift(*store_, at));
    return reload();
  }
  // The binary document that the step `slug` issued; empty when none did.
  const std::string& document(std::string_view slug) const {
    static const std::string kNone;
    const auto it = documents_.find(std::string(slug));
    return it == documents_.end() ? kNone : it->second;
  }
  // Writes the step's file `name` under --out; nothing without --out.
  HostResult<void> write(std::string_view name, std::string_view bytes) {
    if (!out_) return {};
    return write_file(fmt::format("{}/{:02}-{}", *out_, step_, name), bytes);
  }

  // The BYN cash in the drawer now.
  int64_t drawer() const;

 private:
  // Numbers the step and prints its title and what it does.
  void heading(const Step& step);

  // Calls the step's export through the register, prints what happened and
  // writes the step's files; the outcome.
  HostResult<CallOutcome> call_step(const Step& step, Message& request);

  // The register's state from its database, after a call.
  HostResult<void> reload() {
    auto state = store_->state();
    TARV_TRY(state);
    host_ = Register(std::move(*state));
    return {};
  }

  std::optional<std::string> out_;
  std::unique_ptr<host::Store> store_;
  Register host_;
  int step_ = 0;
  std::map<std::string, std::string> documents_;  // by step slug
};


struct Step {
  std::string_view title;
  std::string_view what;  // for the reader, one or two lines
  // Names the step's files under --out ("sale-marked": 04-sale-marked.*) and
  // its document for later steps.
  std::string_view slug;
  std::string_view export_name;  // empty: the host acts alone
  // Builds the request (context, attrs and number come from the register),
  // or acts alone and returns null.
  std::function<HostResult<std::unique_ptr<google::protobuf::Message>>(Demo&)> request;
};

// The shift: open, deposit, two sales, refund, an order registered and
// raised, the rollback of a signed sale, the withdrawal, the report.
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
constexpr std::string_view kDemoPublicKey =
    "63b513679d605d0a1600ed4e93d5cf2cb9867a73fb14d89b17e2d82527a9b001"
    "e48be16dc959a2f3bc0eabdfa7ca7e0b6b6d3d5911d7362c369fbb98b72fb628";
constexpr std::string_view kMarkedSaleSignature =
    "024ce8d3a1874d86cfe10315b1a7a08f1ebfbfc11e1230fd9731a32a74368335"
    "4fcd9b214dfc95ef32a80171f3b4650a";

std::string unhex(std::string_view hex) {
  const auto bytes = text::from_hex(hex);
  return {bytes->begin(), bytes->end()};
}

using Request = HostResult<std::unique_ptr<Message>>;

template <class M>
Request request(M message) {
  return std::make_unique<M>(std::move(message));
}

const std::vector<Step>& demo_steps() {
  static const std::vector<Step> kSteps = {
      {
          "Open the shift",
          "The register opens shift 7; the host keeps its opening time.",
          "open",
          "",
          [](Demo& c) -> Request {
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
          [](Demo&) {
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
          [](Demo&) {
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
          [](Demo&) {
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
          [](Demo&) {
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
          [](Demo&) { return request(order()); },
      },
      {
          "Order raised",
          "Table 4 adds a compote: the order is registered again with its previous total,\n"
          "and only the difference is counted as opened.",
          "order-raised",
          "order",
          [](Demo&) {
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
          [](Demo& c) -> Request {
            const std::string& target = c.document("sale-marked");
            const std::string signature = fmt::format("{}\n", kMarkedSaleSignature);
            const std::string key = fmt::format("{}\n", kDemoPublicKey);
            std::cout << "  signature " << signature << "  public key " << key;
            TARV_TRY(c.write("rollback.signature.hex", signature));
            TARV_TRY(c.write("rollback.public-key.hex", key));
            pb::RollbackRequest r;
            pb::Rollback& d = *r.mutable_doc();
            *d.mutable_header() = header(126);
            d.set_target(target);
            d.set_signature(unhex(kMarkedSaleSignature));
            d.set_pub_key(unhex(kDemoPublicKey));
            d.set_uid("demo-rollback-1");
            return request(std::move(r));
          },
      },
      {
          "Withdrawal",
          "Everything in the drawer is taken out before the shift closes.",
          "withdraw",
          "withdraw",
          [](Demo& c) {
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
          [](Demo&) {
            pb::ReportRequest r;
            *r.mutable_close_at() = at_minute(540);
            return request(std::move(r));
          },
      },
  };
  return kSteps;
}

int64_t Demo::drawer() const {
  const auto& attrs = host_.state().context().shift_ctx().attrs();
  const auto it = attrs.find("BYN");
  return it == attrs.end() ? 0 : it->second.cash_in();
}


void Demo::heading(const Step& step) {
  ++step_;
  const std::string line = fmt::format("== {}. {} ", step_, step.title);
  std::cout << '\n'
            << line
            << std::string(
                   text::utf8::char_count(line) < 72 ? 72 - text::utf8::char_count(line) : 0, '=')
            << '\n'
            << step.what << '\n';
}

HostResult<CallOutcome> Demo::call_step(const Step& step, Message& request) {
  const Export& e = *find_export(step.export_name);
  // Filled, called, journaled and kept in one transaction; the request is
  // shown as the register filled it.
  const auto committed = host::call_register(*store_, e, request, "");
  TARV_TRY(committed);
  request.ParseFromString(committed->entry.request);
  CallOutcome outcome = host::outcome_of(e, committed->entry);
  TARV_TRY(reload());

  std::cout << fmt::format("  {} -> status {}\n", e.symbol, outcome.status);
  const std::pair<std::string, std::string> files[] = {
      {"request.json", to_json(request)},
      {"request.pb", request.SerializeAsString()},
      {"response.json", outcome.response ? to_json(*outcome.response) : ""},
      {"response.pb", outcome.response ? outcome.bytes : ""},
      {"document.bin", outcome.binary_doc},
  };
  for (const auto& [suffix, bytes] : files) {
    if (bytes.empty() && suffix != "request.pb") continue;
    TARV_TRY(write(fmt::format("{}.{}", step.slug, suffix), bytes));
  }
  if (const pb::ErrorResponse* error = outcome.error()) {
    std::cout << fmt::format("  error {}: {}\n", error->code(), error->message());
  }
  if (outcome.status != TARV_STATUS_OK || outcome.response == nullptr) {
    return std::unexpected(
        Failure{Fault::Refused, fmt::format("step {} ({}): {} answered status {}", step_,
                                            step.title, e.symbol, outcome.status)});
  }

  if (!outcome.binary_doc.empty()) {
    const auto bytes = std::span<const uint8_t>(
        reinterpret_cast<const uint8_t*>(outcome.binary_doc.data()), outcome.binary_doc.size());
    const auto doc = converter::decode(bytes);
    if (doc) {
      std::cout << '\n'
                << indented(receipt(*doc, receipt_extras(outcome.response.get())), "    ") << '\n';
    }
    std::cout << fmt::format("  document: {} bytes, kind {}\n", outcome.binary_doc.size(),
                             doc ? document_kind_name(*doc) : "unreadable")
              << hex_dump(outcome.binary_doc, "    ");
    documents_[std::string(step.slug)] = outcome.binary_doc;
  } else if (const std::string order = order_receipt(*outcome.response); !order.empty()) {
    std::cout << '\n' << indented(order, "    ") << '\n';
  }
  return outcome;
}

HostResult<int> Demo::run() {
  if (out_ && mkdir(out_->c_str(), 0777) != 0 && errno != EEXIST) {
    return std::unexpected(Failure{Fault::BadInput, fmt::format("cannot create {}", *out_)});
  }
  uint32_t length = 0;
  uint8_t flag = 0;
  const char* version = tarvcore_get_version(&length, &flag);
  const pb::Context& reg = host_.state().context();
  std::cout << fmt::format(
      "tarv demo: one shift on register {} (УНП {}), currency BYN, cashier {},\n"
      "through libtarv_core {} and its C exports. Amounts in BYN, quantities in units.\n",
      reg.device_id(), reg.tax_number(), kDemoCashier, std::string_view(version, length));

  for (const Step& step : demo_steps()) {
    heading(step);
    auto request = step.request(*this);
    TARV_TRY(request);
    if (*request != nullptr) TARV_TRY(call_step(step, **request));  // else the host acted alone
    std::cout << fmt::format("  in the drawer: {}\n", money(drawer()));
  }

  std::cout << "\nThe register's journal (tarv journal DB):\n";
  TARV_TRY(host::for_each_entry(*store_, [](const host::JournalEntry& entry) -> HostResult<void> {
    std::cout << host::entry_line(entry);
    return {};
  }));
  std::cout << fmt::format("\nAll {} steps done.\n", step_);
  return kExitOk;
}

constexpr std::string_view kHelp = R"(usage: tarv demo [--out DIR] [--db DB]

Runs one complete shift on a built-in register, through the library's C
exports, and prints every step as a person reads it: the receipt, the counters
that changed and the binary document in hex. The steps: open the shift, a
deposit, a sale with VAT and a discount paid by card and cash with change, a
sale of a marked item, a refund, a restaurant order registered and raised, the
rollback of a sale signed with the demo key, the withdrawal of the drawer and
the shift-close report. The register is kept in a database as `tarv call
--db` keeps one, and the run ends with its journal.

  --db DB     keep the register in DB (a new one, as tarv init makes) and
              leave it there for tarv journal; without it, a temporary one
  --out DIR   also write each step's request and response (.json and the
              encoded .pb), its binary document (.bin), the demo public key
              and the rollback's signature into DIR (created if needed)

Exits 0 when the library accepted every step; 1 at the first it refused.
)";

HostResult<int> run(const std::optional<std::string>& db, const std::optional<std::string>& out) {
  const std::string path = db.value_or(
      (std::filesystem::temp_directory_path() / fmt::format("tarv-demo-{}.db", getpid())).string());
  const auto remove_temporary = [&] {
    if (db) return;
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  };
  remove_temporary();  // a leftover of a killed run under the same process id
  auto store = host::create_store(path, demo_register());
  TARV_TRY(store);
  auto result = Demo(out, std::move(*store)).run();
  remove_temporary();
  return result;
}

Run define(CLI::App& app) {
  auto db = std::make_shared<std::optional<std::string>>();
  auto out = std::make_shared<std::optional<std::string>>();
  app.add_option("--db", *db);
  app.add_option("--out", *out);
  return [=] { return run(*db, *out); };
}

}  // namespace

const Command kDemoCommand = {"demo", "[--out DIR] [--db DB]",
                              "run one complete shift on a demo register", kHelp, define};

}  // namespace tarv::tool
