// tarv call: one export with a JSON request, alone or on a register.
#include <fmt/format.h>

#include <iostream>

#include "base/try.h"
#include "host/answer.h"
#include "host/databases.h"
#include "host/files.h"
#include "host/json.h"
#include "host/register_call.h"
#include "include/tarv_core.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp =
    R"(usage: tarv call EXPORT [FILE|-] [--db DB [--register ID] [--key KEY]
                                       [--wait SECONDS]]

Reads a request in the Protocol Buffers JSON mapping of tarv_core.proto from
FILE (standard input when FILE is - or missing), calls the export and prints
the response as JSON, with its binary document decoded under "document".

EXPORT is one of deposit, withdraw, ch_withdraw, sale, refund, rollback,
report, order (or the export's own name, e.g. tarvcore_create_sale).

  --db DB          act as the register DB (made by tarv init): the request's
                   context and attrs are filled from it, a zero header
                   number becomes the next document number (another number
                   is refused: the register numbers its documents), and the
                   call is journaled and, after a success, its new cash
                   position, counters and numbering kept, all in one
                   transaction: a crash leaves the register before or after
                   the call, never between. The answer is printed after the
                   commit; if it is lost on its way, tarv journal DB last
                   (or show SEQ) prints it again. DB is a path or a
                   postgresql:// URL.
  --register ID    the register ID of DB (needed when DB holds several)
  --key KEY        names the call: a call repeated with the same KEY and the
                   same request prints the journaled answer again and counts
                   nothing (retry with the key when you do not know whether
                   a call went through); the same KEY with another request
                   is refused. Without --key every call is a new one.
  --wait SECONDS   how long to wait while another caller has the register
                   (default 10); then the call fails with nothing done. A
                   database that does not answer fails it a second later.

Times are RFC 3339 text in UTC, e.g. "at": "2024-03-15T06:05:00Z".

Exit status: 0 success, 1 error response, 2 the request does not decode (bad
JSON, which is not journaled, or the library's status 255), 3 bad command
line or file, a document dated before the register's last one, or a
register moved elsewhere (both named in the message, nothing journaled),
4 the register stayed busy past --wait, 5 the key names another request,
6 the header names a number other than the register's next, 7 the register
cannot be read or written (missing, read-only, disk full, the database out
of reach or not answering within --wait; it is left as it was), 8 the commit
was sent and its answer lost, and the journal could not be asked since: the
call may have been made (the message names the entry that tells; a --key
call asked again with its key is answered from the journal, or made now).
)";

struct Args {
  std::string export_name;
  std::string path = "-";
  std::optional<std::string> db;
  std::string id;
  std::string key;
  std::chrono::milliseconds wait{10'000};
};

std::string_view source_name(std::string_view path) { return path == "-" ? "<stdin>" : path; }

// On a register: the answer is journaled before it is printed.
HostResult<int> call_on_register(const Args& a, const host::Export& e,
                                 const google::protobuf::Message& request) {
  auto store = host::open_store(*a.db, {a.wait}, a.id);
  TARV_TRY(store);
  auto committed = host::call_register(**store, e, request, a.key);
  TARV_TRY(committed);
  const host::CallOutcome outcome = host::outcome_of(e, committed->entry);
  std::cout << host::print(host::answer_json(e, outcome));
  return call_exit_status(outcome.status);
}

HostResult<int> run(const Args& a) {
  const host::Export* e = host::find_export(a.export_name);
  if (e == nullptr) {
    return std::unexpected(Failure{
        Fault::BadInput,
        fmt::format("unknown export '{}' (one of {})", a.export_name, host::export_names())});
  }
  const auto text = host::read_file(a.path);
  TARV_TRY(text);
  const auto request = host::new_message(e->request);
  // Text that is no request is refused before any register is touched, as
  // the server refuses it: nothing is journaled.
  TARV_TRY(host::parse_json(*text, *request, source_name(a.path), Fault::Undecodable));
  if (a.db) return call_on_register(a, *e, *request);

  const host::CallOutcome outcome = host::call(*e, *request);
  if (outcome.status != TARV_STATUS_UNDECODABLE && !outcome.response) {
    return std::unexpected(Failure{
        Fault::Library, fmt::format("{} answered status {} with a response that does not parse",
                                    e->symbol, outcome.status)});
  }
  std::cout << host::print(host::answer_json(*e, outcome));
  return call_exit_status(outcome.status);
}

Run define(CLI::App& app) {
  auto a = std::make_shared<Args>();
  app.add_option("EXPORT", a->export_name)->required();
  app.add_option("FILE", a->path);
  auto* db = app.add_option("--db", a->db);
  app.add_option("--key", a->key)->needs(db);
  add_register(app, a->id)->needs(db);
  add_wait(app, a->wait)->needs(db);
  return [a] { return run(*a); };
}

}  // namespace

const Command kCallCommand = {"call", "EXPORT [FILE|-] [--db DB] [--key KEY]",
                              "call one export with a JSON request", kHelp, define};

}  // namespace tarv::tool
