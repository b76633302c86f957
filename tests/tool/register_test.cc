// A register kept by tarv in its database, driven as a hostile and unlucky
// host drives it: killed at random moments, called by several processes at
// once, through links, on a read-only or full disk.
#include <fcntl.h>
#include <google/protobuf/struct.pb.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "host/databases.h"
#include "host/json.h"
#include "host/register_call.h"
#include "host_state.pb.h"
#include "tarv_core.pb.h"
#include "tests/tool/tool_fixture.h"

namespace {

namespace fs = std::filesystem;
using google::protobuf::Struct;
using namespace tarv::test;  // the fixture and its helpers

// The kinds of database a register lives in.
enum class Kind { kSqlite, kPostgres };

// A PostgreSQL server the tests share (tests/postgres/cluster.sh, started by
// ctest): its URL, empty when there is none.
std::string postgres_url() {
  const char* dir = std::getenv("TARV_POSTGRES");
  if (dir == nullptr) return "";
  std::string url = slurp(fs::path(dir) / "url");
  while (!url.empty() && url.back() == '\n') url.pop_back();
  return url;
}

// One statement on a PostgreSQL database; the first value of its answer.
std::string postgres(const std::string& url, const std::string& sql) {
  PGconn* c = PQconnectdb(url.c_str());
  PGresult* r = PQexec(c, sql.c_str());
  const ExecStatusType status = PQresultStatus(r);
  EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
      << sql << ": " << PQerrorMessage(c);
  std::string value = PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
  PQclear(r);
  PQfinish(c);
  return value;
}

// The register tests run on each kind of database: "r.db" in their command
// lines names the test's own database (an SQLite file in the test's folder,
// or a PostgreSQL database made for the test on the shared server).
class Register : public Tool, public ::testing::WithParamInterface<Kind> {
 protected:
  void SetUp() override {
    Tool::SetUp();
    if (GetParam() == Kind::kPostgres) {
      const std::string server = postgres_url();
      if (server.empty()) GTEST_SKIP() << "no PostgreSQL server (TARV_POSTGRES)";
      std::string name = "t" + std::to_string(getpid()) + "_" + dir_.filename().string();
      std::ranges::transform(name, name.begin(), [](unsigned char c) {
        return std::isalnum(c) ? static_cast<char>(std::tolower(c)) : '_';
      });
      postgres(server, "CREATE DATABASE " + name);
      dropped_ = "DROP DATABASE " + name + " WITH (FORCE)";
      db_ = server.substr(0, server.rfind('/') + 1) + name;
    }
    put(file("state.json"), kState);
    const Result init = tarv("init r.db state.json");
    ASSERT_EQ(init.status, 0) << init.err;
  }
  void TearDown() override {
    if (!dropped_.empty()) postgres(postgres_url(), dropped_);
    Tool::TearDown();
  }

  bool sqlite() const { return GetParam() == Kind::kSqlite; }

  // `tarv ARGS`, "r.db" in ARGS standing for the test's database.
  Result tarv(std::string args, const std::string& input = "",
              const std::string& prefix = "") const {
    return Tool::tarv(ours(std::move(args)), input, prefix);
  }
  std::string ours(std::string text) const {
    for (size_t at = 0; (at = text.find("r.db", at)) != std::string::npos; at += db_.size()) {
      text.replace(at, 4, db_);
    }
    return text;
  }

