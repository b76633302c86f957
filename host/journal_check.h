// The check of a register's journal: the journal replayed through the
// library from the register's initial state.
#ifndef TARV_HOST_JOURNAL_CHECK_H_
#define TARV_HOST_JOURNAL_CHECK_H_

#include <cstdint>

#include "host/failure.h"
#include "host/store.h"

namespace tarv::host {

// Every entry's request must be what the register makes of what was asked,
// the library must answer it byte for byte as stored, and the state at the
// end must be the register's state. Fails (Fault::Refused) with the first
// difference. Returns the number of entries checked.
HostResult<int64_t> check_journal(Store& store);

}  // namespace tarv::host

#endif  // TARV_HOST_JOURNAL_CHECK_H_
