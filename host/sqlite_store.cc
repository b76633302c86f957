// A register kept in one SQLite database on a local disk (the Store of
// store.h). WAL with synchronous=FULL: a committed call survives a crash of
// the process or of the machine; SQLite's own locks let one writer at a time
// in, and the others wait for it up to Store::Options::wait.
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
#include "host/encode.h"
#include "host/store.h"

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

class SqliteStore final : public Store {
 public:
  SqliteStore(sqlite3* db, std::string path, Options options)
      : db_(db), path_(std::move(path)), options_(options) {}
  ~SqliteStore() override { sqlite3_close_v2(db_); }

  // The connection's settings, then the schema brought to this version. A
  // new register (`initial` given) gets its schema and its state in one
  // transaction; any other database at version 0 is no register.
  HostResult<void> prepare(const HostState* initial) {
    sqlite3_busy_timeout(db_, static_cast<int>(options_.wait.count()));
    sqlite3_extended_result_codes(db_, 1);
    TARV_TRY(exec("PRAGMA synchronous=FULL", "cannot be opened"));
    {
      Statement mode(db_, "PRAGMA journal_mode=WAL");
      if (mode.step() != SQLITE_ROW) return fail("cannot use its write-ahead log");
    }
    auto at = schema_version();
    TARV_TRY(at);
    if (*at > kSchemaVersion) {
      return std::unexpected(Failure{
          Fault::Storage,
          fmt::format("register {} was written by a newer tarv (schema {}, this one knows {})",
                      path_, *at, kSchemaVersion)});
    }
    if (*at == 0 && initial == nullptr) return std::unexpected(not_a_register());
    if (*at < kSchemaVersion) {
      TARV_TRY(begin());
      // Another opener may have migrated it meanwhile.
      at = schema_version();
      if (!at) return rollback(at.error());
      for (int64_t v = *at; v < kSchemaVersion; ++v) {
        if (auto ok = exec(kMigrations[v], "cannot take its schema"); !ok)
          return rollback(ok.error());
      }
      if (initial != nullptr && *at == 0) {
        const std::string bytes = encode(*initial);
        Statement s(db_, "INSERT INTO register (id, initial, state) VALUES (1, ?, ?)");
        s.blob(1, bytes).blob(2, bytes);
        if (s.step() != SQLITE_DONE) return rollback(failure("cannot be written"));
      }
      if (auto ok = exec(fmt::format("PRAGMA user_version={}", kSchemaVersion).c_str(),
                         "cannot take its schema");
          !ok) {
        return rollback(ok.error());
      }
      TARV_TRY(commit());
    }
    return {};
  }

  HostResult<int64_t> schema_version() {
    Statement version(db_, "PRAGMA user_version");
    if (version.step() != SQLITE_ROW) return fail("cannot read its schema version");
    return version.integer(0);
  }

  HostResult<HostState> state() override { return read_state("state"); }
  HostResult<HostState> initial_state() override { return read_state("initial"); }