  // One statement on the test's database; the first value of its answer.
  std::string sql(const std::string& statement) const {
    if (!sqlite()) return postgres(db_, statement);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(file("r.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr),
              SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, statement.c_str(), -1, &s, nullptr), SQLITE_OK) << statement;
    const int rc = sqlite3_step(s);
    EXPECT_TRUE(rc == SQLITE_ROW || rc == SQLITE_DONE) << statement << ": " << sqlite3_errmsg(db);
    std::string value = rc == SQLITE_ROW && sqlite3_column_text(s, 0) != nullptr
                            ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0))
                            : "";
    sqlite3_finalize(s);
    sqlite3_close(db);
    return value;
  }

  // The register's state, as `tarv journal DB state` prints it.
  tarv::host::HostState state(const std::string& db = "r.db") const {
    const Result r = tarv("journal " + db + " state");
    EXPECT_EQ(r.status, 0) << r.err;
    return from_json<tarv::host::HostState>(r.out);
  }

  // Every journal entry, from `tarv journal DB --json`.
  std::vector<Struct> journal(const std::string& args = "r.db") const {
    const Result r = tarv("journal " + args + " --json");
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<Struct> entries;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
      entries.push_back(from_json<Struct>(line));
    }
    return entries;
  }

  // The number of journal entries, read straight from the database.
  int64_t entry_count() const { return std::stoll(sql("SELECT count(*) FROM journal")); }

  std::string db_ = "r.db";
  std::string dropped_;  // the statement that drops the test's PostgreSQL database
  // After anything at all: the database is whole, the journal replays to the
  // state byte for byte, the documents are numbered 1, 2, 3... in the journal
  // and every one of them is counted.
  void expect_sound(const std::string& db = "r.db") const {
    if (sqlite()) {
      EXPECT_EQ(sql("PRAGMA integrity_check"), "ok");
    }

    const Result check = tarv("journal " + db + " check");
    ASSERT_EQ(check.status, 0) << check.out << check.err;

    uint32_t documents = 0;
    int64_t deposits = 0;  // since the last shift-close report
    for (const auto& entry : journal(db)) {
      const auto& f = entry.fields();
      const std::string kind = f.at("export").string_value();
      if (kind == "report" && f.at("status").number_value() == 0) deposits = 0;
      if (!f.contains("doc_number")) continue;
      ASSERT_EQ(f.at("doc_number").number_value(), ++documents);
      if (kind == "deposit") ++deposits;
    }
    const auto now = state(db);
    ASSERT_EQ(now.context().next_doc_number(), documents + 1);
    const auto counters = now.counters().find("BYN");
    ASSERT_EQ(counters == now.counters().end() ? 0 : counters->second.deposits().cash().count(),
              deposits);
  }
};

// `tarv ARGS...` started in `dir` with its standard output into `out`.
pid_t start(const fs::path& dir, const std::vector<std::string>& args, const fs::path& out) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_WRONLY);
    dup2(o, 1);
    dup2(null, 2);
    if (chdir(dir.c_str()) != 0) _exit(126);
    std::vector<char*> argv{const_cast<char*>("tarv")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(TARV_BUILD_DIR "/tarv", argv.data());
    _exit(127);
  }
  return pid;
}

int wait_for(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::string deposit(int minute, int sum) {
  return R"({"doc": {"header": )" + header(minute) + R"(, "sum": )" + std::to_string(sum) + "}}";
}

std::string sale(int minute) {
  return R"({"doc": {"header": )" + header(minute) +
         R"(, "items": [{"name": "Хлеб", "price": 185, "quantity": 2000}],
         "payments": [{"type_id": 0, "sum": 500}]}})";
}

// The register fills each request and keeps what the library hands back.
TEST_P(Register, CallWithDbDrivesAShiftCallByCall) {
  auto call = [&](const std::string& export_name, const std::string& request) {
    put(file("request.json"), request);
    return tarv("call " + export_name + " request.json --db r.db");
  };

  Result r = call("deposit", R"({"doc": {"header": )" + header(5) + R"(, "sum": 5000}})");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto s = state();
  EXPECT_EQ(s.counters().at("BYN").deposits().cash().sum(), 5000);
  EXPECT_EQ(s.counters().at("BYN").deposits().cash().count(), 1);
  EXPECT_EQ(s.context().shift_ctx().attrs().at("BYN").cash_in(), 5000);
  EXPECT_EQ(s.context().next_doc_number(), 2u);
  // Times are RFC 3339 text in the state and in the response.
  EXPECT_NE(tarv("journal r.db state").out.find(R"("opened_at": "2024-03-15T06:00:00Z")"),
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
  const std::string before = tarv("journal r.db state").out;
  const std::string report = R"({"close_at": "2024-03-15T10:53:20Z"})";
  r = call("report", report);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("tarv.core.shift.cash-in"), std::string::npos);
  EXPECT_EQ(tarv("journal r.db state").out, before);

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

// A shift of deposits and sales, each call under its own key and killed at
// a random moment; a killed call is retried with its key until it answers.
// Every answer a caller received is the journal's, each key made one entry,
// and after every kill the register is sound.
TEST_P(Register, NothingIsLostOrCountedTwiceWhenKilledAtRandomMoments) {
  put(file("deposit.json"), deposit(5, 100));
  put(file("sale.json"), sale(5));
  const uint32_t seed = std::random_device{}();
  SCOPED_TRACE(seed);
  std::mt19937 random(seed);
  std::chrono::microseconds slowest{1000};
  int kills = 0, retries = 0, recovered = 0;
  // The arguments of each call that answered and the answer it printed.
  std::vector<std::pair<std::vector<std::string>, std::string>> received;
  constexpr int kCalls = 240;
  for (int i = 0; i < kCalls; ++i) {
    const std::vector<std::string> args = {"call",
                                           i % 3 == 2 ? "sale" : "deposit",
                                           i % 3 == 2 ? "sale.json" : "deposit.json",
                                           "--db",
                                           db_,
                                           "--key",
                                           "k" + std::to_string(i)};
    // Every eighth call runs whole and sets the span the kills spread over.
    for (bool whole = i % 8 == 0;; whole = true, ++retries) {
      const auto began = std::chrono::steady_clock::now();
      const pid_t pid = start(dir_, args, file("out"));
      if (!whole) {
        std::uniform_int_distribution<int64_t> delay_us(0, slowest.count() * 3 / 2);
        std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
        kill(pid, SIGKILL);
      }
      const int status = wait_for(pid);
      if (status == 0) {
        if (i % 8 == 0) {
          slowest = std::max(slowest, std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - began));
        }
        received.emplace_back(args, slurp(file("out")));
        break;
      }
      ASSERT_EQ(status, -SIGKILL) << "call " << i << " " << slurp(file("out"));
      ++kills;
      // Killed after its commit: the retry gets the answer that was lost.
      if (entry_count() == i + 1) ++recovered;
      if (kills % 8 == 1) expect_sound();  // a sample: each check replays all
    }
  }
  expect_sound();
  const auto entries = journal();
  ASSERT_EQ(entries.size(), static_cast<size_t>(kCalls));  // one entry per key
  // Asked again, every key gives back the answer its caller received.
  for (const auto& [args, answer] : received) {
    ASSERT_EQ(wait_for(start(dir_, args, file("out"))), 0);
    ASSERT_EQ(slurp(file("out")), answer) << args.back();
  }
  ASSERT_EQ(journal().size(), static_cast<size_t>(kCalls));
  EXPECT_EQ(tarv("journal r.db last").out, received.back().second);
  EXPECT_GT(kills, 0);
  RecordProperty("kills", kills);
  RecordProperty("retries", retries);
  RecordProperty("entries", static_cast<int>(entries.size()));
  RecordProperty("answers", static_cast<int>(received.size()));
  RecordProperty("recovered", recovered);
  std::cout << "kill test: " << kills << " kills, " << entries.size() << " entries, " << recovered
            << " answers recovered by a retry with the key\n";
}

