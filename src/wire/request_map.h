// Map fields of a request, which may have as many entries as it has bytes
// (the report's counters per currency, the cash position, a sale's change,
// every counter map, a document's calculations): held while they fit the hold
// budget, else left in the request. Decoding checks every entry and counts
// them; walking indexes the entries by their place in the request and their
// key's (each key read once), sorts the index by key and visits each key's
// last entry in ascending key order, as a Map holds them after decoding.
#ifndef TARV_SRC_WIRE_REQUEST_MAP_H_
#define TARV_SRC_WIRE_REQUEST_MAP_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/wire/cursor.h"
#include "src/wire/field_way.h"
#include "src/wire/size_cache.h"
#include "src/wire/table.h"

namespace tarv::wire {

template <class T>
struct FieldCodec;

template <class V>
class UpdatedMap;

template <class V>
class RequestMap {
 public:
  bool empty() const { return !left_ && held_.empty(); }
  // Whether every entry is held, none left in the request.
  bool all_held() const { return !left_; }

  // The encoder's size of the whole field, kept between sizing and writing.
  SizeCache size_cache;

  // visit(const std::string& key, const V& value) for each key in ascending
  // order, with its last entry; stops at the first visit that returns false
  // and returns whether every visit returned true.
  template <class Visit>
  bool for_each(Visit&& visit) const {
    for (const auto& [key, value] : held_) {
      if (!visit(key, value)) return false;
    }
    if (!left_) return true;
    // Places fit 32 bits unless the request is past 4 GiB.
    if (static_cast<uint64_t>(left_->way.end - left_->way.begin) <=
        std::numeric_limits<uint32_t>::max()) {
      return visit_sorted<uint32_t>(visit);
    }
    return visit_sorted<size_t>(visit);
  }

  // The value of `key`'s last entry, or none.
  std::optional<V> find(std::string_view key) const {
    if (!left_) {
      const auto it = held_.find(key);
      return it == held_.end() ? std::nullopt : std::optional<V>(it->second);
    }
    const FieldWay& way = left_->way;
    const uint8_t* last = nullptr;
    way.for_each_occurrence([&](Cursor& c) {
      if (key_at(static_cast<size_t>(c.position() - way.begin)) == key) last = c.position();
      const uint8_t* data = nullptr;
      size_t size = 0;
      return c.read_length_delimited(data, size);
    });
    if (last == nullptr) return std::nullopt;
    Map<V> entry;
    Cursor c = at(static_cast<size_t>(last - way.begin));
    merge_entry(entry, c, way.budget);
    return std::move(entry.begin()->second);
  }

  // Decoding: the entry whose length prefix is at the cursor, checked by
  // decoding it. A map holds its entries while they fit the hold budget, as
  // Repeated does (maps inside a value hold or leave their own); else, and
  // from the first entry that does not fit, the entries are left in the
  // request.
  bool note(Cursor& c, int budget) {
    size_cache.changed();
    const uint8_t* start = c.position();
    if (first_ == nullptr) first_ = start;
    const size_t left_before = c.left_bytes();
    Map<V> entry;
    if (!merge_entry(entry, c, budget)) return false;
    const auto bytes = static_cast<size_t>(c.position() - start);
    if (!left_) {
      // A node of the map, and its key at most twice its bytes (a field left
      // in the request inside its value holds none of its own).
      const size_t cost = 96 + sizeof(V) + 2 * c.held_bytes(left_before, bytes);
      if (c.hold(cost)) {
        held_cost_ += cost;
        auto node = entry.extract(entry.begin());
        if (auto it = held_.find(node.key()); it != held_.end()) {
          it->second = std::move(node.mapped());  // a later entry of a key replaces it
        } else {
          held_.insert(std::move(node));
        }
        ++held_entries_;
        return true;
      }
      // The way leads to every entry, the ones held so far included.
      c.release(held_cost_);
      held_cost_ = 0;
      held_.clear();
      left_ = std::make_shared<Left>();
      left_->way.note(c, budget, first_);
      left_->count = held_entries_ + 1;
      c.left_occurrence(left_before, bytes);
      return true;
    }
    ++left_->count;
    c.left_occurrence(left_before, bytes);
    return true;
  }

 private:
  friend class UpdatedMap<V>;

  // Decodes the entry at the cursor as an element: a map left in the request
  // inside its value is found again within the entry.
  static bool merge_entry(Map<V>& entry, Cursor& c, int budget) {
    const Cursor::Element outer = c.enter_element();
    const bool ok = FieldCodec<Map<V>>::merge(entry, c, budget);
    c.leave_element(outer);
    return ok;
  }

