// The document reader on raw bytes. A document that reads must write again
// (unless a value is one the writer refuses) and read back as the same
// document, up to what the format cannot keep: texts that windows-1251 cannot
// carry or that do not fit their field, and a GTIN that the 13-digit layout
// writes as a plain code of kind 1.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <variant>

#include "base/text/cp1251.h"
#include "converter/code_block.h"
#include "converter/layout.h"
#include "fuzz/check.h"

namespace tarv::fuzz {
namespace {

using cv::layout::kCashierBytes;
using cv::layout::kNameBytes;
using cv::layout::kSiCodeBytes;
using cv::layout::kUkzCodeBytes;

// Whether text(n) keeps `text`: every character has a windows-1251 byte, the
// bytes fit, and they do not start like a byte-order mark, which the reader
// would take as one.
bool text_keeps(std::string_view text, size_t n) {
  const std::string bytes = text::to_cp1251(text);
  if (bytes.size() > n || text::from_cp1251(bytes) != text) return false;
  return !(bytes.starts_with("\xEF\xBB\xBF") || bytes.starts_with("\xFF\xFE") ||
           bytes.starts_with("\xFE\xFF"));
}

// Takes the second reading of a text that the format cannot keep.
template <class T>  // a header's string or a line's name
void settle_text(T& first, const T& second, size_t n) {
  if (!text_keeps(first, n)) first = second;
}
void settle_raw(cv::Text& first, const cv::Text& second, size_t n) {
  if (first.size() > n) first = second;
}
void settle_raw(std::optional<cv::Text>& first, const std::optional<cv::Text>& second, size_t n) {
  if (first && second) settle_raw(*first, *second, n);
}

void settle_code(cv::CodeBlock& first, const cv::CodeBlock& second) {
  if (auto* gtin = std::get_if<cv::GtinCode>(&first)) {
    if (!gtin->si_code && !gtin->ukz_code && gtin->digits.size() <= 13) {
      first = cv::PlainCode{1, gtin->digits};
    }
  }
  if (first.index() != second.index()) return;
  std::visit(
      [&](auto& code) {
        using Code = std::decay_t<decltype(code)>;
        if constexpr (!std::is_same_v<Code, cv::PlainCode>) {
          const auto& other = std::get<Code>(second);
          settle_raw(code.si_code, other.si_code, kSiCodeBytes);
          settle_raw(code.ukz_code, other.ukz_code, kUkzCodeBytes);
        }
      },
      first);
}

void settle_header(cv::DocHeader& first, const cv::DocHeader& second) {
  settle_text(first.cashier, second.cashier, kCashierBytes);
}

template <class Items>
void settle_items(Items& first, const Items& second) {
  if (first.size() != second.size()) return;
  for (size_t i = 0; i < first.size(); ++i) {
    settle_text(first[i].name, second[i].name, kNameBytes);
    settle_code(first[i].code, second[i].code);
  }
}

// Brings `first` to what `second` may differ in by the format alone.
void settle(cv::TarvDocument& first, const cv::TarvDocument& second) {
  if (first.index() != second.index()) return;
  std::visit(
      [&](auto& doc) {
        using Kind = std::decay_t<decltype(doc)>;
        const auto& other = std::get<Kind>(second);
        if constexpr (std::is_same_v<Kind, cv::ReportDoc>) {
          (void)other;
        } else {
          settle_header(doc.header, other.header);
          if constexpr (std::is_same_v<Kind, cv::SaleDoc> || std::is_same_v<Kind, cv::RefundDoc>) {
            settle_items(doc.items, other.items);
          } else if constexpr (std::is_same_v<Kind, cv::RollbackDoc>) {
            if (doc.lines.size() == other.lines.size()) {
              for (size_t i = 0; i < doc.lines.size(); ++i) {
                settle_text(doc.lines[i].name, other.lines[i].name, kNameBytes);
                settle_raw(doc.lines[i].si_code, other.lines[i].si_code, kSiCodeBytes);
                settle_raw(doc.lines[i].ukz_code, other.lines[i].ukz_code, kUkzCodeBytes);
              }
            }
          }
        }
      },
      first);
}

}  // namespace
}  // namespace tarv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarv::fuzz;
  auto first = cv::decode(std::span(data, size));
  if (!first) {
    (void)cv::render(first.error());
    return 0;
  }
  auto bytes = cv::encode(*first);
  if (!bytes) return 0;
  auto second = cv::decode(*bytes);
  if (!second) fail("a written document does not read: " + cv::render(second.error()));
  settle(*first, *second);
  expect(*first == *second, "a document reads back as another document");
  return 0;
}
