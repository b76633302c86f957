// What every fuzz target checks beyond survival: the status of each export
// call, the response that goes with it, the binary document of a success and
// the counters that a document moves.
#ifndef TARV_FUZZ_CHECK_H_
#define TARV_FUZZ_CHECK_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "converter/document.h"
#include "host/exports.h"
#include "include/tarv_core.h"
#include "tarv_core.pb.h"
#include "tests/support/export_of.h"

namespace tarv::fuzz {

namespace pb = ::tarv::core;
namespace cv = ::tarv::converter;

using host::ExportFn;

// Prints what broke and aborts, so that the fuzzer keeps the input.
[[noreturn]] void fail(std::string_view what);
inline void expect(bool ok, std::string_view what) {
  if (!ok) fail(what);
}

// One export call: its status and a copy of its response (the library's
// buffer is already freed).
struct Outcome {
  uint8_t status = 0;
  std::string response;
};

// Calls `fn` and checks what holds for every export: status 0, 1 or 255; 255
// leaves the out-parameters as they were; 0 and 1 hand out a buffer exactly
// when the length is not 0; 1 carries exactly an ErrorResponse whose code and
// message are a row of the error table.
Outcome call(ExportFn fn, std::span<const uint8_t> request);
Outcome call(ExportFn fn, const std::string& request);

// The error code of a status-1 response.
std::string error_code(const Outcome& outcome);

// Parses `bytes` as `out`; fails unless they are one message of that type
// with no field outside the schema at any depth.
void parse_exact(const std::string& bytes, ::google::protobuf::Message& out);

// The binary document of a success, read back; fails unless it is a `Kind`.
template <class Kind>
Kind read_document(const std::string& binary) {
  auto doc = cv::decode(std::span(reinterpret_cast<const uint8_t*>(binary.data()), binary.size()));
  if (!doc) fail("binary_doc does not read back: " + cv::render(doc.error()));
  if (!std::holds_alternative<Kind>(*doc)) fail("binary_doc of another kind");
  return std::get<Kind>(std::move(*doc));
}

// The checks of each export's success response against its request, where
// libprotobuf can read the request (it must, when the library could).
void check_success(const pb::DepositRequest& request, const Outcome& outcome);
void check_success(const pb::WithdrawRequest& request, const Outcome& outcome);
void check_success(const pb::CardHolderWithdrawRequest& request, const Outcome& outcome);
void check_success(const pb::SaleRequest& request, const Outcome& outcome);
void check_success(const pb::RefundRequest& request, const Outcome& outcome);
void check_success(const pb::RollbackRequest& request, const Outcome& outcome);
void check_success(const pb::ReportRequest& request, const Outcome& outcome);
void check_success(const pb::OrderRequest& request, const Outcome& outcome);

using ::tarv::testing::ExportOf;

// Runs the request's export on raw bytes with every check; returns the
// outcome.
template <class Request>
Outcome run(std::span<const uint8_t> bytes) {
  Outcome outcome = call(ExportOf<Request>::kFn, bytes);
  if (outcome.status != TARV_STATUS_OK) return outcome;
  Request request;
  if (request.ParseFromArray(bytes.data(), static_cast<int>(bytes.size()))) {
    request.DiscardUnknownFields();  // the library skips them
    check_success(request, outcome);
  } else {
    // libprotobuf is stricter in places (a length prefix of more than five
    // bytes, say); the response alone is checked then.
    typename ExportOf<Request>::Response response;
    parse_exact(outcome.response, response);
  }
  return outcome;
}

// Serializes `request` and runs its export with every check.
template <class Request>
Outcome run(const Request& request) {
  const std::string bytes = request.SerializeAsString();
  return run<Request>(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace tarv::fuzz

#endif  // TARV_FUZZ_CHECK_H_
