#include "host/move.h"

#include <fmt/format.h>

#include "base/try.h"
#include "host/journal_check.h"

namespace tarv::host {

HostResult<void> check_not_moved(const HostState& state) {
  if (state.moved_to().empty()) return {};
  return std::unexpected(Failure{
      Fault::NotFound, fmt::format("the register was moved to {}: it issues nothing here; call it "
                                   "there (tarv call --db DB --register ID)",
                                   state.moved_to())});
}

HostResult<int64_t> move_register(Store& source, Store& reader, Database& target,
                                  const std::string& id, const std::string& where) {
  int64_t moved = 0;
  bool copied = false;  // committed in the target
  auto marked =
      source.call("", kMovedEntry, where, [&](const HostState& state) -> HostResult<CallRecord> {
        // The register is held from here to the commit of the mark.
        TARV_TRY(check_not_moved(state));
        // A journal that does not check is not moved: nothing is made of it.
        auto checked = check_journal(reader);
        TARV_TRY(checked);
        auto copy = target.create(id, {}, &reader);
        TARV_TRY(copy);
        copied = true;
        auto again = check_journal(**copy);
        TARV_TRY(again);
        moved = *again;
        CallRecord record;
        record.entry.export_name = std::string(kMovedEntry);
        record.entry.request = where;
        record.new_state = state;
        record.new_state->set_moved_to(where);
        return record;
      });
  if (!marked && copied) {
    // The one way to two registers: the copy committed, the mark did not.
    return std::unexpected(Failure{
        marked.error().kind,
        fmt::format("the register was copied into {} but could not be marked as moved here ({}): "
                    "do not call it here; call it there",
                    where, marked.error().message)});
  }
  TARV_TRY(marked);
  return moved;
}

}  // namespace tarv::host
