#include "src/budget.h"

#include <cstdlib>
#include <new>

#if defined(_WIN32) || defined(__linux__)
#include <malloc.h>
#elif defined(__APPLE__)
#include <malloc/malloc.h>
#endif

namespace tarv::budget {
namespace {

constinit thread_local Call* t_call = nullptr;

// What the C runtime reserved for `block`: the bytes a heap counted at
// malloc sees.
size_t reserved(void* block) {
#if defined(_WIN32)
  return _msize(block);
#elif defined(__linux__)
  return malloc_usable_size(block);
#elif defined(__APPLE__)
  return malloc_size(block);
#else
#error "the usable size of a malloc block on this platform"
#endif
}

// The most the C runtime reserves for a request of `size` bytes: a small
// block rounds up by less than 32 bytes, a block it maps by less than a page.
constexpr size_t kPage = 4096;
size_t most_reserved(size_t size) {
  const size_t slack = size < kPage ? 32 : kPage + 32;
  return size > SIZE_MAX - slack ? SIZE_MAX : size + slack;
}

}  // namespace

const char* Exhausted::what() const noexcept { return "the call passed its memory budget"; }

Call::Call(uint64_t request_bytes, bool bounded) noexcept
    : outer_(t_call),
      bounded_(bounded),
      request_(request_bytes),
      limit_(bounded ? bound(request_bytes, 0) : UINT64_MAX) {
  if (outer_ == nullptr) t_call = this;
}

void Call::grow() {
  if (bounded_) limit_ = bound(request_, response_);
}

Call::~Call() {
  if (outer_ == nullptr) t_call = nullptr;
}

void respond(uint64_t bytes) noexcept {
  if (Call* call = t_call) {
    call->response_ += bytes;
    call->grow();
  }
}

void respond_whole(uint64_t bytes) noexcept {
  if (Call* call = t_call; call != nullptr && bytes > call->response_) {
    call->response_ = bytes;
    call->grow();
  }
}

// The one check of the budget.
void Call::take(size_t bytes) {
  if (bytes > limit_ - in_use_) throw Exhausted();
  in_use_ += bytes;
  if (in_use_ > peak_) peak_ = in_use_;
}

void Call::give(size_t bytes) noexcept { in_use_ -= bytes < in_use_ ? bytes : in_use_; }

void take(size_t bytes) {
  if (Call* call = t_call) call->take(bytes);
}

void give(size_t bytes) noexcept {
  if (Call* call = t_call) call->give(bytes);
}

void* allocate(size_t size) {
  Call* call = t_call;
  const size_t most = most_reserved(size);
  if (call != nullptr) call->take(most);
  void* block = std::malloc(size > 0 ? size : 1);
  if (call == nullptr) {
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
  if (block == nullptr) {
    call->give(most);
    throw std::bad_alloc();
  }
  call->give(most - reserved(block));
  return block;
}

void release(void* block) noexcept {
  if (block == nullptr) return;
  if (Call* call = t_call) call->give(reserved(block));
  std::free(block);
}

}  // namespace tarv::budget

// The library's operator new and delete: every allocation of the library's
// code and of the C++ runtime linked into it is charged to the running call.
// (In the shared library they are local symbols; a host's are its own.)
void* operator new(std::size_t size) { return tarv::budget::allocate(size); }
void* operator new[](std::size_t size) { return tarv::budget::allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return tarv::budget::allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return ::operator new(size, std::nothrow);
}
void operator delete(void* block) noexcept { tarv::budget::release(block); }
void operator delete[](void* block) noexcept { tarv::budget::release(block); }
void operator delete(void* block, std::size_t) noexcept { tarv::budget::release(block); }
void operator delete[](void* block, std::size_t) noexcept { tarv::budget::release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { tarv::budget::release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  tarv::budget::release(block);
}
