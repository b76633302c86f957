// What `tarv serve` lets in, whatever the route: the checks a request passes
// before anything else (its Host, its Origin, the token, the body's type and
// encoding, the key's form), and the headers that let a listed origin's page
// read an answer.
#ifndef TARV_HOST_ADMISSION_H_
#define TARV_HOST_ADMISSION_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/reply.h"
#include "host/server.h"

namespace tarv::host {

class Admission {
 public:
  explicit Admission(const ServerOptions& options) : options_(options) {}

  // The refusal of what is not let in: a foreign Host or Origin, a missing
  // token, a body that is not plain JSON, a bad key; or the answer to a
  // listed origin's preflight. It needs no body: the server asks it before
  // the body is read, and the routes again.
  std::optional<Reply> admit(const Asked& asked) const;

  // The headers that let a page of a listed origin (--allow-origin) read the
  // answer; none for other requests.
  std::vector<std::pair<std::string, std::string>> cross_origin(const Asked& asked) const;

 private:
  bool listed_origin(std::string_view origin) const;

  const ServerOptions options_;
};

// A GET (or HEAD) of one of the page's files, which needs no token.
bool is_page_file(const Asked& asked);

}  // namespace tarv::host

#endif  // TARV_HOST_ADMISSION_H_
