// The register over HTTP: the calls of `tarv call --db` as POST /v1/EXPORT,
// the journal and the state as GET, and a page at / that shows the shift.
// One I/O thread runs every connection; the register's work runs on a small
// pool of its own (register_pool.h), so that no client, however slow, and no
// register held elsewhere, holds a thread.
//
//   POST /v1/EXPORT                  the request JSON; Idempotency-Key: KEY
//   GET  /v1/journal?from=SEQ&limit=N   entries as `tarv journal --json`
//   GET  /v1/journal/SEQ             the answer as the call printed it
//   GET  /v1/journal/SEQ/document    the binary document
//   GET  /v1/journal/SEQ/receipt     the document as a printed receipt (?width=32|44|48,
//                                    &copy, &escpos)
//   GET  /v1/state                   the register's state
//   POST /v1/open                    {} or {"at": TIME}: the next shift, as `tarv open`
//   GET  /v1/shift                   the shift at a glance (shift_view.h)
//   GET  /, /app.js, /style.css      the page (host/page/)
//   GET  /v1/registers               the ids of the database's registers
//   .../v1/registers/ID/ROUTE        each route above of /v1 for the register ID
//
// A call answers 200 (a document), 422 (an error response), 400 (a request
// that does not decode), or the HTTP status of its failure (http_status() of
// reply.h).
// A document without a time (or a report without close_at) gets the
// register's clock.
#ifndef TARV_HOST_SERVER_H_
#define TARV_HOST_SERVER_H_

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/failure.h"

namespace tarv::host {

struct ServerOptions {
  std::string db;  // the register's database
  std::string address = "127.0.0.1";
  int port = 8080;    // 0: any free port
  std::string token;  // when not empty, every request but the page's files must bear it
  size_t max_body = 4 << 20;
  // How long a call waits for the register (calls of other clients or other
  // processes) before it is answered 503.
  std::chrono::milliseconds wait{10'000};
  // How long a client may take to send a whole request (headers and body),
  // and to read an answer.
  std::chrono::seconds timeout{10};
  // How long a kept-alive connection may wait for its next request.
  std::chrono::seconds idle{60};
  // Connections open at once; past it new ones are answered 503 and closed.
  // (Bounded by the open files the process may have.)
  size_t max_connections = 10'000;
  // Served on loopback, the names besides loopback ones that a request's
  // Host may give (a browser sends what its address bar shows).
  std::vector<std::string> allowed_hosts;
  // The web origins besides the server's own whose pages may call it
  // ("http://pos.example:3000").
  std::vector<std::string> allowed_origins;
};

// Whether `address` only reaches this machine: 127.0.0.0/8, ::1, localhost.
bool is_loopback(std::string_view address);

// Sets options' address and port from "ADDRESS:PORT" ("[::1]:8080" for an
// IPv6 address); false when `listen` is not such a text.
bool set_listen(ServerOptions& options, std::string_view listen);

// Serves the register until SIGTERM or SIGINT; the calls in flight are
// answered first. `listening` is told the port once connections are taken.
HostResult<void> serve(const ServerOptions& options, const std::function<void(int)>& listening);

}  // namespace tarv::host

#endif  // TARV_HOST_SERVER_H_
