// The tarv tool, run as a process the way a person or a script runs it.
#include <fcntl.h>
#include <google/protobuf/struct.pb.h>
#include <google/protobuf/util/json_util.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "host_state.pb.h"
#include "tarv_core.pb.h"

namespace {

namespace fs = std::filesystem;
using google::protobuf::Struct;
using google::protobuf::util::JsonStringToMessage;
using google::protobuf::util::MessageToJsonString;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void put(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

struct Result {
  int status = -1;
  std::string out, err;
};

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tarv_tool_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path file(const std::string& name) const { return dir_ / name; }

  // Runs `tarv ARGS` in the test's folder with `input` on standard input.
  Result tarv(const std::string& args, const std::string& input = "") const {
    put(file("stdin"), input);
    const std::string command = "cd '" + dir_.string() + "' && '" TARV_BUILD_DIR "/tarv' " + args +
                                " <stdin >stdout 2>stderr";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(file("stdout")), slurp(file("stderr"))};
  }

  fs::path dir_;
};

template <class Message>
Message from_json(const std::string& json) {
  Message m;
  EXPECT_TRUE(JsonStringToMessage(json, &m).ok()) << json;
  return m;
}

// The "response" of `tarv call`'s output as the typed message.
template <class Message>
Message response_of(const std::string& call_output) {
  const auto out = from_json<Struct>(call_output);
  std::string json;
  EXPECT_TRUE(MessageToJsonString(out.fields().at("response"), &json).ok());
  return from_json<Message>(json);
}

const char kState[] = R"({"context": {
  "currencies": ["BYN"], "device_id": 4242, "tax_number": 190123456,
  "next_doc_number": 1, "next_shift_number": 1,
  "shift_ctx": {"opened_at": "2024-03-15T06:00:00Z"}}})";

// A header `minute` minutes after the shift opened (minute < 60).
std::string header(int minute) {
  return R"({"cashier": "Иванов", "currency": "BYN", "at": "2024-03-15T06:)" +
         std::string(minute < 10 ? "0" : "") + std::to_string(minute) + R"(:00Z"})";
}

TEST_F(Tool, DemoRunsTheWholeShiftAndItsSignatureVerifies) {
  const Result demo = tarv("demo --out out");
  ASSERT_EQ(demo.status, 0) << demo.out << demo.err;
  EXPECT_NE(demo.out.find("All 10 steps behaved as expected"), std::string::npos);
  EXPECT_EQ(demo.out.find("FAILED"), std::string::npos);
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

TEST_F(Tool, CallWithStateDrivesAShiftCallByCall) {
  put(file("state.json"), kState);
  auto state = [&] { return from_json<tarv::host::HostState>(slurp(file("state.json"))); };
  auto call = [&](const std::string& export_name, const std::string& request) {
    put(file("request.json"), request);
    return tarv("call " + export_name + " request.json --state state.json");
  };

  Result r = call("deposit", R"({"doc": {"header": )" + header(5) + R"(, "sum": 5000}})");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto s = state();
  EXPECT_EQ(s.counters().at("BYN").deposits().cash().sum(), 5000);
  EXPECT_EQ(s.counters().at("BYN").deposits().cash().count(), 1);
  EXPECT_EQ(s.context().shift_ctx().attrs().at("BYN").cash_in(), 5000);
  EXPECT_EQ(s.context().next_doc_number(), 2u);
  // Times are RFC 3339 text in the state file and in the response.
  EXPECT_NE(slurp(file("state.json")).find(R"("opened_at": "2024-03-15T06:00:00Z")"),
            std::string::npos);
  EXPECT_NE(r.out.find(R"("at": "2024-03-15T06:05:00Z")"), std::string::npos) << r.out;

  r = call("sale", R"({"doc": {"header": )" + header(9) +
                       R"(, "items": [{"name": "Хлеб", "price": 185, "quantity": 2000}],
                       "payments": [{"type_id": 0, "sum": 500}]}})");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(response_of<tarv::core::SaleResponse>(r.out)
                .doc()
                .calculations()
                .payments()
                .at("BYN")
                .cash_change(),
            130u);
  s = state();
  const auto& sales = s.counters().at("BYN").sales();
  EXPECT_EQ(sales.count(), 1u);
  EXPECT_EQ(sales.sum(), 370u);
  EXPECT_EQ(sales.payments().at("BYN").cash().sum(), 370);
  EXPECT_EQ(s.counters().at("BYN").deposits().cash().sum(), 5000);  // other kinds kept
  EXPECT_EQ(s.context().shift_ctx().attrs().at("BYN").cash_in(), 5370);
  EXPECT_EQ(s.context().next_doc_number(), 3u);
  EXPECT_EQ(s.first_sale(), 2u);
  EXPECT_EQ(s.last_sale(), 2u);

  // Cash in the drawer: the report is refused and the state stays as it was.
  const std::string before = slurp(file("state.json"));
  const std::string report = R"({"close_at": "2024-03-15T10:53:20Z"})";
  r = call("report", report);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("tarv.core.shift.cash-in"), std::string::npos);
  EXPECT_EQ(slurp(file("state.json")), before);

  r = call("withdraw", R"({"doc": {"header": )" + header(30) + R"(, "sum": 5370}})");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(state().context().shift_ctx().attrs().at("BYN").cash_in(), 0);

  r = call("report", report);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const auto printed = from_json<Struct>(r.out).fields().at("document").struct_value().fields();
  EXPECT_EQ(printed.at("docs_count").number_value(), 1);
  EXPECT_EQ(printed.at("first_sale").number_value(), 2);
  s = state();
  EXPECT_TRUE(s.context().shift_ctx().has_closed_at());
  EXPECT_TRUE(s.counters().empty());
  EXPECT_EQ(s.context().next_shift_number(), 2u);
}

