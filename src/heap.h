// The heap that response buffers come from. On Windows it is the process
// heap (GetProcessHeap, HeapAlloc, HeapFree), so a buffer handed to the host
// belongs to a heap that outlives any C runtime the library or the host was
// built with; elsewhere it is malloc and free. The library both allocates
// and frees every buffer it hands out, through these two functions only.
#ifndef TARV_SRC_HEAP_H_
#define TARV_SRC_HEAP_H_

#include <cstddef>
#include <cstdint>

namespace tarv::heap {

// A block of `size` bytes (size > 0); throws std::bad_alloc when the heap is
// exhausted.
uint8_t* allocate(size_t size);

// Returns a block from allocate() to the heap; nullptr does nothing.
void release(uint8_t* block) noexcept;

}  // namespace tarv::heap

#endif  // TARV_SRC_HEAP_H_