  // An entry's place and its key's, both from the way's start: the key is
  // read once, when the entry is indexed, and each comparison reads its
  // length prefix alone, however many key fields the entry repeats. Entries
  // without a key field share the key "" and the last of them alone is
  // indexed, so that every indexed entry has at least four bytes: eight
  // bytes of index at most double them.
  template <class Place>
  struct Indexed {
    Place place;
    Place key;  // the key's length prefix; kNoKey: the key ""
    static constexpr Place kNoKey = std::numeric_limits<Place>::max();
  };

  template <class Place>
  std::string_view key_of(const Indexed<Place>& e) const {
    return e.key == Indexed<Place>::kNoKey ? std::string_view() : text_at(left_->way.begin + e.key);
  }

  template <class Place, class Visit>
  bool visit_sorted(Visit& visit) const {
    std::vector<Indexed<Place>> index;
    const FieldWay& way = left_->way;
    index.reserve(left_->count);
    std::optional<Place> keyless;
    way.for_each_occurrence([&](Cursor& c) {
      const auto place = static_cast<Place>(c.position() - way.begin);
      const uint8_t* key = key_prefix_at(place);
      if (key == nullptr) {
        keyless = place;
      } else {
        index.push_back({place, static_cast<Place>(key - way.begin)});
      }
      const uint8_t* data = nullptr;
      size_t size = 0;
      return c.read_length_delimited(data, size);
    });
    if (keyless) index.push_back({*keyless, Indexed<Place>::kNoKey});
    std::sort(index.begin(), index.end(), [&](const Indexed<Place>& a, const Indexed<Place>& b) {
      const std::string_view ka = key_of(a);
      const std::string_view kb = key_of(b);
      return ka != kb ? ka < kb : a.place < b.place;
    });
    for (size_t i = 0; i < index.size(); ++i) {
      // A later entry with the same key replaces this one.
      if (i + 1 < index.size() && key_of(index[i + 1]) == key_of(index[i])) continue;
      Map<V> entry;
      Cursor c = at(index[i].place);
      merge_entry(entry, c, way.budget);
      const auto& [key, value] = *entry.begin();
      if (!visit(key, value)) return false;
    }
    return true;
  }

  // A cursor at the entry whose length prefix is at `place`.
  Cursor at(size_t place) const {
    const FieldWay& way = left_->way;
    return Cursor(way.begin + place, static_cast<size_t>(way.end - way.begin) - place,
                  way.holding, 0);
  }

  // The key of the entry at `place`: its last key field, or "".
  std::string_view key_at(size_t place) const {
    const uint8_t* prefix = key_prefix_at(place);
    return prefix == nullptr ? std::string_view() : text_at(prefix);
  }

  // The text whose length prefix is at `prefix`.
  std::string_view text_at(const uint8_t* prefix) const {
    Cursor c(prefix, static_cast<size_t>(left_->way.end - prefix));
    const uint8_t* text = nullptr;
    size_t length = 0;
    c.read_length_delimited(text, length);
    return {reinterpret_cast<const char*>(text), length};
  }

  // The length prefix of the last key field of the entry at `place`, or
  // null where it has none.
  const uint8_t* key_prefix_at(size_t place) const {
    Cursor c = at(place);
    const uint8_t* data = nullptr;
    size_t size = 0;
    c.read_length_delimited(data, size);
    const uint8_t* const limit = data + size;
    Cursor entry(data, size);
    const uint8_t* key = nullptr;
    while (!entry.at_or_past(limit)) {
      uint32_t number;
      WireType wire_type;
      entry.read_key(number, wire_type);
      if (number == 1 && wire_type == WireType::kLengthDelimited) key = entry.position();
      entry.skip_field(number, wire_type, kRecursionLimit);
    }
    return key;
  }

