#include "host/store.h"

#include "base/try.h"

namespace tarv::host {

HostResult<void> for_each_entry(Store& store,
                                const std::function<HostResult<void>(const JournalEntry&)>& visit,
                                int64_t first_seq) {
  constexpr int64_t kBatch = 512;
  for (int64_t next = first_seq;;) {
    auto batch = store.entries(next, kBatch);
    TARV_TRY(batch);
    for (const JournalEntry& entry : *batch) {
      TARV_TRY(visit(entry));
      next = entry.seq + 1;
    }
    if (static_cast<int64_t>(batch->size()) < kBatch) return {};
  }
}

}  // namespace tarv::host
