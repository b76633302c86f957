// The strict request decoder and the canonical response encoder.
#include "src/wire.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>

#include "src/messages.h"
#include "tarv_core.pb.h"
#include "tests/core/bytes.h"

namespace tarv::testing {
namespace {

using ::google::protobuf::Descriptor;
using ::google::protobuf::FieldDescriptor;

struct DecodeCase {
  std::string name;
  ByteVec request;
  std::string line;  // the diagnostic after "Error decoding input: "

  // gtest would otherwise print the object's bytes, string buffers and all.
  friend void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }
};

ByteVec repeat_groups(int depth) {
  ByteVec out;
  for (int i = 0; i < depth; ++i) out.push_back(0x4B);  // field 9, start group
  for (int i = 0; i < depth; ++i) out.push_back(0x4C);  // field 9, end group
  return out;
}

const ByteVec kBadUtf8 = {0xC3, 0x28};

// Each row: bytes given to tarvcore_create_deposit (or the export named in
// the case) and the exact line on standard error.
std::vector<DecodeCase> DepositCases() {
  ByteVec header_bad_cashier = ld(1, ld(1, kBadUtf8));  // Header.cashier
  return {
      {"wire_type_7",
       {0x07},
       R"x(DecodeError { description: "invalid wire type value: 7", stack: [] })x"},
      {"wire_type_6",
       {0x0E},
       R"x(DecodeError { description: "invalid wire type value: 6", stack: [] })x"},
      {"tag_zero",
       {0x00, 0x01},
       R"x(DecodeError { description: "invalid tag value: 0", stack: [] })x"},
      {"tag_zero_in_two_bytes",
       {0x80, 0x00},
       R"x(DecodeError { description: "invalid tag value: 0", stack: [] })x"},
      {"key_above_u32", varint(1ull << 32),
       R"x(DecodeError { description: "invalid key value: 4294967296", stack: [] })x"},
      {"varint_runs_out", {0xFF}, R"x(DecodeError { description: "invalid varint", stack: [] })x"},
      {"varint_eleven_bytes",
       {0x48, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01},
       R"x(DecodeError { description: "invalid varint", stack: [] })x"},
      {"varint_tenth_byte_overflows",
       {0x48, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02},
       R"x(DecodeError { description: "invalid varint", stack: [] })x"},
      {"doc_as_varint", vi(2, 1),
       R"x(DecodeError { description: "invalid wire type: Varint (expected LengthDelimited)", stack: [("DepositRequest", "doc")] })x"},
      {"sum_as_fixed64", ld(2, cat({key(2, 1), ByteVec(8, 0)})),
       R"x(DecodeError { description: "invalid wire type: SixtyFourBit (expected Varint)", stack: [("Deposit", "sum"), ("DepositRequest", "doc")] })x"},
      {"header_truncated",
       {0x12, 0x03, 0x0A, 0x05, 0x0A},
       R"x(DecodeError { description: "buffer underflow", stack: [("Deposit", "header"), ("DepositRequest", "doc")] })x"},
      {"doc_longer_than_buffer",
       {0x12, 0x05, 0x10},
       R"x(DecodeError { description: "buffer underflow", stack: [("DepositRequest", "doc")] })x"},
      {"field_past_nested_length",
       {0x12, 0x02, 0x10, 0x96, 0x01},
       R"x(DecodeError { description: "delimited length exceeded", stack: [("DepositRequest", "doc")] })x"},
      {"cashier_not_utf8", ld(2, header_bad_cashier),
       R"x(DecodeError { description: "invalid string value: data is not UTF-8 encoded", stack: [("Header", "cashier"), ("Deposit", "header"), ("DepositRequest", "doc")] })x"},
      {"currency_surrogate", ld(1, ld(1, ByteVec{0xED, 0xA0, 0x80})),
       R"x(DecodeError { description: "invalid string value: data is not UTF-8 encoded", stack: [("Context", "currencies"), ("DepositRequest", "context")] })x"},
      {"map_key_not_utf8", ld(1, ld(3, ld(3, ld(1, kBadUtf8)))),
       R"x(DecodeError { description: "invalid string value: data is not UTF-8 encoded", stack: [("ShiftContext", "attrs"), ("Context", "shift_ctx"), ("DepositRequest", "context")] })x"},
      {"map_value_field_wrong_type", ld(1, ld(3, ld(3, ld(2, ld(1, "x"))))),
       R"x(DecodeError { description: "invalid wire type: LengthDelimited (expected Varint)", stack: [("GeneralAttributes", "cash_in"), ("ShiftContext", "attrs"), ("Context", "shift_ctx"), ("DepositRequest", "context")] })x"},
      {"map_key_as_varint", ld(1, ld(3, ld(3, vi(1, 5)))),
       R"x(DecodeError { description: "invalid wire type: Varint (expected LengthDelimited)", stack: [("ShiftContext", "attrs"), ("Context", "shift_ctx"), ("DepositRequest", "context")] })x"},
      {"map_value_as_varint", ld(1, ld(3, ld(3, vi(2, 5)))),
       R"x(DecodeError { description: "invalid wire type: Varint (expected LengthDelimited)", stack: [("ShiftContext", "attrs"), ("Context", "shift_ctx"), ("DepositRequest", "context")] })x"},
      {"end_group_known_field",
       {0x0C},
       R"x(DecodeError { description: "invalid wire type: EndGroup (expected LengthDelimited)", stack: [("DepositRequest", "context")] })x"},
      {"end_group_unknown_field",
       {0x4C},
       R"x(DecodeError { description: "unexpected end group tag", stack: [] })x"},
      {"group_closed_by_other_number",
       {0x4B, 0x54},
       R"x(DecodeError { description: "unexpected end group tag", stack: [] })x"},
      {"group_never_closed",
       {0x4B},
       R"x(DecodeError { description: "invalid varint", stack: [] })x"},
      {"unknown_length_past_end",
       {0x4A, 0x05, 0x00},
       R"x(DecodeError { description: "buffer underflow", stack: [] })x"},
      {"unknown_fixed32_past_end",
       {0x4D, 0x00, 0x00},
       R"x(DecodeError { description: "buffer underflow", stack: [] })x"},
      {"groups_101_deep", repeat_groups(101),
       R"x(DecodeError { description: "recursion limit reached", stack: [] })x"},
      {"timestamp_nanos_wrong_type", ld(2, ld(1, ld(3, ld(2, ByteVec{})))),
       R"x(DecodeError { description: "invalid wire type: LengthDelimited (expected Varint)", stack: [("Timestamp", "nanos"), ("Header", "at"), ("Deposit", "header"), ("DepositRequest", "doc")] })x"},
  };
}

class DepositDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DepositDecodeTest, RefusesWithItsDiagnostic) {
  const DecodeCase& c = GetParam();
  Call r = call(tarvcore_create_deposit, c.request);
  EXPECT_EQ(r.status, TARV_STATUS_UNDECODABLE);
  EXPECT_TRUE(r.out_params_untouched);
  EXPECT_EQ(r.stderr_text, "Error decoding input: " + c.line + "\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, DepositDecodeTest, ::testing::ValuesIn(DepositCases()),
                         [](const auto& row) { return row.param.name; });

TEST(DecodeTest, OneofAndMapValueErrorsNameTheirFields) {
  // Sale.items[0].code.gtin sent as a varint.
  ByteVec item = ld(20, vi(2, 7));
  Call r = call(tarvcore_create_sale, ld(2, ld(2, item)));
  EXPECT_EQ(r.status, TARV_STATUS_UNDECODABLE);
  EXPECT_EQ(r.stderr_text,
            "Error decoding input: DecodeError { description: \"invalid wire type: Varint "
            "(expected LengthDelimited)\", stack: [(\"ItemCode\", \"item_code\"), (\"Item\", "
            "\"code\"), (\"Sale\", \"items\"), (\"SaleRequest\", \"doc\")] }\n");

  // ReportRequest.attrs["BYN"].sales.count as a string.
  ByteVec entry = cat({ld(1, "BYN"), ld(2, ld(4, ld(1, "x")))});
  r = call(tarvcore_create_report, ld(5, entry));
  EXPECT_EQ(r.stderr_text,
            "Error decoding input: DecodeError { description: \"invalid wire type: "
            "LengthDelimited (expected Varint)\", stack: [(\"DocumentAttributes\", \"count\"), "
            "(\"DocumentsAttributes\", \"sales\"), (\"ReportRequest\", \"attrs\")] }\n");
}

// Sale.items' key in two bytes (0x92 0x00) of which the doc's declared length
// holds only the first: the field is read past the end of its message and
// refused there, without the repeated field's count reading further.
TEST(DecodeTest, RepeatedFieldKeyPastItsMessage) {
  const std::pair<ExportFn, std::string> exports[] = {{tarvcore_create_sale, "Sale"},
                                                      {tarvcore_create_refund, "Refund"}};
  for (const auto& [export_fn, doc] : exports) {
    Call r = call(export_fn, ByteVec{0x12, 0x01, 0x92, 0x00, 0x01, 0x00});
    EXPECT_EQ(r.status, TARV_STATUS_UNDECODABLE);
    EXPECT_EQ(r.stderr_text,
              "Error decoding input: DecodeError { description: \"invalid tag value: 0\", stack: "
              "[(\"" +
                  doc + "\", \"items\"), (\"" + doc + "Request\", \"doc\")] }\n");
  }
}

TEST(DecodeTest, HundredNestedGroupsAreSkipped) {
  Call r = call(tarvcore_create_deposit, repeat_groups(100));
  EXPECT_EQ(r.status, TARV_STATUS_ERROR);
  EXPECT_EQ(r.stderr_text, "Missing $req.doc\n");
}

template <class M>
ByteVec encode(const M& m) {
  ByteVec out(wire::encoded_size(m));
  EXPECT_EQ(wire::write_message(m, out.data(), out.size()), out.data());
  return out;
}

// Decodes `bytes`, and checks that with every field held and with every field
// left in the request the message reads (is written) the same.
template <class M>
M decode_ok(const ByteVec& bytes) {
  M m;
  wire::DecodeError error;
  EXPECT_TRUE(wire::decode(bytes.data(), bytes.size(), m, error)) << error.render();
  for (const auto& [holding, name] : kForcedHoldings) {
    M forced;
    EXPECT_TRUE(wire::decode(bytes.data(), bytes.size(), forced, error, holding)) << name;
    EXPECT_TRUE(encode(forced) == encode(m)) << name;
  }
  return m;
}

TEST(DecodeTest, MergeRules) {
  // Last scalar and string win; repeated strings append.
  auto header = decode_ok<msg::Header>(cat({ld(1, "A"), vi(4, 1), ld(1, "B"), vi(4, 2)}));
  EXPECT_EQ(header.cashier, "B");
  EXPECT_EQ(header.number, 2u);
  // Repeated fields stay in the decoded bytes, which must outlive them.
  const ByteVec ctx_bytes =
      cat({ld(1, "BYN"), ld(1, "USD"), ld(1, "EUR"), vi(4, (1ull << 32) + 7), vi(2, 5)});
  auto ctx = decode_ok<msg::Context>(ctx_bytes);
  std::vector<std::string> currencies;
  ctx.currencies.for_each([&](const std::string& c) {
    currencies.push_back(c);
    return true;
  });
  EXPECT_EQ(currencies, (std::vector<std::string>{"BYN", "USD", "EUR"}));
  EXPECT_EQ(ctx.next_doc_number, 7u);  // low 32 bits
  EXPECT_EQ(ctx.ch_max_value, 5u);

  // Map entries come in key order, the last entry of a key replacing the
  // earlier ones, whether the map is decoded or left in the request (a
  // repeated doc's lines count too, in order).
  auto counters = [](std::string_view key, uint64_t count) {
    return ld(5, cat({ld(1, key), ld(2, ld(4, vi(1, count)))}));
  };
  const ByteVec report_bytes = cat(
      {counters("B", 1), counters("A", 2), counters("B", 3), counters("", 4), ld(5, ld(1, "A"))});
  auto report = decode_ok<msg::ReportRequest>(report_bytes);
  std::vector<std::pair<std::string, uint32_t>> seen;
  report.attrs.for_each([&](const std::string& key, const msg::DocumentsAttributes& kinds) {
    seen.emplace_back(key, kinds.sales ? kinds.sales->count : 0);
    return true;
  });
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, uint32_t>>{{"", 4}, {"A", 0}, {"B", 3}}));
  const ByteVec two_docs =
      cat({ld(2, ld(2, ld(1, "x"))), ld(1, ByteVec{}), ld(2, cat({ld(2, ld(1, "y")), vi(3, 7)}))});
  auto sale = decode_ok<msg::SaleRequest>(two_docs);
  std::vector<std::string> names;
  sale.doc->items.for_each([&](const msg::Item& line) {
    names.emplace_back(line.name);
    return true;
  });
  EXPECT_EQ(names, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(sale.doc->tp_tax_number, 7u);
  // Lines whose names outgrow the hold budget part way are all left in the
  // request, and walked once each, in order.
  ByteVec long_lines;
  for (char c = 'a'; c <= 'l'; ++c) {
    long_lines = cat({long_lines, ld(2, ld(1, std::string(100000, c)))});
  }
  std::string firsts;
  decode_ok<msg::Sale>(long_lines).items.for_each([&](const msg::Item& line) {
    firsts += line.name.at(0);
    return true;
  });
  EXPECT_EQ(firsts, "abcdefghijkl");

  // A repeated singular message merges field by field.
  auto doc = decode_ok<msg::Deposit>(cat({ld(1, ld(1, "A")), ld(1, ld(2, "BYN")), vi(2, 3)}));
  ASSERT_TRUE(doc.header);
  EXPECT_EQ(doc.header->cashier, "A");
  EXPECT_EQ(doc.header->currency, "BYN");

  // int32 keeps the low 32 bits: a ten-byte -1 is -1.
  auto ts = decode_ok<msg::Timestamp>(cat({vi(1, ~0ull), vi(2, 0xFFFFFFFF00000005ull)}));
  EXPECT_EQ(ts.seconds, -1);
  EXPECT_EQ(ts.nanos, 5);

  // Presence: an absent optional stays absent; a present empty one is there.
  auto item = decode_ok<msg::Item>(ld(10, ByteVec{}));
  ASSERT_TRUE(item.section);
  EXPECT_EQ(item.section->code, 0u);
  EXPECT_FALSE(item.section->name);
  EXPECT_FALSE(decode_ok<msg::Item>({}).section);
}

