// Repeated fields that a large request leaves in the request. Decoding holds
// a field's decoded elements only while the whole request's held elements fit
// the cursor's hold budget (a fixed allowance plus the request's own size);
// past it the field keeps only how to find its occurrences again (the request
// and the field numbers that lead to them), so that a request of many small
// lines costs no more memory than its bytes. Walking a field left in the
// request finds the occurrences again, in order, and decodes one at a time
// into one reused value. A typical receipt is thus decoded once; a hostile
// one is decoded once per walk.
//
// Elements may also be built in memory (emplace_back), for messages that are
// made rather than decoded. A response writes held elements as they are; the
// elements left in the request it writes as they read from the request,
// unless the caller's last walk of them wrote them as the response shows them
// (wire::write_left, set_written), which the response then copies whole.
#ifndef TARV_SRC_WIRE_REPEATED_H_
#define TARV_SRC_WIRE_REPEATED_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "src/wire/cursor.h"
#include "src/wire/field_way.h"
#include "src/wire/size_cache.h"
#include "src/wire/table.h"
#include "src/wire/values.h"

namespace tarv::wire {

// T is a message or a string (a constraint here would be read before the
// message's table exists).
template <class T>
class Repeated {
 public:
  Repeated() = default;
  Repeated(std::initializer_list<T> elements) : owned_(elements) {}

  size_t size() const { return owned_.size() + count_; }
  bool empty() const { return size() == 0; }
  // Whether every element is in memory (made or held), none in the request.
  bool all_held() const { return count_ == 0; }
  T& emplace_back() {
    size_cache.changed();
    return owned_.emplace_back();
  }

  // visit(T&) on each element in order: a held element itself, or a value
  // decoded from the request for this visit alone. A visit's changes may
  // therefore last or not: every visit leaves an element as the next walk may
  // read it again (the line procedure is idempotent). Stops at the first
  // visit that returns false and returns whether every visit returned true.
  template <class Visit>
  bool for_each(Visit&& visit) {
    size_cache.changed();  // a visit may change a held element
    for (T& element : owned_) {
      if (!visit(element)) return false;
    }
    return for_each_left(visit);
  }
  // The same on a copy of each held element.
  template <class Visit>
  bool for_each(Visit&& visit) const {
    for (const T& element : owned_) {
      T copy = element;
      if (!visit(copy)) return false;
    }
    return for_each_left(visit);
  }

  // The held elements, for reading only (a response being written).
  const std::vector<T>& held() const { return owned_; }
  // Removes the held elements that `drop(const T&)` names.
  template <class Drop>
  void erase_held_if(Drop&& drop) {
    size_cache.changed();
    std::erase_if(owned_, drop);
  }

  // visit(T&) on each element left in the request, decoded for this visit
  // alone, in order; stops as for_each does.
  template <class Visit>
  bool for_each_left(Visit&& visit) const {
    if (count_ == 0) return true;
    T element;
    return way_.for_each_occurrence([&](Cursor& c) {
      element = T{};
      const size_t budget = c.hold_budget();
      decode_element(element, c, way_.budget);
      if (forced_holding.load(std::memory_order_relaxed) != Holding::kWithinBudget) {
        walk_decodes<T>.fetch_add(1, std::memory_order_relaxed);
      }
      const bool more = visit(element);
      // The next element replaces this one: it may hold as much.
      c.release(budget - c.hold_budget());
      return more;
    });
  }

  // The elements left in the request as a response writes them: their
  // occurrences, encoded (wire::write_left). A response copies them whole
  // instead of walking the request.
  void set_written(Bytes occurrences) {
    size_cache.changed();
    written_ = std::move(occurrences);
    is_written_ = true;
  }
  const Bytes* written() const { return is_written_ ? &written_ : nullptr; }

  // Decoding, before each occurrence in a message: at the field's first, the
  // elements are held if the room for all of them fits the hold budget.
  void reserve(uint32_t number, Cursor& c, const uint8_t* limit) {
    if (decided_) return;
    decided_ = true;
    const size_t n = c.count_ahead(number, limit);
    if (n <= c.hold_budget() / sizeof(T) && c.hold(n * sizeof(T))) {
      owned_.reserve(n);
      held_ = n * sizeof(T);
      holding_ = true;
    }
  }

  // Decoding: the occurrence whose length prefix is at the cursor, decoded
  // into the held elements while they fit the hold budget, else decoded
  // once to check it.
  bool note(Cursor& c, int budget) {
    size_cache.changed();
    const uint8_t* start = c.position();
    if (first_ == nullptr) first_ = start;
    const size_t left_before = c.left_bytes();
    if (holding_ && owned_.size() < owned_.capacity()) {
      if (!decode_element(owned_.emplace_back(), c, budget)) return false;
      // A held string takes at most twice its bytes on the wire; a field
      // held inside an element counts its own, and one left in the request
      // holds none of its bytes.
      const auto bytes = static_cast<size_t>(c.position() - start);
      const size_t cost = 2 * c.held_bytes(left_before, bytes);
      if (c.hold(cost)) {
        held_ += cost;
      } else {
        leave_in_request(c, budget);
        c.left_occurrence(left_before, bytes);
      }
      return true;
    }
    if (holding_ || count_ == 0) leave_in_request(c, budget);
    T check;
    if (!decode_element(check, c, budget)) return false;
    ++count_;
    c.left_occurrence(left_before, static_cast<size_t>(c.position() - start));
    return true;
  }

  // The encoder's size of the elements left in the request and not written,
  // kept between sizing and writing so that they are measured once more, not
  // twice.
  SizeCache size_cache;

 private:
  // Decodes the occurrence at the cursor as an element: a field left in the
  // request inside it is found again within it.
  static bool decode_element(T& element, Cursor& c, int budget) {
    if constexpr (Message<T>) {
      const Cursor::Element outer = c.enter_element();
      const bool ok = ValueCodec<T>::merge(element, c, budget);
      c.leave_element(outer);
      return ok;
    } else {
      return ValueCodec<T>::merge(element, c, budget);
    }
  }

  // Stops holding, or starts without: every occurrence so far is found again
  // in the request, by the way that any occurrence of the field notes.
  void leave_in_request(Cursor& c, int budget) {
    way_.note(c, budget, first_);
    count_ += owned_.size();
    std::vector<T>().swap(owned_);
    c.release(held_);
    held_ = 0;
    holding_ = false;
  }

  std::vector<T> owned_;  // made elements, or the decoded ones held
  size_t count_ = 0;      // occurrences left in the request
  FieldWay way_;
  const uint8_t* first_ = nullptr;  // the first occurrence's length prefix
  Bytes written_;  // the occurrences left in the request, as a response writes them
  bool is_written_ = false;
  bool decided_ = false;  // whether decoding chose to hold or not
  bool holding_ = false;
  size_t held_ = 0;  // the hold budget the held elements take
};

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_REPEATED_H_
