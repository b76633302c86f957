// One connection to a database of registers, as the primitives that store.cc
// makes into the transactions of a Store: what SQLite (sqlite_store.cc) and
// PostgreSQL (postgres_store.cc) each do in their own SQL, and nothing more.
//
// A failure's message is what follows "register NAME " in the line a person
// reads (store.cc puts the name before it): "is busy: ...", "cannot write its
// journal: the disk is full; it is left as it was".
#ifndef TARV_HOST_CONNECTION_H_
#define TARV_HOST_CONNECTION_H_

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/failure.h"
#include "host/store.h"

namespace tarv::host {

// Which journal entries of a register to read.
struct Selection {
  enum Kind { kSeq, kLast, kKey, kFrom } kind = kSeq;
  int64_t seq = 0;    // kSeq: that entry; kFrom: the first
  int64_t count = 1;  // kFrom: at most this many, in order
  std::string key;    // kKey
};

class Connection {
 public:
  // What messages call the database: its path, or its URL without a
  // password.
  Connection(std::string db_name, Store::Options store_options)
      : name(std::move(db_name)), options(store_options) {}
  virtual ~Connection() = default;

  const std::string name;
  const Store::Options options;
  // One transaction at a time on the connection (the Stores that share it
  // take turns here).
  std::mutex mutex;
  // The bounds set for the work to come (Database::bound); under `mutex`.
  std::optional<Bounds> bounds;

  // The bounds of work that starts now: those set, or the store's wait.
  Bounds bounds_now() const {
    return bounds ? *bounds
                  : Bounds{options.wait,
                           std::chrono::steady_clock::now() + options.wait + kAnswerMargin};
  }

  // Begins a write transaction. With an id, it holds that register (its row
  // locked) until it ends: other transactions on it wait up to the bounds'
  // wait, then fail with Fault::Busy. Each statement of it fails past the
  // bounds' answer_by. A failure leaves no transaction open.
  virtual HostResult<void> begin(const std::string& id) = 0;
  // Commits; a failure leaves nothing of the transaction (Fault::Storage),
  // or, when the answer was lost with the connection or did not come in
  // time, leaves it not known (Fault::Unknown).
  virtual HostResult<void> commit() = 0;
  virtual void rollback() = 0;

  // A register's state bytes (`initial` or now); nullopt when there is no
  // such register.
  virtual HostResult<std::optional<std::string>> state(const std::string& id, bool initial) = 0;
  virtual HostResult<void> write_state(const std::string& id, const std::string& bytes) = 0;
  // A new register; within begin(""). Fails with Fault::Storage when the id is
  // there already.
  virtual HostResult<void> add_register(const std::string& id, const std::string& initial,
                                        const std::string& state) = 0;
  virtual HostResult<std::vector<std::string>> ids() = 0;

  virtual HostResult<std::vector<JournalEntry>> select(const std::string& id,
                                                       const Selection& which) = 0;
  // Appends `entry` (its seq set) to the register's journal.
  virtual HostResult<void> insert(const std::string& id, const JournalEntry& entry) = 0;
};

// The connections of each kind of database; `create` as open_database's
// (databases.h).
HostResult<std::unique_ptr<Connection>> connect_sqlite(const std::string& path,
                                                       Store::Options options, bool create);
HostResult<std::unique_ptr<Connection>> connect_postgres(const std::string& url,
                                                         Store::Options options, bool create);

// The registers of a database over its connection (store.cc).
std::unique_ptr<Database> connected_database(std::unique_ptr<Connection> c);

}  // namespace tarv::host

#endif  // TARV_HOST_CONNECTION_H_
