// The state of one register between calls of the stateless library: its
// standing data, the shift, the counters and the numbering, and how a call
// takes them in and gives them back.
#ifndef TARV_HOST_REGISTER_H_
#define TARV_HOST_REGISTER_H_

#include <google/protobuf/message.h>
#include <google/protobuf/timestamp.pb.h>

#include <optional>
#include <string>
#include <utility>

#include "host/exports.h"
#include "host/failure.h"
#include "host_state.pb.h"

namespace tarv::host {

// The currency under which a request's counters are kept: its document
// header's currency, "BYN" when there is none.
std::string request_currency(const google::protobuf::Message& request);

// The time a filled request carries: its document header's `at`, or the
// report's `close_at`; nullopt when it has none.
std::optional<google::protobuf::Timestamp> request_time(const google::protobuf::Message& request);

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
  // header's number when it is 0, and `now` as the document header's `at`
  // (or the report's `close_at`) when the request gives none, so that a
  // client need not keep time. The register numbers its documents: a header
  // that names another number than the next is refused (Fault::Numbering).
  HostResult<void> fill(const Export& e, google::protobuf::Message& request,
                        const google::protobuf::Timestamp& now) const;

  // Takes a success (status 0) into the state: the cash position and the
  // counters the response carries, the next document number, the sale range;
  // after the report, a closed shift with its counters cleared.
  void take(const Export& e, const google::protobuf::Message& request, const CallOutcome& outcome);

 private:
  HostState state_;
};

}  // namespace tarv::host

#endif  // TARV_HOST_REGISTER_H_
