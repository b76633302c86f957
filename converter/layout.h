// The order and encoding of the fixed runs of fields, shared by the writer
// and the reader so that the two cannot drift apart.
//
// IO is the writer's or the reader's field adapter, with the members
//   uint(value, width, name)          u8/u16/u24/u32
//   amount(value, sign_marked, name)  amount
//   date_time(value, name), currency(value), text(value, n), code(value, name)
// Record is const for the writer and mutable for the reader. The lists, the
// optional parts and the reserved tails differ between the two directions and
// live in writer.cc and reader.cc.
#ifndef TARV_CONVERTER_LAYOUT_H_
#define TARV_CONVERTER_LAYOUT_H_

#include <cstddef>
#include <string_view>

#include "converter/bit_buffer.h"

namespace tarv::converter::layout {

inline constexpr size_t kNameBytes = 50;
inline constexpr size_t kCashierBytes = 20;

// The common header of every kind but the report: 37 bytes.
template <class IO, class Header>
Status header(IO& io, Header& h) {
  TARV_TRY(io.uint(h.device_id, 32, "device_id"));
  TARV_TRY(io.text(h.cashier, kCashierBytes));
  TARV_TRY(io.uint(h.doc_number, 32, "doc_number"));
  TARV_TRY(io.date_time(h.at, "at"));
  return io.currency(h.currency);
}

// Section, code, name and quantity: the start of sale and refund items.
template <class IO, class Item>
Status item_head(IO& io, Item& item) {
  TARV_TRY(io.uint(item.section, 8, "section"));
  TARV_TRY(io.code(item.code, "code"));
  TARV_TRY(io.text(item.name, kNameBytes));
  return io.uint(item.quantity, 24, "quantity");
}

template <class IO, class Item>
Status sale_item(IO& io, Item& item) {
  TARV_TRY(item_head(io, item));
  TARV_TRY(io.amount(item.cost, false, "cost"));
  TARV_TRY(io.amount(item.discount, true, "discount"));
  return io.amount(item.markup, false, "markup");
}

template <class IO, class Item>
Status refund_item(IO& io, Item& item) {
  TARV_TRY(item_head(io, item));
  return io.amount(item.sum, false, "sum");
}

// The sale's amounts after tp_tax_number.
template <class IO, class SaleDoc>
Status sale_totals(IO& io, SaleDoc& s) {
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
Status refund_totals(IO& io, RefundDoc& r) {
  TARV_TRY(io.amount(r.total, false, "total"));
  TARV_TRY(io.amount(r.cash, false, "cash"));
  TARV_TRY(io.amount(r.cashless, false, "cashless"));
  return io.amount(r.other, false, "other");
}

// The report's fields before its record count: 33 bytes.
template <class IO, class ReportDoc>
Status report_head(IO& io, ReportDoc& r) {
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
Status count_sum(IO& io, Pair& p, unsigned count_width, std::string_view count_name,
                 std::string_view sum_name) {
  TARV_TRY(io.uint(p.count, count_width, count_name));
  return io.amount(p.sum, false, sum_name);
}

// A currency record up to its tail flags: 107 bytes.
template <class IO, class Record>
Status record_counters(IO& io, Record& c) {
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
Status record_orders(IO& io, Orders& o) {
  TARV_TRY(count_sum(io, o.opened, 24, "orders.opened.count", "orders.opened.sum"));
  TARV_TRY(count_sum(io, o.canceled, 24, "orders.canceled.count", "orders.canceled.sum"));
  TARV_TRY(count_sum(io, o.closed, 24, "orders.closed.count", "orders.closed.sum"));
  TARV_TRY(count_sum(io, o.corrected, 24, "orders.corrected.count", "orders.corrected.sum"));
  return count_sum(io, o.moved, 24, "orders.moved.count", "orders.moved.sum");
}

// The extra group of a record (tail flag 2): 16 bytes.
template <class IO, class Extra>
Status record_extra(IO& io, Extra& e) {
  TARV_TRY(count_sum(io, e.sales, 16, "extra.sales.count", "extra.sales.sum"));
  return count_sum(io, e.rollbacks, 16, "extra.rollbacks.count", "extra.rollbacks.sum");
}

}  // namespace tarv::converter::layout

#endif  // TARV_CONVERTER_LAYOUT_H_
