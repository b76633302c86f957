// The tarv tool, run as a process the way a person or a script runs it.
#include <google/protobuf/struct.pb.h>
#include <google/protobuf/util/json_util.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "converter/document.h"
#include "host/databases.h"
#include "host/register_call.h"
#include "host/store.h"
#include "host_state.pb.h"
#include "tarv_core.pb.h"
#include "tests/tool/tool_fixture.h"

namespace {

namespace fs = std::filesystem;
using google::protobuf::Struct;
using google::protobuf::util::MessageToJsonString;
using namespace tarv::test;  // the fixture and its helpers
using tarv::host::Export;
using tarv::host::HostResult;
using tarv::host::JournalEntry;
namespace pb = tarv::core;

// The response as its type; fails the test (by throwing) when it is not.
template <class R>
const R& as(const std::unique_ptr<google::protobuf::Message>& response) {
  return dynamic_cast<const R&>(*response);
}

std::span<const uint8_t> bytes_of(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST_F(Tool, DemoRunsTheWholeShiftAndItsSignatureVerifies) {
  const Result demo = tarv("demo --out out --db d.db");
  ASSERT_EQ(demo.status, 0) << demo.out << demo.err;
  EXPECT_NE(demo.out.find("All 10 steps done."), std::string::npos);
  // The shift was kept in a register: its journal ends the run and checks.
  EXPECT_NE(demo.out.find("The register's journal"), std::string::npos);
  const Result check = tarv("journal d.db check");
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  for (const char* name : {"02-deposit.request.json", "03-sale.response.pb",
                           "10-report.document.bin", "06-order.response.json"}) {
    EXPECT_TRUE(fs::exists(file("out") / name)) << name;
  }

  const std::string verify =
      "verify out/04-sale-marked.document.bin out/08-rollback.signature.hex "
      "out/08-rollback.public-key.hex";
  EXPECT_EQ(tarv(verify).status, 0);
  std::string sale = slurp(file("out/04-sale-marked.document.bin"));
  sale[60] ^= 1;
  put(file("out/04-sale-marked.document.bin"), sale);
  const Result tampered = tarv(verify);
  EXPECT_EQ(tampered.status, 1);
  EXPECT_NE(tampered.out.find("invalid"), std::string::npos);

  const Result report = tarv("doc out/10-report.document.bin");
  ASSERT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(from_json<Struct>(report.out).fields().at("docs_count").number_value(), 2);
}

// What the demo's shift left in its register: each step's response and the
// shift-close report's record, which sums the shift.
TEST_F(Tool, DemoShiftIsInItsJournal) {
  ASSERT_EQ(tarv("demo --db d.db").status, 0);
  auto store = tarv::host::open_store(file("d.db").string());
  ASSERT_TRUE(store) << store.error().message;
  std::vector<std::string> exports;
  std::vector<std::unique_ptr<google::protobuf::Message>> responses;
  ASSERT_TRUE(
      tarv::host::for_each_entry(**store, [&](const JournalEntry& entry) -> HostResult<void> {
        EXPECT_EQ(entry.status, 0) << entry.seq;
        exports.push_back(entry.export_name);
        const Export* e = tarv::host::find_export(entry.export_name);
        responses.push_back(e ? tarv::host::outcome_of(*e, entry).response : nullptr);
        return {};
      }));
  EXPECT_EQ(exports, (std::vector<std::string>{"open", "deposit", "sale", "sale", "refund", "order",
                                               "order", "rollback", "withdraw", "report"}));
  ASSERT_EQ(responses.size(), 10u);
  const auto& sale = as<pb::SaleResponse>(responses[2]);
  const auto& marked = as<pb::SaleResponse>(responses[3]);
  const auto& rollback = as<pb::RollbackResponse>(responses[7]);
  const auto report =
      tarv::converter::decode(bytes_of(as<pb::ReportResponse>(responses[9]).binary_doc()));
  ASSERT_TRUE(report);
  const auto& records = std::get<tarv::converter::ReportDoc>(*report).records;
  ASSERT_EQ(records.size(), 1u);
  const tarv::converter::ReportRecord& byn = records[0];
  const std::pair<const char*, std::pair<uint64_t, uint64_t>> cases[] = {
      {"sale total (3.70 + 6.65 + 12.90 - 1.29)", {sale.sum(), 2196}},
      {"VAT 10%", {sale.doc().calculations().taxes().at("10"), 94}},
      {"VAT 20%", {sale.doc().calculations().taxes().at("20"), 194}},
      {"change", {sale.doc().calculations().payments().at("BYN").cash_change(), 804}},
      {"marked sale total", {marked.sum(), 174}},
      {"the water counts as marked", {marked.doc().items(0).calculations().has_marking(), 1}},
      {"refund total", {as<pb::RefundResponse>(responses[4]).sum(), 185}},
      {"order total", {as<pb::OrderResponse>(responses[5]).doc().cheque_sums().sum(), 2430}},
      {"raised order total", {as<pb::OrderResponse>(responses[6]).doc().cheque_sums().sum(), 2680}},
      {"rollback annuls document 3", {rollback.doc().target_number(), 3}},
      {"rollback total", {rollback.sum(), 174}},
      {"report: sales", {byn.count_a, 2}},
      {"report: sales sum", {byn.sum_a1, 2370}},
      {"report: of them by card", {byn.sum_a2, 1000}},
      {"report: refunds", {byn.sum_b1, 185}},
      {"report: deposits", {byn.sum_b2, 10000}},
      {"report: withdrawals (the whole drawer)", {byn.sum_b3, 11011}},
      {"report: rollbacks", {byn.sum_c2, 174}},
      {"report: orders opened", {byn.orders ? byn.orders->opened.sum : 0, 2680}},
  };
  for (const auto& [what, values] : cases) EXPECT_EQ(values.first, values.second) << what;
  const auto state = (*store)->state();
  ASSERT_TRUE(state);
  EXPECT_TRUE(state->context().shift_ctx().has_closed_at());
  const auto& drawer = state->context().shift_ctx().attrs();  // emptied, then cleared
  EXPECT_EQ(drawer.contains("BYN") ? drawer.at("BYN").cash_in() : 0, 0);
}

TEST_F(Tool, DocPrintsASaleDocumentAsTheSaleWroteIt) {
  tarv::host::HostState state = from_json<tarv::host::HostState>(kState);
  state.mutable_context()->set_next_doc_number(77);
  std::string context;
  ASSERT_TRUE(MessageToJsonString(state.context(), &context).ok());
  const Result call = tarv("call tarvcore_create_sale", R"({"context": )" + context +
                                                            R"(, "attrs": {}, "doc": {"header": )" +
                                                            header(3) + R"(, "items": [
      {"name": "Сыр «Российский»", "price": 1899, "quantity": 350,
       "code": {"code_a": "4810151"}, "section": {"code": 2}}],
      "payments": [{"type_id": 1, "sum": 465}, {"type_id": 0, "sum": 200}]}})");
  ASSERT_EQ(call.status, 0) << call.out << call.err;
  const auto response = response_of<tarv::core::SaleResponse>(call.out);
  put(file("sale.bin"), response.binary_doc());

  const Result doc = tarv("doc sale.bin");
  ASSERT_EQ(doc.status, 0) << doc.err;
  const auto read = from_json<Struct>(doc.out);
  // The document `call` showed is the one `doc` reads from the file.
  EXPECT_EQ(read.DebugString(),
            from_json<Struct>(call.out).fields().at("document").struct_value().DebugString());
  const auto& f = read.fields();
  EXPECT_EQ(f.at("kind").string_value(), "Sale");
  const auto& header = f.at("header").struct_value().fields();
  EXPECT_EQ(header.at("doc_number").number_value(), 77);
  EXPECT_EQ(header.at("cashier").string_value(), "Иванов");
  EXPECT_EQ(header.at("at").string_value(), "2024-03-15T09:03:00");  // local time
  const auto& item = f.at("items").list_value().values(0).struct_value().fields();
  EXPECT_EQ(item.at("name").string_value(), "Сыр «Российский»");
  EXPECT_EQ(item.at("quantity").number_value(), 350);
  EXPECT_EQ(item.at("cost").number_value(), 665);
  EXPECT_EQ(item.at("section").number_value(), 2);
  EXPECT_EQ(item.at("code").struct_value().fields().at("digits").string_value(), "4810151");
  EXPECT_EQ(f.at("total").number_value(), static_cast<double>(response.sum()));
  EXPECT_EQ(f.at("cashless").number_value(), 465);
  EXPECT_EQ(f.at("cash").number_value(), 200);

  const Result receipt = tarv("doc sale.bin --receipt");
  ASSERT_EQ(receipt.status, 0);
  for (const char* text : {"ЧЕК ПРОДАЖИ № 77", "Сыр «Российский»", "ИТОГО", "6.65", "4.65"}) {
    EXPECT_NE(receipt.out.find(text), std::string::npos) << text << "\n" << receipt.out;
  }
}

