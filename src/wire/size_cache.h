// The encoder's size of a field that it walks (a repeated field or a map
// left in the request), kept from sizing to writing so that the field is
// walked once for each, never measured again while written.
//
// Writing trusts the kept size: the field must be sized after its last
// change and before it is written (the encoder sizes a message, then writes
// it). Verify builds check that with a generation count that every change of
// the field bumps.
#ifndef TARV_SRC_WIRE_SIZE_CACHE_H_
#define TARV_SRC_WIRE_SIZE_CACHE_H_

#include <cstddef>
#include <cstdint>

#include "base/verify.h"

namespace tarv::wire {

class SizeCache {
 public:
  // The field changed: a size kept before is stale.
  void changed() { TARV_VERIFY_ONLY(++generation_); }
  // Sizing: the field's size as it is now.
  void keep(size_t size) const {
    size_ = size;
    TARV_VERIFY_ONLY(sized_ = generation_);
  }
  // Writing: the size kept by the sizing of the field as it is.
  size_t size() const {
    TARV_VERIFY_CHECK(sized_ == generation_);
    return size_;
  }

 private:
  mutable size_t size_ = 0;
#ifdef TARV_VERIFY
  uint64_t generation_ = 1;
  mutable uint64_t sized_ = 0;  // the generation sized last; 0: never
#endif
};

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_SIZE_CACHE_H_
