// tarv call: one export with a JSON request.
#include <fmt/format.h>

#include <iostream>
#include <optional>

#include "base/try.h"
#include "host/answer.h"
#include "host/files.h"
#include "host/register.h"
#include "include/tarv_core.h"
#include "tools/commands.h"
#include "tools/state_file.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp = R"(usage: tarv call EXPORT [FILE|-] [--state FILE]

Reads a request in the Protocol Buffers JSON mapping of tarv_core.proto from
FILE (standard input when FILE is - or missing), calls the export and prints
the response as JSON, with its binary document decoded under "document".

EXPORT is one of deposit, withdraw, ch_withdraw, sale, refund, rollback,
report, order (or the export's own name, e.g. tarvcore_create_sale).

  --state FILE   act as a register that keeps its state in FILE (JSON of
                 tarv.host.HostState): the request's context and attrs are
                 filled from it (a zero header number becomes the next
                 document number), and after a success the new cash position,
                 counters and numbering are written back by replacing the
                 file (durably: a crash leaves the old or the new state,
                 whole). After an error the file is left as it was. One tarv
                 at a time: the call holds the lock FILE.lock throughout.

Times are RFC 3339 text in UTC, e.g. "at": "2024-03-15T06:05:00Z".

Exit status: 0 success, 1 error response, 2 the request does not decode (bad
JSON, or the library's status 255), 3 bad command line, file or state, 4 the
state file is in use by another tarv.
)";

std::string_view source_name(std::string_view path) { return path == "-" ? "<stdin>" : path; }

HostResult<int> run(const Args& a) {
  TARV_TRY(a.expect(1, 2));
  const host::Export* e = host::find_export(a.positional[0]);
  if (e == nullptr) {
    return std::unexpected(Failure{
        host::kExitUsage,
        fmt::format("unknown export '{}' (one of {})", a.positional[0], host::export_names())});
  }
  const std::string path = a.positional.size() > 1 ? a.positional[1] : "-";
  const auto text = host::read_file(path);
  TARV_TRY(text);
  const auto request = host::new_message(e->request);
  TARV_TRY(host::parse_json(*text, *request, source_name(path), host::kExitUndecodable));

  // The state file stays locked until the new state is written.
  std::optional<StateFile> state_file;
  std::optional<host::Register> reg;
  if (const auto state_path = a.option("--state")) {
    auto locked = StateFile::lock(*state_path);
    TARV_TRY(locked);
    state_file.emplace(std::move(*locked));
    const auto state_text = state_file->read();
    TARV_TRY(state_text);
    host::HostState state;
    TARV_TRY(
        host::parse_json(*state_text, state, "state file " + state_file->path(), host::kExitUsage));
    reg.emplace(std::move(state));
    reg->fill(*e, *request);
  }

  const host::CallOutcome outcome = host::call(*e, *request);
  if (outcome.status != TARV_STATUS_UNDECODABLE && !outcome.response) {
    return std::unexpected(Failure{
        host::kExitRefused, fmt::format("{} answered status {} with a response that does not parse",
                                        e->symbol, outcome.status)});
  }
  if (reg && outcome.status == TARV_STATUS_OK) {
    reg->take(*e, *request, outcome);
    TARV_TRY(state_file->replace(host::to_json(reg->state())));
  }
  std::cout << host::print(host::answer_json(*e, outcome));
  return host::exit_status(outcome);
}

}  // namespace

const Command kCallCommand = {
    "call", "EXPORT [FILE|-] [--state FILE]   call one export with a JSON request",
    kHelp,  {"--state"},
    {},     run};

}  // namespace tarv::tool
