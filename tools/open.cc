// tarv open: the next shift of a register whose shift is closed.
#include <fmt/format.h>
#include <google/protobuf/util/time_util.h>

#include <chrono>
#include <iostream>

#include "base/try.h"
#include "host/journal_view.h"
#include "host/register_call.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp = R"(usage: tarv open DB [--at TIME]

Opens the next shift of the register DB after its shift-close report: no cash
in the drawer, no counters, the shift number the report left. TIME is RFC
3339 text in UTC, e.g. 2024-03-16T06:00:00Z (default: now). The opening is
journaled and prints {"export": "open", "status": 0, "opened_at": TIME}.

  --wait SECONDS   how long to wait for another caller (default 10)

Exit status: 0 opened, 1 the shift is still open, 3 bad command line,
4 the register stayed busy, 7 the register cannot be read or written.
)";

HostResult<int> run(const Args& a) {
  TARV_TRY(a.expect(1, 1));
  google::protobuf::Timestamp at = google::protobuf::util::TimeUtil::GetCurrentTime();
  at.set_nanos(0);
  if (const auto text = a.option("--at");
      text && !google::protobuf::util::TimeUtil::FromString(*text, &at)) {
    return std::unexpected(Failure{
        Fault::BadInput, fmt::format("--at {}: not a time like 2024-03-16T06:00:00Z", *text)});
  }
  const auto wait = wait_option(a);
  TARV_TRY(wait);
  auto store = host::open_store(a.positional[0], {*wait});
  TARV_TRY(store);
  TARV_TRY(host::open_shift(**store, at));
  std::cout << host::print(host::open_answer(at));
  return kExitOk;
}

}  // namespace

const Command kOpenCommand = {
    "open", "DB [--at TIME]                      open the next shift of a register",
    kHelp,  {"--at", "--wait"},
    {},     run};

}  // namespace tarv::tool
