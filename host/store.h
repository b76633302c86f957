// The register store: where one register keeps its state and its electronic
// journal between calls, so that a host loses nothing when it is killed and
// gives every answer exactly once.
//
// A store holds
//   - the register's initial state (what it was created with), so that the
//     journal can be replayed from the start;
//   - its current state (standing data, shift, counters, numbering);
//   - the journal: one entry per call, successes, error responses and
//     undecodable requests alike, numbered 1, 2, 3... without gaps.
//
// A call is one transaction: the state is read, the caller's work runs (fill
// the request, call the library), its journal entry is appended and the new
// state written, or nothing of it is. A key names a call: a call whose key the
// journal holds already is not run again; the stored entry is returned.
//
// Threads and processes: one Store object uses one connection to its
// database (see Database below). Its methods may be called from several
// threads (they take turns on the connection's mutex), and several Store
// objects, in this process or others, may use the same register at once: a call waits up to
// Options::wait for the others' transactions to end and then fails with Fault::Busy. A server gives
// each worker thread its own Store for parallel reads; calls take turns
// whatever it does. The lock is released when the call commits, before the
// caller prints anything.
//
// The failure kinds named here (Busy, KeyReused, Storage) are those of
// host/failure.h.
//
// databases.h opens a database by its name (a file or a URL);
// register_call.h makes the calls of a register (the one path of the command
// line and the server); store.cc makes these transactions of the primitives
// of a connection (host/connection.h), which sqlite_store.cc implements on a
// SQLite database on a local disk and postgres_store.cc on a PostgreSQL
// server that any number of hosts share.
#ifndef TARV_HOST_STORE_H_
#define TARV_HOST_STORE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/failure.h"
#include "host_state.pb.h"

namespace tarv::host {

// A database that does not answer fails a call this long after its wait.
inline constexpr std::chrono::milliseconds kAnswerMargin{1000};

// The bounds of the work on a connection: how long a transaction waits for
// a register another caller holds (PostgreSQL's lock_timeout, SQLite's busy
// timeout), and by when the database must have answered each statement:
// past it the statement fails (Fault::Storage; a commit, whose outcome is
// then not known, is asked of the journal, see Store::call).
struct Bounds {
  std::chrono::milliseconds wait;
  std::chrono::steady_clock::time_point answer_by;
};

// One journal entry: a call as the register made it and as it was answered.
struct JournalEntry {
  int64_t seq = 0;  // 1, 2, 3... assigned by the store at commit
  // When it was committed, in microseconds since 1970 UTC (assigned by the
  // store).
  int64_t at_us = 0;
  std::string export_name;             // "sale", ...; "open" for a shift opened by the host
  int status = 0;                      // the library's status: 0, 1 or 255
  std::string code;                    // the ErrorResponse's code after status 1
  std::optional<uint32_t> doc_number;  // the number of the document it issued
  std::string key;                     // the caller's key; empty when none
  std::string asked;                   // the request as the caller gave it (what a key names)
  std::string request;                 // the bytes the library was called with (filled)
  std::string response;                // the library's response bytes
  std::string binary_doc;              // the fiscal document, when the response has one
};

// What a call's work hands back to the store: its journal entry (seq and
// at_us are left to the store) and, when the call changes the register (a
// success), its new state.
struct CallRecord {
  JournalEntry entry;
  std::optional<HostState> new_state;
};

// The result of Store::call.
struct Committed {
  JournalEntry entry;
  // The entry was in the journal already under the call's key: nothing was
  // run or counted now.
  bool repeated = false;
};

class Store {
 public:
  struct Options {
    // How long a call waits for another caller's transaction to end; the
    // database has this and kAnswerMargin to answer (Bounds).
    std::chrono::milliseconds wait{10'000};
  };

  // The work of one call, run inside its transaction on the current state.
  // A failure rolls the transaction back and is returned by call().
  using Work = std::function<HostResult<CallRecord>(const HostState& state)>;

  virtual ~Store() = default;

  // The register as it is now, and as it was created.
  virtual HostResult<HostState> state() = 0;
  virtual HostResult<HostState> initial_state() = 0;

  // One call, all or nothing. When `key` is not empty and the journal holds
  // an entry under it: returns that entry (repeated) when it was the same
  // export asked the same `asked` bytes, or fails with Fault::KeyReused when it
  // was anything else; `work` is not run. Otherwise runs `work` on the state,
  // appends its entry (with `key` and `asked`), writes its new state, commits.
  // A commit whose answer is lost (the connection cut, no answer in time) is
  // never made again: the journal is asked, on a new connection holding the
  // register, whether its entry is there; if so the call is answered as
  // committed, if not it fails with Fault::Storage (nothing was done), and
  // when the journal cannot be asked with Fault::Unknown, naming the entry
  // that tells.
  virtual HostResult<Committed> call(const std::string& key, std::string_view export_name,
                                     const std::string& asked, const Work& work) = 0;

  // The journal: the entry numbered `seq`, the last one, the one under `key`
  // (nullopt when there is none), and `count` entries from `first_seq` on.
  virtual HostResult<std::optional<JournalEntry>> entry(int64_t seq) = 0;
  virtual HostResult<std::optional<JournalEntry>> last() = 0;
  virtual HostResult<std::optional<JournalEntry>> find_key(const std::string& key) = 0;
  virtual HostResult<std::vector<JournalEntry>> entries(int64_t first_seq, int64_t count) = 0;
};

// Every entry from `first_seq` on, in order (read a batch at a time); stops
// at the first failure of `visit` and returns it.
HostResult<void> for_each_entry(Store& store,
                                const std::function<HostResult<void>(const JournalEntry&)>& visit,
                                int64_t first_seq = 1);

// A database of registers: an SQLite file (any path) or a PostgreSQL
// database (a postgresql:// or postgres:// URL). It holds any number of
// registers, each under an id of its own with its own state, numbering,
// journal and keys. A database made without an id holds one register, under
// kDefaultRegister.
//
// One Database object is one connection; the Stores it opens share it (and
// must not outlive it), taking turns on it.
class Database {
 public:
  virtual ~Database() = default;

  // Bounds for the work to come on the connection, until bound again;
  // nullopt: each transaction's own, from Store::Options (its wait, and the
  // wait and kAnswerMargin to answer).
  virtual void bound(std::optional<Bounds> bounds) = 0;

  // The ids of its registers, in order.
  virtual HostResult<std::vector<std::string>> ids() = 0;
  // The register `id`; an empty id names the database's only register (a
  // database of several refuses it with Fault::BadInput).
  virtual HostResult<std::unique_ptr<Store>> open(const std::string& id) = 0;
  // A new register `id` with `initial` as its state; refuses an id that is
  // there already. With `from`, the register moves in whole: its initial
  // state, every journal entry as it was made, and its state now, all in one
  // transaction (`initial` is ignored).
  virtual HostResult<std::unique_ptr<Store>> create(const std::string& id, const HostState& initial,
                                                    Store* from = nullptr) = 0;
};

inline constexpr std::string_view kDefaultRegister = "default";

}  // namespace tarv::host

#endif  // TARV_HOST_STORE_H_