// Four processes call the same register at once, through different names of
// it: every deposit is counted once and the numbers have no gaps.
TEST_P(Register, CallersAtOnceTakeTurns) {
  put(file("deposit.json"), deposit(5, 100));
  fs::create_directories(file("sub"));
  fs::create_symlink("../r.db", file("sub/link.db"));  // SQLite: through another name
  constexpr int kCallers = 4, kEach = 12;
  std::vector<std::thread> callers;
  std::atomic<int> failed = 0;
  for (int c = 0; c < kCallers; ++c) {
    callers.emplace_back([&, c] {
      const std::string db = !sqlite() ? db_
                             : c % 2   ? "sub/link.db"
                                       : fs::path(file("r.db")).string();
      for (int i = 0; i < kEach; ++i) {
        const pid_t pid = start(dir_, {"call", "deposit", "deposit.json", "--db", db},
                                file("out" + std::to_string(c)));
        if (wait_for(pid) != 0) ++failed;
      }
    });
  }
  for (auto& t : callers) t.join();
  EXPECT_EQ(failed, 0);
  expect_sound();
  const auto s = state();
  EXPECT_EQ(s.context().next_doc_number(), kCallers * kEach + 1u);
  EXPECT_EQ(s.context().shift_ctx().attrs().at("BYN").cash_in(), 100 * kCallers * kEach);
}

