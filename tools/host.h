// A reference host of tarv_core: calls the C exports of libtarv_core.so with
// encoded requests and keeps, between calls, everything the library hands
// back (cash position, per-kind counters, numbering).
#ifndef TARV_TOOLS_HOST_H_
#define TARV_TOOLS_HOST_H_

#include <google/protobuf/message.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "host_state.pb.h"
#include "tarv_core.pb.h"

namespace tarv::tool {

namespace pb = ::tarv::core;

using ExportFn = uint8_t (*)(const uint8_t*, uint64_t, uint8_t**, uint64_t*);

// One document export of the library (a row of the table in
// tests/support/exports.h, which the tests and the fuzzers share).
struct Export {
  std::string_view name;    // as the command line names it, e.g. "sale"
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
struct Outcome {
  uint8_t status = 0;
  std::string bytes;  // the response buffer as the library wrote it
  // The typed success response (status 0) or the ErrorResponse (status 1);
  // null for status 255 or when the bytes do not parse.
  std::unique_ptr<google::protobuf::Message> response;
  std::string binary_doc;  // the fiscal document, when the response has one

  const pb::ErrorResponse* error() const;
};

// Encodes the request, calls the export and frees the library's buffer.
Outcome call(const Export& e, const google::protobuf::Message& request);

// The currency under which a request's counters are kept: its document
// header's currency, "BYN" when there is none.
std::string request_currency(const google::protobuf::Message& request);

// The state of one register between calls.
class Register {
 public:
  Register() = default;
  explicit Register(HostState state) : state_(std::move(state)) {}

  const HostState& state() const { return state_; }

  // A new shift from `at`: no cash, no counters, no sales yet.
  void open_shift(const google::protobuf::Timestamp& at);

  // Completes a request from the state: the context, the counters of the
  // export's kind and currency as attrs (the whole map for the report, with
  // the shift's sale range when the request gives none), and the document
  // header's number when it is 0.
  void fill(const Export& e, google::protobuf::Message& request) const;

  // Takes a success (status 0) into the state: the cash position and the
  // counters the response carries, the next document number, the sale range;
  // after the report, a closed shift with its counters cleared.
  void take(const Export& e, const google::protobuf::Message& request, const Outcome& outcome);

 private:
  HostState state_;
};

}  // namespace tarv::tool

#endif  // TARV_TOOLS_HOST_H_
