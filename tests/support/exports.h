// The document exports of tarv_core.h with their names, request messages and
// typed success responses: one table for the tool, the tests and the
// fuzzers.
#ifndef TARV_TESTS_SUPPORT_EXPORTS_H_
#define TARV_TESTS_SUPPORT_EXPORTS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "include/tarv_core.h"
#include "tarv_core.pb.h"

namespace tarv::support {

using ExportFn = uint8_t (*)(const uint8_t*, uint64_t, uint8_t**, uint64_t*);

// One export: its request and response classes as types, the rest as values.
template <class RequestT, class ResponseT>
struct ExportRow {
  using Request = RequestT;
  using Response = ResponseT;  // status 0; status 1 answers an ErrorResponse
  std::string_view name;       // as hosts call it, e.g. "sale"
  std::string_view symbol;     // e.g. "tarvcore_create_sale"
  ExportFn fn;
};

namespace pb = ::tarv::core;

inline constexpr std::tuple kExports{
    ExportRow<pb::DepositRequest, pb::DepositResponse>{"deposit", "tarvcore_create_deposit",
                                                       tarvcore_create_deposit},
    ExportRow<pb::WithdrawRequest, pb::WithdrawResponse>{"withdraw", "tarvcore_create_withdraw",
                                                         tarvcore_create_withdraw},
    ExportRow<pb::CardHolderWithdrawRequest, pb::CardHolderWithdrawResponse>{
        "ch_withdraw", "tarvcore_create_ch_withdraw", tarvcore_create_ch_withdraw},
    ExportRow<pb::SaleRequest, pb::SaleResponse>{"sale", "tarvcore_create_sale",
                                                 tarvcore_create_sale},
    ExportRow<pb::RefundRequest, pb::RefundResponse>{"refund", "tarvcore_create_refund",
                                                     tarvcore_create_refund},
    ExportRow<pb::RollbackRequest, pb::RollbackResponse>{"rollback", "tarvcore_create_rollback",
                                                         tarvcore_create_rollback},
    ExportRow<pb::ReportRequest, pb::ReportResponse>{"report", "tarvcore_create_report",
                                                     tarvcore_create_report},
    ExportRow<pb::OrderRequest, pb::OrderResponse>{"order", "tarvcore_register_order",
                                                   tarvcore_register_order},
};

// Calls `f(row)` for every row, in the order above.
template <class F>
void for_each_export(F&& f) {
  std::apply([&](const auto&... row) { (f(row), ...); }, kExports);
}

// The row of a request type, found at compile time.
template <class Request, size_t I = 0>
constexpr const auto& row_of() {
  static_assert(I < std::tuple_size_v<decltype(kExports)>, "not a request of any export");
  if constexpr (std::is_same_v<typename std::tuple_element_t<I, decltype(kExports)>::Request,
                               Request>) {
    return std::get<I>(kExports);
  } else {
    return row_of<Request, I + 1>();
  }
}

// Export<SaleRequest>::kFn is tarvcore_create_sale, ::Response SaleResponse.
template <class Request>
struct Export {
  using Response = typename std::remove_cvref_t<decltype(row_of<Request>())>::Response;
  static constexpr ExportFn kFn = row_of<Request>().fn;
};

}  // namespace tarv::support

#endif  // TARV_TESTS_SUPPORT_EXPORTS_H_
