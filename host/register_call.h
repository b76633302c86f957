// The calls of a register kept in a store: the one path by which the command
// line and the server call the library for a register, journal the answer and
// keep the new state, in one transaction.
#ifndef TARV_HOST_REGISTER_CALL_H_
#define TARV_HOST_REGISTER_CALL_H_

#include <google/protobuf/message.h>
#include <google/protobuf/timestamp.pb.h>

#include <string>
#include <string_view>

#include "host/exports.h"
#include "host/failure.h"
#include "host/store.h"

namespace tarv::host {

// The export name of the journal entries of `tarv open`: its request is the
// google.protobuf.Timestamp of the opening.
inline constexpr std::string_view kOpenEntry = "open";

// A call's key is visible ASCII (33..126) of 1 to 255 bytes, so that it
// prints as itself wherever the journal is shown; else Fault::BadInput.
HostResult<void> check_key(std::string_view key);

// The register's clock: now, to the second.
google::protobuf::Timestamp register_clock();

// Fills `request` from the register's state (context, counters, a zero header
// number becomes the next document number, a missing time the clock's),
// calls the export, journals the
// answer under `key` (empty: none) and, after a success, writes the new
// state. A key that check_key() refuses is refused. A header number other
// than the next is refused (Fault::Numbering) and
// nothing is journaled; so is a document dated before the register's last
// one (Fault::BadInput: its clock ran backwards), and any call on a register
// that was moved elsewhere (Fault::NotFound). A key already journaled: see
// Store::call.
HostResult<Committed> call_register(Store& store, const Export& e,
                                    const google::protobuf::Message& request,
                                    const std::string& key);

// Opens the next shift at `at` after a shift-close report; journaled as the
// entry "open". Refused while the shift is open.
// With a `key`, `asked` is what the caller sent (a retry sends it again,
// whatever the clock says by then); without one, the time itself.
HostResult<Committed> open_shift(Store& store, const google::protobuf::Timestamp& at,
                                 const std::string& key = {}, std::string_view asked = {});

// The answer of a journal entry as call() returned it when it was made.
CallOutcome outcome_of(const Export& e, const JournalEntry& entry);

}  // namespace tarv::host

#endif  // TARV_HOST_REGISTER_CALL_H_
