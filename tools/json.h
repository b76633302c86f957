// JSON text for the tool: a syntax check that names the line and column of
// the first fault (libprotobuf's parser only shows a snippet), and a writer of
// the tool's own JSON (the call's envelope, decoded documents) indented as
// libprotobuf prints messages, so that a message's JSON embeds unchanged.
#ifndef TARV_TOOLS_JSON_H_
#define TARV_TOOLS_JSON_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarv::tool {

struct JsonSyntaxError {
  size_t line = 1;    // 1-based
  size_t column = 1;  // 1-based, in bytes
  std::string message;
};

// The first syntax fault of `text` as one JSON value (RFC 8259), if any.
std::optional<JsonSyntaxError> check_json(std::string_view text);

// JSON written front to back, one member or element a line, indented by one
// space a level (libprotobuf's JsonPrintOptions::add_whitespace style). Keys
// and values of an object alternate; commas and line breaks are placed by the
// writer. Empty objects and arrays stay "{}" and "[]".
class JsonWriter {
 public:
  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();
  JsonWriter& key(std::string_view name);
  JsonWriter& value(std::string_view text);
  JsonWriter& value(const char* text) { return value(std::string_view(text)); }
  JsonWriter& value(uint64_t number);
  JsonWriter& boolean(bool flag);
  JsonWriter& null();
  // A value that is already JSON text, e.g. a message printed by libprotobuf;
  // its lines are indented to the current depth.
  JsonWriter& raw(std::string_view json);

  template <class T>
  JsonWriter& field(std::string_view name, const T& v) {
    key(name);
    return value(v);
  }

  const std::string& str() const { return out_; }

 private:
  void newline();
  void separate();
  std::string out_;
  size_t depth_ = 0;
  bool first_ = true;
  bool after_key_ = false;
};

}  // namespace tarv::tool

#endif  // TARV_TOOLS_JSON_H_