TEST_P(Register, KeysNumberingAndLinks) {
  put(file("deposit.json"), deposit(5, 100));
  put(file("other.json"), deposit(6, 200));
  put(file("numbered.json"), R"({"doc": {"header": {"cashier": "Иванов", "currency": "BYN",
      "at": "2024-03-15T06:07:00Z", "number": 7}, "sum": 100}})");
  put(file("early.json"), deposit(4, 100));
  fs::create_symlink("r.db", file("sym.db"));
  fs::create_hard_link(file("state.json"), file("state-too.json"));

  const Result first = tarv("call deposit deposit.json --db r.db --key a");
  ASSERT_EQ(first.status, 0) << first.err;
  struct Case {
    std::string args;
    int status;
    const char* message;  // in standard error; for status 0 the output is `first`'s
    bool files = false;   // of SQLite files only
  };
  const Case cases[] = {
      {"call deposit deposit.json --db sym.db --key a", 0, "", true},
      {"call deposit other.json --db r.db --key a", 5,
       "tarv: key 'a' was used by journal entry 1 (deposit) with another request"},
      {"call withdraw deposit.json --db r.db --key a", 5, "with another request"},
      {"call deposit numbered.json --db r.db", 6,
       "tarv: the register numbers its documents: the next is 2, the request names 7"},
      {"init r.db state.json", 7, "tarv: cannot create register r.db: it exists"},
      {"call deposit deposit.json --db missing.db", 7, "tarv: no register at missing.db", true},
      {"call deposit deposit.json --db state.json", 7, "hard links", true},
      {"call deposit deposit.json --db deposit.json", 7, "is not a register", true},
      {"call deposit deposit.json --db r.db --register nope", 3, "tarv: r.db has no register nope"},
      {"journal r.db show 9", 3, "tarv: the journal of r.db has no entry 9"},
      {"open r.db --at 2024-03-15T12:00:00Z", 1, "tarv: the shift is open"},
      // The register's clock ran backwards: refused before the library.
      {"call deposit early.json --db r.db", 3,
       "tarv: the document is dated 2024-03-15T06:04:00Z, before the register's last one "
       "(2024-03-15T06:05:00Z): the register's clock may have run backwards"},
  };
  for (const Case& c : cases) {
    if (c.files && !sqlite()) continue;
    const Result r = tarv(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(ours(c.message)), std::string::npos) << c.args << "\n" << r.err;
    if (c.status == 0) {
      EXPECT_EQ(r.out, first.out) << c.args;
    }
  }
  EXPECT_EQ(tarv("journal r.db show 1").out, first.out);
  EXPECT_EQ(journal().size(), 1u);  // refusals are no calls

  // An error answer is journaled and changes nothing; after the report a new
  // shift opens, journaled too, and the check replays it.
  EXPECT_EQ(tarv("call report - --db r.db", R"({"close_at": "2024-03-15T10:00:00Z"})").status, 1);
  put(file("withdraw.json"), R"({"doc": {"header": )" + header(30) + R"(, "sum": 100}})");
  ASSERT_EQ(tarv("call withdraw withdraw.json --db r.db").status, 0);
  ASSERT_EQ(tarv("call report - --db r.db", R"({"close_at": "2024-03-15T10:00:00Z"})").status, 0);
  const Result opened = tarv("open r.db --at 2024-03-15T12:00:00Z");
  ASSERT_EQ(opened.status, 0) << opened.err;
  EXPECT_EQ(state().context().next_shift_number(), 2u);
  const std::string before_opening = R"({"doc": {"header": {"cashier": "Иванов",
      "currency": "BYN", "at": "2024-03-15T11:00:00Z"}, "sum": 1}})";
  EXPECT_EQ(tarv("call deposit - --db r.db", before_opening).status, 1);
  // A report may not close the shift before it was opened.
  const Result early_close =
      tarv("call report - --db r.db", R"({"close_at": "2024-03-15T11:30:00Z"})");
  EXPECT_EQ(early_close.status, 3) << early_close.err;
  EXPECT_NE(early_close.err.find("before it was opened (2024-03-15T12:00:00Z)"), std::string::npos)
      << early_close.err;
  ASSERT_EQ(tarv("journal r.db export docs").status, 0);
  EXPECT_TRUE(fs::exists(file("docs/1-deposit.bin")));
  EXPECT_TRUE(fs::exists(file("docs/shift1-report.bin")));
  // Text that is no request is refused as the server refuses it: nothing is
  // journaled, whether the shift is open or closed.
  const size_t entries = journal().size();
  EXPECT_EQ(tarv("call sale - --db r.db", "{").status, 2);
  ASSERT_EQ(tarv("call report - --db r.db", R"({"close_at": "2024-03-15T13:00:00Z"})").status, 0);
  EXPECT_EQ(tarv("call sale - --db r.db", "{").status, 2);
  EXPECT_EQ(journal().size(), entries + 1);
  expect_sound();

  // Tampering shows: one byte more in a stored response.
  sql(std::string("UPDATE journal SET response = response || ") +
      (sqlite() ? "x'00'" : "'\\x00'::bytea") + " WHERE seq = 1");
  const Result check = tarv("journal r.db check");
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.err.find("tarv: journal entry 1 (deposit): the library's response differs"),
            std::string::npos)
      << check.err;
}

