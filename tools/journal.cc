// tarv journal: the electronic journal of a register, listed, shown, exported
// and checked.
#include <fmt/format.h>

#include <iostream>

#include "base/try.h"
#include "host/databases.h"
#include "host/journal_check.h"
#include "host/journal_view.h"
#include "host/redact.h"
#include "host/register_call.h"
#include "host/store.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp = R"(usage: tarv journal DB [--register ID] [--json]
       tarv journal DB show SEQ | last
       tarv journal DB export DIR
       tarv journal DB check
       tarv journal DB state

The electronic journal of the register DB: every call made through
`tarv call --db DB` (successes, error responses, requests the library
could not decode) and every `tarv open`, numbered from 1 in the order they
were made; a register moved elsewhere ends with the entry "moved".
With --register ID, the journal of the register ID of DB (each register of a
database has its own).

  (none)       one line per entry: number, time (UTC), export, status,
               document number, key and the error code
  --json       the same as one JSON object per line: "seq", "at", "export",
               "status", "code", "doc_number" (only with a document), "key"
  show SEQ     the answer of entry SEQ exactly as `tarv call` printed it (and
               its exit status): an answer lost on its way is found here
  last         the same for the last entry
  export DIR   every fiscal document into DIR (created if needed) as
               DOCNUMBER-KIND.bin, e.g. 3-sale.bin; the shift-close report
               as shiftN-report.bin
  check        replays the journal through the library from the register's
               initial state: each request must be what the register made
               of what was asked, each response the library's byte for byte,
               and the register's state what the journal makes. Prints the
               number of entries checked, or fails with the first difference
  state        the register's state now, as JSON of tarv.host.HostState

Exit status: 0 done, 1 the check found a difference, 3 bad command line or
no such entry, 7 the register cannot be read.
)";

HostResult<int> show(const host::JournalEntry& entry) {
  auto answer = host::entry_answer(entry);
  TARV_TRY(answer);
  std::cout << host::print(answer->json);
  return call_exit_status(answer->status);
}

HostResult<int> list(host::Store& store, bool json) {
  TARV_TRY(host::for_each_entry(store, [&](const host::JournalEntry& e) -> HostResult<void> {
    std::cout << (json ? host::print_line(host::entry_json(e)) : host::entry_line(e));
    return {};
  }));
  return kExitOk;
}

struct Args {
  std::string db;
  std::string id;
  bool json = false;
  std::string what;  // the subcommand: show, last, export, check, state
  int64_t seq = 0;
  std::string dir;
};

HostResult<int> run(const Args& a) {
  auto opened = host::open_store(a.db, {}, a.id);
  TARV_TRY(opened);
  host::Store& store = **opened;
  if (a.what.empty()) return list(store, a.json);
  if (a.what == "export") {
    auto written = host::export_documents(store, a.dir);
    TARV_TRY(written);
    std::cout << fmt::format("{} documents written into {}\n", *written, a.dir);
    return kExitOk;
  }
  if (a.what == "show" || a.what == "last") {
    auto entry = a.what == "show" ? store.entry(a.seq) : store.last();
    TARV_TRY(entry);
    if (!*entry) {
      return std::unexpected(Failure{
          Fault::NotFound,
          a.what == "show"
              ? fmt::format("the journal of {} has no entry {}", host::redacted(a.db), a.seq)
              : fmt::format("the journal of {} is empty", host::redacted(a.db))});
    }
    return show(**entry);
  }
  if (a.what == "check") {
    auto checked = host::check_journal(store);
    TARV_TRY(checked);
    std::cout << fmt::format(
        "journal of {}: {} entries replayed; every response and the state are as stored\n",
        host::redacted(a.db), *checked);
    return kExitOk;
  }
  auto state = store.state();
  TARV_TRY(state);
  std::cout << host::to_json(*state);
  return kExitOk;
}

Run define(CLI::App& app) {
  auto a = std::make_shared<Args>();
  app.add_option("DB", a->db)->required();
  app.add_flag("--json", a->json);
  add_register(app, a->id);
  app.require_subcommand(0, 1);
  for (const char* what : {"show", "last", "export", "check", "state"}) {
    CLI::App* sub = app.add_subcommand(what);
    sub->callback([a, what] { a->what = what; });
    if (std::string_view(what) == "show") {
      sub->add_option("SEQ", a->seq)->required()->check(number_from(0, 999999999999));
    } else if (std::string_view(what) == "export") {
      sub->add_option("DIR", a->dir)->required();
    }
  }
  return [a] { return run(*a); };
}

}  // namespace

const Command kJournalCommand = {"journal", "DB [show SEQ|last|export DIR|check|state]",
                                 "the register's journal", kHelp, define};

}  // namespace tarv::tool
