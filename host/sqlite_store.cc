// Registers kept in one SQLite database on a local disk (the Connection of
// connection.h). WAL with synchronous=FULL: a committed call survives a crash
// of the process or of the machine; SQLite's own locks let one writer at a
// time in, for all the registers of the file, and the others wait for it up
// to Store::Options::wait.
#include <fcntl.h>
#include <fmt/format.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>

#include "base/try.h"
#include "host/connection.h"
#include "host/encode.h"

namespace tarv::host {
namespace {

// The schema, one step per version: a database at version N runs the steps
// after N (PRAGMA user_version counts them).
constexpr const char* kMigrations[] = {
    // 1: the register (its state at creation and now, tarv.host.HostState in
    // deterministic Protocol Buffers bytes) and the journal.
    R"sql(
CREATE TABLE register (
  id INTEGER PRIMARY KEY CHECK (id = 1),
  initial BLOB NOT NULL,
  state BLOB NOT NULL
);
CREATE TABLE journal (
  seq INTEGER PRIMARY KEY,
  at_us INTEGER NOT NULL,
  export TEXT NOT NULL,
  status INTEGER NOT NULL,
  code TEXT NOT NULL,
  doc_number INTEGER,
  key TEXT UNIQUE,
  asked BLOB NOT NULL,
  request BLOB NOT NULL,
  response BLOB NOT NULL,
  binary_doc BLOB NOT NULL
);
)sql",
    // 2: any number of registers, each under its id; a file of version 1
    // holds one, which becomes the register "default".
    R"sql(
CREATE TABLE registers (
  id TEXT PRIMARY KEY,
  initial BLOB NOT NULL,
  state BLOB NOT NULL
);
INSERT INTO registers SELECT 'default', initial, state FROM register;
DROP TABLE register;
ALTER TABLE journal RENAME TO journal_1;
CREATE TABLE journal (
  register TEXT NOT NULL REFERENCES registers (id),
  seq INTEGER NOT NULL,
  at_us INTEGER NOT NULL,
  export TEXT NOT NULL,
  status INTEGER NOT NULL,
  code TEXT NOT NULL,
  doc_number INTEGER,
  key TEXT,
  asked BLOB NOT NULL,
  request BLOB NOT NULL,
  response BLOB NOT NULL,
  binary_doc BLOB NOT NULL,
  PRIMARY KEY (register, seq),
  UNIQUE (register, key)
);
INSERT INTO journal SELECT 'default', seq, at_us, export, status, code, doc_number, key, asked,
  request, response, binary_doc FROM journal_1;
DROP TABLE journal_1;
)sql",
};
constexpr int kSchemaVersion = std::size(kMigrations);

constexpr const char* kEntryColumns =
    "seq, at_us, export, status, code, doc_number, key, asked, request, response, binary_doc";

