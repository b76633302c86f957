#include "host/register_routes.h"

#include <fmt/format.h>
#include <google/protobuf/util/time_util.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <variant>

#include "base/try.h"
#include "converter/document.h"
#include "host/answer.h"
#include "host/doc_view.h"
#include "host/journal_view.h"
#include "host/receipt/escpos.h"
#include "host/receipt/receipt.h"
#include "host/receipt/text.h"
#include "host/json.h"
#include "host/register_call.h"
#include "host/shift_view.h"
#include "include/tarv_core.h"

namespace tarv::host {
namespace {

// Journal entries a listing gives when the query names no limit, and at most.
constexpr int64_t kListed = 100;
constexpr int64_t kMostListed = 1000;

// A decimal number of the query; nullopt for anything else.
std::optional<int64_t> number(std::string_view text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// The value of `name` in a query "a=1&b=2"; nullopt when it is absent.
std::optional<std::string_view> query_value(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const size_t eq = pair.find('=');
    if (pair.substr(0, eq) == name) {
      return eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return std::nullopt;
}

// A committed call's answer with its journal entry's headers.
Reply committed_reply(Reply reply, const Committed& committed) {
  reply.headers.emplace_back("Tarv-Journal-Seq", std::to_string(committed.entry.seq));
  if (committed.repeated) reply.headers.emplace_back("Tarv-Repeated", "true");
  return reply;
}

// The journal entry SEQ of the path; a 404 reply when there is none.
HostResult<std::variant<JournalEntry, Reply>> entry_of(const RoutePath& path, Store& store) {
  auto found = store.entry(path.seq);
  TARV_TRY(found);
  if (!*found) return not_found_reply(fmt::format("journal entry {}", path.seq));
  return std::move(**found);
}

}  // namespace

Reply not_found_reply(std::string_view what) {
  return failure_reply(Failure{Fault::NotFound, fmt::format("no {}", what)});
}

HostResult<Reply> post_call(const Asked& asked, const RoutePath& path, RegisterAt& reg) {
  const Export& e = *path.e;
  const auto request = new_message(e.request);
  TARV_TRY(parse_json(asked.body, *request, "the request", Fault::Undecodable));
  const auto committed = call_register(reg.store, e, *request, std::string(asked.idempotency_key));
  if (committed) reg.leave();  // the answer is made while the next call runs
  TARV_TRY(committed);
  const CallOutcome outcome = outcome_of(e, committed->entry);
  const int status = outcome.status == TARV_STATUS_OK      ? 200
                     : outcome.status == TARV_STATUS_ERROR ? 422
                                                           : 400;
  return committed_reply(json_reply(answer_json(e, outcome), status), *committed);
}

HostResult<Reply> post_open(const Asked& asked, const RoutePath&, RegisterAt& reg) {
  // {"at": TIME} is a few dozen bytes: a larger body is not parsed at all.
  constexpr size_t kOpenBody = 1 << 10;
  if (asked.body.size() > kOpenBody) {
    return error_reply(413, fmt::format("the body of an opening is at most {} bytes", kOpenBody));
  }
  const Json body = Json::parse(asked.body, nullptr, false);
  google::protobuf::Timestamp at = register_clock();
  const bool only_at = body.is_object() && std::ranges::all_of(body.items(), [](const auto& item) {
                         return item.key() == "at";
                       });
  if (!only_at ||
      (body.contains("at") && (!body["at"].is_string() ||
                               !google::protobuf::util::TimeUtil::FromString(body["at"], &at)))) {
    return std::unexpected(Failure{
        Fault::Undecodable, R"(the body is {} or {"at": TIME}, TIME like "2024-03-16T06:00:00Z")"});
  }
  const auto opened = open_shift(reg.store, at, std::string(asked.idempotency_key), asked.body);
  if (opened) reg.leave();
  TARV_TRY(opened);
  const auto answer = entry_answer(opened->entry);  // a repeat's time is the stored one
  TARV_TRY(answer);
  return committed_reply(json_reply(answer->json), *opened);
}

HostResult<Reply> get_journal(const Asked& asked, const RoutePath&, RegisterAt& reg) {
  const auto from = number(query_value(asked.query, "from").value_or("1"));
  const auto limit = number(query_value(asked.query, "limit").value_or(std::to_string(kListed)));
  if (!from || !limit) {
    return std::unexpected(Failure{Fault::BadInput, "from and limit are whole numbers"});
  }
  const auto listed = reg.store.entries(std::max<int64_t>(*from, 1), std::min(*limit, kMostListed));
  TARV_TRY(listed);
  Json all = Json::array();
  for (const JournalEntry& entry : *listed) all.push_back(entry_json(entry));
  return json_reply(all);
}

HostResult<Reply> get_entry(const Asked&, const RoutePath& path, RegisterAt& reg) {
  auto entry = entry_of(path, reg.store);
  TARV_TRY(entry);
  if (auto* none = std::get_if<Reply>(&*entry)) return std::move(*none);
  const auto answer = entry_answer(std::get<JournalEntry>(*entry));
  TARV_TRY(answer);
  return json_reply(answer->json);
}

HostResult<Reply> get_document(const Asked&, const RoutePath& path, RegisterAt& reg) {
  auto found = entry_of(path, reg.store);
  TARV_TRY(found);
  if (auto* none = std::get_if<Reply>(&*found)) return std::move(*none);
  JournalEntry& entry = std::get<JournalEntry>(*found);
  if (entry.binary_doc.empty()) {
    return not_found_reply(fmt::format("document in journal entry {}", entry.seq));
  }
  return body_reply(std::move(entry.binary_doc), "application/octet-stream");
}

HostResult<Reply> get_receipt(const Asked& asked, const RoutePath& path, RegisterAt& reg) {
  const std::optional<size_t> width =
      receipt_width(query_value(asked.query, "width").value_or("44"));
  if (!width) return std::unexpected(Failure{Fault::BadInput, "width is 32, 44 or 48"});
  const bool copy = query_value(asked.query, "copy").has_value();
  const bool escpos = query_value(asked.query, "escpos").has_value();
  auto found = entry_of(path, reg.store);
  TARV_TRY(found);
  if (auto* none = std::get_if<Reply>(&*found)) return std::move(*none);
  const JournalEntry& entry = std::get<JournalEntry>(*found);
  const Export* e = find_export(entry.export_name);
  const std::unique_ptr<google::protobuf::Message> response =
      e == nullptr ? nullptr : outcome_of(*e, entry).response;
  Receipt receipt;
  if (entry.binary_doc.empty()) {
    if (response != nullptr) receipt = order_receipt_of(*response, copy);  // an order
  } else if (const auto doc = converter::decode({reinterpret_cast<const uint8_t*>(
                                                     entry.binary_doc.data()),
                                                 entry.binary_doc.size()})) {
    receipt = receipt_of(*doc, receipt_extras(response.get()), copy);
  }
  if (receipt.rows.empty()) {
    return not_found_reply(fmt::format("readable document in journal entry {}", entry.seq));
  }
  if (escpos) return body_reply(receipt_escpos(receipt, *width), "application/octet-stream");
  return body_reply(receipt_text(receipt, *width), "text/plain; charset=utf-8");
}

HostResult<Reply> get_state(const Asked&, const RoutePath&, RegisterAt& reg) {
  const auto state = reg.store.state();
  TARV_TRY(state);
  return body_reply(to_json(*state));
}

HostResult<Reply> get_shift(const Asked&, const RoutePath&, RegisterAt& reg) {
  const auto shift = shift_json(reg.store);
  TARV_TRY(shift);
  return json_reply(*shift);
}

}  // namespace tarv::host
