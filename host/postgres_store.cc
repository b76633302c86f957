// Registers kept in a PostgreSQL database (the Connection of connection.h),
// on libpq: any number of hosts, on any machines, share its registers.
//
// A call holds its register's row (SELECT ... FOR UPDATE) from its first
// statement to its commit, so calls to one register take turns and calls to
// different registers run side by side; a call waits for the row up to its
// bounds' wait (lock_timeout, set for each transaction), then fails with
// Fault::Busy and its transaction is rolled back, the connection kept. A
// serialization failure or a deadlock is Fault::Busy too: nothing was done,
// the call may be made again.
//
// A database that does not answer holds no call past its bounds' answer_by:
// every exchange (the connection's start, each statement) waits on the
// socket until then at most, and the connection is dropped when it passes
// (the server's statement_timeout, TCP keepalives and tcp_user_timeout
// bound what the server and the network hold besides). A connection lost,
// or a server that stopped or did not answer, is Fault::Storage; a commit
// whose answer was lost is Fault::Unknown (store.cc asks the journal). The
// connection is made again on the next transaction.
//
// Parameters and results go in binary: bytea as it is, bigint as 8 bytes
// in network order.
#include <endian.h>
#include <fmt/format.h>
#include <libpq-fe.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "base/try.h"
#include "host/connection.h"
#include "host/redact.h"

namespace tarv::host {
namespace {

// The schema, one step per version: a database at version N runs the steps
// after N (the one row of tarv_schema counts them).
constexpr const char* kMigrations[] = {
    // 1: the registers (their state at creation and now, tarv.host.HostState
    // in deterministic Protocol Buffers bytes) and their journals.
    R"sql(
CREATE TABLE registers (
  id text PRIMARY KEY,
  initial bytea NOT NULL,
  state bytea NOT NULL
);
CREATE TABLE journal (
  register text NOT NULL REFERENCES registers (id),
  seq bigint NOT NULL,
  at_us bigint NOT NULL,
  export text NOT NULL,
  status bigint NOT NULL,
  code text NOT NULL,
  doc_number bigint,
  key text,
  asked bytea NOT NULL,
  request bytea NOT NULL,
  response bytea NOT NULL,
  binary_doc bytea NOT NULL,
  PRIMARY KEY (register, seq),
  UNIQUE (register, key)
);
)sql",
};
constexpr int kSchemaVersion = std::size(kMigrations);
// The lock under which openers bring the schema to this version in turn.
constexpr int64_t kSchemaLock = 0x7461727673636865;

constexpr const char* kEntryColumns =
    "seq, at_us, export, status, code, doc_number, key, asked, request, response, binary_doc";

constexpr Oid kBytea = 17, kInt8 = 20, kText = 25;

// One parameter of a statement; `null` for SQL NULL.
struct Param {
  Oid type;
  std::string bytes;
  bool null = false;
};
Param text(std::string_view t) { return {kText, std::string(t)}; }
Param bytea(std::string_view b) { return {kBytea, std::string(b)}; }
Param int8(int64_t v) {
  const uint64_t big = htobe64(static_cast<uint64_t>(v));
  return {kInt8, std::string(reinterpret_cast<const char*>(&big), sizeof big)};
}
Param null_int8() { return {kInt8, {}, true}; }

// A result, cleared on scope exit.
class Result {
 public:
  explicit Result(PGresult* r) : r_(r) {}
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  ~Result() { PQclear(r_); }

  bool ok() const {
    const ExecStatusType s = PQresultStatus(r_);
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
  }
  std::string_view sqlstate() const {
    const char* state = PQresultErrorField(r_, PG_DIAG_SQLSTATE);
    return state == nullptr ? std::string_view() : state;
  }
  int rows() const { return PQntuples(r_); }
  bool is_null(int row, int col) const { return PQgetisnull(r_, row, col) != 0; }
  std::string bytes(int row, int col) const {
    return std::string(PQgetvalue(r_, row, col), static_cast<size_t>(PQgetlength(r_, row, col)));
  }
  int64_t integer(int row, int col) const {
    uint64_t big = 0;
    if (PQgetlength(r_, row, col) == sizeof big) std::memcpy(&big, PQgetvalue(r_, row, col), 8);
    return static_cast<int64_t>(be64toh(big));
  }

