// The transactions of a register (store.h), made of the primitives of a
// connection (connection.h): the same for every kind of database, so that
// the order that makes a call all-or-nothing is written once:
//
//   begin, holding the register -> the key's entry, if any (answered again)
//   -> the state -> the caller's work -> the entry appended as the next seq
//   -> the new state -> commit
//
// and, when the commit's answer is lost, the journal asked whether the
// entry is there rather than the call made again.
#include "host/store.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "base/try.h"
#include "host/connection.h"
#include "host/databases.h"
#include "host/encode.h"

namespace tarv::host {
namespace {

// Whether `found` is the entry `made` as this call wrote it: its time to the
// microsecond and its bytes (another caller's entry under the same seq, made
// after this call's was lost, has another time and request).
bool same_entry(const JournalEntry& found, const JournalEntry& made) {
  return found.seq == made.seq && found.at_us == made.at_us &&
         found.export_name == made.export_name && found.key == made.key &&
         found.asked == made.asked && found.request == made.request &&
         found.response == made.response;
}

// The bounds of one call: those set on the connection, or its own from now,
// kept for the whole call (the journal asked after a lost commit included).
class CallBounds {
 public:
  explicit CallBounds(Connection& c) : c_(c), set_(c.bounds.has_value()) {
    if (!set_) c_.bounds = c_.bounds_now();
  }
  CallBounds(const CallBounds&) = delete;
  CallBounds& operator=(const CallBounds&) = delete;
  ~CallBounds() {
    if (!set_) c_.bounds.reset();
  }

 private:
  Connection& c_;
  const bool set_;
};

class RegisterStore final : public Store {
 public:
  // `name` is what messages call the register.
  RegisterStore(std::shared_ptr<Connection> c, std::string id, std::string name)
      : c_(std::move(c)), id_(std::move(id)), name_(std::move(name)) {}

  HostResult<HostState> state() override { return read_state(false); }
  HostResult<HostState> initial_state() override { return read_state(true); }

  HostResult<Committed> call(const std::string& key, std::string_view export_name,
                             const std::string& asked, const Work& work) override {
    std::lock_guard lock(c_->mutex);
    const CallBounds bounds(*c_);
    TARV_TRY(named(c_->begin(id_)));
    auto committed = call_in_transaction(key, export_name, asked, work);
    if (!committed) {
      c_->rollback();
      return committed;
    }
    if (committed->repeated) {
      c_->rollback();  // nothing was written: ends the read
      return committed;
    }
    if (auto done = c_->commit(); !done) {
      if (done.error().kind == Fault::Unknown) return settle(std::move(*committed), done.error());
      return named(HostResult<Committed>(std::unexpected(done.error())));
    }
    return committed;
  }

  HostResult<std::optional<JournalEntry>> entry(int64_t seq) override {
    return one({Selection::kSeq, seq, 1, {}});
  }
  HostResult<std::optional<JournalEntry>> last() override {
    return one({Selection::kLast, 0, 1, {}});
  }
  HostResult<std::optional<JournalEntry>> find_key(const std::string& key) override {
    return one({Selection::kKey, 0, 1, key});
  }
  HostResult<std::vector<JournalEntry>> entries(int64_t first_seq, int64_t count) override {
    std::lock_guard lock(c_->mutex);
    return named(c_->select(id_, {Selection::kFrom, first_seq, count, {}}));
  }

 private:
  template <class T>
  HostResult<T> named(HostResult<T> result) const {
    if (!result)
      result.error().message = fmt::format("register {} {}", name_, result.error().message);
    return result;
  }

