// tarv demo: one complete shift on a built-in register.
#include <fmt/format.h>
#include <google/protobuf/message.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iostream>
#include <map>
#include <vector>

#include "base/text/utf8.h"
#include "base/try.h"
#include "converter/document.h"
#include "host/answer.h"
#include "host/doc_view.h"
#include "host/files.h"
#include "host/journal_view.h"
#include "host/register.h"
#include "host/register_call.h"
#include "include/tarv_core.h"
#include "tools/commands.h"
#include "tools/demo_steps.h"

namespace tarv::tool {
namespace {

// The demo is a host of the library like any other.
using namespace ::tarv::host;  // NOLINT(google-build-using-namespace)

using google::protobuf::FieldDescriptor;
using google::protobuf::Message;

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

// An order has no fiscal document: its block comes from the response.
void print_order(const pb::OrderResponse& response) {
  const pb::Order& order = response.doc();
  std::cout << fmt::format("\n    ORDER {} / table {}\n", order.header().state().id(),
                           order.header().table());
  for (const pb::Item& i : order.items()) {
    std::cout << "    "
              << row(fmt::format("{} x {}", thousandths(i.quantity()), i.name()),
                     money(static_cast<int64_t>(i.calculations().sum())))
              << '\n';
  }
  std::cout << "    " << row("ORDER TOTAL", money(static_cast<int64_t>(order.cheque_sums().sum())))
            << "\n\n";
}

// ---------------------------------------------------------------------------

// Runs the steps of demo_steps.h through the register, prints each call with
// its receipt, counters and document, and counts the checks.
class Demo : public StepContext {
 public:
  Demo(std::optional<std::string> out, std::unique_ptr<host::Store> store)
      : out_(std::move(out)), store_(std::move(store)), host_(demo_register()) {}

  HostResult<int> run();

  const Register& host() const override { return host_; }
  HostResult<void> open_shift(const google::protobuf::Timestamp& at) override {
    TARV_TRY(host::open_shift(*store_, at));
    return reload();
  }
  const std::string& document(std::string_view slug) const override {
    static const std::string kNone;
    const auto it = documents_.find(std::string(slug));
    return it == documents_.end() ? kNone : it->second;
  }
  HostResult<void> write(std::string_view name, std::string_view bytes) override {
    if (!out_) return {};
    return write_file(fmt::format("{}/{:02}-{}", *out_, step_, name), bytes);
  }

 private:
  void heading(const Step& step) {
    ++step_;
    const std::string line = fmt::format("== {}. {} ", step_, step.title);
    std::cout << '\n'
              << line
              << std::string(
                     text::utf8::char_count(line) < 72 ? 72 - text::utf8::char_count(line) : 0, '=')
              << '\n'
              << step.what << '\n';
  }

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
  } else {
    if (const auto* order = dynamic_cast<const pb::OrderResponse*>(outcome.response.get())) {
      print_order(*order);
    }
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
