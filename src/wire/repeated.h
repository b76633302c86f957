// Repeated fields left in the request: decoding checks every occurrence and
// keeps only how to find them again (the request and the field numbers that
// lead to them), never the decoded elements, so that a request of many small
// lines costs no more memory than its bytes. Walking finds the occurrences
// again in the request, in order, and decodes one at a time into one reused
// value.
//
// Elements may also be built in memory (emplace_back), for messages that are
// made rather than decoded. A response writes the elements as `shape` leaves
// them: a calculator that read the lines once names how each line reads back
// (its cut strings, its calculations), or that it is left out, instead of
// keeping every line.
#ifndef TARV_SRC_WIRE_REPEATED_H_
#define TARV_SRC_WIRE_REPEATED_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "src/wire/cursor.h"
#include "src/wire/field_way.h"
#include "src/wire/table.h"
#include "src/wire/values.h"

namespace tarv::wire {

// T is a message or a string (a constraint here would be read before the
// message's table exists).
template <class T>
class Repeated {
 public:
  // Shapes an element for the response; false leaves it out.
  using Shape = bool (*)(T&);

  Repeated() = default;
  Repeated(std::initializer_list<T> elements) : owned_(elements) {}

  size_t size() const { return owned_.size() + count_; }
  bool empty() const { return size() == 0; }
  T& emplace_back() { return owned_.emplace_back(); }

  // How each element reads in a response; nullptr: each as it came.
  void set_shape(Shape shape) { shape_ = shape; }

  // visit(T&) on each element in order, a decoded or copied value that the
  // visit may change; stops at the first visit that returns false and
  // returns whether every visit returned true.
  template <class Visit>
  bool for_each(Visit&& visit) const {
    for (const T& element : owned_) {
      T copy = element;
      if (!visit(copy)) return false;
    }
    if (count_ == 0) return true;
    T element;
    return way_.for_each_occurrence([&](Cursor& c) {
      element = T{};
      ValueCodec<T>::merge(element, c, way_.budget);
      return visit(element);
    });
  }

  // Each element as a response writes it, shaped.
  template <class Visit>
  bool for_each_shaped(Visit&& visit) const {
    if (shape_ == nullptr && count_ == 0) {
      for (const T& element : owned_) {
        if (!visit(static_cast<const T&>(element))) return false;
      }
      return true;
    }
    return for_each([&](T& element) {
      if (shape_ != nullptr && !shape_(element)) return true;
      return visit(static_cast<const T&>(element));
    });
  }

  // Decoding: the occurrence whose length prefix is at the cursor. It is
  // decoded once, to check it; the first one also notes the way to them all.
  bool note(Cursor& c, int budget) {
    T check;
    if (!ValueCodec<T>::merge(check, c, budget)) return false;
    if (count_++ == 0) way_.note(c, budget);
    return true;
  }

  // The encoder's size of the whole field, kept between sizing and writing
  // so that elements are shaped and measured once more, not twice.
  mutable size_t cached_size = 0;

 private:
  std::vector<T> owned_;
  size_t count_ = 0;
  FieldWay way_;
  Shape shape_ = nullptr;
};

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_REPEATED_H_
