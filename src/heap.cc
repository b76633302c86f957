#include "src/heap.h"

#include <new>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace tarv::heap {

#if defined(_WIN32)

uint8_t* allocate(size_t size) {
  void* block = HeapAlloc(GetProcessHeap(), 0, size);
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<uint8_t*>(block);
}

void release(uint8_t* block) noexcept {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

#else

uint8_t* allocate(size_t size) {
  void* block = std::malloc(size);
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<uint8_t*>(block);
}

void release(uint8_t* block) noexcept { std::free(block); }

#endif

}  // namespace tarv::heap
