// What `tarv serve` answers, apart from how requests arrive (server.cc): a
// request is let in (admission.h), then routed by the segments of its path
// to a page file, a refusal, or the work of a register (register_routes.h)
// that runs on the register pool (register_pool.h).
//
// register_scope() is the one place that tells which register a path names:
// "/v1/sale" is the database's only register's "sale", "/v1/registers/ID/sale"
// the register ID's.
#ifndef TARV_HOST_ROUTES_H_
#define TARV_HOST_ROUTES_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "host/admission.h"
#include "host/register_pool.h"
#include "host/register_routes.h"
#include "host/reply.h"
#include "host/server.h"

namespace tarv::host {

class Routes {
 public:
  explicit Routes(const ServerOptions& options) : options_(options), admission_(options) {}

  // A refusal or a page file answered at once, or the work of a register,
  // which refers to `asked`: it must outlive the work.
  std::variant<Reply, RegisterWork> route(const Asked& asked) const;

  std::optional<Reply> admit(const Asked& asked) const { return admission_.admit(asked); }
  std::vector<std::pair<std::string, std::string>> cross_origin(const Asked& asked) const {
    return admission_.cross_origin(asked);
  }

 private:
  // The register a path names and the path within it.
  struct Scope {
    std::string id;
    std::string_view rest;
  };
  std::optional<Scope> register_scope(std::string_view path) const;

  const ServerOptions options_;
  const Admission admission_;
};

}  // namespace tarv::host

#endif  // TARV_HOST_ROUTES_H_
