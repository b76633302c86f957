// Journal entries as the host shows them: the answer a call printed, given
// back exactly, and one line of JSON per entry for listings.
#ifndef TARV_HOST_JOURNAL_VIEW_H_
#define TARV_HOST_JOURNAL_VIEW_H_

#include <google/protobuf/timestamp.pb.h>

#include <string>

#include "host/failure.h"
#include "host/json.h"
#include "host/store.h"

namespace tarv::host {

// The answer as the call (or the shift's opening) was printed when the entry
// was made, and the library's status it had (0 for an opening).
struct EntryAnswer {
  Json json;
  int status = 0;
};
HostResult<EntryAnswer> entry_answer(const JournalEntry& entry);

// What `tarv open` prints: {"export": "open", "status": 0, "opened_at": ...}.
Json open_answer(const google::protobuf::Timestamp& at);

// {"seq", "at", "export", "status", "code", "doc_number" (only with a
// document), "currency" and "sum" (a document's), "message" (an error
// response's), "key"}: what a listing shows of an entry, so that one request
// for a page of entries draws it.
Json entry_json(const JournalEntry& entry);

// One line of a listing (ending in a line break): number, time, export,
// status, document number, key ("-" without) and error code.
std::string entry_line(const JournalEntry& entry);

// The entry's time as RFC 3339 text in UTC, to the microsecond.
std::string entry_time(const JournalEntry& entry);

// The file name of the entry's binary document: DOCNUMBER-KIND.bin, or
// shiftN-report.bin for the shift-close report (it has no document number).
std::string document_file_name(const JournalEntry& entry);

// Writes each binary document of the journal into `dir` (made when missing)
// under its document_file_name; how many were written.
HostResult<int> export_documents(Store& store, const std::string& dir);

}  // namespace tarv::host

#endif  // TARV_HOST_JOURNAL_VIEW_H_
