// tarv open: the next shift of a register whose shift is closed.
#include <fmt/format.h>
#include <google/protobuf/util/time_util.h>

#include <chrono>
#include <iostream>

#include "base/try.h"
#include "host/databases.h"
#include "host/journal_view.h"
#include "host/register_call.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp = R"(usage: tarv open DB [--register ID] [--at TIME]

Opens the next shift of the register DB after its shift-close report: no cash
in the drawer, no counters, the shift number the report left. TIME is RFC
3339 text in UTC, e.g. 2024-03-16T06:00:00Z (default: now). The opening is
journaled and prints {"export": "open", "status": 0, "opened_at": TIME}.

  --register ID    the register ID of DB (needed when DB holds several)
  --wait SECONDS   how long to wait for another caller (default 10)

Exit status: 0 opened, 1 the shift is still open, 3 bad command line,
4 the register stayed busy, 7 the register cannot be read or written.
)";

struct Args {
  std::string db;
  std::string id;
  std::optional<std::string> at;
  std::chrono::milliseconds wait{10'000};
};

HostResult<int> run(const Args& a) {
  google::protobuf::Timestamp at = google::protobuf::util::TimeUtil::GetCurrentTime();
  at.set_nanos(0);
  if (a.at && !google::protobuf::util::TimeUtil::FromString(*a.at, &at)) {
    return std::unexpected(Failure{
        Fault::BadInput, fmt::format("--at {}: not a time like 2024-03-16T06:00:00Z", *a.at)});
  }
  auto store = host::open_store(a.db, {a.wait}, a.id);
  TARV_TRY(store);
  TARV_TRY(host::open_shift(**store, at));
  std::cout << host::print(host::open_answer(at));
  return kExitOk;
}

Run define(CLI::App& app) {
  auto a = std::make_shared<Args>();
  app.add_option("DB", a->db)->required();
  app.add_option("--at", a->at);
  add_register(app, a->id);
  add_wait(app, a->wait);
  return [a] { return run(*a); };
}

}  // namespace

const Command kOpenCommand = {"open", "DB [--register ID] [--at TIME]",
                              "open the next shift of a register", kHelp, define};

}  // namespace tarv::tool
