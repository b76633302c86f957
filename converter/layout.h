// The binary format in one place: the widths of its fields, the order of
// the fixed runs of fields, the reserved tails and the sizes that follow from
// them. The writer, the reader and the writer's size computation all derive
// from this header, so that they cannot drift apart.
//
// The runs are templates over IO, the writer's or the reader's field adapter
// (or FieldBits below, which counts), with the members
//   uint(value, width, name)          u8/u16/u24/u32
//   amount(value, sign_marked, name)  amount
//   date_time(value, name), currency(value), text(value, n), code(value, name)
// Record is const for the writer and mutable for the reader. The lists, the
// optional parts and the flags around them live in writer.cc and reader.cc,
// with the widths and tails named here.
#ifndef TARV_CONVERTER_LAYOUT_H_
#define TARV_CONVERTER_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/try.h"
#include "converter/bit_buffer.h"
#include "converter/records.h"

namespace tarv::converter::layout {

// ---------------------------------------------------------------------------
// Field widths

inline constexpr unsigned kKindBits = 8;
// An amount: a sign flag, whole units in 39 bits, hundredths in 8.
inline constexpr unsigned kAmountWholeBits = 39;
inline constexpr unsigned kAmountBits = 1 + kAmountWholeBits + 8;
// The largest amount: 2^39 − 1 whole units and 99 hundredths
// (hexadecimal 31FFFFFFFFFF), the limit of every sum the library handles.
inline constexpr uint64_t kMaxAmount = ((uint64_t{1} << kAmountWholeBits) - 1) * 100 + 99;
// Month, day, year − 2000, hour, minute, second: a byte each.
inline constexpr unsigned kDateTimeBits = 6 * 8;
inline constexpr size_t kCurrencyBytes = 3;
inline constexpr size_t kCashierBytes = 20;
inline constexpr size_t kNameBytes = 50;
// Marking codes, raw UTF-8.
inline constexpr size_t kSiCodeBytes = 256;
inline constexpr size_t kUkzCodeBytes = 64;
// The item code block: two flag nibbles, then a kind nibble and 13 digits or
// 14 digits, the marking codes between them (code_block.h).
inline constexpr size_t kShortDigits = 13;
inline constexpr size_t kLongDigits = 14;
inline constexpr size_t kCodeBlockBits = 8 + 4 + 4 * kShortDigits;
static_assert(kCodeBlockBits == 8 + 4 * kLongDigits);
// The flags before a rollback line's codes and after a report record: bit 0
// announces the first optional part (si_code; the orders group), bit 1 the
// second (ukz_code; the extra group).
inline constexpr unsigned kFlagsBits = 8;
inline constexpr unsigned kFirstPart = 1;
inline constexpr unsigned kSecondPart = 2;
constexpr unsigned part_flags(bool first, bool second) {
  return (first ? kFirstPart : 0) | (second ? kSecondPart : 0);
}
// List counts: sale items (u16) and report records (u8); refund items and
// rollback lines run without a count.
inline constexpr unsigned kSaleCountBits = 16;
inline constexpr unsigned kRecordCountBits = 8;
inline constexpr size_t kMaxSaleItems = (size_t{1} << kSaleCountBits) - 1;
inline constexpr size_t kMaxReportRecords = (size_t{1} << kRecordCountBits) - 1;
inline constexpr unsigned kTaxNumberBits = 32;     // the sale's tp_tax_number
inline constexpr unsigned kTargetNumberBits = 32;  // the rollback's target_number

// Reserved tails of zero bits.
inline constexpr size_t kSaleTailBits = 240;
inline constexpr size_t kCashOpTailBits = 96;  // cash operations and the rollback

// ---------------------------------------------------------------------------
// Fixed runs of fields

// The common header of every kind but the report: 37 bytes.
template <class IO, class Header>
constexpr Status header(IO& io, Header& h) {
  TARV_TRY(io.uint(h.device_id, 32, "device_id"));
  TARV_TRY(io.text(h.cashier, kCashierBytes));
  TARV_TRY(io.uint(h.doc_number, 32, "doc_number"));
  TARV_TRY(io.date_time(h.at, "at"));
  return io.currency(h.currency);
}

// Section, code, name and quantity: the start of sale and refund items.
template <class IO, class Item>
constexpr Status item_head(IO& io, Item& item) {
  TARV_TRY(io.uint(item.section, 8, "section"));
  TARV_TRY(io.code(item.code, "code"));
  TARV_TRY(io.text(item.name, kNameBytes));
  return io.uint(item.quantity, 24, "quantity");
}

template <class IO, class Item>
constexpr Status sale_item(IO& io, Item& item) {
  TARV_TRY(item_head(io, item));
  TARV_TRY(io.amount(item.cost, false, "cost"));
  TARV_TRY(io.amount(item.discount, true, "discount"));
  return io.amount(item.markup, false, "markup");
}

template <class IO, class Item>
constexpr Status refund_item(IO& io, Item& item) {
  TARV_TRY(item_head(io, item));
  return io.amount(item.sum, false, "sum");
}

// The sale's amounts after tp_tax_number.
template <class IO, class SaleDoc>
constexpr Status sale_totals(IO& io, SaleDoc& s) {
  TARV_TRY(io.amount(s.items_sum, false, "items_sum"));
  TARV_TRY(io.amount(s.discount, true, "discount"));
  TARV_TRY(io.amount(s.markup, false, "markup"));
  TARV_TRY(io.amount(s.total, false, "total"));
  TARV_TRY(io.amount(s.cashless, false, "cashless"));
  TARV_TRY(io.amount(s.cash, false, "cash"));
  return io.amount(s.other, false, "other");
}

// The refund's four trailing amounts: cash before cashless, unlike the sale.
template <class IO, class RefundDoc>
constexpr Status refund_totals(IO& io, RefundDoc& r) {
  TARV_TRY(io.amount(r.total, false, "total"));
  TARV_TRY(io.amount(r.cash, false, "cash"));
  TARV_TRY(io.amount(r.cashless, false, "cashless"));
  return io.amount(r.other, false, "other");
}

// The report's fields before its record count: 33 bytes.
template <class IO, class ReportDoc>
constexpr Status report_head(IO& io, ReportDoc& r) {
  TARV_TRY(io.uint(r.tax_number, 32, "tax_number"));
  TARV_TRY(io.uint(r.device_id, 32, "device_id"));
  TARV_TRY(io.date_time(r.opened_at, "opened_at"));
  TARV_TRY(io.date_time(r.close_at, "close_at"));
  TARV_TRY(io.uint(r.shift_number, 16, "shift_number"));
  TARV_TRY(io.uint(r.docs_count, 16, "docs_count"));
  TARV_TRY(io.uint(r.first_sale, 32, "first_sale"));
  return io.uint(r.last_sale, 32, "last_sale");
}

template <class IO, class Pair>
constexpr Status count_sum(IO& io, Pair& p, unsigned count_width, std::string_view count_name,
                           std::string_view sum_name) {
  TARV_TRY(io.uint(p.count, count_width, count_name));
  return io.amount(p.sum, false, sum_name);
}

// A currency record up to its tail flags: 107 bytes.
template <class IO, class Record>
constexpr Status record_counters(IO& io, Record& c) {
  TARV_TRY(io.currency(c.currency));
  TARV_TRY(io.uint(c.count_a, 16, "count_a"));
  TARV_TRY(io.amount(c.sum_a1, false, "sum_a1"));
  TARV_TRY(io.amount(c.sum_a2, false, "sum_a2"));
  TARV_TRY(io.amount(c.sum_a3, false, "sum_a3"));
  TARV_TRY(io.uint(c.count_b1, 16, "count_b1"));
  TARV_TRY(io.amount(c.sum_b1, false, "sum_b1"));
  TARV_TRY(io.uint(c.count_b2, 16, "count_b2"));
  TARV_TRY(io.amount(c.sum_b2, false, "sum_b2"));
  TARV_TRY(io.uint(c.count_b3, 16, "count_b3"));
  TARV_TRY(io.amount(c.sum_b3, false, "sum_b3"));
  TARV_TRY(io.uint(c.count_b4, 16, "count_b4"));
  TARV_TRY(io.amount(c.sum_b4, false, "sum_b4"));
  TARV_TRY(io.uint(c.count_c1, 16, "count_c1"));
  TARV_TRY(io.amount(c.sum_c1, false, "sum_c1"));
  TARV_TRY(io.uint(c.count_c2, 16, "count_c2"));
  TARV_TRY(io.amount(c.sum_c2, false, "sum_c2"));
  TARV_TRY(io.uint(c.count_c3, 16, "count_c3"));
  TARV_TRY(io.amount(c.sum_c3, false, "sum_c3"));
  TARV_TRY(io.uint(c.count_d1, 24, "count_d1"));
  TARV_TRY(io.amount(c.sum_d1, false, "sum_d1"));
  TARV_TRY(io.uint(c.count_d2, 24, "count_d2"));
  TARV_TRY(io.amount(c.sum_d2, false, "sum_d2"));
  TARV_TRY(io.uint(c.value_e1, 24, "value_e1"));
  TARV_TRY(io.uint(c.value_e2, 24, "value_e2"));
  TARV_TRY(io.uint(c.value_f1, 16, "value_f1"));
  return io.uint(c.value_f2, 16, "value_f2");
}

// The orders group of a record (tail flag 1): 45 bytes.
template <class IO, class Orders>
constexpr Status record_orders(IO& io, Orders& o) {
  TARV_TRY(count_sum(io, o.opened, 24, "orders.opened.count", "orders.opened.sum"));
  TARV_TRY(count_sum(io, o.canceled, 24, "orders.canceled.count", "orders.canceled.sum"));
  TARV_TRY(count_sum(io, o.closed, 24, "orders.closed.count", "orders.closed.sum"));
  TARV_TRY(count_sum(io, o.corrected, 24, "orders.corrected.count", "orders.corrected.sum"));
  return count_sum(io, o.moved, 24, "orders.moved.count", "orders.moved.sum");
}

// The extra group of a record (tail flag 2): 16 bytes.
template <class IO, class Extra>
constexpr Status record_extra(IO& io, Extra& e) {
  TARV_TRY(count_sum(io, e.sales, 16, "extra.sales.count", "extra.sales.sum"));
  return count_sum(io, e.rollbacks, 16, "extra.rollbacks.count", "extra.rollbacks.sum");
}

// ---------------------------------------------------------------------------
// Sizes

// The IO adapter that only counts the bits of each field: a run's size is
// the run itself, evaluated at compile time.
class FieldBits {
 public:
  constexpr size_t bits() const { return bits_; }

