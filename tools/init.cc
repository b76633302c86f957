// tarv init: a new register database from a register's state in JSON.
#include <fmt/format.h>

#include <iostream>

#include "base/try.h"
#include "host/databases.h"
#include "host/files.h"
#include "host/json.h"
#include "host/move.h"
#include "host/redact.h"
#include "host/register_call.h"
#include "host/store.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp = R"(usage: tarv init DB [FILE|-] [--register ID]
       tarv init DB --register ID --from OTHER

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

DB is a path (an SQLite file) or a PostgreSQL URL,
postgresql://USER@HOST:PORT/DATABASE (or libpq's key=value text, host=HOST
dbname=DATABASE ...), whose database takes the registers' tables when it has
none. A password in it is never shown.

  --register ID   one register of many in DB, each with its own state,
                  numbering, journal and keys (ID: 1 to 64 letters, digits
                  and . _ - :); DB is created when missing, and ID must be
                  new in it. The other commands name it with --register ID
  --from OTHER    moves the register of OTHER (a database of one register,
                  e.g. the SQLite file of a till) into DB as ID, with its
                  whole journal: checked before (a journal that does not
                  check is not moved) and again there. OTHER is held while
                  it is copied (its calls wait, up to their --wait), and
                  afterwards issues nothing: its calls are refused with
                  where it went. A move that fails leaves nothing in DB
                  and OTHER as it was. OTHER may not be DB itself, however
                  either is spelt

Exit status: 0 created, 1 the journal does not check, 3 bad command
line or state, 7 DB (or the register ID) exists or cannot be written.
)";

struct Args {
  std::string db;
  std::string path = "-";
  std::string id;
  std::optional<std::string> from;
};

// --from: the register of another database moved in whole, then checked.
HostResult<int> move_in(const Args& a) {
  if (host::same_database(*a.from, a.db)) {
    return std::unexpected(Failure{
        Fault::BadInput,
        fmt::format("{} is the database the register would move into", host::redacted(*a.from))});
  }
  auto source = host::open_store(*a.from);
  TARV_TRY(source);
  auto reader = host::open_store(*a.from);
  TARV_TRY(reader);
  auto database = host::open_database(a.db, {}, true);
  TARV_TRY(database);
  const std::string into = host::redacted(a.db);
  auto moved = host::move_register(**source, **reader, **database, a.id,
                                   fmt::format("{} as register {}", into, a.id));
  TARV_TRY(moved);
  std::cout << fmt::format(
      "register {} of {} moved in from {}: {} journal entries, replayed and as stored; {} issues "
      "nothing more\n",
      a.id, into, host::redacted(*a.from), *moved, host::redacted(*a.from));
  return kExitOk;
}

HostResult<int> run(const Args& a) {
  if (a.from) return move_in(a);
  const std::string& db = a.db;
  const std::string& path = a.path;
  const auto text = host::read_file(path);
  TARV_TRY(text);
  host::HostState state;
  TARV_TRY(host::parse_json(*text, state, path == "-" ? "<stdin>" : path, Fault::BadInput));
  TARV_TRY(host::create_store(db, state, {}, a.id));
  std::cout << fmt::format("register {} created: next document {}, next shift {}\n",
                           a.id.empty() ? host::redacted(db) : a.id + " of " + host::redacted(db),
                           state.context().next_doc_number(), state.context().next_shift_number());
  return kExitOk;
}

Run define(CLI::App& app) {
  auto a = std::make_shared<Args>();
  app.add_option("DB", a->db)->required();
  auto* file = app.add_option("FILE", a->path);
  auto* id = add_register(app, a->id);
  app.add_option("--from", a->from)->needs(id)->excludes(file);
  return [a] { return run(*a); };
}

}  // namespace

const Command kInitCommand = {"init", "DB [FILE|-] [--register ID]",
                              "create a register from its state in JSON", kHelp, define};

}  // namespace tarv::tool
