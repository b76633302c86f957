// Receipt helpers shared by the line, sale and refund tests: items, codes and
// payments in a few words, the binary document read back, and protobuf
// comparisons against text-format expectations.
#ifndef TARV_TESTS_CORE_RECEIPT_H_
#define TARV_TESTS_CORE_RECEIPT_H_

#include <google/protobuf/text_format.h>
#include <google/protobuf/util/message_differencer.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "converter/document.h"
#include "tests/core/host.h"

namespace tarv::converter {

// Readable failure output for decoded documents.
inline std::ostream& operator<<(std::ostream& os, const Text& s) { return os << s.str(); }
inline std::ostream& operator<<(std::ostream& os, const std::optional<Text>& s) {
  return s ? os << '"' << *s << '"' : os << "none";
}
inline void PrintTo(const PlainCode& c, std::ostream* os) {
  *os << "Plain{" << int{c.kind} << ", \"" << c.digits << "\"}";
}
inline void PrintTo(const GtinCode& c, std::ostream* os) {
  *os << "Gtin{" << c.si_code << ", " << c.ukz_code << ", \"" << c.digits << "\"}";
}
inline void PrintTo(const MarkedCode& c, std::ostream* os) {
  *os << "Marked{\"" << c.si_code << "\", " << c.ukz_code << ", \"" << c.digits << "\"}";
}
inline void PrintTo(const CodeBlock& c, std::ostream* os) {
  std::visit([os](const auto& v) { PrintTo(v, os); }, c);
}
inline void PrintTo(const SaleItem& i, std::ostream* os) {
  *os << "{section " << int{i.section} << ", ";
  PrintTo(i.code, os);
  *os << ", \"" << i.name << "\", qty " << i.quantity << ", cost " << i.cost << ", discount "
      << i.discount << ", markup " << i.markup << "}";
}
inline void PrintTo(const RefundItem& i, std::ostream* os) {
  *os << "{section " << int{i.section} << ", ";
  PrintTo(i.code, os);
  *os << ", \"" << i.name << "\", qty " << i.quantity << ", sum " << i.sum << "}";
}
inline void PrintTo(const DocHeader& h, std::ostream* os) {
  *os << "{device " << h.device_id << ", \"" << h.cashier << "\", no " << h.doc_number << ", "
      << h.at.year << "-" << h.at.month << "-" << h.at.day << "+" << h.at.second_of_day << "s, "
      << h.currency << "}";
}

}  // namespace tarv::converter

namespace tarv::testing {

namespace cv = ::tarv::converter;

// The header time of default_header() as the documents write it (UTC+3).
inline const cv::DateTime kLocalAt{2024, 1, 1, 14 * 3600};

inline std::string repeat(std::string_view s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

inline pb::Modifier modifier(uint64_t amount, std::optional<std::string> group = std::nullopt,
                             std::optional<std::string> name = std::nullopt) {
  pb::Modifier m;
  m.set_modifier(amount);
  if (group) m.set_group(*group);
  if (name) m.set_name(*name);
  return m;
}

// Scans of a scan list, by member: 'a', 'b', 'c' for mark_a/b/c, 'g' for gtin.
using ScanSpec = std::vector<std::pair<char, std::string>>;
inline pb::ItemCode scans(const ScanSpec& spec) {
  pb::ItemCode code;
  auto* list = code.mutable_scan_list();
  for (const auto& [member, value] : spec) {
    pb::Scan* scan = list->add_scans();
    switch (member) {
      case 'a':
        scan->set_mark_a(value);
        break;
      case 'b':
        scan->set_mark_b(value);
        break;
      case 'c':
        scan->set_mark_c(value);
        break;
      case 'g':
        scan->set_gtin(value);
        break;
      default:
        break;  // an entry with no member
    }
  }
  return code;
}

// A sale or refund of `items` with `payments`, the drawer holding `cash_in`.
template <class Request>
Request receipt(std::vector<pb::Item> items, std::vector<pb::Payment> payments,
                int64_t cash_in = 0) {
  auto r = envelope<Request>();
  for (auto& i : items) *r.mutable_doc()->add_items() = std::move(i);
  for (auto& p : payments) *r.mutable_doc()->add_payments() = std::move(p);
  drawer(*r.mutable_context()).set_cash_in(cash_in);
  return r;
}
inline pb::SaleRequest sale_of(std::vector<pb::Item> items, std::vector<pb::Payment> payments,
                               int64_t cash_in = 0) {
  return receipt<pb::SaleRequest>(std::move(items), std::move(payments), cash_in);
}
inline pb::RefundRequest refund_of(std::vector<pb::Item> items, std::vector<pb::Payment> payments,
                                   int64_t cash_in = 0) {
  return receipt<pb::RefundRequest>(std::move(items), std::move(payments), cash_in);
}
// One line worth `sum` (price `sum`, one piece).
inline pb::Item line(uint64_t sum, std::string name = "Товар") {
  return item(std::move(name), sum, 1000);
}

template <class Doc>
Doc decode_as(const std::string& binary) {
  auto bytes = std::span(reinterpret_cast<const uint8_t*>(binary.data()), binary.size());
  auto doc = cv::decode(bytes);
  if (!doc) {
    ADD_FAILURE() << "undecodable document: " << cv::render(doc.error());
    return {};
  }
  if (!std::holds_alternative<Doc>(*doc)) {
    ADD_FAILURE() << "document of kind index " << doc->index();
    return {};
  }
  return std::get<Doc>(std::move(*doc));
}

// `actual` equals the message written in text format: every field, every
// map entry and the presence of every optional part.
inline ::testing::AssertionResult proto_eq(const ::google::protobuf::Message& actual,
                                           std::string_view text) {
  std::unique_ptr<::google::protobuf::Message> expected(actual.New());
  if (!::google::protobuf::TextFormat::ParseFromString(std::string(text), expected.get())) {
    return ::testing::AssertionFailure() << "bad expectation text";
  }
  std::string diff;
  ::google::protobuf::util::MessageDifferencer differ;
  differ.ReportDifferencesToString(&diff);
  if (differ.Compare(*expected, actual)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << diff;
}

}  // namespace tarv::testing

#endif  // TARV_TESTS_CORE_RECEIPT_H_