 private:
  PGresult* r_;
};

// The first line of a libpq message.
std::string first_line(const char* message) {
  std::string line = message == nullptr ? "" : message;
  line = line.substr(0, line.find('\n'));
  return line.empty() ? "no answer" : line;
}

class PostgresConnection final : public Connection {
 public:
  PostgresConnection(std::string url, Store::Options store_options)
      : Connection(redacted(url), store_options), url_(std::move(url)) {}
  ~PostgresConnection() override { PQfinish(pg_); }

  // Connects and brings the schema to this version; a database without it
  // takes it only when `create`d.
  HostResult<void> prepare(bool create) {
    TARV_TRY(whole(connected()));
    auto at = whole(schema_version());
    TARV_TRY(at);
    if (*at == kSchemaVersion) return {};
    if (*at > kSchemaVersion) return newer(*at);
    if (*at == 0 && !create) {
      return std::unexpected(Failure{Fault::Storage, fmt::format("{} holds no registers", name)});
    }
    TARV_TRY(whole(run_ok("BEGIN", {}, "cannot take its schema")));
    auto ok = [&]() -> HostResult<void> {
      TARV_TRY(run_ok("SELECT pg_advisory_xact_lock($1)", {int8(kSchemaLock)},
                      "cannot take its schema"));
      TARV_TRY(run_ok("CREATE TABLE IF NOT EXISTS tarv_schema (version bigint NOT NULL)", {},
                      "cannot take its schema"));
      at = schema_version();  // another opener may have stepped it meanwhile
      TARV_TRY(at);
      if (*at > kSchemaVersion) return newer(*at);
      for (int64_t v = *at; v < kSchemaVersion; ++v) {
        // Several statements: the simple protocol.
        TARV_TRY(exchange([&] { return PQsendQuery(pg_, kMigrations[v]); },
                          "cannot take its schema"));
      }
      TARV_TRY(run_ok("DELETE FROM tarv_schema", {}, "cannot take its schema"));
      return run_ok(fmt::format("INSERT INTO tarv_schema VALUES ({})", kSchemaVersion).c_str(), {},
                    "cannot take its schema");
    }();
    if (!ok) {
      rollback();
      return whole(ok);
    }
    return whole(commit());
  }

  HostResult<void> begin(const std::string& id) override {
    const Bounds b = bounds_now();
    answer_by_ = b.answer_by;
    waited_ = b.wait;
    TARV_TRY(connected());
    // lock_timeout 0 would wait for ever; the server gives up on a
    // statement when the call's answer is due.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        b.answer_by - std::chrono::steady_clock::now());
    const std::string sql =
        fmt::format("BEGIN; SET LOCAL lock_timeout = {}; SET LOCAL statement_timeout = {}",
                    std::max<int64_t>(1, b.wait.count()), std::max<int64_t>(1, left.count()));
    in_transaction_ = true;
    auto begun = [&]() -> HostResult<void> {
      TARV_TRY(exchange([&] { return PQsendQuery(pg_, sql.c_str()); }, "cannot be written"));
      if (id.empty()) return {};
      return run_ok("SELECT 1 FROM registers WHERE id = $1 FOR UPDATE", {text(id)},
                    "cannot be written");
    }();
    if (!begun) rollback();  // a busy register leaves the connection as it was
    return begun;
  }
  HostResult<void> commit() override {
    auto r = exchange([&] { return PQsendQuery(pg_, "COMMIT"); }, "cannot commit");
    in_transaction_ = false;
    if (r) return {};
    if (pg_ == nullptr || PQstatus(pg_) != CONNECTION_OK) {
      return std::unexpected(Failure{
          Fault::Unknown, fmt::format("lost its database while committing ({})", lost_)});
    }
    rollback();
    return std::unexpected(r.error());
  }
  void rollback() override {
    if (pg_ != nullptr && PQstatus(pg_) == CONNECTION_OK) {
      (void)exchange([&] { return PQsendQuery(pg_, "ROLLBACK"); }, "cannot roll back");
    }
    in_transaction_ = false;
  }