  HostResult<Committed> call_in_transaction(const std::string& key, std::string_view export_name,
                                            const std::string& asked, const Work& work) {
    if (!key.empty()) {
      auto earlier = named(c_->select(id_, {Selection::kKey, 0, 1, key}));
      TARV_TRY(earlier);
      if (!earlier->empty()) {
        JournalEntry& e = earlier->front();
        if (e.export_name != export_name || e.asked != asked) {
          return std::unexpected(Failure{
              Fault::KeyReused,
              fmt::format(
                  "key '{}' was used by journal entry {} ({}) with another request; nothing was "
                  "called (a new call takes a new key)",
                  key, e.seq, e.export_name)});
        }
        return Committed{std::move(e), true};
      }
    }
    auto state = parsed_state(false);
    TARV_TRY(state);
    auto record = work(*state);
    TARV_TRY(record);

    JournalEntry& e = record->entry;
    e.key = key;
    e.asked = asked;
    e.at_us = std::chrono::duration_cast<std::chrono::microseconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
    auto last = named(c_->select(id_, {Selection::kLast, 0, 1, {}}));
    TARV_TRY(last);
    e.seq = last->empty() ? 1 : last->front().seq + 1;
    TARV_TRY(named(c_->insert(id_, e)));
    if (record->new_state) TARV_TRY(named(c_->write_state(id_, encode(*record->new_state))));
    return Committed{std::move(e), false};
  }

  // After a commit whose answer was lost: the journal asked, on a new
  // connection, whether the call's entry is there. Holding the register
  // first makes sure the lost transaction has ended, committed or not.
  HostResult<Committed> settle(Committed made, const Failure& lost) {
    // The lost transaction is waited for as long as the call may still
    // take (a call's try of its register may have waited briefly).
    Bounds& bounds = *c_->bounds;  // kept by call()
    bounds.wait = std::max(std::chrono::milliseconds(1),
                           std::chrono::duration_cast<std::chrono::milliseconds>(
                               bounds.answer_by - kAnswerMargin - std::chrono::steady_clock::now()));
    const auto found = [&]() -> HostResult<bool> {
      TARV_TRY(c_->begin(id_));
      auto entry = c_->select(id_, {Selection::kSeq, made.entry.seq, 1, {}});
      c_->rollback();
      TARV_TRY(entry);
      return !entry->empty() && same_entry(entry->front(), made.entry);
    }();
    if (found && *found) return made;
    if (found) {
      return std::unexpected(Failure{
          Fault::Storage, fmt::format("register {} {}; its journal holds no entry {} of it since: "
                                      "nothing was done",
                                      name_, lost.message, made.entry.seq)});
    }
    return std::unexpected(Failure{
        Fault::Unknown,
        fmt::format("register {} {}, and its journal could not be asked since ({}): the call "
                    "may have been made. Journal entry {} tells: it is this call if it holds "
                    "this request{}",
                    name_, lost.message, found.error().message, made.entry.seq,
                    made.entry.key.empty()
                        ? "; do not make the call again before"
                        : fmt::format(", and asking again with key '{}' answers from the "
                                      "journal, or makes the call now",
                                      made.entry.key))});
  }

  HostResult<HostState> read_state(bool initial) {
    std::lock_guard lock(c_->mutex);
    return parsed_state(initial);
  }
  HostResult<HostState> parsed_state(bool initial) {
    auto bytes = named(c_->state(id_, initial));
    TARV_TRY(bytes);
    const char* column = initial ? "initial state" : "state";
    if (!*bytes) {
      return std::unexpected(
          Failure{Fault::Storage, fmt::format("register {} has no {}", name_, column)});
    }
    HostState state;
    if (!state.ParseFromString(**bytes)) {
      return std::unexpected(Failure{
          Fault::Storage, fmt::format("register {}: its {} does not parse", name_, column)});
    }
    return state;
  }

  HostResult<std::optional<JournalEntry>> one(const Selection& which) {
    std::lock_guard lock(c_->mutex);
    auto found = named(c_->select(id_, which));
    TARV_TRY(found);
    if (found->empty()) return std::nullopt;
    return std::move(found->front());
  }

  const std::shared_ptr<Connection> c_;
  const std::string id_;
  const std::string name_;
};

class ConnectedDatabase final : public Database {
 public:
  explicit ConnectedDatabase(std::shared_ptr<Connection> c) : c_(std::move(c)) {}

