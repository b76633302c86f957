// Map fields left in the request, for maps whose values are large messages
// (the report's counters per currency): decoding checks every entry and
// counts them; walking indexes the entries by their place in the request,
// four bytes each, sorts the index by key and visits each key's last entry in
// ascending key order, as a Map holds them after decoding.
#ifndef TARV_SRC_WIRE_REQUEST_MAP_H_
#define TARV_SRC_WIRE_REQUEST_MAP_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "src/wire/cursor.h"
#include "src/wire/field_way.h"
#include "src/wire/table.h"

namespace tarv::wire {

template <class T>
struct FieldCodec;

template <class V>
class RequestMap {
 public:
  bool empty() const { return count_ == 0; }

  // The encoder's size of the whole field, kept between sizing and writing.
  mutable size_t cached_size = 0;

  // visit(const std::string& key, const V& value) for each key in ascending
  // order, with its last entry; stops at the first visit that returns false
  // and returns whether every visit returned true.
  template <class Visit>
  bool for_each(Visit&& visit) const {
    if (count_ == 0) return true;
    // Places fit 32 bits unless the request is past 4 GiB.
    if (static_cast<uint64_t>(way_.end - way_.begin) <= std::numeric_limits<uint32_t>::max()) {
      return visit_sorted<uint32_t>(visit);
    }
    return visit_sorted<size_t>(visit);
  }

  // Decoding: the entry whose length prefix is at the cursor, checked by
  // decoding it; the first one notes the way to them all.
  bool note(Cursor& c, int budget) {
    const uint8_t* start = c.position();
    Map<V> check;
    if (!FieldCodec<Map<V>>::merge(check, c, budget)) return false;
    if (count_++ == 0) way_.note(c, budget, start);
    return true;
  }

 private:
  template <class Place, class Visit>
  bool visit_sorted(Visit& visit) const {
    std::vector<Place> places;
    places.reserve(count_);
    way_.for_each_occurrence([&](Cursor& c) {
      places.push_back(static_cast<Place>(c.position() - way_.begin));
      const uint8_t* data;
      size_t size;
      return c.read_length_delimited(data, size);
    });
    std::sort(places.begin(), places.end(), [&](Place a, Place b) {
      const std::string_view ka = key_at(a);
      const std::string_view kb = key_at(b);
      return ka != kb ? ka < kb : a < b;
    });
    for (size_t i = 0; i < places.size(); ++i) {
      // A later entry with the same key replaces this one.
      if (i + 1 < places.size() && key_at(places[i + 1]) == key_at(places[i])) continue;
      Map<V> entry;
      Cursor c = at(places[i]);
      FieldCodec<Map<V>>::merge(entry, c, way_.budget);
      const auto& [key, value] = *entry.begin();
      if (!visit(key, value)) return false;
    }
    return true;
  }

  // A cursor at the entry whose length prefix is at `place`.
  Cursor at(size_t place) const {
    return Cursor(way_.begin + place, static_cast<size_t>(way_.end - way_.begin) - place);
  }

  // The key of the entry at `place`: its last key field, or "".
  std::string_view key_at(size_t place) const {
    Cursor c = at(place);
    const uint8_t* data;
    size_t size;
    c.read_length_delimited(data, size);
    const uint8_t* const limit = data + size;
    Cursor entry(data, size);
    std::string_view key;
    while (!entry.at_or_past(limit)) {
      uint32_t number;
      WireType wire_type;
      entry.read_key(number, wire_type);
      if (number == 1 && wire_type == WireType::kLengthDelimited) {
        const uint8_t* text;
        size_t length;
        entry.read_length_delimited(text, length);
        key = {reinterpret_cast<const char*>(text), length};
      } else {
        entry.skip_field(number, wire_type, kRecursionLimit);
      }
    }
    return key;
  }

  size_t count_ = 0;
  FieldWay way_;
};

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_REQUEST_MAP_H_
