// What each route of a register does: the handlers of `tarv serve` behind
// the routing (routes.h), each on the register's store, run on the register
// pool (register_pool.h).
#ifndef TARV_HOST_REGISTER_ROUTES_H_
#define TARV_HOST_REGISTER_ROUTES_H_

#include <cstdint>

#include "host/exports.h"
#include "host/failure.h"
#include "host/reply.h"
#include "host/register_pool.h"
#include "host/store.h"

namespace tarv::host {

// What the routing read from the path within the register.
struct RoutePath {
  const Export* e = nullptr;  // POST /EXPORT
  int64_t seq = 0;            // /journal/SEQ..., 0 when the number is out of range
};

using RegisterHandler = HostResult<Reply> (*)(const Asked&, const RoutePath&, RegisterAt&);

HostResult<Reply> post_call(const Asked& asked, const RoutePath& path, RegisterAt& reg);
HostResult<Reply> post_open(const Asked& asked, const RoutePath& path, RegisterAt& reg);
HostResult<Reply> get_journal(const Asked& asked, const RoutePath& path, RegisterAt& reg);
HostResult<Reply> get_entry(const Asked& asked, const RoutePath& path, RegisterAt& reg);
HostResult<Reply> get_document(const Asked& asked, const RoutePath& path, RegisterAt& reg);
HostResult<Reply> get_receipt(const Asked& asked, const RoutePath& path, RegisterAt& reg);
HostResult<Reply> get_state(const Asked& asked, const RoutePath& path, RegisterAt& reg);
HostResult<Reply> get_shift(const Asked& asked, const RoutePath& path, RegisterAt& reg);

// A 404 for `what` ("journal entry 3").
Reply not_found_reply(std::string_view what);

}  // namespace tarv::host

#endif  // TARV_HOST_REGISTER_ROUTES_H_
