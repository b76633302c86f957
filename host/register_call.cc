#include "host/register_call.h"

#include <fmt/format.h>
#include <google/protobuf/util/time_util.h>

#include <algorithm>
#include <utility>

#include "base/try.h"
#include "host/encode.h"
#include "host/move.h"
#include "host/register.h"
#include "include/tarv_core.h"

namespace tarv::host {
using google::protobuf::Message;

HostResult<void> check_key(std::string_view key) {
  constexpr size_t kLongest = 255;
  const bool visible = std::ranges::all_of(key, [](char c) { return c > ' ' && c < 0x7f; });
  if (key.empty() || key.size() > kLongest || !visible) {
    return std::unexpected(
        Failure{Fault::BadInput,
                fmt::format("a key is 1 to {} visible ASCII characters (no spaces)", kLongest)});
  }
  return {};
}

google::protobuf::Timestamp register_clock() {
  google::protobuf::Timestamp now = google::protobuf::util::TimeUtil::GetCurrentTime();
  now.set_nanos(0);
  return now;
}

// A document dated before the register's last one is refused before the
// library is called: the register's clock ran backwards.
static HostResult<void> check_clock(const HostState& state, const Message& request) {
  using google::protobuf::util::TimeUtil;
  const auto at = request_time(request);
  if (!at || !state.has_last_doc_at() || !(*at < state.last_doc_at())) return {};
  return std::unexpected(Failure{
      Fault::BadInput,
      fmt::format("the document is dated {}, before the register's last one ({}): the register's "
                  "clock may have run backwards; set it right, or date the document at or after "
                  "the last one; nothing was called",
                  TimeUtil::ToString(*at), TimeUtil::ToString(state.last_doc_at()))});
}

// A shift-close report dated before its shift was opened would close the
// shift before it began: refused like a clock that ran backwards (the
// library checks the documents' times against the opening, not the
// report's).
static HostResult<void> check_close_after_opening(const HostState& state,
                                                  const Message& request) {
  using google::protobuf::util::TimeUtil;
  const auto* report = dynamic_cast<const tarv::core::ReportRequest*>(&request);
  const auto& shift = state.context().shift_ctx();
  if (report == nullptr || !shift.has_opened_at() || shift.has_closed_at() ||
      !(report->close_at() < shift.opened_at())) {
    return {};
  }
  return std::unexpected(Failure{
      Fault::BadInput,
      fmt::format("the report closes the shift at {}, before it was opened ({}): the register's "
                  "clock may have run backwards; set it right, or date the report at or after the "
                  "opening; nothing was called",
                  TimeUtil::ToString(report->close_at()), TimeUtil::ToString(shift.opened_at()))});
}

HostResult<Committed> call_register(Store& store, const Export& e, const Message& request,
                                    const std::string& key) {
  if (!key.empty()) TARV_TRY(check_key(key));
  const std::string asked = encode(request);
  return store.call(key, e.name, asked, [&](const HostState& state) -> HostResult<CallRecord> {
    TARV_TRY(check_not_moved(state));
    Register reg(state);
    const auto filled = new_message(e.request);
    filled->CopyFrom(request);
    TARV_TRY(reg.fill(e, *filled, register_clock()));
    TARV_TRY(check_clock(state, *filled));
    TARV_TRY(check_close_after_opening(state, *filled));

    CallRecord record;
    JournalEntry& entry = record.entry;
    entry.export_name = std::string(e.name);
    entry.request = encode(*filled);
    CallOutcome outcome = call(e, entry.request);
    if (outcome.status != TARV_STATUS_UNDECODABLE && !outcome.response) {
      return std::unexpected(Failure{
          Fault::Library, fmt::format("{} answered status {} with a response that does not parse",
                                      e.symbol, outcome.status)});
    }
    entry.status = outcome.status;
    if (const auto* error = outcome.error()) entry.code = error->code();
    entry.response = outcome.bytes;
    entry.binary_doc = outcome.binary_doc;
    if (outcome.status == TARV_STATUS_OK) {
      if (e.numbered) entry.doc_number = state.context().next_doc_number();
      reg.take(e, *filled, outcome);
      record.new_state = reg.state();
    }
    return record;
  });
}

HostResult<Committed> open_shift(Store& store, const google::protobuf::Timestamp& at,
                                 const std::string& key, std::string_view asked) {
  if (!key.empty()) TARV_TRY(check_key(key));
  const std::string time = encode(at);
  const std::string given = key.empty() || asked.empty() ? time : std::string(asked);
  return store.call(key, kOpenEntry, given, [&](const HostState& state) -> HostResult<CallRecord> {
    TARV_TRY(check_not_moved(state));
    const pb::ShiftContext& shift = state.context().shift_ctx();
    if (!shift.has_closed_at() && shift.has_opened_at()) {
      return std::unexpected(
          Failure{Fault::Refused, "the shift is open: a shift-close report ends it first"});
    }
    Register reg(state);
    reg.open_shift(at);
    CallRecord record;
    record.entry.export_name = std::string(kOpenEntry);
    record.entry.request = time;
    record.new_state = reg.state();
    return record;
  });
}

CallOutcome outcome_of(const Export& e, const JournalEntry& entry) {
  return parse_outcome(e, static_cast<uint8_t>(entry.status), entry.response);
}

}  // namespace tarv::host