TEST(DecodeTest, OneofMembers) {
  // The later member replaces the earlier one.
  const ByteVec two_codes = cat({ld(1, "123"), ld(2, "456")});  // the text is a view of it
  auto code = decode_ok<msg::ItemCode>(two_codes);
  EXPECT_EQ(code.item_code, msg::ItemCode::Case::kGtin);
  EXPECT_EQ(code.text, "456");
  // A second scan_list merges into the first; a scan_list after a string
  // member replaces it, and the other way round. Scans left in the request
  // (more than decoding holds) are found again within their own line, after
  // the member that last replaced them.
  auto kinds = [](const msg::ScanList& list) {
    std::string k;
    list.scans.for_each([&](const msg::Scan& scan) {
      k += static_cast<char>('0' + static_cast<int>(scan.scan));
      return true;
    });
    return k;
  };
  const ByteVec scan1 = ld(1, ld(3, "AAA"));
  const ByteVec scan2 = ld(1, ld(4, "0123"));
  auto times = [](const ByteVec& one, int n) {
    ByteVec out;
    for (int i = 0; i < n; ++i) out.insert(out.end(), one.begin(), one.end());
    return out;
  };
  constexpr int kLeft = 25000;  // scans a list does not hold
  // Decoded texts are views into the request, which outlives them.
  ByteVec bytes = cat({ld(5, scan1), ld(5, scan2)});
  code = decode_ok<msg::ItemCode>(bytes);
  ASSERT_EQ(code.item_code, msg::ItemCode::Case::kScanList);
  EXPECT_EQ(kinds(code.scan_list), "34");
  code = decode_ok<msg::ItemCode>(cat({ld(5, scan1), ld(3, "77")}));
  EXPECT_EQ(code.item_code, msg::ItemCode::Case::kCodeC);
  EXPECT_TRUE(code.scan_list.scans.empty());
  bytes = cat({ld(5, scan1), ld(3, "77"), ld(5, scan2)});
  code = decode_ok<msg::ItemCode>(bytes);
  EXPECT_EQ(kinds(code.scan_list), "4");
  bytes = cat({ld(5, times(scan1, kLeft)), ld(3, "77"), ld(5, times(scan2, kLeft))});
  code = decode_ok<msg::ItemCode>(bytes);
  EXPECT_TRUE(kinds(code.scan_list) == std::string(kLeft, '4'));
  // Lines left in the request too: two lines of scans among 2,000 empty ones.
  bytes = cat({ld(2, ld(20, ld(5, times(scan1, kLeft)))), times(ld(2, ByteVec{}), 2000),
               ld(2, ld(20, ld(5, times(scan2, kLeft))))});
  std::vector<std::string> lines;
  decode_ok<msg::Sale>(bytes).items.for_each([&](const msg::Item& line) {
    lines.push_back(line.code ? kinds(line.code->scan_list) : "");
    return true;
  });
  ASSERT_EQ(lines.size(), 2002u);
  EXPECT_TRUE(lines.front() == std::string(kLeft, '3'));
  EXPECT_TRUE(lines.back() == std::string(kLeft, '4'));
  // A Scan with no member is carried.
  EXPECT_EQ(kinds(decode_ok<msg::ScanList>(ld(1, ByteVec{}))), "0");
}

