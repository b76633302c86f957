// tarv journal: the electronic journal of a register, listed, shown, exported
// and checked.
#include <fmt/format.h>

#include <filesystem>
#include <iostream>

#include "base/try.h"
#include "host/files.h"
#include "host/journal_view.h"
#include "host/register_call.h"
#include "host/store.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp = R"(usage: tarv journal DB [--json]
       tarv journal DB show SEQ | last
       tarv journal DB export DIR
       tarv journal DB check
       tarv journal DB state

The electronic journal of the register DB: every call made through
`tarv call --db DB` (successes, error responses and requests that did not
decode) and every `tarv open`, numbered from 1 in the order they were made.

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

HostResult<int> export_documents(host::Store& store, const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    return std::unexpected(
        Failure{Fault::BadInput, fmt::format("cannot create {}: {}", dir, error.message())});
  }
  int written = 0;
  TARV_TRY(host::for_each_entry(store, [&](const host::JournalEntry& e) -> HostResult<void> {
    if (e.binary_doc.empty()) return {};
    ++written;
    return host::write_file((std::filesystem::path(dir) / host::document_file_name(e)).string(),
                            e.binary_doc);
  }));
  std::cout << fmt::format("{} documents written into {}\n", written, dir);
  return kExitOk;
}

HostResult<int> run(const Args& a) {
  TARV_TRY(a.expect(1, 3));
  const std::string& db = a.positional[0];
  auto opened = host::open_store(db);
  TARV_TRY(opened);
  host::Store& store = **opened;
  const std::string what = a.positional.size() > 1 ? a.positional[1] : "";
  const auto wrong = [] {
    return std::unexpected(Failure{Fault::BadInput, "wrong arguments (see tarv journal --help)"});
  };
  if (what.empty()) return list(store, a.option("--json").has_value());
  if (what == "show" && a.positional.size() == 3) {
    int64_t seq = 0;
    const std::string& text = a.positional[2];
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 18) {
      return wrong();
    }
    seq = std::stoll(text);
    auto entry = store.entry(seq);
    TARV_TRY(entry);
    if (!*entry) {
      return std::unexpected(
          Failure{Fault::NotFound, fmt::format("the journal of {} has no entry {}", db, seq)});
    }
    return show(**entry);
  }
  if (a.positional.size() == 3 && what == "export") return export_documents(store, a.positional[2]);
  if (a.positional.size() != 2) return wrong();
  if (what == "last") {
    auto entry = store.last();
    TARV_TRY(entry);
    if (!*entry) {
      return std::unexpected(
          Failure{Fault::NotFound, fmt::format("the journal of {} is empty", db)});
    }
    return show(**entry);
  }
  if (what == "check") {
    auto checked = host::check_journal(store);
    TARV_TRY(checked);
    std::cout << fmt::format(
        "journal of {}: {} entries replayed; every response and the state are as stored\n", db,
        *checked);
    return kExitOk;
  }
  if (what == "state") {
    auto state = store.state();
    TARV_TRY(state);
    std::cout << host::to_json(*state);
    return kExitOk;
  }
  return wrong();
}

}  // namespace

const Command kJournalCommand = {
    "journal", "DB [show SEQ|last|export DIR|check]  the register's journal", kHelp, {}, {"--json"},
    run};

}  // namespace tarv::tool
