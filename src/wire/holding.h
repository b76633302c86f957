// How a decode holds a request's repeated fields and maps: while they fit
// the hold budget (Cursor), as the library always does, or, for tests that
// compare the two ways of carrying a field, every one held or every one left
// in the request. A test that links the library's objects (tarv_core_static)
// sets forced_holding, and the call frame reads it once per call; the
// shared library exports neither variable, so no host can reach the choice.
// While a holding is forced, walks of fields left in the request count the
// elements of each type they decode again, so that a test can bound how
// often a call reads a line.
#ifndef TARV_SRC_WIRE_HOLDING_H_
#define TARV_SRC_WIRE_HOLDING_H_

#include <atomic>
#include <cstdint>

namespace tarv::wire {

enum class Holding : uint8_t { kWithinBudget, kAll, kNone };

inline std::atomic<Holding> forced_holding{Holding::kWithinBudget};
template <class T>
inline std::atomic<uint64_t> walk_decodes{0};

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_HOLDING_H_
