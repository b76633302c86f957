#include "host/register.h"

#include <fmt/format.h>
#include <google/protobuf/message.h>

#include <string>
#include <type_traits>

#include "include/tarv_core.h"

namespace tarv::host {
namespace {

using google::protobuf::Message;
using google::protobuf::Timestamp;

template <class Row>
using RequestOf = typename std::remove_cvref_t<Row>::Request;

template <class Request>
constexpr bool kReport = std::is_same_v<Request, pb::ReportRequest>;

// Returns f(row, request) with `request` as the row's own class: the typed
// work on a request whose export is not named.
template <class F>
auto visit_request(const Message& request, F&& f) {
  using Result = decltype(f(std::get<0>(kExports), std::declval<const pb::DepositRequest&>()));
  std::optional<Result> result;
  for_each_export([&](const auto& row) {
    using Request = RequestOf<decltype(row)>;
    if (!result && request.GetDescriptor() == Request::descriptor()) {
      result.emplace(f(row, static_cast<const Request&>(request)));
    }
  });
  return result;
}

// The document header of a request (the report has none); null when absent.
template <class Request>
const auto* header_of(const Request& request) {
  if constexpr (kReport<Request>) {
    return static_cast<const pb::Header*>(nullptr);
  } else {
    return request.has_doc() && request.doc().has_header() ? &request.doc().header() : nullptr;
  }
}

template <class Request>
std::string currency_of(const Request& request) {
  const auto* header = header_of(request);
  const std::string currency = header == nullptr ? "" : std::string(header->currency());
  return currency.empty() ? "BYN" : currency;
}

// The time a filled request carries: its header's `at`, the report's
// `close_at`.
template <class Request>
std::optional<Timestamp> time_of(const Request& r) {
  if constexpr (kReport<Request>) {
    if (r.has_close_at()) return r.close_at();
  } else if (const auto* header = header_of(r); header != nullptr && header->has_at()) {
    return header->at();
  }
  return std::nullopt;
}

template <class Row>
HostResult<void> fill_as(const Row& row, RequestOf<Row>& request, const HostState& state,
                         const Timestamp& now) {
  using Request = RequestOf<Row>;
  *request.mutable_context() = state.context();
  if constexpr (kReport<Request>) {
    if (!request.has_close_at()) *request.mutable_close_at() = now;
    *request.mutable_attrs() = state.counters();
    if (request.first_sale() == 0 && request.last_sale() == 0) {
      request.set_first_sale(state.first_sale());
      request.set_last_sale(state.last_sale());
    }
    return {};
  } else {
    const bool has_header = header_of(request) != nullptr;
    if (has_header && !request.doc().header().has_at()) {
      *request.mutable_doc()->mutable_header()->mutable_at() = now;
    }
    request.mutable_attrs()->Clear();
    const auto kept = state.counters().find(currency_of(request));
    if (kept != state.counters().end()) {
      *request.mutable_attrs() = (kept->second.*row.counters.get)();
    }
    if constexpr (kNumbered<Request>) {
      if (!has_header) return {};
      auto& header = *request.mutable_doc()->mutable_header();
      const uint32_t next = state.context().next_doc_number();
      if (header.number() != 0 && header.number() != next) {
        return std::unexpected(Failure{
            Fault::Numbering, fmt::format("the register numbers its documents: the next is {}, "
                                          "the request names {} (0 takes the next)",
                                          next, header.number())});
      }
      header.set_number(next);
    }
    return {};
  }
}

template <class Row>
void take_as(const Row& row, const RequestOf<Row>& request, const CallOutcome& outcome,
             HostState& state) {
  using Request = RequestOf<Row>;
  using Response = typename Row::Response;
  pb::Context& context = *state.mutable_context();
  if (const auto at = time_of(request)) *state.mutable_last_doc_at() = *at;
  if constexpr (kReport<Request>) {
    pb::ShiftContext& shift = *context.mutable_shift_ctx();
    *shift.mutable_closed_at() = request.close_at();
    shift.clear_attrs();
    state.clear_counters();
    state.set_first_sale(0);
    state.set_last_sale(0);
    context.set_next_shift_number(context.next_shift_number() + 1);
  } else {
    const auto& response = static_cast<const Response&>(*outcome.response);
    pb::DocumentsAttributes& all = (*state.mutable_counters())[currency_of(request)];
    *(all.*row.counters.mutable_get)() = response.attrs();
    if constexpr (requires { response.shift_attrs(); }) {
      *context.mutable_shift_ctx()->mutable_attrs() = response.shift_attrs();
    }
    if constexpr (std::is_same_v<Request, pb::SaleRequest>) {
      if (state.first_sale() == 0) state.set_first_sale(context.next_doc_number());
      state.set_last_sale(context.next_doc_number());
    }
    if constexpr (kNumbered<Request>) context.set_next_doc_number(context.next_doc_number() + 1);
  }
}

}  // namespace

std::string request_currency(const Message& request) {
  return visit_request(request, [](const auto&, const auto& r) { return currency_of(r); })
      .value_or("BYN");
}

std::optional<Timestamp> request_time(const Message& request) {
  return visit_request(request, [](const auto&, const auto& r) { return time_of(r); })
      .value_or(std::nullopt);
}

void Register::open_shift(const Timestamp& at) {
  pb::ShiftContext& shift = *state_.mutable_context()->mutable_shift_ctx();
  shift.Clear();
  *shift.mutable_opened_at() = at;
  state_.clear_counters();
  state_.set_first_sale(0);
  state_.set_last_sale(0);
}

HostResult<void> Register::fill(const Export& e, Message& request, const Timestamp& now) const {
  return visit_export(e, [&](const auto& row) {
    return fill_as(row, static_cast<RequestOf<decltype(row)>&>(request), state_, now);
  });
}

void Register::take(const Export& e, const Message& request, const CallOutcome& outcome) {
  if (outcome.status != TARV_STATUS_OK || !outcome.response) return;
  visit_export(e, [&](const auto& row) {
    take_as(row, static_cast<const RequestOf<decltype(row)>&>(request), outcome, state_);
    return 0;
  });
}

}  // namespace tarv::host
