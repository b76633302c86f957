#include "host/json.h"

#include <fmt/format.h>
#include <google/protobuf/util/json_util.h>

#include <algorithm>
#include <optional>

#include "base/text/utf8.h"

namespace tarv::host {
namespace {

// A fault quotes what it read (a whole string of a megabyte, in a body that
// never ends it): a message keeps its first characters and marks the cut.
constexpr size_t kFaultChars = 200;

std::string excerpt(std::string_view text) {
  const size_t kept = text::utf8::cut_length(text, kFaultChars);
  if (kept == text.size()) return std::string(text);
  return fmt::format("{}… ({} bytes more)", text.substr(0, kept), text.size() - kept);
}

// Accepts every value and keeps the first syntax fault, so that checking a
// text neither builds it nor throws. libprotobuf's parser is laxer (it takes
// unquoted keys, single quotes and trailing commas) and shows no line.
struct SyntaxCheck : nlohmann::json::json_sax_t {
  std::string_view text;
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
  // `position`: the characters read, the faulty one the last.
  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::json::exception& e) override {
    const std::string_view read = text.substr(0, std::min(position, text.size()));
    const size_t line_start = read.rfind('\n') + 1;  // 0 on the first line
    const auto line = 1 + std::count(read.begin(), read.end(), '\n');
    // what(): "[json.exception.parse_error.101] parse error at line L, column
    // C: DESCRIPTION"; the line and column are the ones computed here.
    const std::string_view what = e.what();
    const size_t colon = what.find(": ");
    fault = fmt::format("{}:{}: bad JSON: {}", line, position - line_start,
                        excerpt(colon == std::string_view::npos ? what : what.substr(colon + 2)));
    return false;
  }
};

}  // namespace

HostResult<void> parse_json(std::string_view json, google::protobuf::Message& message,
                            std::string_view what, Fault kind) {
  SyntaxCheck check;
  check.text = json;
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
    return std::unexpected(Failure{kind, fmt::format("{}: bad JSON for {}: {}", what,
                                                     message.GetTypeName(), excerpt(reason))});
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