  HostResult<std::optional<std::string>> state(const std::string& id, bool initial) override {
    TARV_TRY(connected());
    auto r = run(initial ? "SELECT initial FROM registers WHERE id = $1"
                         : "SELECT state FROM registers WHERE id = $1",
                 {text(id)}, "has no state");
    TARV_TRY(r);
    if ((*r)->rows() == 0) return std::nullopt;
    return (*r)->bytes(0, 0);
  }
  HostResult<void> write_state(const std::string& id, const std::string& bytes) override {
    return run_ok("UPDATE registers SET state = $1 WHERE id = $2", {bytea(bytes), text(id)},
                  "cannot write its state");
  }
  HostResult<void> add_register(const std::string& id, const std::string& initial,
                                const std::string& state) override {
    return run_ok("INSERT INTO registers (id, initial, state) VALUES ($1, $2, $3)",
                  {text(id), bytea(initial), bytea(state)}, "cannot be written");
  }
  HostResult<std::vector<std::string>> ids() override {
    TARV_TRY(connected());
    auto r = run("SELECT id FROM registers ORDER BY id", {}, "cannot be read");
    TARV_TRY(r);
    std::vector<std::string> out;
    for (int i = 0; i < (*r)->rows(); ++i) out.push_back((*r)->bytes(i, 0));
    return out;
  }

  HostResult<std::vector<JournalEntry>> select(const std::string& id,
                                               const Selection& which) override {
    TARV_TRY(connected());
    constexpr const char* kWhere[] = {"seq = $2", "TRUE ORDER BY seq DESC LIMIT 1", "key = $2",
                                      "seq >= $2 ORDER BY seq LIMIT $3"};
    std::vector<Param> params = {text(id)};
    if (which.kind == Selection::kSeq || which.kind == Selection::kFrom) {
      params.push_back(int8(which.seq));
    }
    if (which.kind == Selection::kKey) params.push_back(text(which.key));
    if (which.kind == Selection::kFrom) params.push_back(int8(which.count));
    const std::string sql = fmt::format("SELECT {} FROM journal WHERE register = $1 AND {}",
                                        kEntryColumns, kWhere[which.kind]);
    auto r = run(sql.c_str(), params, "cannot read its journal");
    TARV_TRY(r);
    std::vector<JournalEntry> out;
    const Result& rows = **r;
    for (int i = 0; i < rows.rows(); ++i) {
      JournalEntry& e = out.emplace_back();
      e.seq = rows.integer(i, 0);
      e.at_us = rows.integer(i, 1);
      e.export_name = rows.bytes(i, 2);
      e.status = static_cast<int>(rows.integer(i, 3));
      e.code = rows.bytes(i, 4);
      if (!rows.is_null(i, 5)) e.doc_number = static_cast<uint32_t>(rows.integer(i, 5));
      e.key = rows.bytes(i, 6);
      e.asked = rows.bytes(i, 7);
      e.request = rows.bytes(i, 8);
      e.response = rows.bytes(i, 9);
      e.binary_doc = rows.bytes(i, 10);
    }
    return out;
  }

  HostResult<void> insert(const std::string& id, const JournalEntry& e) override {
    return run_ok(
        "INSERT INTO journal (register, seq, at_us, export, status, code, doc_number, key, asked, "
        "request, response, binary_doc) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, "
        "$12)",
        {text(id), int8(e.seq), int8(e.at_us), text(e.export_name), int8(e.status), text(e.code),
         e.doc_number ? int8(*e.doc_number) : null_int8(),
         e.key.empty() ? Param{kText, {}, true} : text(e.key), bytea(e.asked), bytea(e.request),
         bytea(e.response), bytea(e.binary_doc)},
        "cannot write its journal");
  }

 private:
  // When the statement under way must be answered.
  std::chrono::steady_clock::time_point deadline() const {
    return in_transaction_ ? answer_by_ : bounds_now().answer_by;
  }

