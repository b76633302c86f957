// The document exports of tarv_core.h: the one table of their names,
// request messages and typed success responses, as types (kExports; the
// tests and fuzzers find a request's row with tests/support/export_of.h) and
// as rows for hosts that pick an export by name
// (exports(), find_export()), and the call of one export with a message.
#ifndef TARV_HOST_EXPORTS_H_
#define TARV_HOST_EXPORTS_H_

#include <google/protobuf/message.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "include/tarv_core.h"
#include "tarv_core.pb.h"

namespace tarv::host {

using ExportFn = tarvcore_export_fn*;

namespace pb = ::tarv::core;

// Where a register keeps the shift counters of one export's documents in
// pb::DocumentsAttributes: the field's accessors, typed by the request's
// attrs (so a row that names the wrong field does not compile). The report
// takes every kind's counters and has none of its own (std::monostate).
template <class Request>
struct CountersField {
  using Attrs = std::remove_cvref_t<decltype(std::declval<const Request&>().attrs())>;
  const Attrs& (pb::DocumentsAttributes::*get)() const = nullptr;
  Attrs* (pb::DocumentsAttributes::*mutable_get)() = nullptr;
};
template <>
struct CountersField<pb::ReportRequest> {};

// Whether a success of the export issues a document under
// Context.next_doc_number: its document's header has a number.
template <class Request>
inline constexpr bool kNumbered = requires(const Request& r) { r.doc().header().number(); };

// One export: its request and response classes as types, the rest as values.
template <class RequestT, class ResponseT>
struct ExportRow {
  using Request = RequestT;
  using Response = ResponseT;  // status 0; status 1 answers an ErrorResponse
  std::string_view name;       // as hosts call it, e.g. "sale"
  std::string_view symbol;     // e.g. "tarvcore_create_sale"
  ExportFn fn;
  CountersField<Request> counters{};
};

using DA = pb::DocumentsAttributes;

inline constexpr std::tuple kExports{
    ExportRow<pb::DepositRequest, pb::DepositResponse>{"deposit", "tarvcore_create_deposit",
                                                       tarvcore_create_deposit,
                                                       {&DA::deposits, &DA::mutable_deposits}},
    ExportRow<pb::WithdrawRequest, pb::WithdrawResponse>{"withdraw", "tarvcore_create_withdraw",
                                                         tarvcore_create_withdraw,
                                                         {&DA::withdraws, &DA::mutable_withdraws}},
    ExportRow<pb::CardHolderWithdrawRequest, pb::CardHolderWithdrawResponse>{
        "ch_withdraw", "tarvcore_create_ch_withdraw", tarvcore_create_ch_withdraw,
        {&DA::ch_withdraws, &DA::mutable_ch_withdraws}},
    ExportRow<pb::SaleRequest, pb::SaleResponse>{"sale", "tarvcore_create_sale",
                                                 tarvcore_create_sale,
                                                 {&DA::sales, &DA::mutable_sales}},
    ExportRow<pb::RefundRequest, pb::RefundResponse>{"refund", "tarvcore_create_refund",
                                                     tarvcore_create_refund,
                                                     {&DA::refunds, &DA::mutable_refunds}},
    ExportRow<pb::RollbackRequest, pb::RollbackResponse>{"rollback", "tarvcore_create_rollback",
                                                         tarvcore_create_rollback,
                                                         {&DA::rollbacks, &DA::mutable_rollbacks}},
    ExportRow<pb::ReportRequest, pb::ReportResponse>{"report", "tarvcore_create_report",
                                                     tarvcore_create_report},
    ExportRow<pb::OrderRequest, pb::OrderResponse>{"order", "tarvcore_register_order",
                                                   tarvcore_register_order,
                                                   {&DA::orders, &DA::mutable_orders}},
};

// Calls `f(row)` for every row, in the order above.
template <class F>
void for_each_export(F&& f) {
  std::apply([&](const auto&... row) { (f(row), ...); }, kExports);
}

inline constexpr size_t kExportCount = std::tuple_size_v<decltype(kExports)>;

// One export as a row, for hosts that take its name from a command line or
// a URL.
struct Export {
  std::string_view name;    // e.g. "sale"
  std::string_view symbol;  // e.g. "tarvcore_create_sale"
  ExportFn fn;
  const google::protobuf::Descriptor* request;
  const google::protobuf::Descriptor* response;  // the typed success response
  // Whether a success issues a document under Context.next_doc_number.
  bool numbered;
  size_t index;  // its row in kExports
};

// Returns f(row) for the row of kExports that `e` is: the typed work of an
// export picked by name.
template <class F>
auto visit_export(const Export& e, F&& f) {
  using Result = decltype(f(std::get<0>(kExports)));
  return [&]<size_t... I>(std::index_sequence<I...>) -> Result {
    std::optional<Result> result;
    ((e.index == I ? (void)result.emplace(f(std::get<I>(kExports))) : void()), ...);
    return std::move(*result);
  }(std::make_index_sequence<kExportCount>());
}

std::span<const Export> exports();
// By name ("sale") or symbol ("tarvcore_create_sale"); null when unknown.
const Export* find_export(std::string_view name);
// "deposit, withdraw, ...".
std::string export_names();

std::unique_ptr<google::protobuf::Message> new_message(const google::protobuf::Descriptor* type);

// The answer of one call.
struct CallOutcome {
  uint8_t status = 0;
  std::string bytes;  // the response buffer as the library wrote it
  // The typed success response (status 0) or the ErrorResponse (status 1);
  // null for status 255 or when the bytes do not parse.
  std::unique_ptr<google::protobuf::Message> response;
  std::string binary_doc;  // the fiscal document, when the response has one

  const pb::ErrorResponse* error() const;
};

// Calls the export with the encoded bytes of a request and frees the
// library's buffer.
CallOutcome call(const Export& e, std::string_view request);
// Encodes the request first.
CallOutcome call(const Export& e, const google::protobuf::Message& request);
// The outcome of the response `bytes` the export answered with `status`
// (e.g. as a journal kept them).
CallOutcome parse_outcome(const Export& e, uint8_t status, std::string bytes);

}  // namespace tarv::host

#endif  // TARV_HOST_EXPORTS_H_
