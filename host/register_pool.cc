#include "host/register_pool.h"

#include <fmt/format.h>

#include <algorithm>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include "base/try.h"
#include "host/databases.h"

namespace tarv::host {
namespace {

namespace asio = boost::asio;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long one try of a call waits for a register another process holds,
// and the pauses between tries (doubling up to the longest): a thread is
// held a few milliseconds at a time, never for the whole wait.
constexpr milliseconds kTryWait{10};
constexpr milliseconds kFirstPause{5};
constexpr milliseconds kLongestPause{50};

// Runs `work` on this thread's connection to its database (opened on first
// use, and again after a storage failure), within `bounds`.
HostResult<Reply> run_here(const RegisterWork& work, const Bounds& bounds,
                           const std::function<void()>& leave) {
  // Pool threads live as long as their server: one connection to each
  // database, and each register's Store on it.
  thread_local std::map<std::string, std::unique_ptr<Database>> databases;
  thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Store>> stores;
  const auto forget = [&] {
    std::erase_if(stores, [&](const auto& kept) { return kept.first.first == work.db; });
    databases.erase(work.db);
  };
  for (bool fresh = false;; forget()) {
    std::unique_ptr<Database>& database = databases[work.db];
    if (!database) {
      // Its connection may take what is left of the call's wait.
      const auto left = std::chrono::duration_cast<milliseconds>(bounds.answer_by - kAnswerMargin -
                                                                 Clock::now());
      auto opened = open_database(work.db, Store::Options{std::max(left, milliseconds(1))});
      if (!opened) {
        forget();
        return std::unexpected(opened.error());
      }
      database = std::move(*opened);
      fresh = true;
    }
    database->bound(bounds);
    auto result = [&]() -> HostResult<Reply> {
      if (work.run_database) return work.run_database(*database);
      if (work.id.empty()) {
        // The routes without an id serve a database's only register: asked
        // again on every call, since a register may be added while the
        // server runs (the routes then answer 400).
        auto only = database->open("");
        TARV_TRY(only);
        RegisterAt reg{**only, leave};
        return work.run(reg);
      }
      const auto key = std::make_pair(work.db, work.id);
      std::unique_ptr<Store>& store = stores[key];
      if (!store) {
        auto opened = database->open(work.id);
        if (!opened) stores.erase(key);  // nothing kept for what is not there
        TARV_TRY(opened);
        store = std::move(*opened);
      }
      RegisterAt reg{*store, leave};
      return work.run(reg);
    }();
    if (databases[work.db]) databases[work.db]->bound(std::nullopt);
    // A storage failure changed nothing: once more on a new connection.
    if (result || result.error().kind != Fault::Storage || fresh) {
      if (!result && result.error().kind == Fault::Storage) forget();
      return result;
    }
  }
}

}  // namespace

struct RegisterPool::Pending {
  Pending(asio::io_context& io, RegisterWork w, std::function<void(Reply)> d, Clock::time_point u)
      : work(std::move(w)), done(std::move(d)), until(u), timer(io) {}
  RegisterWork work;
  std::function<void(Reply)> done;  // called on the I/O thread
  const Clock::time_point until;    // the end of its wait
  // Its wait in the queue, then its pauses between tries; on the I/O thread.
  asio::steady_timer timer;
  milliseconds pause = kFirstPause;
  bool started = false;  // it has left the queue; under mutex_
  bool left = false;     // its turn has ended; under mutex_
};

void RegisterPool::submit(RegisterWork work, std::function<void(Reply)> done) {
  auto p = std::make_shared<Pending>(io_, std::move(work), std::move(done), Clock::now() + wait_);
  if (!p->work.call) return attempt(p);
  const Key key{p->work.db, p->work.id};
  {
    std::lock_guard lock(mutex_);
    Turn& turn = turns_[key];
    if (!turn.running) {
      turn.running = p->started = true;
    } else {
      turn.waiting.push_back(p);
    }
  }
  if (p->started) return attempt(p);
  p->timer.expires_at(p->until);
  p->timer.async_wait([this, p, key](boost::system::error_code ec) {
    if (ec) return;
    {
      std::lock_guard lock(mutex_);
      if (p->started) return;  // its turn came first
      std::erase(turns_[key].waiting, p);
    }
    p->done(busy(*p));
  });
}

void RegisterPool::attempt(const std::shared_ptr<Pending>& p) {
  asio::post(threads_, [this, p, guard = asio::make_work_guard(io_)]() mutable {
    const auto left = std::chrono::duration_cast<milliseconds>(p->until - Clock::now());
    // A call tries for the register briefly and leaves the thread; a read
    // waits for nothing but the database's answer.
    const Bounds bounds{p->work.call ? std::clamp(left, milliseconds(1), kTryWait)
                                     : std::max(left, milliseconds(1)),
                        p->until + kAnswerMargin};
    // A call that ends its turn early (after its commit) starts the next
    // one here, while its own answer is made; a busy try keeps the turn.
    auto result = run_here(p->work, bounds, [this, p] { leave(p); });
    asio::post(io_, [this, p, result = std::move(result)]() mutable {
      finish(p, std::move(result));
    });
    guard.reset();
  });
}

void RegisterPool::finish(const std::shared_ptr<Pending>& p, HostResult<Reply> result) {
  if (!result && result.error().kind == Fault::Busy && p->work.call) {
    if (Clock::now() + p->pause < p->until) {
      p->timer.expires_after(p->pause);
      p->pause = std::min(p->pause * 2, kLongestPause);
      p->timer.async_wait([this, p](boost::system::error_code ec) {
        if (!ec) attempt(p);
      });
      return;
    }
    p->done(busy(*p));
  } else {
    p->done(result ? std::move(*result) : failure_reply(result.error()));
  }
  leave(p);
}

void RegisterPool::leave(const std::shared_ptr<Pending>& p) {
  if (!p->work.call) return;
  std::shared_ptr<Pending> next;
  {
    std::lock_guard lock(mutex_);
    if (p->left) return;
    p->left = true;
    const auto found = turns_.find({p->work.db, p->work.id});
    if (found == turns_.end()) return;
    Turn& turn = found->second;
    if (turn.waiting.empty()) {
      turns_.erase(found);
      return;
    }
    next = turn.waiting.front();
    turn.waiting.pop_front();
    next->started = true;
  }
  asio::post(io_, [next] { next->timer.cancel(); });
  attempt(next);
}

Reply RegisterPool::busy(const Pending& p) const {
  return failure_reply(Failure{
      Fault::Busy,
      fmt::format("{} stayed busy for {} ms (other calls held it); nothing was called (try "
                  "again, or wait longer)",
                  p.work.id.empty() ? "the register" : fmt::format("register {}", p.work.id),
                  wait_.count())});
}

}  // namespace tarv::host