TEST_F(Tool, BadInputGetsOneLineAndItsExitStatus) {
  put(file("state.json"), R"({"context": {"currencies": ["BYN"],)");
  put(file("nine.bin"), std::string("\x09\x00", 2));
  put(file("cut.bin"), std::string("\x0a\x01\x02", 3));
  put(file("short.sig"), std::string(47, 'x'));
  put(file("key"), std::string(64, 'x'));
  put(file("shift.json"), R"({"state": {"context": {"currencies": ["BYN"]}},
                              "steps": [{"title": "Drawer", "whole_drawer": true, "sale": {}}]})");
  struct Case {
    const char* args;
    const char* input;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"call sale missing.json", "", 3, "tarv: cannot read missing.json: No such file"},
      {"call sale", "{\"doc\": {\n \"header\" 1}}", 2,
       "tarv: <stdin>:2:11: bad JSON: "},
      {"call sale -", "{\"doc\": {\"itms\": []}}", 2, "itms"},
      {"call deposit -", "{\"doc\": {\"header\": {\"at\": \"15.03.2024 10:00\"}}}", 2,
       "bad JSON for tarv.core.DepositRequest: (doc.header.at)"},
      {"call sale -", "[1, 2", 2,
       "tarv: <stdin>:1:6: bad JSON: "},
      {"call sael -", "{}", 3, "tarv: unknown export 'sael' (one of deposit, withdraw,"},
      {"call sale -", "{}", 1, "Missing $req.doc"},  // the library's own line
      {"init r.db state.json", "", 3,
       "tarv: state.json:1:36: bad JSON: "},
      {"call sale - --db state.json", "{}", 7, "tarv: state.json is not a register"},
      {"call sale - --db", "{}", 3, "tarv: --db: "},
      {"call sale - --key k", "{}", 3, "tarv: --key requires --db (see tarv call --help)"},
      {"call sale - --register a", "{}", 3, "tarv: --register requires --db"},
      {"journal r.db --register a/b", "", 3, "'a/b' is no register id"},
      {"init r.db --from till.db", "", 3, "tarv: --from requires --register"},
      {"call sale - --db r.db --wait soon", "{}", 3, "tarv: --wait: 'soon' is not a number"},
      {"call sale - --db r.db --wait nan", "{}", 3, "tarv: --wait: 'nan' is not a number"},
      {"open r.db --wait -1", "", 3, "tarv: --wait: '-1' is not a number from 0 to 86400"},
      {"serve --db r.db --wait 1e9", "", 3, "tarv: --wait: '1e9' is not a number"},
      {"serve --db r.db --max-body -1", "", 3, "tarv: --max-body: '-1' is not a number"},
      {"serve --db r.db --listen 127.0.0.1:65536", "", 3, "--listen takes ADDRESS:PORT"},
      {"serve --listen 127.0.0.1:0", "", 3, "tarv: --db is required"},
      {"journal state.json show", "", 3, "tarv: SEQ is required (see tarv journal --help)"},
      {"journal state.json frob", "", 3, "not expected: frob (see tarv journal --help)"},
      {"doc nine.bin", "", 1, "tarv: nine.bin: "},
      {"doc cut.bin", "", 1, "tarv: cut.bin: "},
      {"doc", "", 3, "tarv: FILE is required (see tarv doc --help)"},
      {"doc nine.bin --receipt --width 40", "", 3, "tarv: --width: 40 not in {32,44,48}"},
      {"doc nine.bin --escpos", "", 3, "tarv: --escpos requires --receipt"},
      {"doc a b", "", 3, "not expected: b (see tarv doc --help)"},
      {"verify nine.bin short.sig key", "", 1, ""},
      {"frobnicate", "", 3, "tarv: unknown command 'frobnicate'"},
      {"demo --fast", "", 3, "not expected: --fast (see tarv demo --help)"},
      {"demo --shift state.json", "", 3, "tarv: state.json:1:36: bad JSON: syntax error"},
      {"demo --shift shift.json", "", 3, "tarv: step 'Drawer': whole_drawer belongs to a withdraw"},
      {"", "", 3, "tarv: no command"},
  };
  for (const Case& c : cases) {
    const Result r = tarv(c.args, c.input);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    if (c.status == 3 || c.status == 2) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << "\n" << r.err;
    }
  }
  EXPECT_EQ(slurp(file("state.json")), R"({"context": {"currencies": ["BYN"],)");
}

