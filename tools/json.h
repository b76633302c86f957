// JSON text for the tool: a syntax check that names the line and column of
// the first fault (libprotobuf's parser only shows a snippet), a re-indenter,
// and a small writer of compact JSON.
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

// Valid JSON re-indented by two spaces a level, ending in a line break.
std::string pretty_json(std::string_view text);

// Compact JSON, written front to back. Keys and values of an object alternate;
// commas are placed by the writer.
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
  // A value that is already JSON text.
  JsonWriter& raw(std::string_view json);

  template <class T>
  JsonWriter& field(std::string_view name, const T& v) {
    key(name);
    return value(v);
  }

  const std::string& str() const { return out_; }

 private:
  void separate();
  std::string out_;
  bool first_ = true;
  bool after_key_ = false;
};

}  // namespace tarv::tool

#endif  // TARV_TOOLS_JSON_H_
