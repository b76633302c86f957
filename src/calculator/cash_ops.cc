// The three cash operations: deposit, withdraw and the card-holder
// withdrawal, each a header, one amount and a 56-byte document.
#include <algorithm>

#include "base/try.h"
#include "converter/document.h"
#include "src/calculator/binary_doc.h"
#include "src/calculator/calculators.h"
#include "src/checks/shift_checks.h"
#include "src/counters/cash_position.h"
#include "src/counters/counters.h"
#include "src/limits.h"

namespace tarv::calc {

namespace {

// What sets the three cash operations apart.
enum class CashKind : uint8_t { kDeposit, kWithdraw, kCardHolderWithdraw };

// The kind-specific amount checks, in their order.
CalcResult<void> check_amount(CashKind kind, uint64_t sum, const msg::Context& context,
                              const std::string& currency, bool too_old) {
  // The drawer is read as unsigned here; a negative cash_in is refused when
  // the counters are merged.
  const auto drawer = static_cast<uint64_t>(counters::cash_in(context, currency));
  switch (kind) {
    case CashKind::kDeposit:
      if (sum > limits::kMaxSignedSum) return std::unexpected(err::kPaymentsArithmetic);
      return {};
    case CashKind::kWithdraw:
      if (sum > limits::kMaxSum) return std::unexpected(err::kSumOverflow);
      if (drawer < sum) return std::unexpected(err::kCashIn);
      if (too_old && sum != drawer) return std::unexpected(err::kWithdrawAll);
      return {};
    case CashKind::kCardHolderWithdraw:
      if (sum > context.ch_max_value) return std::unexpected(err::kClientWithdrawMax);
      if (drawer < sum) return std::unexpected(err::kCashIn);
      if (sum > limits::kMaxSignedSum) return std::unexpected(err::kPaymentsArithmetic);
      return {};
  }
  return {};
}

converter::TarvDocument cash_document(CashKind kind, converter::DocHeader header, uint64_t sum) {
  switch (kind) {
    case CashKind::kDeposit:
      return converter::DepositDoc{std::move(header), sum};
    case CashKind::kWithdraw:
      return converter::WithdrawDoc{std::move(header), sum};
    case CashKind::kCardHolderWithdraw:
      break;
  }
  return converter::CardHolderWithdrawDoc{std::move(header), sum};
}

// The frame the three cash operations share.
template <class Request>
CalcResult<CashResponse<std::remove_reference_t<decltype(*Request{}.doc)>>> cash_operation(
    CashKind kind, Request&& request) {
  const msg::Context& context = *request.context;
  auto& doc = *request.doc;
  auto times = checks::validate_header_and_shift(context, doc.header,
                                                 {.allow_too_old = kind == CashKind::kWithdraw});
  TARV_TRY(times);
  const msg::Header& header = *doc.header;
  TARV_TRY(check_amount(kind, doc.sum, context, header.currency, times->too_old));
  const auto amount = static_cast<int64_t>(doc.sum);
  counters::CashDelta delta{header.currency, kind == CashKind::kDeposit ? amount : -amount, 0};

  auto binary = encode_document(cash_document(
      kind, document_header(context, header, times->local, context.next_doc_number), doc.sum));
  auto shift_attrs = counters::merge_general(counters::take_shift_attrs(*request.context), delta);
  auto attrs = counters::add_cash_operation(std::move(*request.attrs), amount);
  // No amount field holds a sum past its range, so the document is refused;
  // when the counters refuse the sum too, theirs is the error hosts know for
  // it.
  if (!binary && doc.sum > limits::kMaxAmount && header.currency.size() == 3) {
    TARV_TRY(shift_attrs);
    TARV_TRY(attrs);
  }
  TARV_TRY(binary);
  TARV_TRY(shift_attrs);
  TARV_TRY(attrs);

  CashResponse<std::remove_reference_t<decltype(doc)>> response;
  response.shift_attrs = std::move(*shift_attrs);
  response.attrs = std::move(*attrs);
  response.binary_doc = std::move(*binary);
  response.sum = doc.sum;
  response.doc = std::move(doc);
  return response;
}

}  // namespace

CalcResult<CashResponse<msg::Deposit>> deposit(msg::DepositRequest&& request) {
  return cash_operation(CashKind::kDeposit, std::move(request));
}

CalcResult<CashResponse<msg::Withdraw>> withdraw(msg::WithdrawRequest&& request) {
  return cash_operation(CashKind::kWithdraw, std::move(request));
}

CalcResult<CashResponse<msg::CardHolderWithdraw>> ch_withdraw(
    msg::CardHolderWithdrawRequest&& request) {
  return cash_operation(CashKind::kCardHolderWithdraw, std::move(request));
}

}  // namespace tarv::calc
