// The way back to a field that decoding left in the request (Repeated,
// RequestMap): the message it starts from (the request, or the repeated
// element the field lies in), the field numbers that lead from there to the
// field, and its first occurrence. The field is reached through message
// fields and oneof members; occurrences before the first (a oneof member
// replaced since) are not the field's.
#ifndef TARV_SRC_WIRE_FIELD_WAY_H_
#define TARV_SRC_WIRE_FIELD_WAY_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "src/wire/cursor.h"
#include "src/wire/table.h"

namespace tarv::wire {

struct FieldWay {
  const uint8_t* begin = nullptr;  // the message the way starts from
  const uint8_t* end = nullptr;
  std::vector<uint32_t> path;      // field numbers from there
  const uint8_t* first = nullptr;  // the first occurrence's length prefix
  int budget = 0;                  // the recursion budget at the field
  Holding holding = Holding::kWithinBudget;  // the decode's, for the walks

  // Notes the way to the field being decoded at `c`, whose first occurrence
  // had its length prefix at `first_occurrence`.
  void note(const Cursor& c, int field_budget, const uint8_t* first_occurrence) {
    const Cursor::Element& element = c.element();
    const auto from_top = c.path();
    if (element.begin != nullptr) {
      begin = element.begin;
      end = element.end;
      path.assign(from_top.begin() + static_cast<std::ptrdiff_t>(element.depth), from_top.end());
    } else {
      begin = c.begin();
      end = c.end();
      path.assign(from_top.begin(), from_top.end());
    }
    first = first_occurrence;
    budget = field_budget;
    holding = c.holding();
  }

  // visit(Cursor&) with the cursor at each occurrence's length prefix, in
  // the request's order; the visit reads the occurrence. Stops at the first
  // visit that returns false and returns whether every visit returned true.
  template <class Visit>
  bool for_each_occurrence(Visit&& visit) const {
    return walk(begin, end, 0, visit);
  }

 private:
  // Every occurrence was checked while decoding, so nothing here fails, and
  // a field with a number on the path has the path's wire type.
  template <class Visit>
  bool walk(const uint8_t* from, const uint8_t* to, size_t level, Visit& visit) const {
    Cursor c(from, static_cast<size_t>(to - from), holding, 0);
    while (!c.at_or_past(to)) {
      uint32_t number;
      WireType wire_type;
      c.read_key(number, wire_type);
      if (number != path[level] || (level + 1 == path.size() && c.position() < first)) {
        c.skip_field(number, wire_type, kRecursionLimit);
      } else if (level + 1 < path.size()) {
        const uint8_t* data = nullptr;
        size_t size = 0;
        c.read_length_delimited(data, size);
        if (data + size > first && !walk(data, data + size, level + 1, visit)) return false;
      } else if (!visit(c)) {
        return false;
      }
    }
    return true;
  }
};

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_FIELD_WAY_H_
