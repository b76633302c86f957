// What `tarv serve` answers, apart from how requests arrive (server.cc): the
// checks a request passes before anything else, and the routes.
//
// Routes scoped to a register (the calls, the journal, the state) take that
// register (RegisterAt: its store and its turn) as a parameter;
// register_scope() is the one place that tells which register a path names,
// so that a server of many registers adds its prefix there. Their work (SQLite, the wait for the
// register, fsync) runs on the register pool, never on the I/O thread; the
// page and the refusals are answered at once.
#ifndef TARV_HOST_ROUTES_H_
#define TARV_HOST_ROUTES_H_

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "host/failure.h"
#include "host/server.h"
#include "host/store.h"

namespace tarv::host {

// An answer before it is put on the wire.
struct Reply {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // The connection closes after this answer (the request was not read whole).
  bool close = false;
};

// {"error": MESSAGE} with `status`.
Reply error_reply(int status, std::string_view message);
// {"error": ...} with the failure's http_status().
Reply failure_reply(const Failure& failure);

// A request as the routes see it; the views live as long as the request.
struct Asked {
  std::string_view method;  // as sent; HEAD is answered as GET
  std::string_view path;    // without the query
  std::string_view query;   // after '?', empty when none
  std::string_view body;
  // Header values; empty when absent.
  std::string_view host, origin, authorization, content_type, content_encoding, idempotency_key;
  bool has_idempotency_key = false;
};

// A register as its routes get it: its store (this pool thread's
// connection) and the turn its calls take in this server.
struct RegisterAt {
  Store& store;
  std::timed_mutex& calls;
};

// Work for the register pool: run() on the register `id` of the database
// `db` (an empty id: its only register), or run_database() on the database
// itself (then `calls` is null).
struct RegisterWork {
  std::string db;
  std::string id;
  std::timed_mutex* calls;
  std::function<HostResult<Reply>(RegisterAt&)> run;
  std::function<HostResult<Reply>(Database&)> run_database;
};

class Routes {
 public:
  explicit Routes(const ServerOptions& options);

  // A refusal or a page file answered at once, or the work of a register,
  // which refers to `asked`: it must outlive the work.
  std::variant<Reply, RegisterWork> route(const Asked& asked);

  // Refuses what is not let in whatever the route: a foreign Host or
  // Origin, a missing token, a body that is not plain JSON, a bad key.
  // (And answers a listed origin's preflight.) It needs no body: the server
  // asks it before the body is read, and route() again.
  std::optional<Reply> admit(const Asked& asked) const;

  // The headers that let a page of a listed origin (--allow-origin) read the
  // answer; none for other requests.
  std::vector<std::pair<std::string, std::string>> cross_origin(const Asked& asked) const;

  // Runs `work` on this pool thread's connection to its database (opened on
  // first use, and again after a storage failure, so that a register that
  // was unwritable for a while serves again without a restart). Each
  // register's Store is kept beside it once opened.
  static Reply run(const RegisterWork& work, const Store::Options& options);

 private:
  using Handler = HostResult<Reply> (Routes::*)(const Asked&, const std::cmatch&, RegisterAt&);
  struct Route {
    const char* method;
    std::regex path;  // of the path within the register's scope
    Handler handler;
  };
  // The register a path names and the path within it: "/v1/sale" is the
  // database's only register's "/sale", "/v1/registers/ID/sale" the register
  // ID's.
  struct Scope {
    std::string db;
    std::string id;
    std::string_view rest;
  };
  std::optional<Scope> register_scope(std::string_view path) const;

  bool listed_origin(std::string_view origin) const;

  // This server's turn on the register, waited for up to options_.wait.
  HostResult<std::unique_lock<std::timed_mutex>> take_turn(RegisterAt& reg) const;

  HostResult<Reply> post_call(const Asked& asked, const std::cmatch& path, RegisterAt& reg);
  HostResult<Reply> get_journal(const Asked& asked, const std::cmatch& path, RegisterAt& reg);
  HostResult<Reply> get_entry(const Asked& asked, const std::cmatch& path, RegisterAt& reg);
  HostResult<Reply> get_document(const Asked& asked, const std::cmatch& path, RegisterAt& reg);
  HostResult<Reply> get_receipt(const Asked& asked, const std::cmatch& path, RegisterAt& reg);
  HostResult<Reply> get_state(const Asked& asked, const std::cmatch& path, RegisterAt& reg);
  HostResult<Reply> post_open(const Asked& asked, const std::cmatch& path, RegisterAt& reg);
  HostResult<Reply> get_shift(const Asked& asked, const std::cmatch& path, RegisterAt& reg);

  const ServerOptions options_;
  // The calls of this server take turns on each register here rather than
  // in the database's busy wait, which polls. A fixed set of turns, one
  // chosen by the register's id: a turn made for every id a client names
  // would let clients grow the server without end. Two registers that share
  // a turn take turns in this server only; the database keeps each
  // register's own order.
  std::array<std::timed_mutex, 1024> calls_;
  const std::vector<Route> routes_;
};

}  // namespace tarv::host

#endif  // TARV_HOST_ROUTES_H_
