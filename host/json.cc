#include "host/json.h"

#include <fmt/format.h>
#include <google/protobuf/util/json_util.h>

#include <cstdio>
#include <cstring>
#include <optional>

namespace tarv::host {
namespace {

// Accepts every value and keeps the first syntax fault, so that checking a
// text neither builds it nor throws.
struct SyntaxCheck : nlohmann::json::json_sax_t {
  std::optional<std::string> fault;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::json::exception& e) override {
    // "[json.exception.parse_error.101] parse error at line 2, column 7: syntax
    // error ..." becomes "2:7: syntax error ...".
    size_t line = 0, column = 0;
    int read = 0;
    const char* what = e.what();
    const char* at = std::strstr(what, "parse error at line ");
    if (at != nullptr &&
        std::sscanf(at, "parse error at line %zu, column %zu: %n", &line, &column, &read) == 2 &&
        read > 0) {
      fault = fmt::format("{}:{}: bad JSON: {}", line, column, at + read);
    } else {
      fault = fmt::format("bad JSON: {}", what);
    }
    return false;
  }
};

}  // namespace

HostResult<void> parse_json(std::string_view json, google::protobuf::Message& message,
                            std::string_view what, Fault kind) {
  SyntaxCheck check;
  nlohmann::json::sax_parse(json.begin(), json.end(), &check);
  if (check.fault) {
    return std::unexpected(Failure{kind, fmt::format("{}:{}", what, *check.fault)});
  }
  const auto status = google::protobuf::util::JsonStringToMessage(
      google::protobuf::StringPiece(json.data(), json.size()), &message);
  if (!status.ok()) {
    std::string reason(status.message());
    for (char& c : reason) {
      if (c == '\n') c = ' ';
    }
    return std::unexpected(
        Failure{kind, fmt::format("{}: bad JSON for {}: {}", what, message.GetTypeName(), reason)});
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

Json message_json(const google::protobuf::Message& message) {
  return Json::parse(to_json(message));
}

std::string print(const Json& json) {
  return json.dump(1, ' ', false, Json::error_handler_t::replace) + '\n';
}

std::string print_line(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
}

}  // namespace tarv::host