  // Waits until the socket is ready for `events` or the deadline passes.
  bool ready(short events, std::chrono::steady_clock::time_point until) const {
    while (true) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd fd{PQsocket(pg_), events, 0};
      const int n = ::poll(&fd, 1, static_cast<int>(std::min<int64_t>(left.count(), 1 << 30)));
      if (n > 0) return true;
      if (n < 0 && errno != EINTR) return false;
    }
  }

  // Drops the connection, saying why (what a failure then tells).
  void drop(std::string why) {
    lost_ = std::move(why);
    PQfinish(pg_);
    pg_ = nullptr;
  }

  // The connection, made (again) when there is none or it was lost: a
  // server that restarted is reached on the next call. Its own timeouts
  // are set before the URL's, which may change them.
  HostResult<void> connected() {
    if (pg_ != nullptr && PQstatus(pg_) == CONNECTION_OK) return {};
    PQfinish(pg_);
    const auto until = deadline();
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(
        until - std::chrono::steady_clock::now());
    const std::string connect_timeout = std::to_string(std::max<int64_t>(2, left.count() + 1));
    const char* keys[] = {"connect_timeout",    "keepalives", "keepalives_idle",
                          "keepalives_interval", "keepalives_count", "tcp_user_timeout",
                          "dbname",             nullptr};
    const char* values[] = {connect_timeout.c_str(), "1", "5", "2", "3", "10000", url_.c_str(),
                            nullptr};
    pg_ = PQconnectStartParams(keys, values, 1);
    auto status = pg_ == nullptr ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    while (status == PGRES_POLLING_READING || status == PGRES_POLLING_WRITING) {
      if (!ready(status == PGRES_POLLING_READING ? POLLIN : POLLOUT, until)) {
        drop("no answer in time");
        return std::unexpected(Failure{
            Fault::Storage,
            "cannot reach its database: it did not answer in time; nothing was called"});
      }
      status = PQconnectPoll(pg_);
    }
    if (PQstatus(pg_) != CONNECTION_OK) {
      const std::string why = hidden(first_line(PQerrorMessage(pg_)));
      drop(why);
      return std::unexpected(Failure{
          Fault::Storage, fmt::format("cannot reach its database: {}; nothing was called", why)});
    }
    // The server's notices (a shutdown's warning) are no line of ours.
    PQsetNoticeProcessor(pg_, [](void*, const char*) {}, nullptr);
    return {};
  }

  // Sends with `send` (one PQsend* call) and takes its results, waiting for
  // the database no later than the deadline: the first failed result, or
  // the last. A connection that does not answer in time is dropped.
  template <class Send>
  HostResult<std::unique_ptr<Result>> exchange(const Send& send, std::string_view what) {
    if (pg_ == nullptr) return std::unexpected(out_of_reach(what));
    const auto until = deadline();
    const auto late = [&] {
      drop("no answer in time");
      return std::unexpected(out_of_reach(what));
    };
    if (send() == 0) {
      drop(hidden(first_line(PQerrorMessage(pg_))));
      return std::unexpected(out_of_reach(what));
    }
    for (int flushed; (flushed = PQflush(pg_)) != 0;) {
      if (flushed < 0 || !ready(POLLOUT | POLLIN, until)) return late();
      if (PQconsumeInput(pg_) == 0) break;
    }
    std::unique_ptr<Result> kept;
    while (true) {
      while (PQisBusy(pg_) != 0) {
        if (!ready(POLLIN, until)) return late();
        if (PQconsumeInput(pg_) == 0) break;  // lost: PQgetResult tells
      }
      PGresult* got = PQgetResult(pg_);
      if (got == nullptr) break;
      auto r = std::make_unique<Result>(got);
      if (!kept || kept->ok()) kept = std::move(r);
    }
    if (PQstatus(pg_) != CONNECTION_OK) {
      drop(hidden(first_line(PQerrorMessage(pg_))));
      return std::unexpected(out_of_reach(what));
    }
    if (!kept || !kept->ok()) {
      return std::unexpected(kept ? failure(*kept, what) : out_of_reach(what));
    }
    return kept;
  }

  Failure out_of_reach(std::string_view what) const {
    return Failure{Fault::Storage,
                   fmt::format("{}: its database is out of reach ({}); it is left as it was", what,
                               lost_.empty() ? "no connection" : lost_)};
  }

