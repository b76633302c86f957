#include "tools/cli.h"

#include <google/protobuf/util/json_util.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "tools/json.h"
#include "tools/text.h"

namespace tarv::tool {

Result<std::string> read_file(std::string_view path) {
  if (path == "-") {
    std::ostringstream s;
    s << std::cin.rdbuf();
    return s.str();
  }
  std::ifstream in{std::string(path), std::ios::binary};
  if (!in) {
    return std::unexpected(
        Failure{kExitUsage, fmt("cannot read {}: {}", path, std::strerror(errno))});
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Result<void> write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    return std::unexpected(
        Failure{kExitUsage, fmt("cannot write {}: {}", path, std::strerror(errno))});
  }
  return {};
}

Result<void> parse_json(std::string_view json, google::protobuf::Message& message,
                        std::string_view what, int exit_code) {
  if (const auto fault = check_json(json)) {
    return std::unexpected(Failure{exit_code, fmt("{}:{}:{}: bad JSON: {}", what, fault->line,
                                                  fault->column, fault->message)});
  }
  const auto status = google::protobuf::util::JsonStringToMessage(
      google::protobuf::StringPiece(json.data(), json.size()), &message);
  if (!status.ok()) {
    std::string reason(status.message());
    for (char& c : reason) {
      if (c == '\n') c = ' ';
    }
    return std::unexpected(
        Failure{exit_code, fmt("{}: bad JSON for {}: {}", what, message.GetTypeName(), reason)});
  }
  return {};
}

std::string to_json(const google::protobuf::Message& message) {
  google::protobuf::util::JsonPrintOptions options;
  options.preserve_proto_field_names = true;
  options.add_whitespace = true;
  std::string json;
  (void)google::protobuf::util::MessageToJsonString(message, &json, options);
  return json;
}

}  // namespace tarv::tool
