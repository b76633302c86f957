// Each request message with its export and its typed success response, for
// the tests and the fuzzers that call the library as a host does.
#ifndef TARV_TESTS_SUPPORT_EXPORTS_H_
#define TARV_TESTS_SUPPORT_EXPORTS_H_

#include <cstdint>

#include "include/tarv_core.h"
#include "tarv_core.pb.h"

namespace tarv::support {

using ExportFn = uint8_t (*)(const uint8_t*, uint64_t, uint8_t**, uint64_t*);

template <class Request>
struct Export;
#define TARV_SUPPORT_EXPORT(Request, ResponseType, fn) \
  template <>                                          \
  struct Export<::tarv::core::Request> {               \
    using Response = ::tarv::core::ResponseType;       \
    static constexpr ExportFn kFn = fn;                \
  }
TARV_SUPPORT_EXPORT(DepositRequest, DepositResponse, tarvcore_create_deposit);
TARV_SUPPORT_EXPORT(WithdrawRequest, WithdrawResponse, tarvcore_create_withdraw);
TARV_SUPPORT_EXPORT(CardHolderWithdrawRequest, CardHolderWithdrawResponse,
                    tarvcore_create_ch_withdraw);
TARV_SUPPORT_EXPORT(SaleRequest, SaleResponse, tarvcore_create_sale);
TARV_SUPPORT_EXPORT(RefundRequest, RefundResponse, tarvcore_create_refund);
TARV_SUPPORT_EXPORT(RollbackRequest, RollbackResponse, tarvcore_create_rollback);
TARV_SUPPORT_EXPORT(ReportRequest, ReportResponse, tarvcore_create_report);
TARV_SUPPORT_EXPORT(OrderRequest, OrderResponse, tarvcore_register_order);
#undef TARV_SUPPORT_EXPORT

}  // namespace tarv::support

#endif  // TARV_TESTS_SUPPORT_EXPORTS_H_
