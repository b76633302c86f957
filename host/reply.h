// A request of `tarv serve` as its routes see it, its answer before it is
// put on the wire, and the one place where a failure's kind becomes an HTTP
// status.
#ifndef TARV_HOST_REPLY_H_
#define TARV_HOST_REPLY_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/failure.h"
#include "host/json.h"

namespace tarv::host {

// The views live as long as the request.
struct Asked {
  std::string_view method;  // as sent; HEAD is answered as GET
  std::string_view path;    // without the query
  std::string_view query;   // after '?', empty when none
  std::string_view body;
  // Header values; empty when absent.
  std::string_view host, origin, authorization, content_type, content_encoding, idempotency_key;
  bool has_idempotency_key = false;
};

struct Reply {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // The connection closes after this answer (the request was not read whole).
  bool close = false;
};

// The HTTP status of a failure that keeps a call from being answered: 400
// what cannot be asked, 404 what is not there, 409 what the register's
// state or journal refuses, 503 busy (nothing done, ask again), 500 the
// library or the storage (nothing done), 504 a commit whose outcome is not
// known (see its message before asking again).
constexpr int http_status(Fault kind) {
  switch (kind) {
    case Fault::Undecodable:
    case Fault::BadInput:
      return 400;
    case Fault::NotFound:
      return 404;
    case Fault::Refused:
    case Fault::KeyReused:
    case Fault::Numbering:
      return 409;
    case Fault::Busy:
      return 503;
    case Fault::Library:
    case Fault::Storage:
      return 500;
    case Fault::Unknown:
      return 504;
  }
  return 500;
}

Reply body_reply(std::string body, std::string content_type = "application/json");
Reply json_reply(const Json& json, int status = 200);
// {"error": MESSAGE} with `status`.
Reply error_reply(int status, std::string_view message);
// {"error": ...} with the failure's http_status() (and Retry-After when busy).
Reply failure_reply(const Failure& failure);

}  // namespace tarv::host

#endif  // TARV_HOST_REPLY_H_