// `tarv --help` lists every command; each command's help starts with its
// usage, and every option its usage names is one its parser takes.
TEST_F(Tool, EveryCommandTakesTheOptionsItsUsageNames) {
  const Result top = tarv("--help");
  ASSERT_EQ(top.status, 0);
  std::vector<std::string> commands;
  const std::string listed = top.out.substr(top.out.find("commands:\n") + 10);
  for (std::istringstream lines(listed.substr(0, listed.find("\n\n"))); !lines.eof();) {
    std::string name;
    lines >> name;
    if (!name.empty()) commands.push_back(name);
    lines.ignore(1 << 10, '\n');
  }
  EXPECT_EQ(commands, (std::vector<std::string>{"demo", "init", "call", "open", "journal", "serve",
                                                "doc", "verify"}));
  const std::regex option("--[a-z][a-z-]*");
  for (const std::string& command : commands) {
    const Result help = tarv(command + " --help");
    EXPECT_EQ(help.status, 0) << command;
    ASSERT_TRUE(help.out.starts_with("usage: tarv " + command)) << help.out;
    const std::string usage = help.out.substr(0, help.out.find("\n\n"));
    int named = 0;
    for (std::sregex_iterator it(usage.begin(), usage.end(), option), end; it != end; ++it) {
      // Without its value or the command's positionals the line is refused,
      // but never as an option the command does not know.
      const Result r = tarv(command + " " + it->str());
      EXPECT_EQ(r.status, 3) << command << " " << it->str() << "\n" << r.err;
      EXPECT_EQ(r.err.find("not expected"), std::string::npos) << command << "\n" << r.err;
      ++named;
    }
    EXPECT_TRUE(named > 0 || command == "verify" || command == "init") << command;
  }
}

}  // namespace
