#include "bench/heap_meter.h"

#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

// glibc's own allocator under its exported names; the definitions below
// count around them.
extern "C" {
void* __libc_malloc(size_t size);
void __libc_free(void* block);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace tarv::bench {
namespace {

std::atomic<int64_t> g_in_use{0};
std::atomic<int64_t> g_peak{0};

void* counted(void* block) {
  if (block == nullptr) return block;
  const auto size = static_cast<int64_t>(malloc_usable_size(block));
  const int64_t now = g_in_use.fetch_add(size, std::memory_order_relaxed) + size;
  int64_t peak = g_peak.load(std::memory_order_relaxed);
  while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
  return block;
}

void uncount(void* block) {
  if (block == nullptr) return;
  g_in_use.fetch_sub(static_cast<int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
}

}  // namespace

int64_t heap_in_use() { return g_in_use.load(std::memory_order_relaxed); }

HeapPeak::HeapPeak() : base_(heap_in_use()) { g_peak.store(base_, std::memory_order_relaxed); }

int64_t HeapPeak::bytes() const { return g_peak.load(std::memory_order_relaxed) - base_; }

}  // namespace tarv::bench

using tarv::bench::counted;
using tarv::bench::uncount;

extern "C" {

void* malloc(size_t size) { return counted(__libc_malloc(size)); }

void free(void* block) {
  uncount(block);
  __libc_free(block);
}

void* calloc(size_t count, size_t size) { return counted(__libc_calloc(count, size)); }

void* realloc(void* block, size_t size) {
  // The old block counts until the new one exists: realloc may hold both.
  const int64_t old_size = block != nullptr ? static_cast<int64_t>(malloc_usable_size(block)) : 0;
  void* moved = __libc_realloc(block, size);
  if (moved == nullptr && size != 0) return nullptr;  // the old block stays
  counted(moved);
  tarv::bench::g_in_use.fetch_sub(old_size, std::memory_order_relaxed);
  return moved;
}

void* memalign(size_t alignment, size_t size) { return counted(__libc_memalign(alignment, size)); }

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, size_t alignment, size_t size) {
  void* block = memalign(alignment, size);
  if (block == nullptr) return ENOMEM;
  *out = block;
  return 0;
}

void* valloc(size_t size) { return memalign(static_cast<size_t>(sysconf(_SC_PAGESIZE)), size); }

}  // extern "C"
