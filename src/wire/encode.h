// The encoder: canonical bytes of a message, sized exactly and written from
// the end of the buffer, by the table.
#ifndef TARV_SRC_WIRE_ENCODE_H_
#define TARV_SRC_WIRE_ENCODE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/verify.h"
#include "src/wire/repeated.h"
#include "src/wire/request_map.h"
#include "src/wire/table.h"
#include "src/wire/values.h"

namespace tarv::wire {

constexpr size_t varint_size(uint64_t v) {
  size_t n = 1;
  while (v >= 0x80) {
    v >>= 7;
    ++n;
  }
  return n;
}

inline uint8_t* write_varint(uint64_t v, uint8_t* out) {
  while (v >= 0x80) {
    *out++ = static_cast<uint8_t>(v | 0x80);
    v >>= 7;
  }
  *out++ = static_cast<uint8_t>(v);
  return out;
}

constexpr uint64_t make_key(uint32_t number, WireType wire_type) {
  return (static_cast<uint64_t>(number) << 3) | static_cast<uint64_t>(wire_type);
}

// Writing runs backwards, from the end of the buffer towards its start: a
// nested message is written before its length prefix, which is then known, so
// no message is measured more than once. Each writer takes `end`, where the
// bytes written so far begin, and returns where its own bytes begin.

// Keys and most values are one byte: that case is a single store where it
// is written.
TARV_WIRE_INLINE inline uint8_t* write_varint_before(uint64_t v, uint8_t* end) {
  if (v < 0x80) {
    *--end = static_cast<uint8_t>(v);
    return end;
  }
  uint8_t* start = end - varint_size(v);
  write_varint(v, start);
  return start;
}

template <Message M>
size_t encoded_size(const M& msg);
template <Message M>
uint8_t* write_fields_before(const M& msg, uint8_t* end);

// The payload of one value (no key): a varint, or a length prefix and bytes.
// These and the occurrence helpers are inlined where they are used: each is
// a few instructions (a message's own fields stay a call).
template <class T>
TARV_WIRE_INLINE inline size_t value_size(const T& v) {
  if constexpr (Scalar<T>) {
    return varint_size(ValueCodec<T>::raw(v));
  } else if constexpr (Message<T>) {
    size_t n = encoded_size(v);
    return varint_size(n) + n;
  } else {
    return varint_size(v.size()) + v.size();
  }
}
template <class T>
TARV_WIRE_INLINE inline uint8_t* write_value_before(const T& v, uint8_t* end) {
  if constexpr (Scalar<T>) {
    return write_varint_before(ValueCodec<T>::raw(v), end);
  } else if constexpr (Message<T>) {
    uint8_t* start = write_fields_before(v, end);
    return write_varint_before(static_cast<uint64_t>(end - start), start);
  } else {
    uint8_t* start = end - v.size();
    if (!v.empty()) std::memcpy(start, v.data(), v.size());
    return write_varint_before(v.size(), start);
  }
}

// Size of one occurrence: key and value.
template <class T>
TARV_WIRE_INLINE inline size_t occurrence_size(uint32_t number, const T& v) {
  return varint_size(make_key(number, ValueCodec<T>::kWire)) + value_size(v);
}
template <class T>
TARV_WIRE_INLINE inline uint8_t* write_occurrence_before(uint32_t number, const T& v,
                                                         uint8_t* end) {
  return write_varint_before(make_key(number, ValueCodec<T>::kWire), write_value_before(v, end));
}

template <class T>
struct FieldEncoder {
  // A singular field: written only when it differs from its default.
  static size_t size(uint32_t number, const T& v) {
    if constexpr (Message<T>) {
      return occurrence_size(number, v);
    } else {
      return ValueCodec<T>::is_default(v) ? 0 : occurrence_size(number, v);
    }
  }
  static uint8_t* write_before(uint32_t number, const T& v, uint8_t* end) {
    if constexpr (!Message<T>) {
      if (ValueCodec<T>::is_default(v)) return end;
    }
    return write_occurrence_before(number, v, end);
  }
};
template <class T>
struct FieldEncoder<std::optional<T>> {
  static size_t size(uint32_t number, const std::optional<T>& v) {
    return v ? occurrence_size(number, *v) : 0;
  }
  static uint8_t* write_before(uint32_t number, const std::optional<T>& v, uint8_t* end) {
    return v ? write_occurrence_before(number, *v, end) : end;
  }
};
// Repeated fields: the held elements are written last element first, after
// those left in the request. Those left in the request
// that a caller wrote (write_left) are copied whole; the others are written
// in order from the start of their block, whose size the sizing pass of the
// same message kept (a message is always sized before it is written); each
// element is written from the end of its own exact slot.
template <class T>
struct FieldEncoder<Repeated<T>> {
  static size_t size(uint32_t number, const Repeated<T>& v) {
    size_t n = 0;
    for (const T& e : v.held()) n += occurrence_size(number, e);
    if (v.all_held()) return n;
    if (const Bytes* written = v.written()) return n + written->size();
    size_t left = 0;
    v.for_each_left([&](const T& e) TARV_WIRE_INLINE {
      left += occurrence_size(number, e);
      return true;
    });
    v.size_cache.keep(left);
    return n + left;
  }
  static uint8_t* write_before(uint32_t number, const Repeated<T>& v, uint8_t* end) {
    if (!v.all_held()) end = write_left_before(number, v, end);
    const std::vector<T>& held = v.held();
    for (auto e = held.rbegin(); e != held.rend(); ++e) {
      end = write_occurrence_before(number, *e, end);
    }
    return end;
  }
  static uint8_t* write_left_before(uint32_t number, const Repeated<T>& v, uint8_t* end) {
    if (const Bytes* written = v.written()) {
      uint8_t* const start = end - written->size();
      if (!written->empty()) std::memcpy(start, written->data(), written->size());
      return start;
    }
    uint8_t* const start = end - v.size_cache.size();
    uint8_t* p = start;
    v.for_each_left([&](const T& e) TARV_WIRE_INLINE {
      const size_t n = occurrence_size(number, e);
      write_occurrence_before(number, e, p + n);
      p += n;
      return true;
    });
    TARV_VERIFY_CHECK(p == end);  // the walk wrote what the sizing measured
    return start;
  }
};

// Writes the elements of `field` left in the request as a response shows
// them, for the response to copy whole (Repeated::written): a caller that
// walks them once more anyway (to make a document's records) shapes each in
// place with `shape(T&)`, which returns false to leave one out, and each is
// encoded as an occurrence of field `number` of the field's message.
// `value_bytes`, the value_size() of the elements kept, measured by an
// earlier walk, sizes the buffer once. Held elements are the caller's to
// shape in place.
template <class T, class Shape>
void write_left(Repeated<T>& field, uint32_t number, size_t value_bytes, Shape&& shape) {
  if (field.all_held()) return;
  Bytes out;
  out.reserve(value_bytes + field.size() * varint_size(make_key(number, ValueCodec<T>::kWire)));
  field.for_each_left([&](T& e) {
    if (!shape(e)) return true;
    const size_t at = out.size();
    out.resize(at + occurrence_size(number, e));
    write_occurrence_before(number, e, out.data() + out.size());
    return true;
  });
  field.set_written(std::move(out));
}
template <>
struct FieldEncoder<Bytes> {
  static size_t size(uint32_t number, const Bytes& v) {
    return v.empty() ? 0 : occurrence_size(number, v);
  }
  static uint8_t* write_before(uint32_t number, const Bytes& v, uint8_t* end) {
    return v.empty() ? end : write_occurrence_before(number, v, end);
  }
};
// The entries of a map, each written as a Map would hold it, for the maps of
// messages (RequestMap, UpdatedMap, below). No message has a Map member:
// TARV_MESSAGE refuses one.
template <class V>
struct MapEntryEncoder {
  static constexpr uint64_t kEntryKey = make_key(1, WireType::kLengthDelimited);
  static constexpr uint64_t kValueKey = make_key(2, WireType::kLengthDelimited);