// One database, many registers: each with its own state, numbering, journal
// and keys; a database of several wants --register; a till's file moves in
// whole, and a file of the former schema (one register) still opens.
TEST_P(Register, ManyRegistersInOneDatabase) {
  put(file("deposit.json"), deposit(5, 100));
  for (const char* id : {"a", "b"}) {
    const Result made = tarv(std::string("init r.db state.json --register ") + id);
    ASSERT_EQ(made.status, 0) << made.err;
  }
  const Result keyed = tarv("call deposit deposit.json --db r.db --register a --key k");
  ASSERT_EQ(keyed.status, 0) << keyed.err;
  struct Case {
    std::string args;
    int status;
    const char* message;  // in standard error
  };
  const Case cases[] = {
      // The same key again is the same call; in another register, another.
      {"call deposit deposit.json --db r.db --register a --key k", 0, ""},
      {"call deposit deposit.json --db r.db --register b --key k", 0, ""},
      {"call deposit deposit.json --db r.db --register b", 0, ""},
      {"call deposit deposit.json --db r.db", 3, "tarv: r.db holds 3 registers; name one"},
      {"journal r.db check", 3, "holds 3 registers"},
      {"init r.db state.json --register a", 7, "tarv: cannot create register a of r.db: it exists"},
      {"init r.db state.json", 7, "tarv: cannot create register r.db: it exists"},
      {"init r.db --register c --from r.db", 3,
       "r.db is the database the register would move into"},
  };
  for (const Case& c : cases) {
    const Result r = tarv(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(ours(c.message)), std::string::npos) << c.args << "\n" << r.err;
  }
  EXPECT_EQ(journal("r.db --register a").size(), 1u);
  EXPECT_EQ(journal("r.db --register b").size(), 2u);
  EXPECT_EQ(journal("r.db --register default").size(), 0u);
  EXPECT_EQ(state("r.db --register b").context().next_doc_number(), 3u);
  expect_sound("r.db --register a");
  expect_sound("r.db --register b");

  // A till's file, with an error answer and a shift closed and opened.
  ASSERT_EQ(Tool::tarv("init till.db state.json").status, 0);
  const Result till_keyed = Tool::tarv("call deposit deposit.json --db till.db --key t");
  ASSERT_EQ(till_keyed.status, 0);
  EXPECT_EQ(
      Tool::tarv("call report - --db till.db", R"({"close_at": "2024-03-15T10:00:00Z"})").status,
      1);
  put(file("withdraw.json"), R"({"doc": {"header": )" + header(30) + R"(, "sum": 100}})");
  ASSERT_EQ(Tool::tarv("call withdraw withdraw.json --db till.db").status, 0);
  ASSERT_EQ(
      Tool::tarv("call report - --db till.db", R"({"close_at": "2024-03-15T10:00:00Z"})").status,
      0);
  ASSERT_EQ(Tool::tarv("open till.db --at 2024-03-15T12:00:00Z").status, 0);
  const std::string till_journal = Tool::tarv("journal till.db --json").out;
  const std::string till_state = Tool::tarv("journal till.db state").out;
  const Result moved = tarv("init r.db --register till --from till.db");
  ASSERT_EQ(moved.status, 0) << moved.err;
  EXPECT_NE(moved.out.find("5 journal entries, replayed"), std::string::npos) << moved.out;
  EXPECT_EQ(tarv("journal r.db --register till --json").out, till_journal);
  EXPECT_EQ(tarv("journal r.db --register till state").out, till_state);
  EXPECT_EQ(tarv("call deposit deposit.json --db r.db --register till --key t").out,
            till_keyed.out);
  expect_sound("r.db --register till");
  // The till is marked: it issues nothing, and moves no more.
  EXPECT_EQ(Tool::tarv("journal till.db check").status, 0);
  EXPECT_NE(Tool::tarv("journal till.db last")
                .out.find(R"("moved_to": ")" + ours("r.db") + " as register till"),
            std::string::npos);
  for (const char* args : {"call deposit deposit.json --db till.db", "open till.db",
                           "init r.db --register again --from till.db"}) {
    const Result r = tarv(args);
    EXPECT_EQ(r.status, 3) << args;
    EXPECT_NE(r.err.find(ours("the register was moved to r.db as register till: it issues")),
              std::string::npos)
        << args << "\n"
        << r.err;
  }

  if (!sqlite()) return;
  // The former schema: a file of one register, its journal keyed by seq.
  sqlite3* old = nullptr;
  ASSERT_EQ(sqlite3_open(file("old.db").c_str(), &old), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(old,
                         ("ATTACH '" + file("r.db").string() + "' AS now;" + R"sql(
CREATE TABLE register (id INTEGER PRIMARY KEY CHECK (id = 1), initial BLOB NOT NULL,
  state BLOB NOT NULL);
CREATE TABLE journal (seq INTEGER PRIMARY KEY, at_us INTEGER NOT NULL, export TEXT NOT NULL,
  status INTEGER NOT NULL, code TEXT NOT NULL, doc_number INTEGER, key TEXT UNIQUE,
  asked BLOB NOT NULL, request BLOB NOT NULL, response BLOB NOT NULL, binary_doc BLOB NOT NULL);
INSERT INTO register SELECT 1, initial, state FROM now.registers WHERE id = 'till';
INSERT INTO journal SELECT seq, at_us, export, status, code, doc_number, key, asked, request,
  response, binary_doc FROM now.journal WHERE register = 'till';
PRAGMA user_version = 1;
)sql")
                             .c_str(),
                         nullptr, nullptr, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(old);
  sqlite3_close(old);
  EXPECT_EQ(Tool::tarv("journal old.db --json").out, till_journal);
  EXPECT_EQ(Tool::tarv("journal old.db --register default check").status, 0);
  EXPECT_EQ(Tool::tarv("call deposit deposit.json --db old.db --key t").out, till_keyed.out);
}

// A till moved while it sells: its sales wait for the copy, and once the copy
// is committed it refuses them, naming where it went. Nothing is issued on
// both sides: the till's journal is the moved one and the mark.
TEST_P(Register, AMoveDuringSalesForksNothing) {
  put(file("deposit.json"), deposit(5, 100));
  ASSERT_EQ(Tool::tarv("init till.db state.json").status, 0);
  std::atomic<int> sold = 0, refused = 0, other = 0;
  std::atomic<bool> stop = false;
  std::thread seller([&] {  // sells until the till refuses
    while (!stop && refused == 0) {
      const int status = wait_for(start(
          dir_, {"call", "deposit", "deposit.json", "--db", "till.db", "--wait", "30"}, file("o")));
      ++(status == 0 ? sold : status == 3 ? refused : other);
    }
  });
  while (sold < 3) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const Result moved = tarv("init r.db --register till --from till.db");
  stop = moved.status != 0;
  seller.join();
  ASSERT_EQ(moved.status, 0) << moved.err;
  EXPECT_EQ(other, 0);
  EXPECT_EQ(refused, 1);
  const std::string there = tarv("journal r.db --register till --json").out;
  const std::string here = Tool::tarv("journal till.db --json").out;
  ASSERT_TRUE(here.starts_with(there)) << here << "\n" << there;
  EXPECT_EQ(std::ranges::count(here.substr(there.size()), '\n'), 1);
  EXPECT_NE(here.find(R"("export":"moved")", there.size()), std::string::npos) << here;
  expect_sound("r.db --register till");
  expect_sound("till.db");
  ASSERT_EQ(tarv("call deposit deposit.json --db r.db --register till").status, 0);
  EXPECT_EQ(journal("r.db --register till").back().fields().at("doc_number").number_value(),
            state("till.db").context().next_doc_number());
}

// A move that cannot be made leaves nothing behind: into the database the
// register lives in, however it is spelt, or failing part way through the
// copy (a trigger of the target's refuses the third entry).
TEST_P(Register, AMoveThatFailsLeavesNothing) {
  put(file("deposit.json"), deposit(5, 100));
  std::vector<std::string> spellings;
  if (sqlite()) {
    fs::create_directories(file("sub"));
    fs::create_symlink("r.db", file("sym.db"));
    spellings = {"./r.db", "sub/../r.db", "sym.db"};
  } else {
    const std::string port = db_.substr(db_.rfind(':') + 1, db_.rfind('/') - db_.rfind(':') - 1);
    const std::string name = db_.substr(db_.rfind('/') + 1);
    const std::string sockets = slurp(fs::path(std::getenv("TARV_POSTGRES")) / "cluster");
    spellings = {"postgres" + db_.substr(db_.find(':')),
                 "postgresql://postgres@localhost:" + port + "/" + name,
                 "host=127.0.0.1 port=" + port + " user=postgres dbname=" + name,
                 "postgresql:///" + name + "?host=" + sockets.substr(0, sockets.find('\n')) +
                     "&port=" + port + "&user=postgres"};
  }
  for (const std::string& spelt : spellings) {
    const Result r = tarv("init '" + spelt + "' --register c --from r.db");
    EXPECT_EQ(r.status, 3) << spelt << "\n" << r.err;
    EXPECT_NE(r.err.find("is the database the register would move into"), std::string::npos)
        << spelt << "\n"
        << r.err;
  }
  ASSERT_EQ(Tool::tarv("init till.db state.json").status, 0);
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(Tool::tarv("call deposit deposit.json --db till.db").status, 0);
  sql(sqlite() ? "CREATE TRIGGER planted BEFORE INSERT ON journal WHEN NEW.seq = 3 "
                 "BEGIN SELECT RAISE(ABORT, 'planted'); END"
               : "CREATE FUNCTION planted() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                 "IF NEW.seq = 3 THEN RAISE EXCEPTION 'planted'; END IF; RETURN NEW; END $$; "
                 "CREATE TRIGGER planted BEFORE INSERT ON journal FOR EACH ROW "
                 "EXECUTE FUNCTION planted()");
  const Result failed = tarv("init r.db --register till --from till.db");
  EXPECT_EQ(failed.status, 7) << failed.err;
  EXPECT_NE(failed.err.find("planted"), std::string::npos) << failed.err;
  EXPECT_EQ(sql("SELECT count(*) FROM registers"), "1");
  EXPECT_EQ(entry_count(), 0);
  EXPECT_EQ(Tool::tarv("call deposit deposit.json --db till.db").status, 0);  // not marked
  expect_sound("till.db");
}

// No line shows a PostgreSQL password, however the URL gives it.
TEST_P(Register, APasswordNeverShows) {
  if (sqlite()) GTEST_SKIP() << "an SQLite path has no password";
  put(file("deposit.json"), deposit(5, 100));
  ASSERT_EQ(Tool::tarv("init till.db state.json").status, 0);
  const size_t user = db_.find("postgres@");
  const std::string with = db_.substr(0, user) + "postgres:SECRET-9@" + db_.substr(user + 9);
  const std::string escaped = db_.substr(0, user) + "postgres:SE%zzCRET-9@" + db_.substr(user + 9);
  const std::string port = db_.substr(db_.rfind(':') + 1, db_.rfind('/') - db_.rfind(':') - 1);
  const std::string pairs =
      "host=127.0.0.1 port=" + port +
      " user=postgres password=SECRET-9 dbname=" + db_.substr(db_.rfind('/') + 1);
  struct Case {
    std::string args;
    int status;
    std::string prefix;
  };
  const Case cases[] = {
      {"init '" + with + "' state.json --register p", 0, ""},
      {"init '" + with + "' --register q --from till.db", 0, ""},
      {"call deposit deposit.json --db till.db", 3, ""},  // names where the till went
      {"journal '" + with + "' --register p check", 0, ""},
      {"journal '" + db_ + "?password=SECRET-9' --register q check", 0, ""},
      {"journal '" + pairs + "' --register q check", 0, ""},
      {"journal '" + escaped + "' --register q check", 7, ""},
      {"journal '" + with + "' --register q '" + with + "'", 3, ""},  // the parser's line
      {"serve --db '" + with + "' --listen 127.0.0.1:0", 0, "timeout --preserve-status -s INT 2 "},
  };
  for (const Case& c : cases) {
    const Result r = tarv(c.args, "", c.prefix);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_EQ((r.out + r.err).find("CRET-9"), std::string::npos) << c.args << "\n"
                                                                 << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.prefix.empty() ? "postgres" : "listening"), std::string::npos)
        << c.args << "\n"
        << r.out << r.err;
  }
}

