// How a decode holds a request's repeated fields and maps: while they fit
// the hold budget (Cursor), as the library always does, or, for tests that
// compare the two ways of carrying a field, every one held or every one left
// in the request. The library's test variant (tarv_core_testing, built with
// TARV_HOLD_HOOK) lets a test choose, and the call frame reads the choice
// once per call; the library as it ships has no such choice. The test
// variant also counts the elements of each type that walks of fields left in
// the request decode again, so that a test can bound how often a call reads
// a line.
#ifndef TARV_SRC_WIRE_HOLDING_H_
#define TARV_SRC_WIRE_HOLDING_H_

#include <cstdint>
#ifdef TARV_HOLD_HOOK
#include <atomic>
#endif

namespace tarv::wire {

enum class Holding : uint8_t { kWithinBudget, kAll, kNone };

#ifdef TARV_HOLD_HOOK
inline std::atomic<Holding> forced_holding{Holding::kWithinBudget};
template <class T>
inline std::atomic<uint64_t> walk_decodes{0};
#endif

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_HOLDING_H_
