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
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "include/tarv_core.h"
#include "tarv_core.pb.h"

namespace tarv::host {

using ExportFn = tarvcore_export_fn*;

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

// One export as a row, for hosts that take its name from a command line or
// a URL.
struct Export {
  std::string_view name;    // e.g. "sale"
  std::string_view symbol;  // e.g. "tarvcore_create_sale"
  ExportFn fn;
  const google::protobuf::Descriptor* request;
  const google::protobuf::Descriptor* response;  // the typed success response
  // The DocumentsAttributes field holding the counters of its kind; null for
  // the report, which takes all of them.
  const google::protobuf::FieldDescriptor* counters;
  // Whether a success issues a document under Context.next_doc_number.
  bool numbered;
};

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
