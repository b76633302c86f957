// Requests shaped by a faulty or hostile front end, each at a size scaled by
// `n` (the full-size count is the shape's kFull): many empty or minimal
// lines, many payments, many map entries, long repeated lists. Memory
// benchmarks and the heap-bound test run every export call on them.
#ifndef TARV_BENCH_SHAPES_H_
#define TARV_BENCH_SHAPES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "bench/requests.h"
#include "converter/document.h"

namespace tarv::bench {

// One length-delimited field: key, length, payload.
inline void put_varint(std::string& out, uint64_t v) {
  for (; v >= 0x80; v >>= 7) out += static_cast<char>(v | 0x80);
  out += static_cast<char>(v);
}
inline void put_field(std::string& out, uint32_t number, std::string_view payload) {
  put_varint(out, (uint64_t{number} << 3) | 2);
  put_varint(out, payload.size());
  out += payload;
}

// A receipt request (sale or refund) whose doc is `doc` plus `extra` raw doc
// fields, written without building them as messages.
template <class Request>
std::string with_doc_fields(const Request& request, const std::string& extra) {
  Request rest = request;
  std::string doc = rest.doc().SerializeAsString() + extra;
  rest.clear_doc();
  std::string out = rest.SerializeAsString();
  put_field(out, 2, doc);
  return out;
}

// `n` copies of one raw field.
inline std::string repeated_field(uint32_t number, std::string_view payload, int64_t n) {
  std::string one;
  put_field(one, number, payload);
  std::string out;
  out.reserve(one.size() * static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) out += one;
  return out;
}

// The least line that passes the line procedure: name "x", price 1,
// quantity 1000.
inline constexpr std::string_view kMinimalLine{"\x0a\x01x\x10\x01\x18\xe8\x07", 8};

inline pb::SaleRequest sale_frame() {
  pb::SaleRequest r;
  *r.mutable_context() = context();
  *r.mutable_doc()->mutable_header() = default_header();
  r.mutable_attrs();
  return r;
}

// A sale of `n` lines with no field set: the first line's empty name fails it.
inline std::string sale_of_empty_lines(int64_t n) {
  return with_doc_fields(sale_frame(), repeated_field(2, "", n));
}

// A sale of `n` minimal lines paid in cash: past 65,535 lines the writer
// refuses it, after every line is computed.
inline std::string sale_of_minimal_lines(int64_t n) {
  pb::SaleRequest r = sale_frame();
  auto* cash = r.mutable_doc()->add_payments();
  cash->set_type_id(0);
  cash->set_sum(static_cast<uint64_t>(n));
  return with_doc_fields(r, repeated_field(2, kMinimalLine, n));
}

// A refund of `n` minimal lines paid back by card.
inline std::string refund_of_minimal_lines(int64_t n) {
  pb::RefundRequest r;
  *r.mutable_context() = context();
  *r.mutable_doc()->mutable_header() = default_header();
  r.mutable_attrs();
  auto* card = r.mutable_doc()->add_payments();
  card->set_type_id(1);
  card->set_sum(static_cast<uint64_t>(n));
  return with_doc_fields(r, repeated_field(2, kMinimalLine, n));
}

// A one-line sale with `n` empty payments: nothing pays it.
inline std::string sale_with_empty_payments(int64_t n) {
  pb::SaleRequest r = sale_frame();
  return with_doc_fields(r, repeated_field(2, kMinimalLine, 1) + repeated_field(20, "", n));
}

// A ten-line sale whose context lists `n` currencies.
inline std::string sale_with_currencies(int64_t n) {
  pb::SaleRequest r;
  r.ParseFromString(sale_bytes(10));
  for (int64_t i = 0; i < n; ++i) r.mutable_context()->add_currencies("BYN");
  return r.SerializeAsString();
}

// `n` map entries of field `number`, each its own key and the value `value`
// (none when empty).
inline std::string keyed_entries(uint32_t number, int64_t n, std::string_view value = {}) {
  std::string out;
  for (int64_t i = 0; i < n; ++i) {
    std::string entry;
    put_field(entry, 1, std::to_string(1000000 + i));
    if (!value.empty()) put_field(entry, 2, value);
    put_field(out, number, entry);
  }
  return out;
}

// A shift-close report whose counters name `n` currencies with no counters.
inline std::string report_of_empty_currencies(int64_t n) {
  pb::ReportRequest r;
  r.ParseFromString(report_bytes());
  return r.SerializeAsString() + keyed_entries(5, n);
}

// A one-line sale, paid, whose line carries `n` scans with no code.
inline std::string sale_of_a_line_of_scans(int64_t n) {
  pb::SaleRequest r = sale_frame();
  auto* cash = r.mutable_doc()->add_payments();
  cash->set_type_id(0);
  cash->set_sum(1);
  std::string scans;
  put_field(scans, 5, repeated_field(1, "", n));
  std::string line(kMinimalLine);
  put_field(line, 20, scans);
  std::string lines;
  put_field(lines, 2, line);
  return with_doc_fields(r, lines);
}

// `request` with `entries` (raw ShiftContext.attrs entries) appended to its
// shift context's cash position.
template <class Request>
std::string with_cash_position_entries(Request request, const std::string& entries) {
  pb::Context context = request.context();
  std::string shift = context.shift_ctx().SerializeAsString() + entries;
  context.clear_shift_ctx();
  std::string context_bytes = context.SerializeAsString();
  put_field(context_bytes, 3, shift);
  request.clear_context();
  std::string out = request.SerializeAsString();
  put_field(out, 1, context_bytes);
  return out;
}

// A one-line sale whose shift context has a cash position in `n` currencies.
inline std::string sale_with_cash_positions(int64_t n) {
  pb::SaleRequest r;
  r.ParseFromString(sale_bytes(1));
  return with_cash_position_entries(r, keyed_entries(3, n));
}

// A one-line sale with `n` change entries, where none may be.
inline std::string sale_with_change(int64_t n) {
  return with_doc_fields(sale_frame(), repeated_field(2, kMinimalLine, 1) + keyed_entries(21, n));
}

// A one-line sale whose shift counters have `n` sections.
inline std::string sale_with_counter_sections(int64_t n) {
  std::string out = sale_bytes(1);
  put_field(out, 3, keyed_entries(10, n));
  return out;
}

// A shift-close report whose counters in `currency` have the sales counters
// `sales` (raw DocumentAttributes fields).
inline std::string report_with_sales(std::string_view currency, const std::string& sales) {
  std::string kinds;
  put_field(kinds, 4, sales);
  std::string entry;
  put_field(entry, 1, currency);
  put_field(entry, 2, kinds);
  std::string out = report_bytes();
  put_field(out, 5, entry);
  return out;
}

// A shift-close report whose sales counters in one currency have `n` sections.
inline std::string report_with_sales_sections(int64_t n) {
  return report_with_sales("BYN", keyed_entries(10, n));
}

// A one-line sale whose document comes with `n` tax entries in its
// calculations, which the call computes afresh.
inline std::string sale_with_given_calculations(int64_t n) {
  pb::SaleRequest r = sale_frame();
  auto* cash = r.mutable_doc()->add_payments();
  cash->set_type_id(0);
  cash->set_sum(1);
  std::string extra = repeated_field(2, kMinimalLine, 1);
  put_field(extra, 100, keyed_entries(4, n));
  return with_doc_fields(r, extra);
}

// A sale of `n` lines, each discounted in a group of its own, whose shift
// counters already count 5n discount groups, the lines' among them.
inline std::string sale_of_discount_groups(int64_t n) {
  pb::SaleRequest r = sale_frame();
  auto* cash = r.mutable_doc()->add_payments();
  cash->set_type_id(0);
  cash->set_sum(static_cast<uint64_t>(n));
  std::string lines;
  for (int64_t i = 0; i < n; ++i) {
    std::string discount;
    put_field(discount, 1, std::to_string(1000000 + i));
    discount += std::string("\x18\x01", 2);
    std::string line("\x0a\x01x\x10\x02\x18\xe8\x07", 8);
    put_field(line, 40, discount);
    put_field(lines, 2, line);
  }
  std::string out = with_doc_fields(r, lines);
  std::string modifiers;
  put_field(modifiers, 101, keyed_entries(1, 5 * n));
  put_field(out, 3, modifiers);
  return out;
}

// A shift-close report whose counters name `n` currencies, each with one
// deposit counted: every currency has a record to report.
inline std::string report_of_counted_currencies(int64_t n) {
  // deposits.cash.count 1
  return report_bytes() + keyed_entries(5, n, std::string_view("\x0a\x04\x0a\x02\x10\x01", 6));
}

// A shift-close report whose one currency's sales were paid in `n` currencies,
// one kopeck in cash each.
inline std::string report_of_payment_currencies(int64_t n) {
  // cash.sum 1
  return report_with_sales("EUR", keyed_entries(200, n, std::string_view("\x0a\x02\x08\x01", 4)));
}

// A deposit whose cash position has `n` currencies and, amid them, one entry
// that names its key 5n times: the entry in the middle of the map, with the
// median key, is the pivot a sort by key takes first.
inline std::string deposit_with_a_long_cash_position_entry(int64_t n) {
  std::string entries = keyed_entries(3, n / 2);
  std::string entry;
  for (int64_t i = 0; i < 5 * n; ++i) entry += std::string_view("\x0a\x00", 2);
  put_field(entry, 1, std::to_string(1000000 + n / 2) + "5");
  put_field(entries, 3, entry);
  for (int64_t i = n / 2; i < n; ++i) {
    std::string small;
    put_field(small, 1, std::to_string(1000000 + i));
    put_field(entries, 3, small);
  }
  pb::DepositRequest r;
  r.ParseFromString(deposit_bytes());
  return with_cash_position_entries(r, entries);
}

// `n` lines of price 1, quantity 1000 and a 24-byte name: 33 bytes each with
// its key, so that 60,600 of them (under the 65,535 lines a document counts)
// make a request of 2 MB.
inline std::string named_lines(int64_t n) {
  std::string line;
  put_field(line, 1, std::string(24, 'x'));
  line += std::string_view("\x10\x01\x18\xe8\x07", 5);
  return repeated_field(2, line, n);
}

// A sale of `n` named lines paid in cash whose sale counter is at its largest
// sum: every line passes, the document is written, and the counting refuses.
inline std::string sale_of_lines_past_the_sum_counter(int64_t n) {
  pb::SaleRequest r = sale_frame();
  auto* cash = r.mutable_doc()->add_payments();
  cash->set_type_id(0);
  cash->set_sum(static_cast<uint64_t>(n));
  r.mutable_attrs()->set_sum(testing::kMaxAmount);
  return with_doc_fields(r, named_lines(n));
}

// The same refund, paid back by card.
inline std::string refund_of_lines_past_the_sum_counter(int64_t n) {
  pb::RefundRequest r;
  *r.mutable_context() = context();
  *r.mutable_doc()->mutable_header() = default_header();
  auto* card = r.mutable_doc()->add_payments();
  card->set_type_id(1);
  card->set_sum(static_cast<uint64_t>(n));
  r.mutable_attrs()->set_sum(testing::kMaxAmount);
  return with_doc_fields(r, named_lines(n));
}

// A sale whose 6,000 empty payments come first, held, and take the hold
// allowance; its ten lines are then left in the request, and the last has
// `n` empty scans and a GTIN, which each walk of the lines decodes again.
inline std::string sale_of_held_payments_and_a_walked_line_of_scans(int64_t n) {
  pb::SaleRequest r = sale_frame();
  auto* cash = r.mutable_doc()->add_payments();
  cash->set_type_id(0);
  cash->set_sum(10);
  std::string scans = repeated_field(1, "", n);
  std::string gtin;
  put_field(gtin, 4, "4810000000017");
  put_field(scans, 1, gtin);
  std::string code;
  put_field(code, 5, scans);
  std::string line(kMinimalLine);
  put_field(line, 20, code);
  std::string extra = repeated_field(20, "", 6000) + repeated_field(2, kMinimalLine, 9);
  put_field(extra, 2, line);
  return with_doc_fields(r, extra);
}

// A one-line sale of 1 paid by `n` card payments of 1, each in a group of
// its own: past the line's total, the cashless sum refuses it.
inline std::string sale_of_card_payment_groups(int64_t n) {
  pb::SaleRequest r = sale_frame();
  std::string payments;
  for (int64_t i = 0; i < n; ++i) {
    std::string payment("\x08\x01\x10\x01", 4);
    put_field(payment, 3, std::to_string(1000000 + i));
    put_field(payments, 20, payment);
  }
  return with_doc_fields(r, repeated_field(2, kMinimalLine, 1) + payments);
}

// A sale of `n` lines, each discounted and marked up in groups of its own,
// that nothing pays: refused once every line is counted.
inline std::string sale_of_line_modifier_groups_unpaid(int64_t n) {
  std::string lines;
  for (int64_t i = 0; i < n; ++i) {
    std::string discount;
    put_field(discount, 1, "d" + std::to_string(1000000 + i));
    discount += std::string("\x18\x01", 2);
    std::string markup;
    put_field(markup, 1, "m" + std::to_string(1000000 + i));
    markup += std::string("\x18\x01", 2);
    std::string line("\x0a\x01x\x10\x02\x18\xe8\x07", 8);
    put_field(line, 40, discount);
    put_field(line, 41, markup);
    put_field(lines, 2, line);
  }
  return with_doc_fields(sale_frame(), lines);
}

// A name of 50 characters that take 3 bytes each in UTF-8 and one in the
// document.
inline std::string euro_name() {
  std::string name;
  for (int i = 0; i < 50; ++i) name += "\xe2\x82\xac";
  return name;
}

// A sale document of `n` lines of 1 named euro_name(), paid in cash.
inline std::string sale_document(int64_t n) {
  converter::SaleDoc doc;
  doc.header = {testing::kDeviceId, "Иванов", 1, {2024, 1, 1, 39600}, "BYN"};
  doc.items.resize(static_cast<size_t>(n));
  for (converter::SaleItem& item : doc.items) {
    item.name = euro_name();
    item.quantity = 1000;
    item.cost = 1;
  }
  doc.items_sum = doc.total = doc.cash = static_cast<uint64_t>(n);
  auto bytes = converter::encode(doc);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

// The rollback of `target`, signed with the test signer (or, with `signed_`
// false, with a signature of another document).
inline std::string rollback_of(const std::string& target, bool signed_) {
  pb::SaleRequest sale = sale_frame();
  pb::SaleResponse sold;
  sold.set_binary_doc(signed_ ? target : target.substr(0, target.size() - 1));
  pb::RollbackRequest r = testing::annulment(sale, sold);
  *r.mutable_context() = sale.context();  // the drawer that paid the sale back
  r.mutable_doc()->set_target(target);
  return r.SerializeAsString();
}

// The rollback of a signed sale of `n` lines (at most 65,535), each named in
// 50 characters of 3 bytes.
inline std::string rollback_of_a_sale_of_euro_names(int64_t n) {
  return rollback_of(sale_document(n), true);
}

// The same, whose signature is not the target's.
inline std::string rollback_of_a_sale_misigned(int64_t n) {
  return rollback_of(sale_document(n), false);
}

// A rollback whose target is a rollback document of `n` lines named in 50
// bytes that windows-1251 leaves undefined: not a sale.
inline std::string rollback_of_a_rollback(int64_t n) {
  converter::RollbackDoc doc;
  doc.header = {testing::kDeviceId, "Иванов", 1, {2024, 1, 1, 39600}, "BYN"};
  doc.lines.resize(static_cast<size_t>(n));
  for (converter::RollbackLine& line : doc.lines) line.name = euro_name();
  auto bytes = converter::encode(doc);
  std::string target = bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
  constexpr size_t kHeadBytes = 1 + 37 + 4;  // kind, header, target number; then names
  for (size_t i = kHeadBytes; i + 20 < target.size(); ++i) {
    if (static_cast<uint8_t>(target[i]) == 0x88) target[i] = '\x98';
  }
  return rollback_of(target, false);
}

// A sale of `n` marked lines, held or left in the request as its size
// decides, paid in cash, whose sale counter is at its largest sum.
inline std::string sale_of_marked_lines_past_the_sum_counter(int64_t n) {
  pb::SaleRequest r = sale_frame();
  auto* cash = r.mutable_doc()->add_payments();
  cash->set_type_id(0);
  cash->set_sum(static_cast<uint64_t>(n));
  r.mutable_attrs()->set_sum(testing::kMaxAmount);
  std::string code;
  put_field(code, 2, "04810000000017");
  std::string line(kMinimalLine);
  put_field(line, 20, code);
  return with_doc_fields(r, repeated_field(2, line, n));
}

// A deposit whose shift context has `n` cash position entries, each with an
// empty key and no value.
inline std::string deposit_with_empty_cash_positions(int64_t n) {
  pb::DepositRequest r;
  r.ParseFromString(deposit_bytes());
  return with_cash_position_entries(r, repeated_field(3, "", n));
}

struct Shape {
  // Begins with the document, whose export is tarvcore_create_<document>:
  // the heap replay of other platforms finds the export by it.
  std::string_view name;
  ExportFn fn;
  std::string (*build)(int64_t n);
  int64_t full;   // the count at full size
  int64_t small;  // the count of a run in seconds; 0: full size only
};

// The shapes: full size as measured on hosts, small enough to run in seconds.
inline const Shape kShapes[] = {
    {"sale_1M_empty_lines", tarvcore_create_sale, sale_of_empty_lines, 1000000, 100000},
    {"sale_200k_minimal_lines", tarvcore_create_sale, sale_of_minimal_lines, 200000, 70000},
    {"refund_200k_minimal_lines", tarvcore_create_refund, refund_of_minimal_lines, 200000, 20000},
    {"report_100k_empty_currencies", tarvcore_create_report, report_of_empty_currencies, 100000,
     10000},
    {"sale_300k_payments", tarvcore_create_sale, sale_with_empty_payments, 300000, 30000},
    {"sale_200k_context_currencies", tarvcore_create_sale, sale_with_currencies, 200000, 20000},
    {"sale_65535_minimal_lines", tarvcore_create_sale, sale_of_minimal_lines, 65535, 65535},
    {"sale_100k_change_entries", tarvcore_create_sale, sale_with_change, 100000, 10000},
    {"sale_100k_cash_positions", tarvcore_create_sale, sale_with_cash_positions, 100000, 10000},
    {"sale_a_line_of_300k_scans", tarvcore_create_sale, sale_of_a_line_of_scans, 300000, 30000},
    {"sale_100k_counter_sections", tarvcore_create_sale, sale_with_counter_sections, 100000, 10000},
    {"report_100k_sales_sections", tarvcore_create_report, report_with_sales_sections, 100000,
     10000},
    {"sale_100k_given_tax_calculations", tarvcore_create_sale, sale_with_given_calculations, 100000,
     10000},
    {"sale_20k_discount_groups", tarvcore_create_sale, sale_of_discount_groups, 20000, 2000},
    {"sale_16MB_empty_lines", tarvcore_create_sale, sale_of_empty_lines, 8000000, 0},
    // 2 MB at full size, 0.5 MB small: the ratio of their times shows the
    // work growing with the bytes.
    {"report_2MB_counted_currencies", tarvcore_create_report, report_of_counted_currencies, 110000,
     27500},
    {"report_2MB_payment_currencies", tarvcore_create_report, report_of_payment_currencies, 116000,
     29000},
    {"deposit_2MB_long_cash_position_entry", tarvcore_create_deposit,
     deposit_with_a_long_cash_position_entry, 95000, 23750},
    {"sale_2MB_lines_past_the_sum_counter", tarvcore_create_sale,
     sale_of_lines_past_the_sum_counter, 60600, 15150},
    {"refund_2MB_lines_past_the_sum_counter", tarvcore_create_refund,
     refund_of_lines_past_the_sum_counter, 60600, 15150},
    {"sale_6k_held_payments_and_a_walked_line_of_32k_scans", tarvcore_create_sale,
     sale_of_held_payments_and_a_walked_line_of_scans, 32000, 24000},
    // 8 MB at full size, 2 MB small (the rollbacks of a sale: its largest,
    // 5.2 MB, and 2 MB).
    {"sale_8MB_card_payment_groups", tarvcore_create_sale, sale_of_card_payment_groups, 520000,
     130000},
    {"sale_8MB_line_modifier_groups_unpaid", tarvcore_create_sale,
     sale_of_line_modifier_groups_unpaid, 200000, 50000},
    {"rollback_of_65535_lines_of_euro_names", tarvcore_create_rollback,
     rollback_of_a_sale_of_euro_names, 65535, 25000},
    {"rollback_of_65535_lines_misigned", tarvcore_create_rollback, rollback_of_a_sale_misigned,
     65535, 25000},
    {"rollback_8MB_of_a_rollback", tarvcore_create_rollback, rollback_of_a_rollback, 160000, 40000},
    {"sale_8MB_marked_lines_past_the_sum_counter", tarvcore_create_sale,
     sale_of_marked_lines_past_the_sum_counter, 280000, 70000},
    {"deposit_8MB_empty_cash_positions", tarvcore_create_deposit, deposit_with_empty_cash_positions,
     4000000, 1000000},
};

}  // namespace tarv::bench

#endif  // TARV_BENCH_SHAPES_H_
