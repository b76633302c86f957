// Where `tarv serve` runs the work of its registers: a few threads, each
// with its own connection to the database, and a queue per register.
//
// A register's calls (the work that writes it) take turns in this server on
// the register's own queue; a call waiting there, or for a register another
// process holds, holds no thread: its wait is a timer on the I/O thread,
// and a register held elsewhere is tried again (each try waits for it a few
// milliseconds at most) until the call's wait ends. The wait (--wait) counts
// once, from the moment the call arrives, and a call still waiting then is
// answered 503 with nothing done. A queue is kept while a call of its
// register is in it, so that the server holds nothing for ids it is not
// serving. Reads (the journal, the state) take no turn.
//
// Every thread keeps its connection, and each register's Store on it,
// between works. A work whose connection failed before anything was sent to
// be committed runs once more on a new connection (a connection opened
// while the file was read-only stays read-only); a call whose commit's
// outcome is not known (Fault::Unknown) never runs again.
#ifndef TARV_HOST_REGISTER_POOL_H_
#define TARV_HOST_REGISTER_POOL_H_

#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "host/failure.h"
#include "host/reply.h"
#include "host/store.h"

namespace tarv::host {

// A register as its work gets it: its store on the thread's connection, and
// the end of the call's turn, which a call may reach before its work ends
// (after its commit, so that its answer is made while the next call runs;
// reached at the end otherwise).
struct RegisterAt {
  Store& store;
  std::function<void()> leave;
};

// Work for the register pool: run() on the register `id` of the database
// `db` (an empty id: its only register), or run_database() on the database
// itself.
struct RegisterWork {
  std::string db;
  std::string id;
  // It writes the register: it takes the register's turn.
  bool call = false;
  std::function<HostResult<Reply>(RegisterAt&)> run;
  std::function<HostResult<Reply>(Database&)> run_database;
};

class RegisterPool {
 public:
  // `io` is the thread on which the queues are kept and `done` is called;
  // `threads` run the work.
  RegisterPool(boost::asio::io_context& io, boost::asio::thread_pool& threads,
               std::chrono::milliseconds wait)
      : io_(io), threads_(threads), wait_(wait) {}

  // Runs `work` in its turn; `done` gets the answer on the I/O thread. Called
  // on the I/O thread.
  void submit(RegisterWork work, std::function<void(Reply)> done);

 private:
  struct Pending;
  using Key = std::pair<std::string, std::string>;
  struct Turn {
    bool running = false;
    std::deque<std::shared_ptr<Pending>> waiting;
  };

  void attempt(const std::shared_ptr<Pending>& p);
  // On the I/O thread: p's answer, or its next try.
  void finish(const std::shared_ptr<Pending>& p, HostResult<Reply> result);
  // On any thread: ends p's turn (once) and starts its register's next call.
  void leave(const std::shared_ptr<Pending>& p);
  Reply busy(const Pending& p) const;

  boost::asio::io_context& io_;
  boost::asio::thread_pool& threads_;
  const std::chrono::milliseconds wait_;
  std::mutex mutex_;
  std::map<Key, Turn> turns_;  // under mutex_
};

}  // namespace tarv::host

#endif  // TARV_HOST_REGISTER_POOL_H_
