#include "host/reply.h"

namespace tarv::host {

Reply body_reply(std::string body, std::string content_type) {
  Reply reply;
  reply.content_type = std::move(content_type);
  reply.body = std::move(body);
  return reply;
}

Reply json_reply(const Json& json, int status) {
  Reply reply = body_reply(print(json));
  reply.status = status;
  return reply;
}

Reply error_reply(int status, std::string_view message) {
  return json_reply(Json{{"error", message}}, status);
}

Reply failure_reply(const Failure& failure) {
  Reply reply = error_reply(http_status(failure.kind), failure.message);
  if (failure.kind == Fault::Busy) reply.headers.emplace_back("Retry-After", "1");
  return reply;
}

}  // namespace tarv::host
