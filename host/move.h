// Moving a register into another database (tarv init --from) so that it
// cannot fork: while its journal is copied nobody can call it, and once the
// copy is committed the register left behind is marked as moved and issues
// nothing more.
#ifndef TARV_HOST_MOVE_H_
#define TARV_HOST_MOVE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "host/failure.h"
#include "host/store.h"

namespace tarv::host {

// The export name of the journal entry that marks a register moved: its
// request is where it went (HostState.moved_to).
inline constexpr std::string_view kMovedEntry = "moved";

// Moves the register of `source` into `target` as `id`; `where` names the
// target for the mark and for messages (no password in it). `reader` is a
// second Store of the same register, on a connection of its own: it reads
// the journal while `source` holds the register in a transaction (a SQLite
// file's write lock, a PostgreSQL register's row) from the state read to
// the target's commit, so that no call comes between. The journal is checked
// before the copy and again in the target; the copy is one transaction of
// `target`, which a failure leaves without the register. Returns the number
// of journal entries moved.
HostResult<int64_t> move_register(Store& source, Store& reader, Database& target,
                                  const std::string& id, const std::string& where);

// Fault::NotFound when `state` is of a register that was moved: it names
// where it went.
HostResult<void> check_not_moved(const HostState& state);

}  // namespace tarv::host

#endif  // TARV_HOST_MOVE_H_
