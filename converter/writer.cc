// encode(): the kind id, the body of the kind, the reserved tail.
#include <string_view>
#include <type_traits>
#include <vector>

#include "converter/bit_buffer.h"
#include "converter/code_block.h"
#include "converter/document.h"
#include "converter/fields.h"
#include "converter/layout.h"

namespace tarv::converter {

namespace {

// The writer's field adapter for layout.h; names refused fields after the
// list entry it is in.
class FieldPut {
 public:
  explicit FieldPut(BitWriter& w) : w_(w) {}

  void enter(std::string_view list, size_t index) {
    list_ = list;
    index_ = index;
  }
  void leave() { list_ = {}; }

  Status uint(uint64_t value, unsigned width, std::string_view name) {
    return put_uint(w_, value, width, field(name));
  }
  Status amount(uint64_t value, bool sign_marked, std::string_view name) {
    return put_amount(w_, value, sign_marked, field(name));
  }
  Status date_time(const DateTime& value, std::string_view name) {
    return put_date_time(w_, value, field(name));
  }
  Status currency(const std::string& value) { return put_currency(w_, value); }
  Status text(std::string_view value, size_t n) {
    put_text(w_, value, n);
    return {};
  }
  Status code(const CodeBlock& value, std::string_view name) {
    return put_item_code(w_, value, field(name));
  }

 private:
  FieldName field(std::string_view name) const { return {name, list_, index_}; }

