// The heap a binary holds, counted at malloc: every block of the process
// (operator new, the library's response buffers, the C runtime's own) is
// measured by its usable size. Linking heap_meter.cc replaces the C
// runtime's malloc family in the whole binary (glibc only), so it goes into
// benchmark and test binaries of its own, never under a sanitizer.
#ifndef TARV_BENCH_HEAP_METER_H_
#define TARV_BENCH_HEAP_METER_H_

#include <cstddef>
#include <cstdint>

namespace tarv::bench {

// Bytes of heap in use now.
int64_t heap_in_use();

// The peak of heap in use since the last reset, above what was in use then.
class HeapPeak {
 public:
  HeapPeak();
  int64_t bytes() const;

 private:
  int64_t base_;
};

// The bound every export call keeps: its peak heap, the response buffer
// included, is at most 3 × (request bytes + response bytes) + 1 MiB.
constexpr int64_t heap_bound(uint64_t request_bytes, uint64_t response_bytes) {
  return 3 * static_cast<int64_t>(request_bytes + response_bytes) + (int64_t{1} << 20);
}

}  // namespace tarv::bench

#endif  // TARV_BENCH_HEAP_METER_H_