// A prepared statement, finalized on scope exit.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) != SQLITE_OK) s_ = nullptr;
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(s_); }

  bool ok() const { return s_ != nullptr; }
  Statement& bind(int i, std::string_view text) {
    sqlite3_bind_text(s_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& blob(int i, std::string_view bytes) {
    sqlite3_bind_blob(s_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& bind(int i, int64_t v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  Statement& null(int i) {
    sqlite3_bind_null(s_, i);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or the failure.
  int step() { return s_ == nullptr ? sqlite3_errcode(db_) : sqlite3_step(s_); }

  int64_t integer(int i) const { return sqlite3_column_int64(s_, i); }
  bool is_null(int i) const { return sqlite3_column_type(s_, i) == SQLITE_NULL; }
  std::string bytes(int i) const {
    const void* p = sqlite3_column_blob(s_, i);
    return p == nullptr ? std::string()
                        : std::string(static_cast<const char*>(p),
                                      static_cast<size_t>(sqlite3_column_bytes(s_, i)));
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* s_ = nullptr;
};

JournalEntry entry_of(const Statement& s) {
  JournalEntry e;
  e.seq = s.integer(0);
  e.at_us = s.integer(1);
  e.export_name = s.bytes(2);
  e.status = static_cast<int>(s.integer(3));
  e.code = s.bytes(4);
  if (!s.is_null(5)) e.doc_number = static_cast<uint32_t>(s.integer(5));
  e.key = s.bytes(6);
  e.asked = s.bytes(7);
  e.request = s.bytes(8);
  e.response = s.bytes(9);
  e.binary_doc = s.bytes(10);
  return e;
}

class SqliteConnection final : public Connection {
 public:
  SqliteConnection(sqlite3* db, std::string path, Store::Options store_options)
      : Connection(std::move(path), store_options), db_(db), waited_(store_options.wait) {}
  ~SqliteConnection() override { sqlite3_close_v2(db_); }

  // The connection's settings, then the schema brought to this version. A
  // database at version 0 takes it only when `create`d.
  HostResult<void> prepare(bool create) {
    sqlite3_busy_timeout(db_, static_cast<int>(options.wait.count()));
    sqlite3_extended_result_codes(db_, 1);
    TARV_TRY(whole(exec("PRAGMA synchronous=FULL", "cannot be opened")));
    TARV_TRY(whole(exec("PRAGMA foreign_keys=ON", "cannot be opened")));
    {
      Statement mode(db_, "PRAGMA journal_mode=WAL");
      if (mode.step() != SQLITE_ROW)
        return whole(HostResult<void>(fail("cannot use its write-ahead log")));
    }
    auto at = whole(schema_version());
    TARV_TRY(at);
    if (*at > kSchemaVersion) {
      return std::unexpected(Failure{
          Fault::Storage,
          fmt::format("register {} was written by a newer tarv (schema {}, this one knows {})",
                      name, *at, kSchemaVersion)});
    }
    if (*at == 0 && !create) return std::unexpected(not_a_register());
    if (*at < kSchemaVersion) {
      TARV_TRY(whole(begin("")));
      // Another opener may have migrated it meanwhile.
      auto ok = [&]() -> HostResult<void> {
        at = schema_version();
        TARV_TRY(at);
        for (int64_t v = *at; v < kSchemaVersion; ++v) {
          TARV_TRY(exec(kMigrations[v], "cannot take its schema"));
        }
        return exec(fmt::format("PRAGMA user_version={}", kSchemaVersion).c_str(),
                    "cannot take its schema");
      }();
      if (!ok) {
        rollback();
        return whole(ok);
      }
      TARV_TRY(whole(commit()));
    }
    return {};
  }

  HostResult<void> begin(const std::string&) override {
    // The whole file is held: SQLite has one writer at a time; another
    // connection's transaction is waited for up to the bounds' wait.
    waited_ = bounds_now().wait;
    sqlite3_busy_timeout(db_, static_cast<int>(waited_.count()));
    return exec("BEGIN IMMEDIATE", "cannot be written");
  }
  HostResult<void> commit() override {
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      const Failure f = failure("cannot commit");
      rollback();
      return std::unexpected(f);
    }
    return {};
  }
  void rollback() override { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }

  HostResult<std::optional<std::string>> state(const std::string& id, bool initial) override {
    Statement s(db_, initial ? "SELECT initial FROM registers WHERE id = ?"
                             : "SELECT state FROM registers WHERE id = ?");
    s.bind(1, id);
    const int rc = s.step();
    if (rc == SQLITE_ROW) return s.bytes(0);
    if (rc == SQLITE_DONE) return std::nullopt;
    return fail("has no state");
  }
  HostResult<void> write_state(const std::string& id, const std::string& bytes) override {
    Statement s(db_, "UPDATE registers SET state = ? WHERE id = ?");
    s.blob(1, bytes).bind(2, id);
    if (s.step() != SQLITE_DONE) return fail("cannot write its state");
    return {};
  }
  HostResult<void> add_register(const std::string& id, const std::string& initial,
                                const std::string& state) override {
    Statement s(db_, "INSERT INTO registers (id, initial, state) VALUES (?, ?, ?)");
    s.bind(1, id).blob(2, initial).blob(3, state);
    if (s.step() != SQLITE_DONE) return fail("cannot be written");
    return {};
  }
  HostResult<std::vector<std::string>> ids() override {
    Statement s(db_, "SELECT id FROM registers ORDER BY id");
    std::vector<std::string> out;
    int rc = 0;
    while ((rc = s.step()) == SQLITE_ROW) out.push_back(s.bytes(0));
    if (rc != SQLITE_DONE) return fail("cannot be read");
    return out;
  }

  HostResult<std::vector<JournalEntry>> select(const std::string& id,
                                               const Selection& which) override {
    constexpr const char* kWhere[] = {"seq = ?2",
                                      "seq = (SELECT max(seq) FROM journal WHERE register = ?1)",
                                      "key = ?3", "seq >= ?2 ORDER BY seq LIMIT ?4"};
    Statement s(db_, fmt::format("SELECT {} FROM journal WHERE register = ?1 AND {}", kEntryColumns,
                                 kWhere[which.kind])
                         .c_str());
    s.bind(1, id);
    if (which.kind == Selection::kSeq || which.kind == Selection::kFrom) s.bind(2, which.seq);
    if (which.kind == Selection::kKey) s.bind(3, which.key);
    if (which.kind == Selection::kFrom) s.bind(4, which.count);
    std::vector<JournalEntry> out;
    int rc = 0;
    while ((rc = s.step()) == SQLITE_ROW) out.push_back(entry_of(s));
    if (rc != SQLITE_DONE) return fail("cannot read its journal");
    return out;
  }

  HostResult<void> insert(const std::string& id, const JournalEntry& e) override {
    Statement insert(db_,
                     "INSERT INTO journal (register, seq, at_us, export, status, code, doc_number, "
                     "key, asked, request, response, binary_doc) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, id).bind(2, e.seq).bind(3, e.at_us).bind(4, e.export_name);
    insert.bind(5, int64_t{e.status}).bind(6, e.code);
    if (e.doc_number) {
      insert.bind(7, int64_t{*e.doc_number});
    } else {
      insert.null(7);
    }
    if (e.key.empty()) {
      insert.null(8);
    } else {
      insert.bind(8, e.key);
    }
    insert.blob(9, e.asked).blob(10, e.request).blob(11, e.response).blob(12, e.binary_doc);
    if (insert.step() != SQLITE_DONE) return fail("cannot write its journal");
    return {};
  }

 private:
  // A failure of the last SQLite call, `what` saying what was being done.
  Failure failure(std::string_view what) const {
    const int code = sqlite3_extended_errcode(db_);
    if ((code & 0xff) == SQLITE_BUSY) {
      return Failure{Fault::Busy,
                     fmt::format("is busy: another call held it for more than {} ms; nothing was "
                                 "called (try again, or wait longer)",
                                 waited_.count())};
    }
    if ((code & 0xff) == SQLITE_NOTADB) return not_a_register();
    std::string why = sqlite3_errmsg(db_);
    if ((code & 0xff) == SQLITE_FULL) why = "the disk is full";
    if ((code & 0xff) == SQLITE_READONLY) why = "it is read-only here";
    if (const int error = sqlite3_system_errno(db_); error != 0 && (code & 0xff) != SQLITE_FULL) {
      why += fmt::format(" ({})", std::strerror(error));
    }
    return Failure{Fault::Storage, fmt::format("{}: {}; it is left as it was", what, why)};
  }
  Failure not_a_register() const {
    return Failure{Fault::Storage, fmt::format("{} is not a register", name)};
  }
  std::unexpected<Failure> fail(std::string_view what) const {
    return std::unexpected(failure(what));
  }
  // A failure of prepare() as the whole line, its register named.
  template <class T>
  HostResult<T> whole(HostResult<T> result) const {
    if (!result && !result.error().message.starts_with(name)) {
      result.error().message = fmt::format("register {} {}", name, result.error().message);
    }
    return result;
  }

  HostResult<int64_t> schema_version() {
    Statement version(db_, "PRAGMA user_version");
    if (version.step() != SQLITE_ROW) return fail("cannot read its schema version");
    return version.integer(0);
  }
  HostResult<void> exec(const char* sql, std::string_view what) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return fail(what);
    return {};
  }

  sqlite3* db_;
  std::chrono::milliseconds waited_;  // the wait of the last transaction
};

// The path SQLite is given: the file itself, through every symbolic link, so
// that its WAL and lock files are the same for every name of the register.
// A second hard link is refused: SQLite would keep a second set of them.
HostResult<std::string> resolve(const std::string& path) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  if (error) {
    return std::unexpected(
        Failure{Fault::Storage, fmt::format("no register at {}: {}", path, error.message())});
  }
  struct stat st {};
  if (::stat(real.c_str(), &st) != 0) {
    return std::unexpected(
        Failure{Fault::Storage, fmt::format("no register at {}: {}", path, std::strerror(errno))});
  }
  if (st.st_nlink > 1) {
    return std::unexpected(Failure{
        Fault::Storage,
        fmt::format(
            "register {} has {} hard links: its lock would not hold across them; keep one name "
            "(a symbolic link is fine)",
            path, st.st_nlink)});
  }
  return real.string();
}

// SQLite makes a register's -wal and -shm files with the mode of the file
// itself: made while it was read-only, they stay read-only once it is
// writable again, and every call then fails as read-only. A writable file
// gives them its write bits back (when this user owns them).
void writable_companions(const std::string& real) {
  struct stat file {};
  if (::stat(real.c_str(), &file) != 0 || ::access(real.c_str(), W_OK) != 0) return;
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::string companion = real + suffix;
    struct stat st {};
    if (::stat(companion.c_str(), &st) == 0 && ::access(companion.c_str(), W_OK) != 0) {
      ::chmod(companion.c_str(), (st.st_mode & 07777) | (file.st_mode & 0222));
    }
  }
}

}  // namespace

HostResult<std::unique_ptr<Connection>> connect_sqlite(const std::string& path,
                                                       Store::Options options, bool create) {
  if (create) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      return std::unexpected(Failure{Fault::Storage, fmt::format("cannot create register {}: {}",
                                                                 path, std::strerror(errno))});
    }
    ::close(fd);
  }
  auto real = resolve(path);
  TARV_TRY(real);
  writable_companions(*real);
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(real->c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const std::string why = db == nullptr ? sqlite3_errstr(rc) : sqlite3_errmsg(db);
    sqlite3_close_v2(db);
    return std::unexpected(
        Failure{Fault::Storage, fmt::format("cannot open register {}: {}", path, why)});
  }
  auto c = std::make_unique<SqliteConnection>(db, path, options);
  TARV_TRY(c->prepare(create));
  return c;
}

}  // namespace tarv::host