  static size_t entry_size(const std::string& key, const V& value) {
    size_t n = key.empty() ? 0 : occurrence_size(1, key);
    if constexpr (Message<V>) {
      const size_t v = encoded_size(value);
      if (v != 0) n += varint_size(kValueKey) + varint_size(v) + v;
    } else if (!ValueCodec<V>::is_default(value)) {
      n += occurrence_size(2, value);
    }
    return n;
  }
  // One entry as an occurrence of field `number`: key, length, entry.
  static size_t entry_occurrence_size(uint32_t number, const std::string& key, const V& value) {
    const size_t entry = entry_size(key, value);
    return varint_size(make_key(number, WireType::kLengthDelimited)) + varint_size(entry) + entry;
  }
  static uint8_t* write_entry_before(uint32_t number, const std::string& key, const V& value,
                                     uint8_t* end) {
    uint8_t* const entry_end = end;
    if constexpr (Message<V>) {
      // A message value with no bytes is the default value: left out.
      uint8_t* start = write_fields_before(value, end);
      if (start != end) {
        start = write_varint_before(static_cast<uint64_t>(end - start), start);
        end = write_varint_before(kValueKey, start);
      }
    } else if (!ValueCodec<V>::is_default(value)) {
      end = write_occurrence_before(2, value, end);
    }
    if (!key.empty()) end = write_occurrence_before(1, key, end);
    end = write_varint_before(static_cast<uint64_t>(entry_end - end), end);
    return write_varint_before(make_key(number, WireType::kLengthDelimited), end);
  }
};
// A map left in the request (updated or not) is written as a Map holds it:
// each key once, with its last entry, in ascending key order, from the start
// of its block (sized first, as for Repeated).
template <class M, class V>
struct WalkedMapEncoder {
  static size_t size(uint32_t number, const M& map) {
    size_t n = 0;
    map.for_each([&](const std::string& key, const V& value) {
      n += MapEntryEncoder<V>::entry_occurrence_size(number, key, value);
      return true;
    });
    map.size_cache.keep(n);
    return n;
  }
  static uint8_t* write_before(uint32_t number, const M& map, uint8_t* end) {
    uint8_t* const start = end - map.size_cache.size();
    uint8_t* p = start;
    map.for_each([&](const std::string& key, const V& value) {
      p += MapEntryEncoder<V>::entry_occurrence_size(number, key, value);
      MapEntryEncoder<V>::write_entry_before(number, key, value, p);
      return true;
    });
    TARV_VERIFY_CHECK(p == end);
    return start;
  }
};
template <class V>
struct FieldEncoder<RequestMap<V>> : WalkedMapEncoder<RequestMap<V>, V> {};
template <class V>
struct FieldEncoder<UpdatedMap<V>> : WalkedMapEncoder<UpdatedMap<V>, V> {};

// One entry of a field table. A oneof goes through OneofCodec, which a plain
// field never instantiates.
template <Message M, class T>
size_t field_size(const M& msg, const Field<M, T>& field) {
  return FieldEncoder<T>::size(field.number, msg.*field.member);
}
template <Message M>
size_t field_size(const M& msg, const Oneof<M>&) {
  return OneofCodec<M>::size(msg);
}
template <Message M, class T>
uint8_t* write_field_before(const M& msg, const Field<M, T>& field, uint8_t* end) {
  return FieldEncoder<T>::write_before(field.number, msg.*field.member, end);
}
template <Message M>
uint8_t* write_field_before(const M& msg, const Oneof<M>&, uint8_t* end) {
  return OneofCodec<M>::write_before(msg, end);
}

template <Message M>
size_t encoded_size(const M& msg) {
  size_t n = 0;
  for_each_field<M>([&](const auto& field) TARV_WIRE_INLINE {
    n += field_size(msg, field);
    return true;
  });
  return n;
}

// The fields of `msg`, last field first, ending at `end`.
template <Message M>
uint8_t* write_fields_before(const M& msg, uint8_t* end) {
  for_each_field<M, Order::kDescending>([&](const auto& field) TARV_WIRE_INLINE {
    end = write_field_before(msg, field, end);
    return true;
  });
  return end;
}

// Writes `msg` into [out, out + size), where size is encoded_size(msg).
// Returns where the writing began: `out` itself, since sizes are exact.
template <Message M>
uint8_t* write_message(const M& msg, uint8_t* out, size_t size) {
  uint8_t* const start = write_fields_before(msg, out + size);
  TARV_VERIFY_CHECK(start == out);
  return start;
}

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_ENCODE_H_