TEST(DecodeTest, MapEntries) {
  // Missing key and missing value take defaults; a later equal key replaces,
  // a later key field of one entry too.
  // (A map left in the request reads from it: the request outlives it.)
  const ByteVec shift_bytes = cat({
      ld(3, ld(2, vi(1, 6))),  // no key
      ld(3, ld(2, vi(1, 5))),  // no key
      ld(3, ld(1, "BYN")),     // no value
      ld(3, cat({ld(1, "USD"), ld(2, vi(1, 1))})), ld(3, cat({ld(1, "USD"), ld(2, vi(2, 9))})),
      ld(3, cat({vi(7, 1), ld(1, "EUR")})),  // unknown entry field skipped
      ld(3, cat({ld(1, "GBP"), ld(2, vi(1, 3)), ld(1, "EUR")})),
  });
  auto shift = decode_ok<msg::ShiftContext>(shift_bytes);
  std::vector<std::string> keys;
  shift.attrs.for_each([&](const std::string& k, const msg::GeneralAttributes&) {
    keys.push_back(k);
    return true;
  });
  EXPECT_EQ(keys, (std::vector<std::string>{"", "BYN", "EUR", "USD"}));
  // find() reads a key's last entry, whichever way the map is carried.
  auto expect_finds = [](const msg::ShiftContext& read, std::string_view way) {
    EXPECT_EQ(read.attrs.find("")->cash_in, 5) << way;
    EXPECT_EQ(read.attrs.find("BYN")->cash_in, 0) << way;
    EXPECT_EQ(read.attrs.find("EUR")->cash_in, 3) << way;
    EXPECT_EQ(read.attrs.find("USD")->cash_in, 0) << way;
    EXPECT_EQ(read.attrs.find("USD")->income, 9) << way;
    EXPECT_FALSE(read.attrs.find("GBP")) << way;
    EXPECT_FALSE(read.attrs.find("RUB")) << way;
  };
  expect_finds(shift, "within the budget");
  for (const auto& [holding, name] : kForcedHoldings) {
    msg::ShiftContext forced;
    wire::DecodeError error;
    ASSERT_TRUE(wire::decode(shift_bytes.data(), shift_bytes.size(), forced, error, holding));
    expect_finds(forced, name);
  }
  // More entries than decoding holds are all found again in the request.
  ByteVec many;
  for (int i = 0; i < 50000; ++i) {
    const ByteVec entry = ld(3, cat({ld(1, std::to_string(100000 + i)), ld(2, vi(1, i))}));
    many.insert(many.end(), entry.begin(), entry.end());
  }
  const auto large = decode_ok<msg::ShiftContext>(many);
  int entries = 0;
  large.attrs.for_each([&](const std::string& k, const msg::GeneralAttributes& value) {
    entries += k == std::to_string(100000 + value.cash_in);
    return true;
  });
  EXPECT_EQ(entries, 50000);
  EXPECT_EQ(large.attrs.find("149999")->cash_in, 49999);
  // Updated in place, it reads and is written as the request's map with the
  // update instead of its key's entry.
  msg::UpdatedMap<msg::GeneralAttributes> updated(std::move(shift.attrs));
  updated.update("BYN").cash_in = 7;
  updated.update("AAA").income = 1;
  msg::DocumentResponse<msg::CashInOutAttributes, msg::Deposit> response;
  response.shift_attrs = std::move(updated);
  tarv::core::DepositResponse parsed;
  const ByteVec written = encode(response);
  ASSERT_TRUE(parsed.ParseFromArray(written.data(), static_cast<int>(written.size())));
  ASSERT_EQ(parsed.shift_attrs().size(), 5);
  EXPECT_EQ(parsed.shift_attrs().at("BYN").cash_in(), 7);
  EXPECT_EQ(parsed.shift_attrs().at("AAA").income(), 1);
  EXPECT_EQ(parsed.shift_attrs().at("USD").income(), 9);
}