  HostResult<Committed> call(const std::string& key, std::string_view export_name,
                             const std::string& asked, const Work& work) override {
    std::lock_guard lock(mutex_);
    TARV_TRY(begin());
    if (!key.empty()) {
      auto earlier = find_key_locked(key);
      if (!earlier) return rollback(earlier.error());
      if (*earlier) {
        TARV_TRY(commit());  // nothing written: ends the read
        if ((*earlier)->export_name != export_name || (*earlier)->asked != asked) {
          return std::unexpected(Failure{
              Fault::KeyReused,
              fmt::format(
                  "key '{}' was used by journal entry {} ({}) with another request; nothing was "
                  "called (a new call takes a new key)",
                  key, (*earlier)->seq, (*earlier)->export_name)});
        }
        return Committed{std::move(**earlier), true};
      }
    }
    auto state = read_state_locked("state");
    if (!state) return rollback(state.error());
    auto record = work(*state);
    if (!record) return rollback(record.error());

    JournalEntry& e = record->entry;
    e.key = key;
    e.asked = asked;
    e.at_us = std::chrono::duration_cast<std::chrono::microseconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
    Statement insert(db_,
                     "INSERT INTO journal (at_us, export, status, code, doc_number, key, asked, "
                     "request, response, binary_doc) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, e.at_us).bind(2, e.export_name).bind(3, int64_t{e.status}).bind(4, e.code);
    if (e.doc_number) {
      insert.bind(5, int64_t{*e.doc_number});
    } else {
      insert.null(5);
    }
    if (key.empty()) {
      insert.null(6);
    } else {
      insert.bind(6, key);
    }
    insert.blob(7, e.asked).blob(8, e.request).blob(9, e.response).blob(10, e.binary_doc);
    if (insert.step() != SQLITE_DONE) return rollback(failure("cannot write its journal"));
    e.seq = sqlite3_last_insert_rowid(db_);

    if (record->new_state) {
      Statement update(db_, "UPDATE register SET state = ? WHERE id = 1");
      update.blob(1, encode(*record->new_state));
      if (update.step() != SQLITE_DONE) return rollback(failure("cannot write its state"));
    }
    TARV_TRY(commit());
    return Committed{std::move(e), false};
  }

  HostResult<std::optional<JournalEntry>> entry(int64_t seq) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, fmt::format("SELECT {} FROM journal WHERE seq = ?", kEntryColumns).c_str());
    s.bind(1, seq);
    return one(s);
  }

  HostResult<std::optional<JournalEntry>> last() override {
    std::lock_guard lock(mutex_);
    Statement s(
        db_,
        fmt::format("SELECT {} FROM journal ORDER BY seq DESC LIMIT 1", kEntryColumns).c_str());
    return one(s);
  }

  HostResult<std::optional<JournalEntry>> find_key(const std::string& key) override {
    std::lock_guard lock(mutex_);
    return find_key_locked(key);
  }

  HostResult<std::vector<JournalEntry>> entries(int64_t first_seq, int64_t count) override {
    std::lock_guard lock(mutex_);
    Statement s(db_, fmt::format("SELECT {} FROM journal WHERE seq >= ? ORDER BY seq LIMIT ?",
                                 kEntryColumns)
                         .c_str());
    s.bind(1, first_seq).bind(2, count);
    std::vector<JournalEntry> out;
    int rc = 0;
    while ((rc = s.step()) == SQLITE_ROW) out.push_back(entry_of(s));
    if (rc != SQLITE_DONE) return std::unexpected(failure("cannot read its journal"));
    return out;
  }

 private:
  // A failure of the last SQLite call, `what` saying what was being done.
  Failure failure(std::string_view what) const {
    const int code = sqlite3_extended_errcode(db_);
    if ((code & 0xff) == SQLITE_BUSY) {
      return Failure{Fault::Busy,
                     fmt::format("register {} is busy: another call held it for more than {} "
                                 "ms; nothing was called (try again, or wait longer)",
                                 path_, options_.wait.count())};
    }
    if ((code & 0xff) == SQLITE_NOTADB) return not_a_register();
    std::string why = sqlite3_errmsg(db_);
    if ((code & 0xff) == SQLITE_FULL) why = "the disk is full";
    if ((code & 0xff) == SQLITE_READONLY) why = "it is read-only here";
    if (const int error = sqlite3_system_errno(db_); error != 0 && (code & 0xff) != SQLITE_FULL) {
      why += fmt::format(" ({})", std::strerror(error));
    }
    return Failure{Fault::Storage,
                   fmt::format("register {} {}: {}; it is left as it was", path_, what, why)};
  }
  Failure not_a_register() const {
    return Failure{Fault::Storage, fmt::format("{} is not a register", path_)};
  }
  std::unexpected<Failure> fail(std::string_view what) const {
    return std::unexpected(failure(what));
  }

  HostResult<void> exec(const char* sql, std::string_view what) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return fail(what);
    return {};
  }
  HostResult<void> begin() {
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
      return fail("cannot be written");
    }
    return {};
  }
  HostResult<void> commit() {
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      const Failure f = failure("cannot commit");
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return std::unexpected(f);
    }
    return {};
  }
  std::unexpected<Failure> rollback(Failure f) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return std::unexpected(std::move(f));
  }

  HostResult<HostState> read_state(std::string_view column) {
    std::lock_guard lock(mutex_);
    return read_state_locked(column);
  }
  HostResult<HostState> read_state_locked(std::string_view column) {
    Statement s(db_, fmt::format("SELECT {} FROM register WHERE id = 1", column).c_str());
    if (s.step() != SQLITE_ROW) return fail("has no state");
    HostState state;
    if (!state.ParseFromString(s.bytes(0))) {
      return std::unexpected(Failure{
          Fault::Storage, fmt::format("register {}: its {} does not parse", path_, column)});
    }
    return state;
  }

  HostResult<std::optional<JournalEntry>> find_key_locked(const std::string& key) {
    Statement s(db_, fmt::format("SELECT {} FROM journal WHERE key = ?", kEntryColumns).c_str());
    s.bind(1, key);
    return one(s);
  }

  HostResult<std::optional<JournalEntry>> one(Statement& s) {
    const int rc = s.step();
    if (rc == SQLITE_ROW) return entry_of(s);
    if (rc == SQLITE_DONE) return std::nullopt;
    return fail("cannot read its journal");
  }

  sqlite3* db_;
  std::string path_;
  Options options_;
  std::mutex mutex_;
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

HostResult<std::unique_ptr<SqliteStore>> connect(const std::string& path, Store::Options options,
                                                 const HostState* initial) {
  auto real = resolve(path);
  TARV_TRY(real);
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(real->c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const std::string why = db == nullptr ? sqlite3_errstr(rc) : sqlite3_errmsg(db);
    sqlite3_close_v2(db);
    return std::unexpected(
        Failure{Fault::Storage, fmt::format("cannot open register {}: {}", path, why)});
  }
  auto store = std::make_unique<SqliteStore>(db, path, options);
  TARV_TRY(store->prepare(initial));
  return store;
}

}  // namespace

HostResult<std::unique_ptr<Store>> create_store(const std::string& path, const HostState& initial,
                                                Store::Options options) {
  // O_EXCL: of two creators of the same path, one fails here.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const std::string why =
        errno == EEXIST ? "it exists (a register is created once)" : std::strerror(errno);
    return std::unexpected(
        Failure{Fault::Storage, fmt::format("cannot create register {}: {}", path, why)});
  }
  ::close(fd);
  auto made = [&]() -> HostResult<std::unique_ptr<Store>> {
    auto store = connect(path, options, &initial);
    TARV_TRY(store);
    return std::unique_ptr<Store>(std::move(*store));
  }();
  if (!made) {
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((path + suffix).c_str());
  }
  return made;
}

HostResult<std::unique_ptr<Store>> open_store(const std::string& path, Store::Options options) {
  auto store = connect(path, options, nullptr);
  TARV_TRY(store);
  // A database that is not a register (or an empty file) has no state row.
  TARV_TRY((*store)->state());
  return std::unique_ptr<Store>(std::move(*store));
}

}  // namespace tarv::host