  HostResult<std::vector<std::string>> ids() override {
    std::lock_guard lock(c_->mutex);
    return database(c_->ids());
  }

  void bound(std::optional<Bounds> bounds) override {
    std::lock_guard lock(c_->mutex);
    c_->bounds = bounds;
  }

  HostResult<std::unique_ptr<Store>> open(const std::string& id) override {
    if (id.empty()) {
      auto all = ids();
      TARV_TRY(all);
      if (all->size() == 1) return std::make_unique<RegisterStore>(c_, all->front(), c_->name);
      if (all->empty()) {
        return std::unexpected(
            Failure{Fault::Storage, fmt::format("{} holds no register", c_->name)});
      }
      return std::unexpected(
          Failure{Fault::BadInput,
                  fmt::format("{} holds {} registers; name one of them", c_->name, all->size())});
    }
    TARV_TRY(check_register_id(id));
    std::lock_guard lock(c_->mutex);
    auto there = database(c_->state(id, false));
    TARV_TRY(there);
    if (!*there) {
      return std::unexpected(
          Failure{Fault::NotFound, fmt::format("{} has no register {}", c_->name, id)});
    }
    return std::make_unique<RegisterStore>(c_, id, name_of(id));
  }

  HostResult<std::unique_ptr<Store>> create(const std::string& id, const HostState& initial,
                                            Store* from) override {
    const std::string& made = id.empty() ? std::string(kDefaultRegister) : id;
    TARV_TRY(check_register_id(made));
    if (id.empty()) {
      auto all = ids();
      TARV_TRY(all);
      if (!all->empty()) return std::unexpected(exists(c_->name));
    }
    {
      std::lock_guard lock(c_->mutex);
      TARV_TRY(database(c_->begin("")));
      if (auto ok = fill(made, initial, from); !ok) {
        c_->rollback();
        return std::unexpected(ok.error());
      }
      TARV_TRY(database(c_->commit()));
    }
    return open(id);
  }

 private:
  std::string name_of(const std::string& id) const { return fmt::format("{} of {}", id, c_->name); }
  template <class T>
  HostResult<T> database(HostResult<T> result) const {
    if (!result) result.error().message = fmt::format("{} {}", c_->name, result.error().message);
    return result;
  }
  static Failure exists(const std::string& name) {
    return Failure{
        Fault::Storage,
        fmt::format("cannot create register {}: it exists (a register is created once)", name)};
  }

  // Within the transaction of create().
  HostResult<void> fill(const std::string& id, const HostState& initial, Store* from) {
    auto there = database(c_->state(id, false));
    TARV_TRY(there);
    if (*there) return std::unexpected(exists(name_of(id)));
    if (from == nullptr) {
      const std::string bytes = encode(initial);
      return database(c_->add_register(id, bytes, bytes));
    }
    auto first = from->initial_state();
    TARV_TRY(first);
    auto now = from->state();
    TARV_TRY(now);
    TARV_TRY(database(c_->add_register(id, encode(*first), encode(*now))));
    return for_each_entry(*from,
                          [&](const JournalEntry& e) { return database(c_->insert(id, e)); });
  }

  const std::shared_ptr<Connection> c_;
};

}  // namespace

HostResult<void> for_each_entry(Store& store,
                                const std::function<HostResult<void>(const JournalEntry&)>& visit,
                                int64_t first_seq) {
  constexpr int64_t kBatch = 512;
  for (int64_t next = first_seq;;) {
    auto batch = store.entries(next, kBatch);
    TARV_TRY(batch);
    for (const JournalEntry& entry : *batch) {
      TARV_TRY(visit(entry));
      next = entry.seq + 1;
    }
    if (static_cast<int64_t>(batch->size()) < kBatch) return {};
  }
}

std::unique_ptr<Database> connected_database(std::unique_ptr<Connection> c) {
  return std::make_unique<ConnectedDatabase>(std::shared_ptr<Connection>(std::move(c)));
}

}  // namespace tarv::host
