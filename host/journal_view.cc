#include "host/journal_view.h"

#include <fmt/format.h>
#include <google/protobuf/util/time_util.h>

#include <filesystem>

#include "base/try.h"
#include "host/answer.h"
#include "host/files.h"
#include "host/move.h"
#include "host/register.h"
#include "host/register_call.h"
#include "include/tarv_core.h"

namespace tarv::host {
namespace {

using google::protobuf::util::TimeUtil;

}  // namespace

HostResult<EntryAnswer> entry_answer(const JournalEntry& entry) {
  if (entry.export_name == kOpenEntry) {
    google::protobuf::Timestamp at;
    at.ParseFromString(entry.request);
    return EntryAnswer{open_answer(at), 0};
  }
  if (entry.export_name == kMovedEntry) {
    return EntryAnswer{Json{{"export", kMovedEntry}, {"status", 0}, {"moved_to", entry.request}},
                       0};
  }
  const Export* e = find_export(entry.export_name);
  if (e == nullptr) {
    return std::unexpected(Failure{
        Fault::Storage,
        fmt::format("journal entry {} names no export ('{}')", entry.seq, entry.export_name)});
  }
  const CallOutcome outcome = outcome_of(*e, entry);
  return EntryAnswer{answer_json(*e, outcome), outcome.status};
}

Json open_answer(const google::protobuf::Timestamp& at) {
  return {{"export", kOpenEntry}, {"status", 0}, {"opened_at", TimeUtil::ToString(at)}};
}

Json entry_json(const JournalEntry& entry) {
  Json j = {{"seq", entry.seq},
            {"at", entry_time(entry)},
            {"export", entry.export_name},
            {"status", entry.status},
            {"code", entry.code}};
  if (entry.doc_number) j["doc_number"] = *entry.doc_number;
  // What a row of a listing shows besides: the document's currency and sum,
  // the refusal's message.
  const Export* e = find_export(entry.export_name);
  if (e != nullptr && e->numbered && !entry.request.empty()) {
    const auto request = new_message(e->request);
    if (request->ParseFromString(entry.request)) j["currency"] = request_currency(*request);
  }
  if (e != nullptr && entry.status == TARV_STATUS_OK && e->numbered) {
    pb::DocumentResponse response;
    if (response.ParseFromString(entry.response)) j["sum"] = response.sum();
  } else if (e != nullptr && entry.status == TARV_STATUS_ERROR) {
    pb::ErrorResponse error;
    if (error.ParseFromString(entry.response)) j["message"] = error.message();
  }
  j["key"] = entry.key;
  return j;
}

std::string entry_line(const JournalEntry& e) {
  std::string line =
      fmt::format("{:>6}  {}  {:<11} {:>3}  {:>8}  {}  {}", e.seq, entry_time(e), e.export_name,
                  e.status, e.doc_number ? fmt::format("doc {}", *e.doc_number) : "",
                  e.key.empty() ? "-" : e.key, e.code);
  line.erase(line.find_last_not_of(' ') + 1);
  return line + '\n';
}

std::string entry_time(const JournalEntry& entry) {
  return TimeUtil::ToString(TimeUtil::MicrosecondsToTimestamp(entry.at_us));
}

std::string document_file_name(const JournalEntry& entry) {
  if (entry.doc_number) return fmt::format("{}-{}.bin", *entry.doc_number, entry.export_name);
  pb::ReportRequest report;
  report.ParseFromString(entry.request);
  return fmt::format("shift{}-{}.bin", report.context().next_shift_number(), entry.export_name);
}

HostResult<int> export_documents(Store& store, const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    return std::unexpected(
        Failure{Fault::BadInput, fmt::format("cannot create {}: {}", dir, error.message())});
  }
  int written = 0;
  TARV_TRY(for_each_entry(store, [&](const JournalEntry& e) -> HostResult<void> {
    if (e.binary_doc.empty()) return {};
    ++written;
    return write_file((std::filesystem::path(dir) / document_file_name(e)).string(), e.binary_doc);
  }));
  return written;
}

}  // namespace tarv::host
