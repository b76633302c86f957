#include "tools/host.h"

#include <google/protobuf/message.h>

#include <string>
#include <type_traits>
#include <vector>

#include "include/tarv_core.h"
#include "tests/support/exports.h"

namespace tarv::tool {
namespace {

using google::protobuf::Descriptor;
using google::protobuf::FieldDescriptor;
using google::protobuf::Message;

// The exports of the shared table, with what the register needs to know of
// each: where its counters live and whether it takes a document number.
const std::vector<Export>& table() {
  static const std::vector<Export> t = [] {
    std::vector<Export> rows;
    support::for_each_export([&](const auto& row) {
      using Row = std::remove_cvref_t<decltype(row)>;
      // A kind's counters are the DocumentsAttributes field named by its
      // plural ("sales"); the report has none of its own.
      const FieldDescriptor* counters =
          pb::DocumentsAttributes::descriptor()->FindFieldByName(std::string(row.name) + "s");
      rows.push_back({row.name, row.symbol, row.fn, Row::Request::descriptor(),
                      Row::Response::descriptor(), counters,
                      row.name != "report" && row.name != "order"});
    });
    return rows;
  }();
  return t;
}

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

std::span<const Export> exports() { return table(); }

const Export* find_export(std::string_view name) {
  for (const Export& e : table()) {
    if (e.name == name || e.symbol == name) return &e;
  }
  return nullptr;
}

std::string export_names() {
  std::string names;
  for (const Export& e : table()) {
    if (!names.empty()) names += ", ";
    names += e.name;
  }
  return names;
}

std::unique_ptr<Message> new_message(const Descriptor* type) {
  return std::unique_ptr<Message>(
      google::protobuf::MessageFactory::generated_factory()->GetPrototype(type)->New());
}

const pb::ErrorResponse* Outcome::error() const {
  return status == TARV_STATUS_ERROR ? dynamic_cast<const pb::ErrorResponse*>(response.get())
                                     : nullptr;
}

Outcome call(const Export& e, const Message& request) {
  const std::string bytes = request.SerializeAsString();
  uint8_t* buffer = nullptr;
  uint64_t length = 0;
  Outcome out;
  out.status = e.fn(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &buffer, &length);
  if (out.status == TARV_STATUS_UNDECODABLE) return out;
  out.bytes.assign(reinterpret_cast<const char*>(buffer), length);
  tarvcore_free_buffer(buffer, length);

  std::unique_ptr<Message> response;
  if (out.status == TARV_STATUS_OK) {
    response = new_message(e.response);
  } else if (out.status == TARV_STATUS_ERROR) {
    response = std::make_unique<pb::ErrorResponse>();
  }
  if (response && response->ParseFromString(out.bytes)) {
    if (const FieldDescriptor* doc = response->GetDescriptor()->FindFieldByName("binary_doc")) {
      out.binary_doc = response->GetReflection()->GetString(*response, doc);
    }
    out.response = std::move(response);
  }
  return out;
}

std::string request_currency(const Message& request) {
  const Message* header = header_of(request);
  if (header == nullptr) return "BYN";
  std::string currency = header->GetReflection()->GetString(*header, &field(*header, "currency"));
  return currency.empty() ? "BYN" : currency;
}

void Register::open_shift(const google::protobuf::Timestamp& at) {
  pb::ShiftContext& shift = *state_.mutable_context()->mutable_shift_ctx();
  shift.Clear();
  *shift.mutable_opened_at() = at;
  state_.clear_counters();
  state_.set_first_sale(0);
  state_.set_last_sale(0);
}

void Register::fill(const Export& e, Message& request) const {
  const auto* reflection = request.GetReflection();
  reflection->MutableMessage(&request, &field(request, "context"))->CopyFrom(state_.context());

  if (auto* report = dynamic_cast<pb::ReportRequest*>(&request)) {
    *report->mutable_attrs() = state_.counters();
    if (report->first_sale() == 0 && report->last_sale() == 0) {
      report->set_first_sale(state_.first_sale());
      report->set_last_sale(state_.last_sale());
    }
    return;
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
    if (header->GetReflection()->GetUInt32(*header, &number) == 0) {
      header->GetReflection()->SetUInt32(header, &number, state_.context().next_doc_number());
    }
  }
}

void Register::take(const Export& e, const Message& request, const Outcome& outcome) {
  if (outcome.status != TARV_STATUS_OK) return;
  pb::Context& context = *state_.mutable_context();

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

}  // namespace tarv::tool
