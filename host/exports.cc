#include "host/exports.h"

#include <google/protobuf/message.h>

#include <string>
#include <type_traits>
#include <vector>

#include "include/tarv_core.h"

namespace tarv::host {
namespace {

using google::protobuf::Descriptor;
using google::protobuf::Message;

// The exports of the shared table as rows, with whether each takes a
// document number.
const std::vector<Export>& table() {
  static const std::vector<Export> t = [] {
    std::vector<Export> rows;
    for_each_export([&](const auto& row) {
      using Row = std::remove_cvref_t<decltype(row)>;
      rows.push_back({row.name, row.symbol, row.fn, Row::Request::descriptor(),
                      Row::Response::descriptor(), kNumbered<typename Row::Request>,
                      rows.size()});
    });
    return rows;
  }();
  return t;
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

const pb::ErrorResponse* CallOutcome::error() const {
  return status == TARV_STATUS_ERROR ? dynamic_cast<const pb::ErrorResponse*>(response.get())
                                     : nullptr;
}

CallOutcome call(const Export& e, const Message& request) {
  return call(e, request.SerializeAsString());
}

CallOutcome call(const Export& e, std::string_view bytes) {
  uint8_t* buffer = nullptr;
  uint64_t length = 0;
  const uint8_t status =
      e.fn(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &buffer, &length);
  if (status == TARV_STATUS_UNDECODABLE) return parse_outcome(e, status, {});
  std::string response(reinterpret_cast<const char*>(buffer), length);
  tarvcore_free_buffer(buffer, length);
  return parse_outcome(e, status, std::move(response));
}

CallOutcome parse_outcome(const Export& e, uint8_t status, std::string bytes) {
  CallOutcome out;
  out.status = status;
  out.bytes = std::move(bytes);
  if (out.status == TARV_STATUS_OK) {
    visit_export(e, [&](const auto& row) {
      using Response = std::remove_cvref_t<decltype(row)>::Response;
      auto response = std::make_unique<Response>();
      if (!response->ParseFromString(out.bytes)) return 0;
      if constexpr (requires { response->binary_doc(); }) out.binary_doc = response->binary_doc();
      out.response = std::move(response);
      return 0;
    });
  } else if (out.status == TARV_STATUS_ERROR) {
    auto error = std::make_unique<pb::ErrorResponse>();
    if (error->ParseFromString(out.bytes)) out.response = std::move(error);
  }
  return out;
}

}  // namespace tarv::host
