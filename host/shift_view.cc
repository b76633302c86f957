#include "host/shift_view.h"

#include <google/protobuf/util/time_util.h>

#include <algorithm>

#include "base/try.h"
#include "host/move.h"
#include "host/register_call.h"
#include "include/tarv_core.h"

namespace tarv::host {
namespace {

using google::protobuf::util::TimeUtil;

// Journal entries read at a time, walking back.
constexpr int64_t kBatch = 500;

struct Counted {
  int64_t documents = 0;
  int64_t refusals = 0;
  int64_t last_entry = 0;  // the journal's, 0 when it is empty
};

bool is_close(const JournalEntry& e) { return e.export_name == "report" && e.status == 0; }

// The shift's entries, from the last back to the one before its start: the
// opening ("open") or the report that closed the shift before. A closed
// shift ends with its own report, which counts.
HostResult<Counted> count_shift(Store& store, bool closed) {
  Counted counted;
  auto last = store.last();
  TARV_TRY(last);
  bool own_close_seen = !closed;
  counted.last_entry = *last ? (*last)->seq : 0;
  for (int64_t end = counted.last_entry; end >= 1;) {
    const int64_t first = std::max<int64_t>(1, end - kBatch + 1);
    auto batch = store.entries(first, end - first + 1);
    TARV_TRY(batch);
    for (auto e = batch->rbegin(); e != batch->rend(); ++e) {
      if (e->export_name == kOpenEntry || (is_close(*e) && own_close_seen)) return counted;
      if (is_close(*e)) own_close_seen = true;
      if (e->export_name == kMovedEntry) continue;  // no document: where the register went
      ++(e->status == TARV_STATUS_OK ? counted.documents : counted.refusals);
    }
    end = first - 1;
  }
  return counted;
}

int64_t value_sum(const pb::GroupedDocumentAttributeValues& grouped) {
  return grouped.values().sum();
}

Json document_takings(const pb::DocumentAttributes& kind) {
  int64_t cash = 0, card = 0, other = 0;
  for (const auto& [currency, paid] : kind.payments()) {
    cash += paid.cash().sum();
    card += value_sum(paid.card());
    other += value_sum(paid.other());
  }
  return {{"count", kind.count()},
          {"sum", kind.sum()},
          {"cash", cash},
          {"card", card},
          {"other", other}};
}

}  // namespace

HostResult<Json> shift_json(Store& store) {
  auto state = store.state();
  TARV_TRY(state);
  const pb::Context& context = state->context();
  const pb::ShiftContext& shift = context.shift_ctx();
  const bool open = shift.has_opened_at() && !shift.has_closed_at();
  auto counted = count_shift(store, !open);
  TARV_TRY(counted);

  Json j = {{"shift", open ? context.next_shift_number()
                           : std::max<uint32_t>(context.next_shift_number(), 1) - 1},
            {"open", open}};
  if (shift.has_opened_at()) j["opened_at"] = TimeUtil::ToString(shift.opened_at());
  if (shift.has_closed_at()) j["closed_at"] = TimeUtil::ToString(shift.closed_at());
  j["documents"] = counted->documents;
  j["refusals"] = counted->refusals;
  j["next_document"] = context.next_doc_number();
  j["last_entry"] = counted->last_entry;
  Json takings = Json::object();
  for (const auto& [currency, kinds] : state->counters()) {
    takings[currency] = {{"sales", document_takings(kinds.sales())},
                         {"refunds", document_takings(kinds.refunds())},
                         {"rollbacks", document_takings(kinds.rollbacks())},
                         {"deposits", kinds.deposits().cash().sum()},
                         {"withdrawals", kinds.withdraws().cash().sum()},
                         {"card_holder_withdrawals", kinds.ch_withdraws().cash().sum()}};
  }
  j["takings"] = std::move(takings);
  Json drawer = Json::object();
  for (const auto& [currency, position] : shift.attrs()) drawer[currency] = position.cash_in();
  j["drawer"] = std::move(drawer);
  return j;
}

}  // namespace tarv::host