// A register's file read-only when it was opened, then made writable: SQLite
// made its -shm with the file's mode then, and the register serves again.
TEST_P(Register, ReadOnlyThenWritableServesAgain) {
  if (!sqlite()) GTEST_SKIP() << "the database server's files are its own";
  put(file("deposit.json"), deposit(5, 100));
  fs::create_directories(file("own"));
  std::string as_owner;  // root would write the read-only file anyway
  if (getuid() == 0) {
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(chown(file("own").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    as_owner = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
  }
  ASSERT_EQ(tarv("init own/t.db state.json", "", as_owner).status, 0);
  constexpr auto kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(file("own/t.db"), kWrite, fs::perm_options::remove);
  EXPECT_EQ(tarv("call deposit deposit.json --db own/t.db", "", as_owner).status, 7);
  ASSERT_TRUE(fs::exists(file("own/t.db-shm")));
  EXPECT_EQ(fs::status(file("own/t.db-shm")).permissions() & kWrite, fs::perms::none);
  fs::permissions(file("own/t.db"), fs::perms::owner_write, fs::perm_options::add);
  const Result again = tarv("call deposit deposit.json --db own/t.db", "", as_owner);
  EXPECT_EQ(again.status, 0) << again.err;

  // The same under tarv serve, which opens the register again after the
  // failure: 500 while read-only, then the call goes through.
  fs::permissions(file("own/t.db"), kWrite, fs::perm_options::remove);
  const std::string serve = "cd '" + dir_.string() + "' && echo $$ && exec " + as_owner +
                            "'" TARV_BUILD_DIR "/tarv' serve --db own/t.db --listen 127.0.0.1:0";
  FILE* server = popen(serve.c_str(), "r");
  ASSERT_NE(server, nullptr);
  char line[128] = {};
  ASSERT_NE(fgets(line, sizeof line, server), nullptr);  // the server's pid
  const pid_t pid = std::stoi(line);
  ASSERT_NE(fgets(line, sizeof line, server), nullptr);  // listening on http://127.0.0.1:PORT
  const std::string url = std::string(line).substr(std::string(line).find("http"));
  const std::string post = "curl -s -o /dev/null -w '%{http_code}' --json @'" +
                           file("deposit.json").string() + "' " + url.substr(0, url.find('\n')) +
                           "/v1/deposit > '" + file("code").string() + "'";
  ASSERT_EQ(std::system(post.c_str()), 0);
  EXPECT_EQ(slurp(file("code")), "500");
  fs::permissions(file("own/t.db"), fs::perms::owner_write, fs::perm_options::add);
  ASSERT_EQ(std::system(post.c_str()), 0);
  EXPECT_EQ(slurp(file("code")), "200");
  kill(pid, SIGINT);
  pclose(server);
}

// A register on a disk it cannot write, or that is full, refuses the call with
// a clear line and stays as it was.
TEST_P(Register, ReadOnlyOrFullDiskLeavesTheRegisterAsItWas) {
  if (!sqlite()) GTEST_SKIP() << "the database server's disk is its own";
  put(file("deposit.json"), deposit(5, 100));
  ASSERT_EQ(tarv("call deposit deposit.json --db r.db").status, 0);
  const auto before = journal().size();
  // A read-only file; root writes anyway, so its caller is an ordinary user.
  const std::string read_only =
      getuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
  // A write past one block fails (and does not kill).
  const std::string small_disk = "trap '' XFSZ && ulimit -f 1 && ";
  constexpr auto kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  for (const std::string& prefix : {read_only, small_disk}) {
    if (prefix == read_only) fs::permissions(file("r.db"), kWrite, fs::perm_options::remove);
    const Result r = tarv("call deposit deposit.json --db r.db", "", prefix);
    EXPECT_EQ(r.status, 7) << prefix << r.err;
    EXPECT_NE(r.err.find("tarv: register r.db "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("; it is left as it was"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.out, "");
    fs::permissions(file("r.db"), fs::perms::owner_write, fs::perm_options::add);
  }
  EXPECT_EQ(journal().size(), before);
  expect_sound();
}

// While another caller holds the register, a call waits its turn up to
// --wait, then fails with nothing done, and the connection it waited on
// serves its next call (no transaction is left open, aborted, on it).
TEST_P(Register, HeldRegisterMakesTheCallerWait) {
  put(file("deposit.json"), deposit(5, 100));
  namespace host = tarv::host;
  auto store = host::open_store(sqlite() ? file("r.db").string() : db_,
                                host::Store::Options{std::chrono::milliseconds(200)});
  ASSERT_TRUE(store) << store.error().message;
  tarv::core::DepositRequest request;
  ASSERT_TRUE(host::parse_json(deposit(5, 100), request, "deposit", host::Fault::Undecodable));
  const host::Export& e = *host::find_export("deposit");
  // Another caller's transaction, holding the register.
  sqlite3* file_db = nullptr;
  PGconn* server_db = nullptr;
  if (sqlite()) {
    ASSERT_EQ(sqlite3_open(file("r.db").c_str(), &file_db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(file_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  } else {
    server_db = PQconnectdb(db_.c_str());
    PQclear(PQexec(server_db, "BEGIN"));
    PGresult* held = PQexec(server_db, "SELECT state FROM registers FOR UPDATE");
    ASSERT_EQ(PQntuples(held), 1) << PQerrorMessage(server_db);
    PQclear(held);
  }
  const auto refused = host::call_register(**store, e, request, "");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind, host::Fault::Busy) << refused.error().message;
  const Result busy = tarv("call deposit deposit.json --db r.db --wait 0.3");
  EXPECT_EQ(busy.status, 4);
  EXPECT_NE(busy.err.find(ours("tarv: register r.db is busy")), std::string::npos) << busy.err;
  EXPECT_EQ(busy.out, "");
  const pid_t waiting = start(dir_, {"call", "deposit", "deposit.json", "--db", db_}, file("out"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  if (sqlite()) {
    sqlite3_exec(file_db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(file_db);
  } else {
    PQclear(PQexec(server_db, "COMMIT"));
    PQfinish(server_db);
  }
  EXPECT_EQ(wait_for(waiting), 0);
  const auto made = host::call_register(**store, e, request, "");
  EXPECT_TRUE(made) << made.error().message;
  EXPECT_EQ(journal().size(), 2u);
  expect_sound();
}

INSTANTIATE_TEST_SUITE_P(Stores, Register, ::testing::Values(Kind::kSqlite, Kind::kPostgres),
                         [](const ::testing::TestParamInfo<Kind>& kind) {
                           return kind.param == Kind::kSqlite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace
