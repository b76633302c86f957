#include "host/journal_check.h"

#include <fmt/format.h>
#include <google/protobuf/timestamp.pb.h>

#include "base/try.h"
#include "host/encode.h"
#include "host/move.h"
#include "host/register.h"
#include "host/register_call.h"
#include "include/tarv_core.h"

namespace tarv::host {
namespace {

Failure differs(const JournalEntry& entry, std::string_view what) {
  return Failure{Fault::Refused,
                 fmt::format("journal entry {} ({}): {}", entry.seq, entry.export_name, what)};
}

// One entry replayed on `reg`, which it advances.
HostResult<void> replay(Register& reg, const JournalEntry& entry) {
  if (entry.export_name == kOpenEntry) {
    google::protobuf::Timestamp at;
    if (!at.ParseFromString(entry.request)) return std::unexpected(differs(entry, "no time"));
    reg.open_shift(at);
    return {};
  }
  if (entry.export_name == kMovedEntry) {
    HostState moved = reg.state();
    moved.set_moved_to(entry.request);
    reg = Register(std::move(moved));
    return {};
  }
  const Export* e = find_export(entry.export_name);
  if (e == nullptr) return std::unexpected(differs(entry, "no such export"));
  if (entry.status == TARV_STATUS_UNDECODABLE && entry.request.empty()) {
    // Text that was no request: the library never saw it.
    if (!entry.response.empty() || !entry.binary_doc.empty()) {
      return std::unexpected(differs(entry, "an answer to a request that did not decode"));
    }
    return {};
  }
  const auto request = new_message(e->request);
  if (!request->ParseFromString(entry.asked)) {
    return std::unexpected(differs(entry, "what was asked does not decode"));
  }
  // The register's clock at the call is the time it stamped, if it did.
  const auto stored = new_message(e->request);
  const auto stamped =
      stored->ParseFromString(entry.request) ? request_time(*stored) : std::nullopt;
  if (!reg.fill(*e, *request, stamped.value_or(google::protobuf::Timestamp())) ||
      encode(*request) != entry.request) {
    return std::unexpected(differs(entry, "its request is not what the register made of it"));
  }
  const CallOutcome outcome = call(*e, entry.request);
  if (outcome.status != entry.status) {
    return std::unexpected(
        differs(entry, fmt::format("the library answers status {}, the journal holds {}",
                                   outcome.status, entry.status)));
  }
  if (outcome.bytes != entry.response) {
    return std::unexpected(differs(entry, "the library's response differs from the journal's"));
  }
  if (outcome.binary_doc != entry.binary_doc) {
    return std::unexpected(differs(entry, "its binary document differs from the response's"));
  }
  const std::optional<uint32_t> number =
      outcome.status == TARV_STATUS_OK && e->numbered
          ? std::optional<uint32_t>(reg.state().context().next_doc_number())
          : std::nullopt;
  if (number != entry.doc_number) {
    return std::unexpected(differs(entry, "its document number differs"));
  }
  if (outcome.status == TARV_STATUS_OK) reg.take(*e, *request, outcome);
  return {};
}

}  // namespace

HostResult<int64_t> check_journal(Store& store) {
  auto initial = store.initial_state();
  TARV_TRY(initial);
  Register reg(std::move(*initial));
  int64_t checked = 0;
  TARV_TRY(for_each_entry(store, [&](const JournalEntry& entry) -> HostResult<void> {
    if (entry.seq != checked + 1) {
      return std::unexpected(Failure{
          Fault::Refused,
          fmt::format("journal entry {} is missing (the next is {})", checked + 1, entry.seq)});
    }
    ++checked;
    return replay(reg, entry);
  }));
  auto now = store.state();
  TARV_TRY(now);
  HostState made = reg.state();
  // A state written before registers kept their last document's time has
  // none until the register's next document.
  if (!now->has_last_doc_at()) made.clear_last_doc_at();
  if (encode(*now) != encode(made)) {
    return std::unexpected(Failure{
        Fault::Refused,
        fmt::format("the register's state is not what its {} journal entries make", checked)});
  }
  return checked;
}

}  // namespace tarv::host
