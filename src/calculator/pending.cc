// Calculators not written yet answer "tarv.core.input.malformed".
#include "src/calculator/calculators.h"

namespace tarv::calc {

Result<CashResponse<msg::Deposit>> deposit(msg::DepositRequest&&) {
  return std::unexpected(err::kMalformed);
}
Result<CashResponse<msg::Withdraw>> withdraw(msg::WithdrawRequest&&) {
  return std::unexpected(err::kMalformed);
}
Result<CashResponse<msg::CardHolderWithdraw>> ch_withdraw(msg::CardHolderWithdrawRequest&&) {
  return std::unexpected(err::kMalformed);
}
Result<ReceiptResponse<msg::Sale>> sale(msg::SaleRequest&&) {
  return std::unexpected(err::kMalformed);
}
Result<ReceiptResponse<msg::Refund>> refund(msg::RefundRequest&&) {
  return std::unexpected(err::kMalformed);
}
Result<ReceiptResponse<msg::Rollback>> rollback(msg::RollbackRequest&&) {
  return std::unexpected(err::kMalformed);
}
Result<msg::ReportResponse> report(msg::ReportRequest&&) {
  return std::unexpected(err::kMalformed);
}
Result<msg::OrderResponse> order(msg::OrderRequest&&) { return std::unexpected(err::kMalformed); }

}  // namespace tarv::calc
