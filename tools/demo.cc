// tarv demo: one complete shift on a demo register. The shift is data,
// tools/demo_shift.json (compiled in; --shift FILE reads another), a
// DemoShift of tools/demo_shift.proto: the register's state and its steps,
// each a request as `tarv call --db` takes it. This file runs the steps
// through the register and prints them; the tool test checks the journal
// they leave.
#include <fmt/format.h>
#include <google/protobuf/message.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <map>

#include "base/calendar/date_time.h"
#include "base/text/hex.h"
#include "base/text/utf8.h"
#include "base/try.h"
#include "converter/document.h"
#include "demo_shift.pb.h"
#include "host/answer.h"
#include "host/databases.h"
#include "host/doc_view.h"
#include "host/receipt/receipt.h"
#include "host/receipt/text.h"
#include "host/files.h"
#include "host/journal_view.h"
#include "host/json.h"
#include "host/register.h"
#include "host/register_call.h"
#include "include/tarv_core.h"
#include "tools/commands.h"

namespace tarv::tool {

// The shift of tools/demo_shift.json, generated into demo_shift.cc.
extern const std::string_view kDemoShift;

namespace {

// The demo is a host of the library like any other.
using namespace ::tarv::host;  // NOLINT(google-build-using-namespace)

namespace pb = ::tarv::core;
using google::protobuf::Message;
using google::protobuf::Timestamp;

Failure bad_step(const DemoStep& step, std::string_view why) {
  return Failure{Fault::BadInput, fmt::format("step '{}': {}", step.title(), why)};
}

// The export a step calls (its action's field name) and its request; no
// export for an opening.
struct Call {
  const Export* e = nullptr;
  std::unique_ptr<Message> request;
};

Call call_of(const DemoStep& step) {
  const auto* action = DemoStep::descriptor()->FindFieldByNumber(step.action_case());
  const Export* e = action ? find_export(action->name()) : nullptr;
  if (e == nullptr) return {};
  const Message& request = step.GetReflection()->GetMessage(step, action);
  std::unique_ptr<Message> copy(request.New());
  copy->CopyFrom(request);
  return {e, std::move(copy)};
}

// A time as the demo prints it: the local date-time "YYYY-MM-DD HH:MM:SS".
std::string local_time(const Timestamp& at) {
  const auto utc = calendar::utc_time(at.seconds(), 0);
  const auto local = utc ? calendar::local_date_time(*utc) : std::nullopt;
  return local ? date_time(*local) : std::to_string(at.seconds());
}

HostResult<std::string> unhex(std::string_view hex, const DemoStep& step) {
  const auto bytes = text::from_hex(hex);
  if (!bytes) return std::unexpected(bad_step(step, fmt::format("'{}' is not hex", hex)));
  return std::string(bytes->begin(), bytes->end());
}

// Runs the steps through the register and prints each call with its receipt,
// counters and document.
class Demo {
 public:
  Demo(const DemoShift& shift, std::optional<std::string> out, std::unique_ptr<host::Store> store)
      : shift_(shift), out_(std::move(out)), store_(std::move(store)), host_(shift.state()) {}

  HostResult<int> run();

 private:
  // Numbers the step and prints its title and what it does.
  void heading(const DemoStep& step);
  // Opens the register's next shift, as `tarv open` does.
  HostResult<void> open_shift(const Timestamp& at);
  // Completes what only the run knows: the drawer, the rollback's target.
  HostResult<void> complete(const DemoStep& step, Message& request);
  // Calls the step's export through the register, prints what happened and
  // writes the step's files.
  HostResult<void> call_step(const DemoStep& step, const Export& e, Message& request);

  // Writes the step's file `name` under --out; nothing without --out.
  HostResult<void> write(std::string_view name, std::string_view bytes) {
    if (!out_) return {};
    return write_file(fmt::format("{}/{:02}-{}", *out_, step_, name), bytes);
  }
  // The register's state from its database, after a call.
  HostResult<void> reload() {
    auto state = store_->state();
    TARV_TRY(state);
    host_ = Register(std::move(*state));
    return {};
  }
  // The cash in the drawer now, in the register's first currency.
  int64_t drawer() const {
    const auto& attrs = host_.state().context().shift_ctx().attrs();
    const auto it = attrs.find(shift_.state().context().currencies(0));
    return it == attrs.end() ? 0 : it->second.cash_in();
  }