  template <class T>
  constexpr Status uint(const T&, unsigned width, std::string_view) {
    return add(width);
  }
  constexpr Status amount(const uint64_t&, bool, std::string_view) { return add(kAmountBits); }
  constexpr Status date_time(const DateTime&, std::string_view) { return add(kDateTimeBits); }
  constexpr Status currency(const std::string&) { return add(8 * kCurrencyBytes); }
  template <class T>
  constexpr Status text(const T&, size_t n) {
    return add(8 * n);
  }
  // Without marking codes; marking_bytes() (code_block.h) adds theirs.
  constexpr Status code(const CodeBlock&, std::string_view) { return add(kCodeBlockBits); }

 private:
  constexpr Status add(size_t bits) {
    bits_ += bits;
    return {};
  }
  size_t bits_ = 0;
};

// A record that runs are counted on. Counting only names its fields and never
// reads them, so it need not be (and, holding strings, cannot portably be) a
// constant itself.
template <class Record>
inline const Record kProbe{};

// The bits of a run.
template <class Record, auto Run>
constexpr size_t bits_of() {
  FieldBits io;
  (void)Run(io, kProbe<Record>);
  return io.bits();
}

inline constexpr size_t kHeaderBits = bits_of<DocHeader, header<FieldBits, const DocHeader>>();
inline constexpr size_t kSaleItemBits = bits_of<SaleItem, sale_item<FieldBits, const SaleItem>>();
inline constexpr size_t kRefundItemBits =
    bits_of<RefundItem, refund_item<FieldBits, const RefundItem>>();
inline constexpr size_t kSaleTotalsBits = bits_of<SaleDoc, sale_totals<FieldBits, const SaleDoc>>();
inline constexpr size_t kRefundTotalsBits =
    bits_of<RefundDoc, refund_totals<FieldBits, const RefundDoc>>();
inline constexpr size_t kReportHeadBits =
    bits_of<ReportDoc, report_head<FieldBits, const ReportDoc>>();
inline constexpr size_t kRecordBits =
    bits_of<ReportRecord, record_counters<FieldBits, const ReportRecord>>() + kFlagsBits;
inline constexpr size_t kOrdersBits =
    bits_of<ReportOrders, record_orders<FieldBits, const ReportOrders>>();
inline constexpr size_t kExtraBits =
    bits_of<ReportExtra, record_extra<FieldBits, const ReportExtra>>();
inline constexpr size_t kRollbackLineBits = kFlagsBits + 8 * kNameBytes;
// What follows a rollback's lines: the amount and the tail.
inline constexpr size_t kRollbackEndBits = kAmountBits + kCashOpTailBits;

// Whole documents without their lists (and lines without marking codes).
inline constexpr size_t kCashOpBits = kKindBits + kHeaderBits + kAmountBits + kCashOpTailBits;
inline constexpr size_t kSaleBits =
    kKindBits + kHeaderBits + kSaleCountBits + kTaxNumberBits + kSaleTotalsBits + kSaleTailBits;
inline constexpr size_t kRefundBits = kKindBits + kHeaderBits + kRefundTotalsBits;
inline constexpr size_t kRollbackBits =
    kKindBits + kHeaderBits + kTargetNumberBits + kRollbackEndBits;
inline constexpr size_t kReportBits = kKindBits + kReportHeadBits + kRecordCountBits;

// The sizes the format is known by, in bytes.
static_assert(kHeaderBits == 37 * 8 && kCashOpBits == 56 * 8);
static_assert(kSaleBits == 116 * 8 && kSaleItemBits == 80 * 8);
static_assert(kRefundBits == 62 * 8 && kRefundItemBits == 68 * 8);
static_assert(kRollbackBits == 60 * 8 && kRollbackLineBits == 51 * 8);
static_assert(kReportBits == 34 * 8 && kRecordBits == 108 * 8);
static_assert(kOrdersBits == 45 * 8 && kExtraBits == 16 * 8);

}  // namespace tarv::converter::layout

#endif  // TARV_CONVERTER_LAYOUT_H_