TEST_F(Tool, StateFileIsLockedWhileInUse) {
  put(file("state.json"), kState);
  put(file("request.json"), R"({"doc": {"header": )" + header(5) + R"(, "sum": 100}})");
  const std::string args = "call deposit request.json --state state.json";
  {
    // Another process holds the lock (flock locks belong to the open file).
    const int held = open(file("state.json.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const Result busy = tarv(args);
    close(held);
    EXPECT_EQ(busy.status, 4);
    EXPECT_NE(busy.err.find("tarv: state file state.json is in use by another tarv"),
              std::string::npos)
        << busy.err;
    EXPECT_EQ(busy.out, "");
    EXPECT_EQ(slurp(file("state.json")), kState);
  }
  const Result r = tarv(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(from_json<tarv::host::HostState>(slurp(file("state.json"))).context().next_doc_number(),
            2u);
}

// A deposit of 1.00 a call, each killed at a random moment: the state file
// always parses and holds the state before or after the call, never a mix.
TEST_F(Tool, StateSurvivesKillsAtRandomMoments) {
  put(file("state.json"), kState);
  put(file("request.json"), R"({"doc": {"header": )" + header(5) + R"(, "sum": 100}})");
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE(seed);
  std::mt19937 random(seed);
  const auto start = [&] {
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      if (chdir(dir_.c_str()) != 0) _exit(126);
      execl(TARV_BUILD_DIR "/tarv", "tarv", "call", "deposit", "request.json", "--state",
            "state.json", static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  };
  // Every eighth call runs whole and sets the span the kills spread over:
  // from the start to half as long again as the slowest whole call.
  std::chrono::microseconds slowest{0};
  uint32_t issued = 0;  // deposits the state holds
  int killed = 0, finished = 0;
  for (int i = 0; i < 88; ++i) {
    const bool whole = i % 8 == 0;
    const auto began = std::chrono::steady_clock::now();
    const pid_t pid = start();
    ASSERT_GT(pid, 0);
    if (!whole) {
      std::uniform_int_distribution<int64_t> delay_us(0, slowest.count() * 3 / 2);
      std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
      kill(pid, SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (whole) {
      slowest = std::max(slowest, std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::steady_clock::now() - began));
    }
    if (WIFEXITED(status)) {
      ASSERT_EQ(WEXITSTATUS(status), 0) << "call " << i;
      ++finished;
    } else {
      ASSERT_FALSE(whole);
      ++killed;
    }

    tarv::host::HostState state;
    const std::string text = slurp(file("state.json"));
    ASSERT_TRUE(JsonStringToMessage(text, &state).ok()) << "after call " << i << ":\n" << text;
    const uint32_t now = state.context().next_doc_number() - 1;
    ASSERT_TRUE(now == issued || now == issued + 1) << "call " << i << ": " << now;
    if (WIFEXITED(status)) {
      ASSERT_EQ(now, issued + 1) << "call " << i;
    }
    issued = now;
    // The numbering, the counters and the drawer moved together.
    ASSERT_EQ(state.counters().at("BYN").deposits().cash().count(), now);
    ASSERT_EQ(state.context().shift_ctx().attrs().at("BYN").cash_in(), 100 * now);
  }
  EXPECT_GT(killed, 0);
  RecordProperty("killed", killed);
  RecordProperty("finished", finished);
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
  for (const char* text : {"SALE No. 77", "Сыр «Российский»", "TOTAL", "6.65", "4.65"}) {
    EXPECT_NE(receipt.out.find(text), std::string::npos) << text << "\n" << receipt.out;
  }
}

TEST_F(Tool, BadInputGetsOneLineAndItsExitStatus) {
  put(file("state.json"), R"({"context": {"currencies": ["BYN"],)");
  put(file("nine.bin"), std::string("\x09\x00", 2));
  put(file("cut.bin"), std::string("\x0a\x01\x02", 3));
  put(file("short.sig"), std::string(47, 'x'));
  put(file("key"), std::string(64, 'x'));
  struct Case {
    const char* args;
    const char* input;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"call sale missing.json", "", 3, "tarv: cannot read missing.json: No such file"},
      {"call sale", "{\"doc\": {\n \"header\" 1}}", 2,
       "tarv: <stdin>:2:11: bad JSON: syntax error while parsing object separator"},
      {"call sale -", "{\"doc\": {\"itms\": []}}", 2, "itms: Cannot find field"},
      {"call deposit -", "{\"doc\": {\"header\": {\"at\": \"15.03.2024 10:00\"}}}", 2,
       "bad JSON for tarv.core.DepositRequest: (doc.header.at): invalid value"},
      {"call sale -", "[1, 2", 2, "tarv: <stdin>:1:6: bad JSON: syntax error while parsing array - unexpected end of input"},
      {"call sael -", "{}", 3, "tarv: unknown export 'sael' (one of deposit, withdraw,"},
      {"call sale -", "{}", 1, "Missing $req.doc"},  // the library's own line
      {"call sale - --state state.json", "{}", 3,
       "tarv: state file state.json:1:36: bad JSON: syntax error while parsing object key - unexpected end"},
      {"call sale - --state", "{}", 3, "tarv: --state needs a value"},
      {"doc nine.bin", "", 1, "Parse(\"Could not match enum variant id = 9 on enum"},
      {"doc cut.bin", "", 1, "tarv: cut.bin: Incomplete(NeedSize"},
      {"doc", "", 3, "tarv: wrong arguments (see tarv doc --help)"},
      {"verify nine.bin short.sig key", "", 1, ""},
      {"frobnicate", "", 3, "tarv: unknown command 'frobnicate'"},
      {"demo --fast", "", 3, "tarv: unknown option --fast"},
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

TEST_F(Tool, HelpForTheToolAndEachCommand) {
  const std::pair<const char*, const char*> cases[] = {
      {"--help", "usage: tarv COMMAND"},
      {"demo --help", "usage: tarv demo [--out DIR]"},
      {"call --help", "usage: tarv call EXPORT [FILE|-] [--state FILE]"},
      {"doc --help", "usage: tarv doc FILE [--receipt]"},
      {"verify --help", "usage: tarv verify DOC SIG PUBKEY"},
  };
  for (const auto& [args, usage] : cases) {
    const Result r = tarv(args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_TRUE(r.out.starts_with(usage)) << args << "\n" << r.out;
  }
}

}  // namespace