  BitWriter& w_;
  std::string_view list_;
  size_t index_ = 0;
};

template <class Item, class F>
Status put_list(FieldPut& io, const std::vector<Item>& items, std::string_view list, F&& put) {
  for (size_t i = 0; i < items.size(); ++i) {
    io.enter(list, i);
    TARV_TRY(put(items[i]));
  }
  io.leave();
  return {};
}

Status put_body(FieldPut& io, BitWriter& w, const SaleDoc& s) {
  TARV_TRY(layout::header(io, s.header));
  if (s.items.size() > layout::kMaxSaleItems) return out_of_range("count", {"items"});
  w.put_bits(s.items.size(), layout::kSaleCountBits);
  TARV_TRY(put_list(io, s.items, "items",
                    [&](const SaleItem& item) { return layout::sale_item(io, item); }));
  TARV_TRY(io.uint(s.tp_tax_number.value_or(0), layout::kTaxNumberBits, "tp_tax_number"));
  TARV_TRY(layout::sale_totals(io, s));
  pad_zero(w, layout::kSaleTailBits);
  return {};
}

template <class CashOp>
Status put_cash_op(FieldPut& io, BitWriter& w, const CashOp& op, bool sign_marked) {
  TARV_TRY(layout::header(io, op.header));
  TARV_TRY(io.amount(op.amount, sign_marked, "amount"));
  pad_zero(w, layout::kCashOpTailBits);
  return {};
}

Status put_body(FieldPut& io, BitWriter& w, const DepositDoc& d) {
  return put_cash_op(io, w, d, false);
}
Status put_body(FieldPut& io, BitWriter& w, const WithdrawDoc& d) {
  return put_cash_op(io, w, d, false);
}
Status put_body(FieldPut& io, BitWriter& w, const CardHolderWithdrawDoc& d) {
  return put_cash_op(io, w, d, true);
}

Status put_body(FieldPut& io, BitWriter&, const RefundDoc& r) {
  TARV_TRY(layout::header(io, r.header));
  TARV_TRY(put_list(io, r.items, "items",
                    [&](const RefundItem& item) { return layout::refund_item(io, item); }));
  return layout::refund_totals(io, r);
}

Status put_rollback_line(FieldPut& io, BitWriter& w, const RollbackLine& line) {
  w.put_bits(layout::part_flags(line.si_code.has_value(), line.ukz_code.has_value()),
             layout::kFlagsBits);
  put_markings(w, line.si_code, line.ukz_code);
  return io.text(line.name, layout::kNameBytes);
}

Status put_rollback_head(FieldPut& io, const DocHeader& header, uint32_t target_number) {
  TARV_TRY(layout::header(io, header));
  return io.uint(target_number, layout::kTargetNumberBits, "target_number");
}

Status put_rollback_end(FieldPut& io, BitWriter& w, uint64_t amount) {
  TARV_TRY(io.amount(amount, false, "amount"));
  pad_zero(w, layout::kCashOpTailBits);
  return {};
}

Status put_body(FieldPut& io, BitWriter& w, const RollbackDoc& r) {
  TARV_TRY(put_rollback_head(io, r.header, r.target_number));
  TARV_TRY(put_list(io, r.lines, "lines",
                    [&](const RollbackLine& line) { return put_rollback_line(io, w, line); }));
  return put_rollback_end(io, w, r.amount);
}

Status put_body(FieldPut& io, BitWriter& w, const ReportDoc& r) {
  TARV_TRY(layout::report_head(io, r));
  if (r.records.empty() || r.records.size() > layout::kMaxReportRecords) {
    return out_of_range("count", {"records"});
  }
  w.put_bits(r.records.size(), layout::kRecordCountBits);
  return put_list(io, r.records, "records", [&](const ReportRecord& c) -> Status {
    TARV_TRY(layout::record_counters(io, c));
    w.put_bits(layout::part_flags(c.orders.has_value(), c.extra.has_value()), layout::kFlagsBits);
    if (c.orders) TARV_TRY(layout::record_orders(io, *c.orders));
    if (c.extra) TARV_TRY(layout::record_extra(io, *c.extra));
    return {};
  });
}

template <class Doc>
constexpr DocKind kind_of() {
  if constexpr (std::is_same_v<Doc, SaleDoc>) return DocKind::kSale;
  if constexpr (std::is_same_v<Doc, DepositDoc>) return DocKind::kDeposit;
  if constexpr (std::is_same_v<Doc, WithdrawDoc>) return DocKind::kWithdraw;
  if constexpr (std::is_same_v<Doc, RefundDoc>) return DocKind::kRefund;
  if constexpr (std::is_same_v<Doc, RollbackDoc>) return DocKind::kRollback;
  if constexpr (std::is_same_v<Doc, ReportDoc>) return DocKind::kReport;
  if constexpr (std::is_same_v<Doc, CardHolderWithdrawDoc>) return DocKind::kCardHolderWithdraw;
}

// The size of a document in bytes, from the sizes of layout.h: exact for
// every kind, marking codes included, so that the buffer is allocated once.
template <class Item>
size_t items_bytes(const std::vector<Item>& items, size_t item_bits) {
  size_t n = item_bits / 8 * items.size();
  for (const Item& item : items) n += marking_bytes(item.code);
  return n;
}

size_t size_hint(const TarvDocument& doc) {
  if (const auto* s = std::get_if<SaleDoc>(&doc)) {
    return layout::kSaleBits / 8 + items_bytes(s->items, layout::kSaleItemBits);
  }
  if (const auto* r = std::get_if<RefundDoc>(&doc)) {
    return layout::kRefundBits / 8 + items_bytes(r->items, layout::kRefundItemBits);
  }
  if (const auto* r = std::get_if<RollbackDoc>(&doc)) {
    size_t n = layout::kRollbackBits / 8 + layout::kRollbackLineBits / 8 * r->lines.size();
    for (const RollbackLine& line : r->lines) {
      n += marking_bytes(line.si_code.has_value(), line.ukz_code.has_value());
    }
    return n;
  }
  if (const auto* r = std::get_if<ReportDoc>(&doc)) {
    size_t n = layout::kReportBits / 8 + layout::kRecordBits / 8 * r->records.size();
    for (const ReportRecord& record : r->records) {
      n += (record.orders ? layout::kOrdersBits / 8 : 0) +
           (record.extra ? layout::kExtraBits / 8 : 0);
    }
    return n;
  }
  return layout::kCashOpBits / 8;
}

// One line written alone, for its verdict.
template <class Item, class Put>
Status line_alone(const Item& item, size_t item_bits, Put&& put) {
  BitWriter w;
  w.reserve_bytes(item_bits / 8 + marking_bytes(item.code));
  FieldPut io(w);
  return put(io, item);
}

}  // namespace

RollbackWriter::RollbackWriter(const DocHeader& header, uint32_t target_number, size_t lines) {
  w_.reserve_bytes(layout::kRollbackBits / 8 + layout::kRollbackLineBits / 8 * lines);
  w_.put_bits(static_cast<uint8_t>(DocKind::kRollback), layout::kKindBits);
  FieldPut io(w_);
  status_ = put_rollback_head(io, header, target_number);
}

void RollbackWriter::add(const RollbackLine& line) {
  if (!status_) return;
  FieldPut io(w_);
  io.enter("lines", lines_++);
  status_ = put_rollback_line(io, w_, line);
}

std::expected<std::vector<uint8_t>, DocError> RollbackWriter::finish(uint64_t amount) && {
  TARV_TRY(status_);
  FieldPut io(w_);
  TARV_TRY(put_rollback_end(io, w_, amount));
  return std::move(w_).take();
}

std::expected<void, DocError> encodable(const SaleItem& item) {
  return line_alone(item, layout::kSaleItemBits,
                    [](FieldPut& io, const SaleItem& i) { return layout::sale_item(io, i); });
}

std::expected<void, DocError> encodable(const RefundItem& item) {
  return line_alone(item, layout::kRefundItemBits,
                    [](FieldPut& io, const RefundItem& i) { return layout::refund_item(io, i); });
}

std::expected<std::vector<uint8_t>, DocError> encode(const TarvDocument& doc) {
  BitWriter w;
  w.reserve_bytes(size_hint(doc));
  FieldPut io(w);
  const Status status = std::visit(
      [&](const auto& body) {
        w.put_bits(static_cast<uint8_t>(kind_of<std::decay_t<decltype(body)>>()),
                   layout::kKindBits);
        return put_body(io, w, body);
      },
      doc);
  TARV_TRY(status);
  return std::move(w).take();
}

}  // namespace tarv::converter
