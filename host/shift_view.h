// The shift at a glance, the X-report a cashier asks for mid-shift: what the
// register's state holds of the open shift (or of the one its last report
// closed) and what its journal counts.
#ifndef TARV_HOST_SHIFT_VIEW_H_
#define TARV_HOST_SHIFT_VIEW_H_

#include "host/failure.h"
#include "host/json.h"
#include "host/store.h"

namespace tarv::host {

// {"shift": NUMBER, "open": BOOL, "opened_at", "closed_at" (when closed),
//  "documents", "refusals", "next_document", "last_entry" (the journal's
//  last entry, 0 when it is empty),
//  "takings": {CURRENCY: {"sales"|"refunds"|"rollbacks": {"count", "sum",
//              "cash", "card", "other"}, "deposits", "withdrawals",
//              "card_holder_withdrawals"}},
//  "drawer": {CURRENCY: kopecks of cash in the drawer}}
// Amounts are kopecks. Documents and refusals are counted from the journal,
// back to the entry that opened the shift.
HostResult<Json> shift_json(Store& store);

}  // namespace tarv::host

#endif  // TARV_HOST_SHIFT_VIEW_H_