  const DemoShift& shift_;
  std::optional<std::string> out_;
  std::unique_ptr<host::Store> store_;
  Register host_;
  int step_ = 0;
  std::map<std::string, std::string> documents_;  // by step slug
};

void Demo::heading(const DemoStep& step) {
  ++step_;
  const std::string line = fmt::format("== {}. {} ", step_, step.title());
  std::cout << '\n'
            << line
            << std::string(
                   text::utf8::char_count(line) < 72 ? 72 - text::utf8::char_count(line) : 0, '=')
            << '\n'
            << step.what() << '\n';
}

HostResult<void> Demo::open_shift(const Timestamp& at) {
  // The host's own business; the library only checks it.
  TARV_TRY(host::open_shift(*store_, at));
  TARV_TRY(reload());
  std::cout << fmt::format("  shift {} opened at {}\n", host_.state().context().next_shift_number(),
                           local_time(at));
  return {};
}

HostResult<void> Demo::complete(const DemoStep& step, Message& request) {
  if (step.whole_drawer()) {
    auto* withdraw = dynamic_cast<pb::WithdrawRequest*>(&request);
    if (withdraw == nullptr) {
      return std::unexpected(bad_step(step, "whole_drawer belongs to a withdraw"));
    }
    withdraw->mutable_doc()->set_sum(static_cast<uint64_t>(drawer()));
  }
  if (step.has_signature()) {
    const DemoSignature& s = step.signature();
    auto* rollback = dynamic_cast<pb::RollbackRequest*>(&request);
    const auto target = documents_.find(s.target());
    if (rollback == nullptr || target == documents_.end()) {
      return std::unexpected(
          bad_step(step, "a signature belongs to a rollback of an earlier step's document"));
    }
    auto signature = unhex(s.signature(), step);
    auto key = unhex(s.public_key(), step);
    TARV_TRY(signature);
    TARV_TRY(key);
    const std::string signature_line = fmt::format("{}\n", s.signature());
    const std::string key_line = fmt::format("{}\n", s.public_key());
    std::cout << "  signature " << signature_line << "  public key " << key_line;
    TARV_TRY(write("rollback.signature.hex", signature_line));
    TARV_TRY(write("rollback.public-key.hex", key_line));
    rollback->mutable_doc()->set_target(target->second);
    rollback->mutable_doc()->set_signature(std::move(*signature));
    rollback->mutable_doc()->set_pub_key(std::move(*key));
  }
  return {};
}

HostResult<void> Demo::call_step(const DemoStep& step, const Export& e, Message& request) {
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
    TARV_TRY(write(fmt::format("{}.{}", step.slug(), suffix), bytes));
  }
  if (const pb::ErrorResponse* error = outcome.error()) {
    std::cout << fmt::format("  error {}: {}\n", error->code(), error->message());
  }
  if (outcome.status != TARV_STATUS_OK || outcome.response == nullptr) {
    return std::unexpected(
        Failure{Fault::Refused, fmt::format("step {} ({}): {} answered status {}", step_,
                                            step.title(), e.symbol, outcome.status)});
  }

