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

std::string pretty_json(std::string_view text) {
  // The index of the quote that closes the string opening at `open`.
  auto string_end = [&](size_t open) {
    size_t i = open + 1;
    while (i < text.size() && text[i] != '"') i += text[i] == '\\' ? 2 : 1;
    return i;
  };
  // The index of the ']' that closes a list of plain values opening at
  // `open`, or 0 when the list holds objects or lists.
  auto flat_list_end = [&](size_t open) -> size_t {
    for (size_t i = open + 1; i < text.size(); ++i) {
      if (text[i] == '"') i = string_end(i);
      if (text[i] == '{' || text[i] == '[') return 0;
      if (text[i] == ']') return i;
    }
    return 0;
  };

  std::string out;
  size_t depth = 0;
  size_t flat_end = 0;  // inside a list kept on one line, up to here
  auto newline = [&] {
    out += '\n';
    out.append(2 * depth, ' ');
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (c == '"') {
      const size_t end = string_end(i);
      out.append(text.substr(i, end - i + 1));
      i = end;
    } else if (i < flat_end) {
      out += c == ',' ? ", " : std::string(1, c);
    } else if (c == '{' || c == '[') {
      size_t next = i + 1;
      while (next < text.size() && std::isspace(static_cast<unsigned char>(text[next]))) ++next;
      out += c;
      if (next < text.size() && (text[next] == '}' || text[next] == ']')) {  // empty
        out += text[next];
        i = next;
        continue;
      }
      if (c == '[' && (flat_end = flat_list_end(i)) != 0) continue;
      ++depth;
      newline();
    } else if (c == '}' || (c == ']' && i != flat_end)) {
      --depth;
      newline();
      out += c;
    } else if (c == ',') {
      out += c;
      newline();
    } else if (c == ':') {
      out += ": ";
    } else {
      out += c;
    }
  }
  out += '\n';
  return out;
}

void JsonWriter::separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!first_) out_ += ',';
  first_ = false;
}

JsonWriter& JsonWriter::begin_object() {
  separate();
  out_ += '{';
  first_ = true;
  return *this;
}

JsonWriter& JsonWriter::end_object() {
  out_ += '}';
  first_ = false;
  return *this;
}

JsonWriter& JsonWriter::begin_array() {
  separate();
  out_ += '[';
  first_ = true;
  return *this;
}

JsonWriter& JsonWriter::end_array() {
  out_ += ']';
  first_ = false;
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  separate();
  append_escaped(name, out_);
  out_ += ':';
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
  out_ += json;
  return *this;
}

}  // namespace tarv::tool