  Map<V> held_;              // the entries held, while no entry is left
  size_t held_entries_ = 0;  // occurrences held
  size_t held_cost_ = 0;     // the hold budget they take
  const uint8_t* first_ = nullptr;
  // The entries left in the request, once one is: kept apart, so that the
  // many maps a call makes in memory stay small. Fixed once decoded.
  struct Left {
    FieldWay way;
    size_t count = 0;  // occurrences
  };
  std::shared_ptr<Left> left_;
};

// A map left in the request with some keys updated: it reads, and a response
// writes it, as the request's map with each update in place of its key's
// entry. A map held whole is updated where it is held; of one left in the
// request, only the updated values are held, apart, so that the many maps a
// call makes in memory stay small.
template <class V>
class UpdatedMap {
 public:
  UpdatedMap() = default;
  explicit UpdatedMap(RequestMap<V> base) : base_(std::move(base)) {}
  UpdatedMap(const UpdatedMap& other)
      : size_cache(other.size_cache),
        base_(other.base_),
        updates_(other.updates_ ? std::make_unique<Map<V>>(*other.updates_) : nullptr) {}
  UpdatedMap& operator=(const UpdatedMap& other) {
    if (this != &other) *this = UpdatedMap(other);
    return *this;
  }
  UpdatedMap(UpdatedMap&&) noexcept = default;
  UpdatedMap& operator=(UpdatedMap&&) noexcept = default;
  ~UpdatedMap() = default;

  // Updates exist only where the request's map is left in it.
  bool empty() const { return base_.empty(); }
  size_t size() const {
    size_t n = 0;
    for_each([&](const std::string&, const V&) { return ++n != 0; });
    return n;
  }

  // The value of `key` as the map reads: its update, or the request's.
  std::optional<V> find(std::string_view key) const {
    if (updates_) {
      if (auto it = updates_->find(key); it != updates_->end()) return it->second;
    }
    return base_.find(key);
  }

  // The value of `key` to update in place: the request's, or V{}. A map
  // held whole is updated where it is held.
  V& update(const std::string& key) {
    size_cache.changed();
    if (!base_.left_) return base_.held_[key];
    Map<V>& updates = left_updates();
    auto it = updates.find(key);
    if (it == updates.end()) it = updates.emplace(key, base_.find(key).value_or(V{})).first;
    return it->second;
  }

  // Readies an update of each key of `keys` with one walk of a map left in
  // the request, where update() walks it once for each key: a merge of many
  // keys into a map of many entries stays n log n.
  template <class W>
  void ready_updates(const Map<W>& keys) {
    size_cache.changed();
    if (!base_.left_) return;
    Map<V>& updates = left_updates();
    auto next = keys.begin();
    base_.for_each([&](const std::string& key, const V& value) {
      for (; next != keys.end() && next->first < key; ++next) updates.try_emplace(next->first);
      if (next != keys.end() && next->first == key) updates.try_emplace((next++)->first, value);
      return next != keys.end();
    });
    for (; next != keys.end(); ++next) updates.try_emplace(next->first);
  }

  // The entries, when the map is held whole (made in memory, or a request's
  // map that fit the hold budget); else null.
  Map<V>* held() {
    size_cache.changed();
    return base_.left_ ? nullptr : &base_.held_;
  }

  // visit(key, V&&) for each key in ascending order, giving the values up: a
  // map held whole (one made in memory) moves them out.
  template <class Visit>
  bool consume(Visit&& visit) && {
    size_cache.changed();
    if (base_.left_) {
      return for_each([&](const std::string& key, const V& value) { return visit(key, V(value)); });
    }
    for (auto& [key, value] : base_.held_) {
      if (!visit(key, std::move(value))) return false;
    }
    return true;
  }

  // visit(key, value) for each key in ascending order, as RequestMap.
  template <class Visit>
  bool for_each(Visit&& visit) const {
    if (!updates_) return base_.for_each(visit);
    auto next = updates_->begin();
    const auto end = updates_->end();
    const bool walked = base_.for_each([&](const std::string& key, const V& value) {
      for (; next != end && next->first < key; ++next) {
        if (!visit(next->first, next->second)) return false;
      }
      if (next != end && next->first == key) return visit(key, (next++)->second);
      return visit(key, value);
    });
    if (!walked) return false;
    for (; next != end; ++next) {
      if (!visit(next->first, next->second)) return false;
    }
    return true;
  }

  // Decoding (a response read back): the request's map.
  bool note(Cursor& c, int budget) {
    size_cache.changed();
    return base_.note(c, budget);
  }

  // The encoder's size of the whole field, kept between sizing and writing.
  SizeCache size_cache;

 private:
  Map<V>& left_updates() {
    if (!updates_) updates_ = std::make_unique<Map<V>>();
    return *updates_;
  }

  RequestMap<V> base_;
  std::unique_ptr<Map<V>> updates_;  // only where base_ is left in the request
};

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_REQUEST_MAP_H_
