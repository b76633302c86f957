// decode(): the kind id, then the body of the kind. Every field reader checks
// the bits left before it reads, and lists never reserve more entries than
// the input can hold, so any bytes are safe to hand over.
#include <algorithm>
#include <functional>
#include <string>
#include <string_view>

#include "converter/bit_buffer.h"
#include "converter/code_block.h"
#include "converter/document.h"
#include "converter/fields.h"
#include "converter/layout.h"

namespace tarv::converter {

namespace {

// The reader's field adapter for layout.h.
class FieldGet {
 public:
  explicit FieldGet(BitReader& r) : r_(r) {}

  template <class T>
  Status uint(T& value, unsigned width, std::string_view) {
    return get_uint(r_, width, value);
  }
  Status amount(uint64_t& value, bool, std::string_view) { return get_amount(r_, value); }
  Status date_time(DateTime& value, std::string_view) { return get_date_time(r_, value); }
  Status currency(std::string& value) { return get_currency(r_, value); }
  template <class T>  // a header's string or a line's Text
  Status text(T& value, size_t n) {
    return get_text(r_, n, value);
  }
  Status code(CodeBlock& value, std::string_view) { return get_item_code(r_, value); }

 private:
  BitReader& r_;
};

// A sale's header, its count of lines (`on_count`), its lines (each handed
// to `on_item` as it is read) and its totals.
template <class OnCount, class OnItem>
Status get_sale(FieldGet& io, BitReader& r, SaleDoc& s, OnCount&& on_count, OnItem&& on_item) {
  TARV_TRY(layout::header(io, s.header));
  uint32_t count = 0;
  TARV_TRY(get_uint(r, layout::kSaleCountBits, count));
  on_count(count);
  for (uint32_t i = 0; i < count; ++i) {
    SaleItem item;
    TARV_TRY(layout::sale_item(io, item));
    on_item(std::move(item));
  }
  uint32_t tp_tax_number = 0;
  TARV_TRY(get_uint(r, layout::kTaxNumberBits, tp_tax_number));
  if (tp_tax_number != 0) s.tp_tax_number = tp_tax_number;
  TARV_TRY(layout::sale_totals(io, s));
  return r.skip(layout::kSaleTailBits);
}

Status get_body(FieldGet& io, BitReader& r, SaleDoc& s) {
  return get_sale(
      io, r, s,
      [&](uint32_t count) {
        // Bounded by the items the input can hold, each at least its fixed size.
        s.items.reserve(std::min<size_t>(count, r.remaining() / layout::kSaleItemBits));
      },
      [&](SaleItem&& item) { s.items.push_back(std::move(item)); });
}

template <class CashOp>
Status get_cash_op(FieldGet& io, BitReader& r, CashOp& op) {
  TARV_TRY(layout::header(io, op.header));
  TARV_TRY(get_amount(r, op.amount));
  return r.skip(layout::kCashOpTailBits);
}

Status get_body(FieldGet& io, BitReader& r, DepositDoc& d) { return get_cash_op(io, r, d); }
Status get_body(FieldGet& io, BitReader& r, WithdrawDoc& d) { return get_cash_op(io, r, d); }
Status get_body(FieldGet& io, BitReader& r, CardHolderWithdrawDoc& d) {
  return get_cash_op(io, r, d);
}

Status get_body(FieldGet& io, BitReader& r, RefundDoc& refund) {
  TARV_TRY(layout::header(io, refund.header));
  while (r.remaining() > layout::kRefundTotalsBits) {
    TARV_TRY(layout::refund_item(io, refund.items.emplace_back()));
  }
  return layout::refund_totals(io, refund);
}

Status get_body(FieldGet& io, BitReader& r, RollbackDoc& rollback) {
  TARV_TRY(layout::header(io, rollback.header));
  TARV_TRY(get_uint(r, layout::kTargetNumberBits, rollback.target_number));
  while (r.remaining() > layout::kRollbackEndBits) {
    RollbackLine& line = rollback.lines.emplace_back();
    uint8_t flags = 0;
    TARV_TRY(get_uint(r, layout::kFlagsBits, flags));
    if (flags & layout::kFirstPart)
      TARV_TRY(get_raw(r, layout::kSiCodeBytes, line.si_code.emplace()));
    if (flags & layout::kSecondPart)
      TARV_TRY(get_raw(r, layout::kUkzCodeBytes, line.ukz_code.emplace()));
    TARV_TRY(get_text(r, layout::kNameBytes, line.name));
  }
  TARV_TRY(get_amount(r, rollback.amount));
  return r.skip(layout::kCashOpTailBits);
}

Status get_body(FieldGet& io, BitReader& r, ReportDoc& report) {
  TARV_TRY(layout::report_head(io, report));
  uint32_t count = 0;
  TARV_TRY(get_uint(r, layout::kRecordCountBits, count));
  report.records.reserve(std::min<size_t>(count, r.remaining() / layout::kRecordBits));
  for (uint32_t i = 0; i < count; ++i) {
    ReportRecord& c = report.records.emplace_back();
    TARV_TRY(layout::record_counters(io, c));
    uint8_t flags = 0;
    TARV_TRY(get_uint(r, layout::kFlagsBits, flags));
    if (flags & layout::kFirstPart) TARV_TRY(layout::record_orders(io, c.orders.emplace()));
    if (flags & layout::kSecondPart) TARV_TRY(layout::record_extra(io, c.extra.emplace()));
  }
  return {};
}

template <class Doc>
std::expected<TarvDocument, DocError> get_document(BitReader& r) {
  FieldGet io(r);
  TarvDocument doc(std::in_place_type<Doc>);
  TARV_TRY(get_body(io, r, std::get<Doc>(doc)));
  return doc;
}

}  // namespace

std::expected<DocKind, DocError> kind_of(std::span<const uint8_t> bytes) {
  BitReader r(bytes);
  uint32_t id = 0;
  TARV_TRY(get_uint(r, layout::kKindBits, id));
  switch (static_cast<DocKind>(id)) {
    case DocKind::kSale:
    case DocKind::kDeposit:
    case DocKind::kWithdraw:
    case DocKind::kRefund:
    case DocKind::kRollback:
    case DocKind::kReport:
    case DocKind::kCardHolderWithdraw:
      return static_cast<DocKind>(id);
  }
  return fail(DocError::Kind::kParse, "Could not match enum variant id = " + std::to_string(id) +
                                          " on enum `TarvDocument`");
}

std::expected<TarvDocument, DocError> decode(std::span<const uint8_t> bytes) {
  auto kind = kind_of(bytes);
  TARV_TRY(kind);
  BitReader r(bytes);
  TARV_TRY(r.skip(layout::kKindBits));
  switch (*kind) {
    case DocKind::kSale:
      return get_document<SaleDoc>(r);
    case DocKind::kDeposit:
      return get_document<DepositDoc>(r);
    case DocKind::kWithdraw:
      return get_document<WithdrawDoc>(r);
    case DocKind::kRefund:
      return get_document<RefundDoc>(r);
    case DocKind::kRollback:
      return get_document<RollbackDoc>(r);
    case DocKind::kReport:
      return get_document<ReportDoc>(r);
    case DocKind::kCardHolderWithdraw:
      return get_document<CardHolderWithdrawDoc>(r);
  }
  return fail(DocError::Kind::kParse, "unreachable");
}

std::expected<SaleDoc, DocError> decode_sale(
    std::span<const uint8_t> bytes,
    const std::function<void(const SaleDoc&, const SaleItem&)>& on_item) {
  BitReader r(bytes);
  TARV_TRY(r.skip(layout::kKindBits));
  FieldGet io(r);
  SaleDoc sale;
  TARV_TRY(get_sale(
      io, r, sale, [](uint32_t) {}, [&](SaleItem&& item) { on_item(sale, item); }));
  return sale;
}

}  // namespace tarv::converter
