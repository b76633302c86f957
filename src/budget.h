// The memory budget of an export call: every byte the library allocates
// while a call runs (operator new, which every container and string of the
// library and of its static C++ runtime comes to, and the response buffers
// of src/heap.h) is charged to the call's budget on its thread, and given
// back when freed. The budget is
//
//   3 × (request bytes + response bytes) + 1 MiB,
//
// where the response bytes are those the call has made so far once it is
// known to pass (the calculators say so with respond()) and, at its answer,
// the whole response. An allocation that would take the bytes in use past it
// throws Exhausted before any memory is taken; the frame (src/frame.h)
// catches it once everything the call held is given back and answers with
// the error "tarv.core.input.memory". Call::take() in budget.cc is the one
// check.
//
// Blocks are charged at the size the C runtime reserves for them (its usable
// size where it tells it), which is what a heap counted at malloc sees.
#ifndef TARV_SRC_BUDGET_H_
#define TARV_SRC_BUDGET_H_

#include <cstddef>
#include <cstdint>
#include <new>

namespace tarv::budget {

// Thrown by an allocation that the call's budget does not cover.
class Exhausted : public std::bad_alloc {
 public:
  const char* what() const noexcept override;
};

// 3 × (request + response) + 1 MiB, saturating.
constexpr uint64_t bound(uint64_t request_bytes, uint64_t response_bytes) {
  const uint64_t bytes = request_bytes + response_bytes;
  if (bytes < request_bytes || bytes > (UINT64_MAX - (uint64_t{1} << 20)) / 3) return UINT64_MAX;
  return 3 * bytes + (uint64_t{1} << 20);
}

// The budget of one call on this thread, from its construction (the call's
// start) to its destruction; a call opened while another runs on the thread
// is charged to the outer one. An unbounded call (the test variant's, when a
// test has every field held, outside the design the bound rests on) is
// counted but never stopped.
class Call {
 public:
  explicit Call(uint64_t request_bytes, bool bounded = true) noexcept;
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  // The most bytes in use at once so far, and the budget now.
  uint64_t peak() const { return peak_; }
  uint64_t limit() const { return limit_; }

 private:
  friend void respond(uint64_t bytes) noexcept;
  friend void respond_whole(uint64_t bytes) noexcept;
  friend void take(size_t bytes);
  friend void give(size_t bytes) noexcept;
  friend void* allocate(size_t size);
  friend void release(void* block) noexcept;

  void grow();
  // Charges `bytes`, or throws Exhausted charging nothing: the one check of
  // the budget, which every allocation of the call passes.
  void take(size_t bytes);
  void give(size_t bytes) noexcept;

  Call* outer_;
  bool bounded_;
  uint64_t request_;
  uint64_t response_ = 0;
  uint64_t limit_;
  uint64_t in_use_ = 0;
  uint64_t peak_ = 0;
};

// The call's response will hold `bytes` more bytes than respond() said so
// far: bytes the call makes once nothing but its budget can refuse it.
void respond(uint64_t bytes) noexcept;

// The call's response is `bytes` long in all (at least what respond() said).
void respond_whole(uint64_t bytes) noexcept;

// Charges `bytes` to the running call, if any (Call::take).
void take(size_t bytes);

// Gives `bytes` back to the running call, if any.
void give(size_t bytes) noexcept;

// A block of `size` bytes from the C runtime's malloc, charged at the most it
// may reserve for it before it is asked, then at what it reserved; throws
// Exhausted, or std::bad_alloc when the runtime has no memory. Every
// operator new of the library comes here.
void* allocate(size_t size);

// Frees a block of allocate() and gives its bytes back; nullptr does nothing.
void release(void* block) noexcept;

}  // namespace tarv::budget

#endif  // TARV_SRC_BUDGET_H_
