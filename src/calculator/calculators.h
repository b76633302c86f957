// One calculator per document export. Each takes the decoded request (doc,
// context and attrs present, except in the report's) and returns the success
// response or the first CalcError.
#ifndef TARV_SRC_CALCULATOR_CALCULATORS_H_
#define TARV_SRC_CALCULATOR_CALCULATORS_H_

#include <string_view>

#include "src/errors.h"
#include "src/messages.h"

namespace tarv::calc {

// The national currency: the report's first record, and an order's currency
// when its header names none.
inline constexpr std::string_view kHomeCurrency = "BYN";

template <class Doc>
using CashResponse = msg::DocumentResponse<msg::CashInOutAttributes, Doc>;
template <class Doc>
using ReceiptResponse = msg::DocumentResponse<msg::DocumentAttributes, Doc>;

CalcResult<CashResponse<msg::Deposit>> deposit(msg::DepositRequest&& request);
CalcResult<CashResponse<msg::Withdraw>> withdraw(msg::WithdrawRequest&& request);
CalcResult<CashResponse<msg::CardHolderWithdraw>> ch_withdraw(
    msg::CardHolderWithdrawRequest&& request);
CalcResult<ReceiptResponse<msg::Sale>> sale(msg::SaleRequest&& request);
CalcResult<ReceiptResponse<msg::Refund>> refund(msg::RefundRequest&& request);
CalcResult<ReceiptResponse<msg::Rollback>> rollback(msg::RollbackRequest&& request);
CalcResult<msg::ReportResponse> report(msg::ReportRequest&& request);
CalcResult<msg::OrderResponse> order(msg::OrderRequest&& request);

}  // namespace tarv::calc

#endif  // TARV_SRC_CALCULATOR_CALCULATORS_H_
