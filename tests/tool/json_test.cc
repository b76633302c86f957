// The tool's JSON helpers: where a syntax fault is reported, and the shape of
// the writer's indented output.
#include "tools/json.h"

#include <gtest/gtest.h>

namespace tarv::tool {
namespace {

TEST(Json, SyntaxFaultsNameLineAndColumn) {
  struct Case {
    const char* text;
    size_t line, column;
    const char* message;
  };
  const Case cases[] = {
      {"", 1, 1, "unexpected end of the text: a value is expected"},
      {"{\"a\": 1,}", 1, 9, "expected a quoted member name"},
      {"{\n  \"a\" 1}", 2, 7, "expected ':' after the member name"},
      {"[1 2]", 1, 4, "expected ',' or ']' after an array element"},
      {"{\"a\": \"x\ny\"}", 1, 9, "a control character inside a string"},
      {"\"\\q\"", 1, 3, "unknown escape \\q"},
      {"\"\\u12g4\"", 1, 3, "\\u takes four hexadecimal digits"},
      {"01", 1, 2, "unexpected text after the JSON value"},
      {"-", 1, 2, "unexpected end of the text: a digit is expected in the number"},
      {"1.e5", 1, 3, "a digit is expected after the decimal point"},
      {"tru", 1, 1, "unknown word"},
      {"{\"a\": [1, {\"b\": nul}]}", 1, 17, "unknown word"},
  };
  for (const Case& c : cases) {
    const auto fault = check_json(c.text);
    ASSERT_TRUE(fault.has_value()) << c.text;
    EXPECT_EQ(fault->line, c.line) << c.text;
    EXPECT_EQ(fault->column, c.column) << c.text;
    EXPECT_NE(fault->message.find(c.message), std::string::npos)
        << c.text << ": " << fault->message;
  }
  for (const char* valid :
       {"{}", " [ ] ", "-0.5e+3", "{\"a\":[true,false,null,\"\\u00e9\\n\"]}", "\"Иванов\""}) {
    EXPECT_FALSE(check_json(valid).has_value()) << valid;
  }
}

TEST(Json, WriterEscapesSeparatesAndIndents) {
  JsonWriter w;
  w.begin_object().field("name", "Сыр \"x\"\n\x01").field("n", uint64_t{18446744073709551615u});
  w.key("list").begin_array().value(uint64_t{1}).boolean(false).null().end_array();
  w.key("empty").begin_object().end_object();
  // A message as libprotobuf prints it, ending in a line break.
  w.key("message").raw("{\n \"a\": [\n  1\n ]\n}\n");
  w.end_object();
  EXPECT_EQ(w.str(),
            "{\n"
            " \"name\": \"Сыр \\\"x\\\"\\n\\u0001\",\n"
            " \"n\": 18446744073709551615,\n"
            " \"list\": [\n"
            "  1,\n"
            "  false,\n"
            "  null\n"
            " ],\n"
            " \"empty\": {},\n"
            " \"message\": {\n"
            "  \"a\": [\n"
            "   1\n"
            "  ]\n"
            " }\n"
            "}");
}

}  // namespace
}  // namespace tarv::tool
