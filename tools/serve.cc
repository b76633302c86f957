// tarv serve: the register over HTTP.
#include <fmt/format.h>

#include <algorithm>
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
                  [--max-body BYTES] [--wait SECONDS] [--allow-host NAME]...
                  [--allow-origin ORIGIN]... [--max-connections N]

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
  POST /v1/open                body {} or {"at": TIME}: the next shift after a
                               report, as tarv open (409 while one is open)
  GET  /v1/shift               the shift at a glance: number, opening,
                               documents and refusals, takings per currency
                               and payment kind, cash in the drawer
  GET  /                       a page that shows the shift

A database of several registers (tarv init --register) is served whole:
each route above is also /v1/registers/ID/..., e.g. POST
/v1/registers/ID/sale, for the register ID (404 when there is none);
GET /v1/registers lists the ids. The routes without an id answer 400 on a
database of several. DB may be a postgresql:// URL: any number of tarv serve
processes, on any machines, may serve the same database.

  --listen ADDRESS:PORT   where to listen (default 127.0.0.1:8080; port 0:
                          any free port). An address other than loopback
                          needs --token-file
  --token-file FILE       every request but the page's own files must bear
                          Authorization: Bearer and the first line of FILE
                          (the page asks for it): 16 visible ASCII
                          characters or more, blanks around them ignored.
                          A wrong token is answered 401 after 0.25 s and
                          its connection closed
  --max-body BYTES        the largest request body (default 4194304)
  --wait SECONDS          how long a call waits for the register (default 10)
  --allow-host NAME       served on loopback, a name besides loopback ones
                          a request's Host may give (others are refused 403,
                          against DNS rebinding); repeatable
  --allow-origin ORIGIN   a web origin besides the server's own whose pages
                          may call it, e.g. http://pos.example:3000 (requests
                          a browser marks with another Origin are refused
                          403); repeatable
  --max-connections N     connections at once (default 10000); past it new
                          ones are answered 503

A client has 10 seconds to send a whole request and to read its answer; a
kept-alive connection may wait 60 seconds for its next request.

Prints "listening on http://ADDRESS:PORT" once it takes connections. SIGTERM,
SIGHUP (unless started under nohup) or Ctrl-C: the calls in flight are
answered, then it exits 0.
)";

struct Args {
  std::string db;
  std::string listen = "127.0.0.1:8080";
  std::optional<std::string> token_file;
  host::ServerOptions options;  // the numbers and lists as given
};

// A token shorter than this is refused: guessed at a few a second per
// connection, 16 characters of a random text take longer than anyone waits.
constexpr size_t kMinToken = 16;

// The first line of a token file without the blanks around it (an editor's
// trailing space, a CRLF file).
HostResult<std::string> read_token(std::string_view text, std::string_view file) {
  std::string_view token = text.substr(0, text.find_first_of("\r\n"));
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!token.empty() && blank(token.front())) token.remove_prefix(1);
  while (!token.empty() && blank(token.back())) token.remove_suffix(1);
  const auto refuse = [&](std::string_view why) {
    return std::unexpected(Failure{
        Fault::BadInput,
        fmt::format("{} {}: its first line is the token, {} visible ASCII characters or more "
                    "(e.g. made with: head -c 24 /dev/urandom | base64 > {})",
                    file, why, kMinToken, file)});
  };
  if (token.empty()) return refuse("holds no token");
  if (!std::ranges::all_of(token, [](char c) { return c > ' ' && c < 0x7f; })) {
    return refuse("holds a token with a blank or a character that is not visible ASCII");
  }
  if (token.size() < kMinToken) {
    return refuse(fmt::format("holds a token of {} characters, too easily guessed", token.size()));
  }
  return std::string(token);
}

HostResult<int> run(Args& a) {
  host::ServerOptions& options = a.options;
  options.db = a.db;
  if (!host::set_listen(options, a.listen)) {
    return std::unexpected(
        Failure{Fault::BadInput, fmt::format("--listen takes ADDRESS:PORT, not '{}'", a.listen)});
  }

  if (a.token_file) {
    const auto token = host::read_file(*a.token_file);
    TARV_TRY(token);
    auto checked = read_token(*token, *a.token_file);
    TARV_TRY(checked);
    options.token = std::move(*checked);
  } else if (!host::is_loopback(options.address)) {
    return std::unexpected(Failure{
        Fault::BadInput, fmt::format("{} is reachable from other machines: serving it needs "
                                     "--token-file FILE",
                                     options.address)});
  }
  for (auto* names : {&options.allowed_hosts, &options.allowed_origins}) {
    std::erase(*names, "");  // "a,,b"
  }

  TARV_TRY(host::serve(options, [&](int bound) {
    std::cout << fmt::format("listening on http://{}:{}", a.listen.substr(0, a.listen.rfind(':')),
                             bound)
              << std::endl;
  }));
  return kExitOk;
}

Run define(CLI::App& app) {
  auto a = std::make_shared<Args>();
  app.add_option("--db", a->db)->required();
  app.add_option("--listen", a->listen);
  app.add_option("--token-file", a->token_file);
  app.add_option("--max-body", a->options.max_body)->check(number_from(0, 2147483647));
  add_wait(app, a->options.wait);
  app.add_option("--allow-host", a->options.allowed_hosts)->delimiter(',');
  app.add_option("--allow-origin", a->options.allowed_origins)->delimiter(',');
  app.add_option("--max-connections", a->options.max_connections)
      ->check(number_from(0, 2147483647));
  return [a] { return run(*a); };
}

}  // namespace

const Command kServeCommand = {"serve", "--db DB [--listen ADDRESS:PORT]",
                               "serve the register over HTTP", kHelp, define};

}  // namespace tarv::tool