  HostResult<std::unique_ptr<Result>> run(const char* sql, const std::vector<Param>& params,
                                          std::string_view what) {
    std::vector<Oid> types;
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const Param& p : params) {
      types.push_back(p.type);
      values.push_back(p.null ? nullptr : p.bytes.data());
      lengths.push_back(static_cast<int>(p.bytes.size()));
      formats.push_back(1);
    }
    return exchange(
        [&] {
          return PQsendQueryParams(pg_, sql, static_cast<int>(params.size()), types.data(),
                                   values.data(), lengths.data(), formats.data(), 1);
        },
        what);
  }
  HostResult<void> run_ok(const char* sql, const std::vector<Param>& params,
                          std::string_view what) {
    TARV_TRY(run(sql, params, what));
    return {};
  }

  HostResult<int64_t> schema_version() {
    auto r = run("SELECT version FROM tarv_schema", {}, "cannot read its schema version");
    if (!r) {
      // No table yet: version 0 (read again by the caller within its lock).
      if (r.error().kind == Fault::Storage && pg_ != nullptr && PQstatus(pg_) == CONNECTION_OK &&
          last_sqlstate_ == "42P01") {
        return 0;
      }
      return std::unexpected(r.error());
    }
    return (*r)->rows() == 0 ? 0 : (*r)->integer(0, 0);
  }

  std::unexpected<Failure> newer(int64_t at) const {
    return std::unexpected(Failure{
        Fault::Storage,
        fmt::format("database {} was written by a newer tarv (schema {}, this one knows {})", name,
                    at, kSchemaVersion)});
  }

  // A failed statement's failure, `what` saying what was being done.
  Failure failure(const Result& r, std::string_view what) {
    last_sqlstate_ = std::string(r.sqlstate());
    const std::string why = hidden(first_line(PQerrorMessage(pg_)));
    if (PQstatus(pg_) != CONNECTION_OK || last_sqlstate_.starts_with("08") ||
        last_sqlstate_.starts_with("57P")) {
      return Failure{
          Fault::Storage,
          fmt::format("{}: its database is out of reach ({}); it is left as it was", what, why)};
    }
    if (last_sqlstate_ == "55P03") {
      return Failure{Fault::Busy,
                     fmt::format("is busy: another call held it for more than {} ms; nothing was "
                                 "called (try again, or wait longer)",
                                 waited_.count())};
    }
    if (last_sqlstate_ == "57014") {
      return Failure{Fault::Storage, fmt::format("{}: its database did not answer in time ({}); "
                                                 "it is left as it was",
                                                 what, why)};
    }
    if (last_sqlstate_ == "40001" || last_sqlstate_ == "40P01") {
      return Failure{Fault::Busy, fmt::format("is busy: {}; nothing was called (try again)", why)};
    }
    if (last_sqlstate_ == "23505") {
      return Failure{Fault::Storage, fmt::format("{}: it exists already", what)};
    }
    return Failure{Fault::Storage, fmt::format("{}: {}; it is left as it was", what, why)};
  }

  // A failure of prepare() as the whole line, the database named.
  template <class T>
  HostResult<T> whole(HostResult<T> result) const {
    if (!result)
      result.error().message = fmt::format("database {} {}", name, result.error().message);
    return result;
  }

  // libpq's message, which may quote the URL or its password, as messages show it.
  std::string hidden(std::string message) const { return hide_secrets(std::move(message), url_); }

  const std::string url_;
  PGconn* pg_ = nullptr;
  std::string last_sqlstate_;
  std::string lost_;  // why the connection was dropped
  bool in_transaction_ = false;
  std::chrono::steady_clock::time_point answer_by_;  // of the transaction under way
  std::chrono::milliseconds waited_{0};              // its wait for a held register
};

}  // namespace

HostResult<std::unique_ptr<Connection>> connect_postgres(const std::string& url,
                                                         Store::Options options, bool create) {
  auto c = std::make_unique<PostgresConnection>(url, options);
  TARV_TRY(c->prepare(create));
  return c;
}

}  // namespace tarv::host