  if (!outcome.binary_doc.empty()) {
    const auto bytes = std::span<const uint8_t>(
        reinterpret_cast<const uint8_t*>(outcome.binary_doc.data()), outcome.binary_doc.size());
    const auto doc = converter::decode(bytes);
    if (doc) {
      std::cout << '\n'
                << indented(receipt_text(receipt_of(*doc, receipt_extras(outcome.response.get()))), "    ") << '\n';
    }
    std::cout << fmt::format("  document: {} bytes, kind {}\n", outcome.binary_doc.size(),
                             doc ? document_kind_name(*doc) : "unreadable")
              << hex_dump(outcome.binary_doc, "    ");
    documents_[step.slug()] = outcome.binary_doc;
  } else if (const Receipt order = order_receipt_of(*outcome.response); !order.rows.empty()) {
    std::cout << '\n' << indented(receipt_text(order), "    ") << '\n';
  }
  return {};
}

HostResult<int> Demo::run() {
  if (out_ && mkdir(out_->c_str(), 0777) != 0 && errno != EEXIST) {
    return std::unexpected(Failure{Fault::BadInput, fmt::format("cannot create {}", *out_)});
  }
  uint32_t length = 0;
  uint8_t flag = 0;
  const char* version = tarvcore_get_version(&length, &flag);
  const pb::Context& reg = shift_.state().context();
  std::cout << fmt::format(
      "tarv demo: one shift on register {} (УНП {}), currency {}, cashier {},\n"
      "through libtarv_core {} and its C exports. Amounts in {}, quantities in units.\n",
      reg.device_id(), reg.tax_number(), reg.currencies(0), shift_.cashier(),
      std::string_view(version, length), reg.currencies(0));

  for (const DemoStep& step : shift_.steps()) {
    heading(step);
    if (step.has_open()) {
      TARV_TRY(open_shift(step.open()));
    } else {
      Call call = call_of(step);
      if (call.e == nullptr) {
        return std::unexpected(bad_step(step, "neither opens the shift nor calls an export"));
      }
      TARV_TRY(complete(step, *call.request));
      TARV_TRY(call_step(step, *call.e, *call.request));
    }
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

constexpr std::string_view kHelp = R"(usage: tarv demo [--out DIR] [--db DB] [--shift FILE]

Runs one complete shift on a built-in register, through the library's C
exports, and prints every step as a person reads it: the receipt, the counters
that changed and the binary document in hex. The steps: open the shift, a
deposit, a sale with VAT and a discount paid by card and cash with change, a
sale of a marked item, a refund, a restaurant order registered and raised, the
rollback of a sale signed with the demo key, the withdrawal of the drawer and
the shift-close report. The register is kept in a database as `tarv call
--db` keeps one, and the run ends with its journal.

  --db DB       keep the register in DB (a new one, as tarv init makes) and
                leave it there for tarv journal; without it, a temporary one
  --out DIR     also write each step's request and response (.json and the
                encoded .pb), its binary document (.bin), the demo public key
                and the rollback's signature into DIR (created if needed)
  --shift FILE  run the shift of FILE instead of the built-in one (the
                project's tools/demo_shift.json): the register's state and
                its steps, each a request in the JSON of tarv call --db

Exits 0 when the library accepted every step; 1 at the first it refused.
)";

HostResult<int> run(const std::optional<std::string>& db, const std::optional<std::string>& out,
                    const std::optional<std::string>& shift_file) {
  std::string text(kDemoShift);
  if (shift_file) {
    auto read = read_file(*shift_file);
    TARV_TRY(read);
    text = std::move(*read);
  }
  DemoShift shift;
  TARV_TRY(parse_json(text, shift, shift_file.value_or("the demo shift"), Fault::BadInput));
  if (shift.state().context().currencies().empty()) {
    return std::unexpected(Failure{Fault::BadInput, "the demo register has no currency"});
  }
  const std::string path = db.value_or(
      (std::filesystem::temp_directory_path() / fmt::format("tarv-demo-{}.db", getpid())).string());
  const auto remove_temporary = [&] {
    if (db) return;
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  };
  remove_temporary();  // a leftover of a killed run under the same process id
  auto store = host::create_store(path, shift.state());
  TARV_TRY(store);
  auto result = Demo(shift, out, std::move(*store)).run();
  remove_temporary();
  return result;
}

Run define(CLI::App& app) {
  auto db = std::make_shared<std::optional<std::string>>();
  auto out = std::make_shared<std::optional<std::string>>();
  auto shift = std::make_shared<std::optional<std::string>>();
  app.add_option("--db", *db);
  app.add_option("--out", *out);
  app.add_option("--shift", *shift);
  return [=] { return run(*db, *out, *shift); };
}

}  // namespace

const Command kDemoCommand = {"demo", "[--out DIR] [--db DB] [--shift FILE]",
                              "run one complete shift on a demo register", kHelp, define};

}  // namespace tarv::tool