TEST(DecodeTest, UnknownFieldsOfEveryWireTypeAreSkipped) {
  ByteVec unknown = cat({vi(9, 300), key(9, 1), ByteVec(8, 0xAA), ld(9, "zz"), key(9, 5),
                         ByteVec(4, 0xBB), ByteVec{0x4B, 0x08, 0x01, 0x52, 0x00, 0x4C}});
  auto doc = decode_ok<msg::Deposit>(cat({unknown, vi(2, 42), unknown}));
  EXPECT_EQ(doc.sum, 42u);
  EXPECT_FALSE(doc.header);
}

// The sizing hint of repeated fields: counted from right after the first
// key, within the message's limit, stopping quietly at anything malformed.
TEST(DecodeTest, CountAheadOfRepeatedFields) {
  struct Case {
    std::string name;
    ByteVec after_key;  // the bytes right after the first key of field 2
    size_t limit;       // bytes of after_key inside the message
    size_t count;
  };
  const ByteVec item = ld(1, "x");
  const ByteVec others = cat({vi(1, 300), key(3, 1), ByteVec(8, 0), key(4, 5), ByteVec(4, 0)});
  const ByteVec three =
      cat({varint(item.size()), item, others, ld(2, item), ld(5, "y"), ld(2, ByteVec{})});
  const std::vector<Case> cases = {
      {"one", cat({varint(item.size()), item}), 0, 1},
      {"three_among_other_types", three, 0, 3},
      {"limit_cuts_the_last", three, three.size() - 2, 2},
      {"same_number_as_varint_is_not_counted", cat({varint(0), vi(2, 1), ld(2, "")}), 0, 2},
      {"truncated_first", {0x05, 'a'}, 0, 0},
      {"truncated_later", cat({varint(0), key(2, 2), varint(9), ByteVec{'a'}}), 0, 1},
      {"group_stops", cat({varint(0), key(6, 3), ld(2, ""), key(6, 4)}), 0, 1},
      {"bad_key_varint_stops", cat({varint(0), ByteVec{0xFF}}), 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    wire::Cursor cursor(c.after_key.data(), c.after_key.size());
    const size_t inside = c.limit ? c.limit : c.after_key.size();
    EXPECT_EQ(cursor.count_ahead(2, c.after_key.data() + inside), c.count);
  }

  // A key that ran past the end of its message: the cursor is beyond the
  // limit, and nothing is read there.
  const ByteVec bytes = cat({key(2, 2), varint(1), ByteVec{'x'}});
  for (size_t behind : {0, 1}) {
    SCOPED_TRACE(behind);
    wire::Cursor past(bytes.data() + 1, bytes.size() - 1);
    EXPECT_EQ(past.count_ahead(2, bytes.data() + 1 - behind), 0u);
  }
}

TEST(EncodeTest, ErrorResponseAsLibprotobufWritesIt) {
  // Fields in ascending order, each string written with its length, an
  // empty one left out: the bytes libprotobuf writes.
  const std::pair<std::string, std::string> rows[] = {
      {"tarv.core.receipt.currency", "Валюта не поддерживается"},
      {"tarv.core.input.malformed", ""},
      {"", "Ошибка входных данных"},
      {std::string(200, 'c'), std::string(300, 'm')},  // two-byte lengths
  };
  for (const auto& [code, message] : rows) {
    SCOPED_TRACE(code.substr(0, 30));
    msg::ErrorResponse e;
    e.code = code;
    e.message = message;
    ::tarv::core::ErrorResponse reference;
    reference.set_code(code);
    reference.set_message(message);
    const std::string expected = reference.SerializeAsString();
    EXPECT_EQ(encode(e), ByteVec(expected.begin(), expected.end()));
  }
}

TEST(EncodeTest, CanonicalRules) {
  // Zero scalars and empty strings are left out; present optionals are not.
  msg::Item item;
  item.tax_rate = 0;
  item.calculations.emplace();
  EXPECT_EQ(encode(item), cat({vi(30, 0), ld(100, ByteVec{})}));

  // Map entries leave out a default key and a default value.
  msg::DocumentAttributes attrs;
  attrs.taxes.update("0") = {};
  attrs.taxes.update("") = {.sum = 1, .count = 0, .quantity = 0};
  EXPECT_EQ(encode(attrs), cat({ld(50, ld(2, vi(1, 1))), ld(50, ld(1, "0"))}));

  // Negative counter cells take ten bytes; uint32 count is never sign-extended.
  msg::DocumentAttributeValue cell{.sum = -1, .count = 0, .quantity = 0};
  EXPECT_EQ(encode(cell).size(), 11u);
  msg::DocumentAttributes wide;
  wide.count = 4294967295u;
  EXPECT_EQ(encode(wide), vi(1, 4294967295u));

  // Fields come in ascending number and field 5 is never written.
  msg::DocumentResponse<msg::CashInOutAttributes, msg::Deposit> response;
  response.sum = 7;
  response.binary_doc = {1};
  response.doc.emplace();
  response.attrs.emplace();
  response.shift_attrs.update("BYN") = {};
  EXPECT_EQ(encode(response), cat({ld(1, ld(1, "BYN")), ld(2, ByteVec{}), ld(3, ByteVec{}),
                                   ld(4, ByteVec{1}), vi(6, 7)}));
}

TEST(EncodeTest, RoundTripsThroughTheSchema) {
  msg::SaleRequest request;
  request.context.emplace();
  request.context->currencies = {"BYN", "USD"};
  request.context->next_doc_number = 12;
  auto& sale = request.doc.emplace();
  sale.header.emplace().cashier = "Иванов";
  auto& item = sale.items.emplace_back();
  item.name = "Хлеб";
  item.price = 199;
  item.quantity = 1000;
  item.code.emplace().item_code = msg::ItemCode::Case::kScanList;
  item.code->scan_list.scans.emplace_back() = {msg::Scan::Case::kMarkC, "0104"};
  item.code->scan_list.scans.emplace_back() = {msg::Scan::Case::kGtin, "0481"};
  auto& salt = sale.items.emplace_back();
  salt.name = "Соль";
  salt.price = 45;
  request.attrs.emplace().payments.update("BYN").card.emplace().groups.update("visa").count = 3;
  // Change comes only from a request, here from a later doc that merges in
  // (the last entry of a key wins).
  auto change = [](std::string_view key, uint64_t sum) {
    return ld(21, cat({ld(1, key), sum != 0 ? vi(2, sum) : ByteVec{}}));
  };
  const ByteVec request_bytes =
      cat({encode(request),
           ld(2, cat({change("BYN", 1), change("USD", 0), change("EUR", 2), change("BYN", 5)}))});
  auto decoded = decode_ok<msg::SaleRequest>(request_bytes);
  ByteVec bytes = encode(decoded);
  tarv::core::SaleRequest parsed;
  ASSERT_TRUE(parsed.ParseFromArray(bytes.data(), static_cast<int>(bytes.size())));
  EXPECT_EQ(parsed.context().currencies(1), "USD");
  EXPECT_EQ(parsed.doc().items(0).code().scan_list().scans(0).mark_c(), "0104");
  EXPECT_EQ(parsed.doc().items(0).code().scan_list().scans(1).gtin(), "0481");
  EXPECT_EQ(parsed.doc().items(1).name(), "Соль");
  EXPECT_EQ(parsed.doc().change().at("BYN"), 5u);
  EXPECT_EQ(parsed.doc().change().at("EUR"), 2u);
  EXPECT_EQ(parsed.doc().change().at("USD"), 0u);
  EXPECT_EQ(parsed.attrs().payments().at("BYN").card().groups().at("visa").count(), 3);

  // And back through our decoder to the same bytes.
  EXPECT_EQ(encode(decode_ok<msg::SaleRequest>(bytes)), bytes);
}

// Repeated fields that decoding leaves in the request.
template <class T>
constexpr bool kLeftInRequest = false;
template <class T>
constexpr bool kLeftInRequest<wire::Repeated<T>> = true;

// Our field tables and the published schema describe the same messages (the
// timestamp is the well-known one, in package google.protobuf).
template <class M>
void ExpectMatchesSchema(std::string package = "tarv.core.") {
  const Descriptor* d = ::google::protobuf::DescriptorPool::generated_pool()->FindMessageTypeByName(
      package + std::string(wire::MessageInfo<M>::kName));
  ASSERT_NE(d, nullptr) << wire::MessageInfo<M>::kName;
  int fields = 0;
  std::apply(
      [&](const auto&... f) {
        (
            [&] {
              if constexpr (requires { f.member; }) {
                const FieldDescriptor* fd = d->FindFieldByNumber(static_cast<int>(f.number));
                ASSERT_NE(fd, nullptr) << d->name() << " " << f.number;
                EXPECT_EQ(fd->name(), f.name) << d->name();
                using T = std::remove_cvref_t<decltype(std::declval<M>().*f.member)>;
                constexpr bool repeated =
                    (requires(T t) { t.push_back(t.front()); } && !std::is_same_v<T, std::string> &&
                     !std::is_same_v<T, wire::Bytes>) ||
                    kLeftInRequest<T>;
                EXPECT_EQ(fd->is_repeated(), repeated || fd->is_map()) << fd->full_name();
                EXPECT_EQ(fd->has_presence(), (requires(T t) { t.has_value(); }))
                    << fd->full_name();
                ++fields;
              } else {
                const auto* oneof = d->FindOneofByName(std::string(f.name));
                ASSERT_NE(oneof, nullptr);
                fields += oneof->field_count();
                EXPECT_EQ(static_cast<uint32_t>(oneof->field(0)->number()), f.first);
                EXPECT_EQ(static_cast<uint32_t>(oneof->field(oneof->field_count() - 1)->number()),
                          f.last);
              }
            }(),
            ...);
      },
      wire::MessageInfo<M>::kFields);
  EXPECT_EQ(fields, d->field_count()) << d->name();
}

TEST(SchemaTest, FieldTablesMatchTheProto) {
  using namespace msg;
  ExpectMatchesSchema<Timestamp>("google.protobuf.");
  ExpectMatchesSchema<Header>();
  ExpectMatchesSchema<GeneralAttributes>();
  ExpectMatchesSchema<ShiftContext>();
  ExpectMatchesSchema<Context>();
  ExpectMatchesSchema<DocumentAttributeValue>();
  ExpectMatchesSchema<GroupedDocumentAttributeValues>();
  ExpectMatchesSchema<MarkingAttributes>();
  ExpectMatchesSchema<ModifiersAttributes>();
  ExpectMatchesSchema<PaymentsAttributes>();
  ExpectMatchesSchema<DocumentAttributes>();
  ExpectMatchesSchema<OrdersAttributes>();
  ExpectMatchesSchema<CashInOutAttributes>();
  ExpectMatchesSchema<DocumentsAttributes>();
  ExpectMatchesSchema<Section>();
  ExpectMatchesSchema<Modifier>();
  ExpectMatchesSchema<Scan>();
  ExpectMatchesSchema<ScanList>();
  ExpectMatchesSchema<ItemCode>();
  ExpectMatchesSchema<ItemCalculations>();
  ExpectMatchesSchema<Item>();
  ExpectMatchesSchema<Payment>();
  ExpectMatchesSchema<RestaurantInformation>();
  ExpectMatchesSchema<SaleCalculationsSums>();
  ExpectMatchesSchema<SalePaymentsCalculations>();
  ExpectMatchesSchema<SaleCalculations>();
  ExpectMatchesSchema<Sale>();
  ExpectMatchesSchema<RefundPaymentsCalculations>();
  ExpectMatchesSchema<RefundCalculations>();
  ExpectMatchesSchema<Refund>();
  ExpectMatchesSchema<Deposit>();
  ExpectMatchesSchema<Withdraw>();
  ExpectMatchesSchema<CardHolderWithdraw>();
  ExpectMatchesSchema<Rollback>();
  ExpectMatchesSchema<OrderState>();
  ExpectMatchesSchema<OrderHeader>();
  ExpectMatchesSchema<Order>();
  ExpectMatchesSchema<DepositRequest>();
  ExpectMatchesSchema<WithdrawRequest>();
  ExpectMatchesSchema<CardHolderWithdrawRequest>();
  ExpectMatchesSchema<SaleRequest>();
  ExpectMatchesSchema<RefundRequest>();
  ExpectMatchesSchema<RollbackRequest>();
  ExpectMatchesSchema<OrderRequest>();
  ExpectMatchesSchema<ReportRequest>();
  ExpectMatchesSchema<ReportResponse>();
  ExpectMatchesSchema<OrderResponse>();
  ExpectMatchesSchema<OrderTotal>();
  ExpectMatchesSchema<ErrorResponse>();
}

#ifdef TARV_VERIFY
// Verify builds (Debug and sanitizer builds) stop a write that would trust a
// size kept before its field last changed.
TEST(WireVerifyDeathTest, AWriteAfterAChangeWithoutSizingStops) {
  wire::SizeCache cache;
  cache.keep(3);
  EXPECT_EQ(cache.size(), 3u);
  cache.changed();
  EXPECT_DEATH((void)cache.size(), "invariant failed: sized_ == generation_");
  cache.keep(4);
  EXPECT_EQ(cache.size(), 4u);
}
#endif

}  // namespace
}  // namespace tarv::testing
