// The host's JSON: where a syntax fault is reported, and messages embedded
// in the host's own JSON exactly as libprotobuf prints them.
#include "host/json.h"

#include <gtest/gtest.h>

#include "tarv_core.pb.h"

namespace tarv::host {
namespace {

TEST(Json, SyntaxFaultsNameLineAndColumn) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "f.json:1:1: bad JSON: "},
      {"{\"a\": 1,}", "f.json:1:9: bad JSON: "},
      {"{\n  \"a\" 1}", "f.json:2:7: bad JSON: "},
      {"[1 2]", "f.json:1:4: bad JSON: "},
      {"{\"a\": [1, {\"b\": nul}]}", "f.json:1:20: bad JSON: "},
  };
  for (const auto& [text, where] : cases) {
    tarv::core::Header header;
    const auto parsed = parse_json(text, header, "f.json", Fault::Undecodable);
    ASSERT_FALSE(parsed.has_value()) << text;
    EXPECT_EQ(parsed.error().kind, Fault::Undecodable);
    EXPECT_TRUE(parsed.error().message.starts_with(where))
        << text << ": " << parsed.error().message;
  }
}

TEST(Json, SchemaFaultsNameTheMessage) {
  tarv::core::Header header;
  const auto parsed = parse_json(R"({"cashier": 5})", header, "f.json", Fault::BadInput);
  ASSERT_FALSE(parsed.has_value());
  EXPECT_EQ(parsed.error().kind, Fault::BadInput);
  EXPECT_NE(parsed.error().message.find("bad JSON for tarv.core.Header"), std::string::npos);
}

TEST(Json, MessagesEmbedAsLibprotobufPrintsThem) {
  tarv::core::Header header;
  header.set_cashier("Иванов");
  header.set_number(7);
  const Json wrapped = {{"response", message_json(header)}, {"empty", Json::object()}};
  EXPECT_EQ(print(wrapped),
            "{\n \"response\": {\n  \"cashier\": \"Иванов\",\n  \"number\": 7\n },\n"
            " \"empty\": {}\n}\n");
  EXPECT_EQ(print(message_json(header)), to_json(header));
}

}  // namespace
}  // namespace tarv::host
