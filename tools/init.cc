// tarv init: a new register database from a register's state in JSON.
#include <fmt/format.h>

#include <iostream>

#include "base/try.h"
#include "host/files.h"
#include "host/json.h"
#include "host/store.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp = R"(usage: tarv init DB [FILE|-]

Creates the register DB, an SQLite database that keeps the register's state
and its journal (see tarv call --db and tarv journal), from the state in FILE
(standard input when FILE is - or missing): JSON of tarv.host.HostState,

  {"context": {"currencies": ["BYN"], "device_id": 4242, "tax_number": 190123456,
               "next_doc_number": 1, "next_shift_number": 1,
               "shift_ctx": {"opened_at": "2024-03-15T06:00:00Z"}},
   "counters": {}}

as the state files of the former `tarv call --state` held it: such a file
moves into a register this way. The state is the register's initial state,
from which `tarv journal DB check` replays the journal. DB must not exist.

Exit status: 0 created, 3 bad command line or state, 7 DB exists or cannot
be written.
)";

HostResult<int> run(const std::string& db, const std::string& path) {
  const auto text = host::read_file(path);
  TARV_TRY(text);
  host::HostState state;
  TARV_TRY(host::parse_json(*text, state, path == "-" ? "<stdin>" : path, Fault::BadInput));
  TARV_TRY(host::create_store(db, state));
  std::cout << fmt::format("register {} created: next document {}, next shift {}\n", db,
                           state.context().next_doc_number(), state.context().next_shift_number());
  return kExitOk;
}

Run define(CLI::App& app) {
  auto db = std::make_shared<std::string>();
  auto path = std::make_shared<std::string>("-");
  app.add_option("DB", *db)->required();
  app.add_option("FILE", *path);
  return [=] { return run(*db, *path); };
}

}  // namespace

const Command kInitCommand = {"init", "DB [FILE|-]", "create a register from its state in JSON",
                              kHelp, define};

}  // namespace tarv::tool
