#include "src/heap.h"

#include <new>

#include "src/budget.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tarv::heap {

#if defined(_WIN32)

// Charged to the running call as budget::allocate charges malloc's blocks.
uint8_t* allocate(size_t size) {
  const size_t most = size + 64;
  budget::take(most);
  void* block = HeapAlloc(GetProcessHeap(), 0, size);
  if (block == nullptr) {
    budget::give(most);
    throw std::bad_alloc();
  }
  budget::give(most - HeapSize(GetProcessHeap(), 0, block));
  return static_cast<uint8_t*>(block);
}

void release(uint8_t* block) noexcept {
  if (block == nullptr) return;
  budget::give(HeapSize(GetProcessHeap(), 0, block));
  HeapFree(GetProcessHeap(), 0, block);
}

#else

uint8_t* allocate(size_t size) { return static_cast<uint8_t*>(budget::allocate(size)); }

void release(uint8_t* block) noexcept { budget::release(block); }

#endif

}  // namespace tarv::heap
