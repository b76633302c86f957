// The binary fiscal document in memory: the records of TarvDocument, one per
// kind.
//
// Every fiscal operation except a restaurant order ends in one of these,
// encoded bit by bit (most significant bit first) by encode() and parsed back
// by decode() (document.h). Hosts keep the bytes for years and hand a sale's
// bytes back to annul it, so the layout (layout.h, writer.cc, reader.cc) is a
// file format: every width, order and padding run is binding.
//
// A kind's record is named <Kind>Doc (SaleDoc, RefundDoc...) and an item's
// code CodeBlock, apart from the request messages msg::Sale, msg::ItemCode
// of src/messages.h, which carry the same documents as the cashier entered
// them.
//
// Amounts are unsigned kopecks; texts are Unicode (UTF-8) strings that the
// writer converts to windows-1251 (text fields) or copies as UTF-8 (marking
// codes); date-times are local (UTC+03:00) calendar dates plus a second of the
// day.
#ifndef TARV_CONVERTER_RECORDS_H_
#define TARV_CONVERTER_RECORDS_H_

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "base/calendar/date_time.h"

namespace tarv::converter {

// Date-times are the calendar's: a date and a second of the day.
using calendar::DateTime;

// The common header of every kind but the report (37 bytes).
struct DocHeader {
  uint32_t device_id = 0;
  std::string cashier;  // text(20)
  uint32_t doc_number = 0;
  DateTime at;
  std::string currency;  // exactly three bytes

  friend bool operator==(const DocHeader&, const DocHeader&) = default;
};

// A text of a line's record (its name, its code's digits and marking codes).
// The writer's are views of the request that a calculator read, which
// outlives the document's writing, so a receipt's texts are never copied;
// texts made from strings (the reader's, a test's) own a copy. Compares by
// content.
class Text {
 public:
  Text() = default;
  template <class S>
  requires(std::is_convertible_v<const S&, std::string_view> && !std::is_same_v<S, Text>)
      Text(const S& text) {  // NOLINT: a text is a string
    own(text);
  }
  static Text view_of(std::string_view text) {
    Text t;
    t.data_ = text.data();
    t.size_ = text.size();
    return t;
  }
  Text(const Text& other) : data_(other.data_), size_(other.size_) {
    if (other.owned_) own(other.str());
  }
  Text& operator=(const Text& other) {
    if (this != &other) *this = Text(other);
    return *this;
  }
  Text(Text&& other) noexcept
      : owned_(std::move(other.owned_)),
        data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)) {}
  Text& operator=(Text&& other) noexcept {
    owned_ = std::move(other.owned_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    return *this;
  }
  ~Text() = default;

  std::string_view str() const { return {data_, size_}; }
  operator std::string_view() const { return str(); }  // NOLINT: reads as its text
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }

  friend bool operator==(const Text& a, const Text& b) { return a.str() == b.str(); }
  template <class S>
  requires std::is_convertible_v<const S&, std::string_view>
  friend bool operator==(const Text& a, const S& b) { return a.str() == std::string_view(b); }

 private:
  void own(std::string_view text) {
    owned_.reset();
    data_ = nullptr;
    size_ = text.size();
    if (size_ == 0) return;
    owned_ = std::make_unique_for_overwrite<char[]>(size_);
    std::memcpy(owned_.get(), text.data(), size_);
    data_ = owned_.get();
  }

  std::unique_ptr<char[]> owned_;  // null for a view
  const char* data_ = nullptr;
  size_t size_ = 0;
};

// Item codes, in the three forms of the item code block (code_block.h).
//
// Plain: a code kind (0, 1, 3 or 4) and at most 13 digits.
struct PlainCode {
  uint8_t kind = 0;
  Text digits;

  friend bool operator==(const PlainCode&, const PlainCode&) = default;
};
// GTIN: optional marking codes and a GTIN of at most 14 digits (13-digit
// layout up to 13 digits, 14-digit layout for 14).
struct GtinCode {
  std::optional<Text> si_code;   // raw(256)
  std::optional<Text> ukz_code;  // raw(64)
  Text digits;

  friend bool operator==(const GtinCode&, const GtinCode&) = default;
};
// Marked: a long marking code, an optional short one and a GTIN (14-digit
// layout).
struct MarkedCode {
  Text si_code;                  // raw(256)
  std::optional<Text> ukz_code;  // raw(64)
  Text digits;

  friend bool operator==(const MarkedCode&, const MarkedCode&) = default;
};
using CodeBlock = std::variant<PlainCode, GtinCode, MarkedCode>;

struct SaleItem {
  uint8_t section = 0;  // 0 = no section
  CodeBlock code;
  Text name;              // text(50)
  uint32_t quantity = 0;  // thousandths, u24
  uint64_t cost = 0;      // round(price * quantity / 1000)
  uint64_t discount = 0;  // sign-marked
  uint64_t markup = 0;

  friend bool operator==(const SaleItem&, const SaleItem&) = default;
};

struct SaleDoc {
  DocHeader header;
  std::vector<SaleItem> items;            // u16 count
  std::optional<uint32_t> tp_tax_number;  // written as 0 when absent
  uint64_t items_sum = 0;
  uint64_t discount = 0;  // sign-marked
  uint64_t markup = 0;
  uint64_t total = 0;
  uint64_t cashless = 0;  // card + other
  uint64_t cash = 0;
  uint64_t other = 0;

