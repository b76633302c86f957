#include "host/register.h"

#include <fmt/format.h>
#include <google/protobuf/message.h>

#include <string>

#include "include/tarv_core.h"

namespace tarv::host {
namespace {

using google::protobuf::Descriptor;
using google::protobuf::FieldDescriptor;
using google::protobuf::Message;

const FieldDescriptor& field(const Message& m, std::string_view name) {
  return *m.GetDescriptor()->FindFieldByName(std::string(name));
}

// The document header of a request, when the request has a document with one.
const Message* header_of(const Message& request) {
  const FieldDescriptor* doc = request.GetDescriptor()->FindFieldByName("doc");
  if (doc == nullptr || !request.GetReflection()->HasField(request, doc)) return nullptr;
  const Message& d = request.GetReflection()->GetMessage(request, doc);
  const FieldDescriptor* header = d.GetDescriptor()->FindFieldByName("header");
  if (header == nullptr || !d.GetReflection()->HasField(d, header)) return nullptr;
  return &d.GetReflection()->GetMessage(d, header);
}

}  // namespace

std::string request_currency(const Message& request) {
  const Message* header = header_of(request);
  if (header == nullptr) return "BYN";
  std::string currency = header->GetReflection()->GetString(*header, &field(*header, "currency"));
  return currency.empty() ? "BYN" : currency;
}

std::optional<google::protobuf::Timestamp> request_time(const Message& request) {
  if (const auto* report = dynamic_cast<const pb::ReportRequest*>(&request)) {
    if (report->has_close_at()) return report->close_at();
    return std::nullopt;
  }
  const Message* header = header_of(request);
  const FieldDescriptor* at =
      header == nullptr ? nullptr : header->GetDescriptor()->FindFieldByName("at");
  if (at == nullptr || !header->GetReflection()->HasField(*header, at)) return std::nullopt;
  google::protobuf::Timestamp time;
  time.CopyFrom(header->GetReflection()->GetMessage(*header, at));
  return time;
}

void Register::open_shift(const google::protobuf::Timestamp& at) {
  pb::ShiftContext& shift = *state_.mutable_context()->mutable_shift_ctx();
  shift.Clear();
  *shift.mutable_opened_at() = at;
  state_.clear_counters();
  state_.set_first_sale(0);
  state_.set_last_sale(0);
}

HostResult<void> Register::fill(const Export& e, Message& request,
                                const google::protobuf::Timestamp& now) const {
  const auto* reflection = request.GetReflection();
  reflection->MutableMessage(&request, &field(request, "context"))->CopyFrom(state_.context());

  if (auto* report = dynamic_cast<pb::ReportRequest*>(&request)) {
    if (!report->has_close_at()) *report->mutable_close_at() = now;
    *report->mutable_attrs() = state_.counters();
    if (report->first_sale() == 0 && report->last_sale() == 0) {
      report->set_first_sale(state_.first_sale());
      report->set_last_sale(state_.last_sale());
    }
    return {};
  }

  if (const Message* header = header_of(request)) {
    const FieldDescriptor* at = header->GetDescriptor()->FindFieldByName("at");
    if (at != nullptr && !header->GetReflection()->HasField(*header, at)) {
      Message* doc = reflection->MutableMessage(&request, &field(request, "doc"));
      Message* writable = doc->GetReflection()->MutableMessage(doc, &field(*doc, "header"));
      writable->GetReflection()->MutableMessage(writable, at)->CopyFrom(now);
    }
  }

  Message* attrs = reflection->MutableMessage(&request, &field(request, "attrs"));
  attrs->Clear();
  const auto kept = state_.counters().find(request_currency(request));
  if (kept != state_.counters().end()) {
    const pb::DocumentsAttributes& all = kept->second;
    attrs->CopyFrom(all.GetReflection()->GetMessage(all, e.counters));
  }

  if (e.numbered && header_of(request) != nullptr) {
    Message* doc = reflection->MutableMessage(&request, &field(request, "doc"));
    Message* header = doc->GetReflection()->MutableMessage(doc, &field(*doc, "header"));
    const FieldDescriptor& number = field(*header, "number");
    const uint32_t asked = header->GetReflection()->GetUInt32(*header, &number);
    const uint32_t next = state_.context().next_doc_number();
    if (asked != 0 && asked != next) {
      return std::unexpected(Failure{
          Fault::Numbering, fmt::format("the register numbers its documents: the next is {}, the "
                                        "request names {} (0 takes the next)",
                                        next, asked)});
    }
    header->GetReflection()->SetUInt32(header, &number, next);
  }
  return {};
}

void Register::take(const Export& e, const Message& request, const CallOutcome& outcome) {
  if (outcome.status != TARV_STATUS_OK) return;
  pb::Context& context = *state_.mutable_context();
  if (const auto at = request_time(request)) *state_.mutable_last_doc_at() = *at;

  if (const auto* report = dynamic_cast<const pb::ReportRequest*>(&request)) {
    pb::ShiftContext& shift = *context.mutable_shift_ctx();
    *shift.mutable_closed_at() = report->close_at();
    shift.clear_attrs();
    state_.clear_counters();
    state_.set_first_sale(0);
    state_.set_last_sale(0);
    context.set_next_shift_number(context.next_shift_number() + 1);
    return;
  }

  pb::DocumentsAttributes& all = (*state_.mutable_counters())[request_currency(request)];
  Message* kind = all.GetReflection()->MutableMessage(&all, e.counters);
  if (const auto* order = dynamic_cast<const pb::OrderResponse*>(outcome.response.get())) {
    kind->CopyFrom(order->attrs());
    return;
  }

  pb::DocumentResponse response;
  response.ParseFromString(outcome.bytes);
  *context.mutable_shift_ctx()->mutable_attrs() = response.shift_attrs();
  kind->ParseFromString(response.attrs());
  if (e.name == "sale") {
    if (state_.first_sale() == 0) state_.set_first_sale(context.next_doc_number());
    state_.set_last_sale(context.next_doc_number());
  }
  if (e.numbered) context.set_next_doc_number(context.next_doc_number() + 1);
}

}  // namespace tarv::host
