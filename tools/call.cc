// tarv call: one export with a JSON request, alone or on a register.
#include <fmt/format.h>

#include <iostream>

#include "base/try.h"
#include "host/answer.h"
#include "host/files.h"
#include "host/json.h"
#include "host/register_call.h"
#include "include/tarv_core.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp =
    R"(usage: tarv call EXPORT [FILE|-] [--db DB [--key KEY] [--wait SECONDS]]

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
                   (or show SEQ) prints it again.
  --key KEY        names the call: a call repeated with the same KEY and the
                   same request prints the journaled answer again and counts
                   nothing (retry with the key when you do not know whether
                   a call went through); the same KEY with another request
                   is refused. Without --key every call is a new one.
  --wait SECONDS   how long to wait while another caller has the register
                   (default 10); then the call fails with nothing done.

Times are RFC 3339 text in UTC, e.g. "at": "2024-03-15T06:05:00Z".

Exit status: 0 success, 1 error response, 2 the request does not decode (bad
JSON, or the library's status 255), 3 bad command line or file, 4 the
register stayed busy past --wait, 5 the key names another request, 6 the
header names a number other than the register's next, 7 the register cannot
be read or written (missing, read-only, disk full; it is left as it was).
)";

std::string_view source_name(std::string_view path) { return path == "-" ? "<stdin>" : path; }

// On a register: the answer is journaled before it is printed.
HostResult<int> call_on_register(const Args& a, const host::Export& e, const std::string& db,
                                 const std::string& text, const HostResult<void>& parsed,
                                 const google::protobuf::Message& request) {
  const auto wait = wait_option(a);
  TARV_TRY(wait);
  auto store = host::open_store(db, {*wait});
  TARV_TRY(store);
  const std::string key = a.option("--key").value_or("");
  if (!parsed) {
    // Text that is no request is journaled too: the till's audit trail.
    TARV_TRY(host::journal_undecodable(**store, e, text, key));
    TARV_TRY(parsed);  // fails: the text is no request
  }
  auto committed = host::call_register(**store, e, request, key);
  TARV_TRY(committed);
  const host::CallOutcome outcome = host::outcome_of(e, committed->entry);
  std::cout << host::print(host::answer_json(e, outcome));
  return call_exit_status(outcome.status);
}

HostResult<int> run(const Args& a) {
  TARV_TRY(a.expect(1, 2));
  const host::Export* e = host::find_export(a.positional[0]);
  if (e == nullptr) {
    return std::unexpected(Failure{
        Fault::BadInput,
        fmt::format("unknown export '{}' (one of {})", a.positional[0], host::export_names())});
  }
  const auto db = a.option("--db");
  if (!db && (a.option("--key") || a.option("--wait"))) {
    return std::unexpected(Failure{Fault::BadInput, "--key and --wait go with --db"});
  }
  const std::string path = a.positional.size() > 1 ? a.positional[1] : "-";
  const auto text = host::read_file(path);
  TARV_TRY(text);
  const auto request = host::new_message(e->request);
  const auto parsed = host::parse_json(*text, *request, source_name(path), Fault::Undecodable);
  if (db) return call_on_register(a, *e, *db, *text, parsed, *request);
  TARV_TRY(parsed);

  const host::CallOutcome outcome = host::call(*e, *request);
  if (outcome.status != TARV_STATUS_UNDECODABLE && !outcome.response) {
    return std::unexpected(Failure{
        Fault::Refused, fmt::format("{} answered status {} with a response that does not parse",
                                    e->symbol, outcome.status)});
  }
  std::cout << host::print(host::answer_json(*e, outcome));
  return call_exit_status(outcome.status);
}

}  // namespace

const Command kCallCommand = {
    "call", "EXPORT [FILE|-] [--db DB] [--key KEY]  call one export with a JSON request",
    kHelp,  {"--db", "--key", "--wait"},
    {},     run};

}  // namespace tarv::tool