  friend bool operator==(const SaleDoc&, const SaleDoc&) = default;
};

// The kind ids are the first byte of every document.
enum class DocKind : uint8_t {
  kSale = 10,
  kDeposit = 11,
  kWithdraw = 12,
  kRefund = 13,
  kRollback = 14,
  kReport = 15,
  kCardHolderWithdraw = 16,
};

// The three cash operations: a header and one amount (sign-marked for the
// card-holder withdrawal). 56 bytes each.
template <DocKind Kind>
struct CashOperationDoc {
  DocHeader header;
  uint64_t amount = 0;
  friend bool operator==(const CashOperationDoc&, const CashOperationDoc&) = default;
};
using DepositDoc = CashOperationDoc<DocKind::kDeposit>;
using WithdrawDoc = CashOperationDoc<DocKind::kWithdraw>;
using CardHolderWithdrawDoc = CashOperationDoc<DocKind::kCardHolderWithdraw>;

struct RefundItem {
  uint8_t section = 0;
  CodeBlock code;
  Text name;  // text(50)
  uint32_t quantity = 0;
  uint64_t sum = 0;  // the line total

  friend bool operator==(const RefundItem&, const RefundItem&) = default;
};

// The items run, without a count, until the four amounts are left.
struct RefundDoc {
  DocHeader header;
  std::vector<RefundItem> items;
  uint64_t total = 0;
  uint64_t cash = 0;
  uint64_t cashless = 0;
  uint64_t other = 0;

  friend bool operator==(const RefundDoc&, const RefundDoc&) = default;
};

struct RollbackLine {
  std::optional<Text> si_code;   // raw(256), flag 1
  std::optional<Text> ukz_code;  // raw(64), flag 2
  Text name;                     // text(50)

  friend bool operator==(const RollbackLine&, const RollbackLine&) = default;
};

// The annulment of a sale; lines run, without a count, until the amount and
// the reserved tail are left.
struct RollbackDoc {
  DocHeader header;
  uint32_t target_number = 0;
  std::vector<RollbackLine> lines;
  uint64_t amount = 0;

  friend bool operator==(const RollbackDoc&, const RollbackDoc&) = default;
};

// A (count, sum) slot of a report record.
struct CountSum {
  uint32_t count = 0;
  uint64_t sum = 0;
  friend bool operator==(const CountSum&, const CountSum&) = default;
};

// The restaurant order counters of a record (five u24/amount pairs).
struct ReportOrders {
  CountSum opened, canceled, closed, corrected, moved;
  friend bool operator==(const ReportOrders&, const ReportOrders&) = default;
};

// The third-party counters of a record (two u16/amount pairs).
struct ReportExtra {
  CountSum sales, rollbacks;
  friend bool operator==(const ReportExtra&, const ReportExtra&) = default;
};

// One currency record of the shift-close report: 108 bytes, plus 45 with
// the orders group and 16 with the extra group.
struct ReportRecord {
  std::string currency;
  uint32_t count_a = 0;  // u16
  uint64_t sum_a1 = 0, sum_a2 = 0, sum_a3 = 0;
  uint32_t count_b1 = 0;  // b and c counts are u16
  uint64_t sum_b1 = 0;
  uint32_t count_b2 = 0;
  uint64_t sum_b2 = 0;
  uint32_t count_b3 = 0;
  uint64_t sum_b3 = 0;
  uint32_t count_b4 = 0;
  uint64_t sum_b4 = 0;
  uint32_t count_c1 = 0;
  uint64_t sum_c1 = 0;
  uint32_t count_c2 = 0;
  uint64_t sum_c2 = 0;
  uint32_t count_c3 = 0;
  uint64_t sum_c3 = 0;
  uint32_t count_d1 = 0;  // d counts and e values are u24
  uint64_t sum_d1 = 0;
  uint32_t count_d2 = 0;
  uint64_t sum_d2 = 0;
  uint32_t value_e1 = 0, value_e2 = 0;
  uint32_t value_f1 = 0, value_f2 = 0;  // u16
  std::optional<ReportOrders> orders;   // tail flag 1
  std::optional<ReportExtra> extra;     // tail flag 2

  friend bool operator==(const ReportRecord&, const ReportRecord&) = default;
};

// The shift-close report: no common header.
struct ReportDoc {
  uint32_t tax_number = 0;
  uint32_t device_id = 0;
  DateTime opened_at;
  DateTime close_at;
  uint32_t shift_number = 0;  // u16
  uint32_t docs_count = 0;    // u16
  uint32_t first_sale = 0;
  uint32_t last_sale = 0;
  std::vector<ReportRecord> records;  // u8 count

  friend bool operator==(const ReportDoc&, const ReportDoc&) = default;
};

using TarvDocument = std::variant<SaleDoc, DepositDoc, WithdrawDoc, RefundDoc, RollbackDoc,
                                  ReportDoc, CardHolderWithdrawDoc>;

}  // namespace tarv::converter

#endif  // TARV_CONVERTER_RECORDS_H_
