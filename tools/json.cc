#include "tools/json.h"

#include <cctype>

#include "tools/text.h"

namespace tarv::tool {
namespace {

// A recursive-descent reader of one JSON value that stops at the first fault.
class Checker {
 public:
  explicit Checker(std::string_view text) : s_(text) {}

  std::optional<JsonSyntaxError> run() {
    skip_space();
    if (!value(0)) return error_;
    skip_space();
    if (pos_ < s_.size()) fail("unexpected text after the JSON value");
    return error_;
  }

 private:
  static constexpr int kMaxDepth = 200;

  bool fail(std::string message) {
    if (error_) return false;
    if (pos_ >= s_.size()) message = "unexpected end of the text: " + message;
    JsonSyntaxError e{1, 1, std::move(message)};
    for (size_t i = 0; i < pos_ && i < s_.size(); ++i) {
      if (s_[i] == '\n') {
        ++e.line;
        e.column = 1;
      } else {
        ++e.column;
      }
    }
    error_ = std::move(e);
    return false;
  }

  void skip_space() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool at(char c) const { return pos_ < s_.size() && s_[pos_] == c; }
  bool digit() const { return pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9'; }

  bool value(int depth) {
    if (pos_ >= s_.size()) return fail("a value is expected");
    if (depth > kMaxDepth) return fail("nesting is too deep");
    switch (s_[pos_]) {
      case '{':
        return object(depth);
      case '[':
        return array(depth);
      case '"':
        return string();
      case 't':
        return word("true");
      case 'f':
        return word("false");
      case 'n':
        return word("null");
      default:
        if (s_[pos_] == '-' || digit()) return number();
        return fail(fmt("unexpected character '{}' where a value is expected", s_[pos_]));
    }
  }

  bool word(std::string_view w) {
    if (s_.substr(pos_, w.size()) != w) return fail("unknown word: expected true, false or null");
    pos_ += w.size();
    return true;
  }

  bool number() {
    if (at('-')) ++pos_;
    if (!digit()) return fail("a digit is expected in the number");
    if (at('0')) {
      ++pos_;
    } else {
      while (digit()) ++pos_;
    }
    if (at('.')) {
      ++pos_;
      if (!digit()) return fail("a digit is expected after the decimal point");
      while (digit()) ++pos_;
    }
    if (at('e') || at('E')) {
      ++pos_;
      if (at('+') || at('-')) ++pos_;
      if (!digit()) return fail("a digit is expected in the exponent");
      while (digit()) ++pos_;
    }
    return true;
  }

  bool string() {
    ++pos_;  // the opening quote
    while (pos_ < s_.size()) {
      const auto c = static_cast<unsigned char>(s_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return fail("a control character inside a string (write it as an escape)");
      if (c == '\\') {
        ++pos_;
        if (pos_ >= s_.size()) break;
        const char e = s_[pos_];
        if (e == 'u') {
          for (int i = 1; i <= 4; ++i) {
            if (pos_ + i >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[pos_ + i]))) {
              return fail("\\u takes four hexadecimal digits");
            }
          }
          pos_ += 4;
        } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
          return fail(fmt("unknown escape \\{}", e));
        }
      }
      ++pos_;
    }
    return fail("the string is not closed");
  }

  bool array(int depth) {
    ++pos_;
    skip_space();
    if (at(']')) {
      ++pos_;
      return true;
    }
    for (;;) {
      skip_space();
      if (!value(depth + 1)) return false;
      skip_space();
      if (at(']')) {
        ++pos_;
        return true;
      }
      if (!at(',')) return fail("expected ',' or ']' after an array element");
      ++pos_;
    }
  }

  bool object(int depth) {
    ++pos_;
    skip_space();
    if (at('}')) {
      ++pos_;
      return true;
    }
    for (;;) {
      skip_space();
      if (!at('"')) return fail("expected a quoted member name");
      if (!string()) return false;
      skip_space();
      if (!at(':')) return fail("expected ':' after the member name");
      ++pos_;
      skip_space();
      if (!value(depth + 1)) return false;
      skip_space();
      if (at('}')) {
        ++pos_;
        return true;
      }
      if (!at(',')) return fail("expected ',' or '}' after an object member");
      ++pos_;
    }
  }

  std::string_view s_;
  size_t pos_ = 0;
  std::optional<JsonSyntaxError> error_;
};

void append_escaped(std::string_view text, std::string& out) {
  out += '"';
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (c < 0x20) {
          out += "\\u" + hex_padded(c, 4);
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

}  // namespace

std::optional<JsonSyntaxError> check_json(std::string_view text) { return Checker(text).run(); }

void JsonWriter::newline() {
  out_ += '\n';
  out_.append(depth_, ' ');
}

void JsonWriter::separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_) out_ += ',';
  if (depth_ > 0) newline();
  first_ = false;
}

JsonWriter& JsonWriter::begin_object() {
  separate();
  out_ += '{';
  ++depth_;
  first_ = true;
  return *this;
}

JsonWriter& JsonWriter::end_object() {
  --depth_;
  if (!first_) newline();
  out_ += '}';
  first_ = false;
  return *this;
}

JsonWriter& JsonWriter::begin_array() {
  separate();
  out_ += '[';
  ++depth_;
  first_ = true;
  return *this;
}

JsonWriter& JsonWriter::end_array() {
  --depth_;
  if (!first_) newline();
  out_ += ']';
  first_ = false;
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  separate();
  append_escaped(name, out_);
  out_ += ": ";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
  separate();
  append_escaped(text, out_);
  return *this;
}

JsonWriter& JsonWriter::value(uint64_t number) {
  separate();
  out_ += std::to_string(number);
  return *this;
}

JsonWriter& JsonWriter::boolean(bool flag) {
  separate();
  out_ += flag ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::null() {
  separate();
  out_ += "null";
  return *this;
}

JsonWriter& JsonWriter::raw(std::string_view json) {
  separate();
  while (json.ends_with('\n')) json.remove_suffix(1);
  // Line breaks in JSON text are whitespace between tokens, never inside a
  // string, so each line moves in by the current depth.
  for (const char c : json) {
    if (c == '\n') {
      newline();
    } else {
      out_ += c;
    }
  }
  return *this;
}

}  // namespace tarv::tool
