// tarv serve: the register over HTTP.
#include <fmt/format.h>

#include <charconv>
#include <iostream>
#include <string>
#include <vector>

#include "base/try.h"
#include "host/files.h"
#include "host/server.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp =
    R"(usage: tarv serve --db DB [--listen ADDRESS:PORT] [--token-file FILE]
                  [--max-body BYTES] [--wait SECONDS] [--allow-host NAME,...]
                  [--allow-origin ORIGIN,...] [--max-connections N]

Serves the register DB (made by tarv init) over HTTP, for front ends that
cannot load the library: each call is what `tarv call EXPORT --db DB` does,
in the same transaction, and many clients may call at once.

  POST /v1/EXPORT              body: the request JSON of tarv call, sent as
                               Content-Type: application/json (curl --json);
                               header Idempotency-Key: KEY as tarv call --key.
                               200 a document, 422 an error response, 400 a
                               request that does not decode, 409 a key given
                               with another request or a header number that
                               is not the next, 413 a body above --max-body,
                               415 another Content-Type or a compressed body,
                               503 the register stayed busy past --wait
  GET  /v1/journal?from=SEQ&limit=N   the entries as tarv journal --json
  GET  /v1/journal/SEQ         an entry's answer, as tarv call printed it
  GET  /v1/journal/SEQ/document   its binary document
  GET  /v1/journal/SEQ/receipt    its document as a printed receipt
  GET  /v1/state               the register's state
  GET  /                       a page that shows the shift

  --listen ADDRESS:PORT   where to listen (default 127.0.0.1:8080; port 0:
                          any free port). An address other than loopback
                          needs --token-file
  --token-file FILE       every request must bear Authorization: Bearer and
                          the first line of FILE
  --max-body BYTES        the largest request body (default 4194304)
  --wait SECONDS          how long a call waits for the register (default 10)
  --allow-host NAME,...   served on loopback, the names besides loopback ones
                          a request's Host may give (others are refused 403,
                          against DNS rebinding)
  --allow-origin ORIGIN,...  web origins besides the server's own whose pages
                          may call it, e.g. http://pos.example:3000 (requests
                          a browser marks with another Origin are refused 403)
  --max-connections N     connections at once (default 10000); past it new
                          ones are answered 503

A client has 10 seconds to send a whole request and to read its answer; a
kept-alive connection may wait 60 seconds for its next request.

Prints "listening on http://ADDRESS:PORT" once it takes connections. SIGTERM
or Ctrl-C: the calls in flight are answered, then it exits 0.
)";

HostResult<int> whole_number(const Args& a, const std::string& option, int fallback) {
  const auto text = a.option(option);
  if (!text) return fallback;
  int value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size() || value < 0) {
    return std::unexpected(
        Failure{Fault::BadInput, fmt::format("{} takes a whole number, not '{}'", option, *text)});
  }
  return value;
}

// A comma-separated option's items.
std::vector<std::string> list(const Args& a, const std::string& option) {
  std::vector<std::string> items;
  const std::string text = a.option(option).value_or("");
  for (size_t at = 0; at < text.size();) {
    const size_t comma = std::min(text.find(',', at), text.size());
    if (comma > at) items.push_back(text.substr(at, comma - at));
    at = comma + 1;
  }
  return items;
}

HostResult<int> run(const Args& a) {
  TARV_TRY(a.expect(0, 0));
  host::ServerOptions options;
  const auto db = a.option("--db");
  if (!db) return std::unexpected(Failure{Fault::BadInput, "--db DB names the register"});
  options.db = *db;

  const std::string listen = a.option("--listen").value_or("127.0.0.1:8080");
  const size_t colon = listen.rfind(':');
  const auto port = colon == std::string::npos
                        ? std::nullopt
                        : std::optional<std::string>(listen.substr(colon + 1));
  int port_number = -1;
  if (port) std::from_chars(port->data(), port->data() + port->size(), port_number);
  if (colon == 0 || !port || port_number < 0 || port_number > 65535) {
    return std::unexpected(
        Failure{Fault::BadInput, fmt::format("--listen takes ADDRESS:PORT, not '{}'", listen)});
  }
  options.address = listen.substr(0, colon);
  if (options.address.size() > 2 && options.address.front() == '[') {
    options.address = options.address.substr(1, options.address.size() - 2);  // [::1]
  }
  options.port = port_number;

  if (const auto token_file = a.option("--token-file")) {
    const auto token = host::read_file(*token_file);
    TARV_TRY(token);
    options.token = token->substr(0, token->find_first_of("\r\n"));
    if (options.token.empty()) {
      return std::unexpected(
          Failure{Fault::BadInput, fmt::format("{} holds no token", *token_file)});
    }
  } else if (!host::is_loopback(options.address)) {
    return std::unexpected(Failure{
        Fault::BadInput, fmt::format("{} is reachable from other machines: serving it needs "
                                     "--token-file FILE",
                                     options.address)});
  }

  const auto max_body = whole_number(a, "--max-body", static_cast<int>(options.max_body));
  TARV_TRY(max_body);
  options.max_body = static_cast<size_t>(*max_body);
  const auto wait = whole_number(a, "--wait", 10);
  TARV_TRY(wait);
  options.wait = std::chrono::seconds(*wait);
  const auto connections =
      whole_number(a, "--max-connections", static_cast<int>(options.max_connections));
  TARV_TRY(connections);
  options.max_connections = static_cast<size_t>(*connections);
  options.allowed_hosts = list(a, "--allow-host");
  options.allowed_origins = list(a, "--allow-origin");

  TARV_TRY(host::serve(options, [&](int bound) {
    std::cout << fmt::format("listening on http://{}:{}", listen.substr(0, colon), bound)
              << std::endl;
  }));
  return kExitOk;
}

}  // namespace

const Command kServeCommand = {
    "serve",
    "--db DB [--listen ADDRESS:PORT]        serve the register over HTTP",
    kHelp,
    {"--db", "--listen", "--token-file", "--max-body", "--wait", "--allow-host", "--allow-origin",
     "--max-connections"},
    {},
    run};

}  // namespace tarv::tool
