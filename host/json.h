// JSON for the host: messages in the Protocol Buffers JSON mapping (read and
// printed by libprotobuf), the host's own JSON around them (nlohmann's
// ordered_json), both printed alike so that a message embeds unchanged.
#ifndef TARV_HOST_JSON_H_
#define TARV_HOST_JSON_H_

#include <google/protobuf/message.h>

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "host/failure.h"

namespace tarv::host {

// Members keep the order they were added in.
using Json = nlohmann::ordered_json;

// Parses `json` into `message`. A syntax fault names its line and column
// (libprotobuf's parser only shows a snippet), a schema fault its field;
// `what` names the source, e.g. the file name. Both fail as `kind`.
HostResult<void> parse_json(std::string_view json, google::protobuf::Message& message,
                            std::string_view what, Fault kind);

// The message in the JSON mapping with the schema's field names (times as
// RFC 3339 text), indented, ending in a line break.
std::string to_json(const google::protobuf::Message& message);
// The same as a value to embed in the host's own JSON.
Json message_json(const google::protobuf::Message& message);

// Indented one space a level, as libprotobuf prints messages, ending in a
// line break. Bytes that are not UTF-8 (a key a register stored before keys
// were checked) print as U+FFFD, so that the output is always JSON.
std::string print(const Json& json);
// The same on one line.
std::string print_line(const Json& json);

}  // namespace tarv::host

#endif  // TARV_HOST_JSON_H_
