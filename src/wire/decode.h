// The decoder: the fields of a message read into its struct, by the table.
// FieldCodec says how an occurrence lands in a member of each shape (a
// singular value, an optional, a repeated field, a map).
#ifndef TARV_SRC_WIRE_DECODE_H_
#define TARV_SRC_WIRE_DECODE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "src/wire/cursor.h"
#include "src/wire/repeated.h"
#include "src/wire/request_map.h"
#include "src/wire/table.h"
#include "src/wire/values.h"

namespace tarv::wire {

// FieldCodec<T> reads one occurrence of a field of member type T: a singular
// value (replaced; merged for messages), an optional, a repeated field or a
// map.
template <class T>
struct FieldCodec {
  static constexpr WireType kWire = ValueCodec<T>::kWire;
  static bool merge(T& v, Cursor& c, int budget) { return ValueCodec<T>::merge(v, c, budget); }
};
template <class T>
struct FieldCodec<std::optional<T>> {
  static constexpr WireType kWire = ValueCodec<T>::kWire;
  static bool merge(std::optional<T>& v, Cursor& c, int budget) {
    if constexpr (Message<T>) {
      if (!v) v.emplace();
      return ValueCodec<T>::merge(*v, c, budget);
    } else {
      T value{};
      if (!ValueCodec<T>::merge(value, c, budget)) return false;
      v = std::move(value);
      return true;
    }
  }
};
// A repeated field left in the request: each occurrence checked, its place
// kept.
template <class T>
struct FieldCodec<Repeated<T>> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  static bool merge(Repeated<T>& v, Cursor& c, int budget) { return v.note(c, budget); }
  static void reserve(Repeated<T>& v, uint32_t number, Cursor& c, const uint8_t* limit) {
    v.reserve(number, c, limit);
  }
};
// A map left in the request: each entry checked, the way to them kept.
template <class V>
struct FieldCodec<RequestMap<V>> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  static bool merge(RequestMap<V>& v, Cursor& c, int budget) { return v.note(c, budget); }
};
template <class V>
struct FieldCodec<UpdatedMap<V>> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  static bool merge(UpdatedMap<V>& v, Cursor& c, int budget) { return v.note(c, budget); }
};
template <>
struct FieldCodec<Bytes> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  static bool merge(Bytes& v, Cursor& c, int budget) {
    return ValueCodec<Bytes>::merge(v, c, budget);
  }
};
// One map entry merged into a Map: how RequestMap and UpdatedMap decode the
// entries they hold or visit. (No message has a Map member: TARV_MESSAGE
// refuses one.)
template <class V>
struct FieldCodec<Map<V>> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  // An entry is a nested message: key 1 and value 2, each defaulting when
  // missing; a later entry with the same key replaces the earlier one.
  static bool merge(Map<V>& map, Cursor& c, int budget) {
    const uint8_t* limit = nullptr;
    if (!c.check_recursion(budget) || !c.begin_nested(limit)) return false;
    std::string key;
    V value{};
    while (!c.at_or_past(limit)) {
      uint32_t number;
      WireType wire_type;
      if (!c.read_key(number, wire_type)) return false;
      if (number == 1) {
        if (!c.check_wire_type(WireType::kLengthDelimited, wire_type) ||
            !ValueCodec<std::string>::merge(key, c, budget - 1)) {
          return false;
        }
      } else if (number == 2) {
        if (!c.check_wire_type(ValueCodec<V>::kWire, wire_type)) return false;
        c.enter(2);
        if (!ValueCodec<V>::merge(value, c, budget - 1)) return false;
        c.leave();
      } else if (!c.skip_field(number, wire_type, budget - 1)) {
        return false;
      }
    }
    if (!c.end_nested(limit)) return false;
    map.insert_or_assign(std::move(key), std::move(value));
    return true;
  }
};

// One occurrence of a table entry, its key just read.
template <class M, class T>
bool merge_field(M& msg, const Field<M, T>& field, uint32_t, WireType wire_type, Cursor& c,
                 const uint8_t* limit, int budget) {
  if (!c.check_wire_type(FieldCodec<T>::kWire, wire_type)) {
    return c.push(MessageInfo<M>::kName, field.name);
  }
  if constexpr (requires { FieldCodec<T>::reserve; }) {
    FieldCodec<T>::reserve(msg.*field.member, field.number, c, limit);
  }
  c.enter(field.number);
  if (!FieldCodec<T>::merge(msg.*field.member, c, budget)) {
    return c.push(MessageInfo<M>::kName, field.name);
  }
  c.leave();
  return true;
}
template <class M>
bool merge_field(M& msg, const Oneof<M>& field, uint32_t number, WireType wire_type, Cursor& c,
                 const uint8_t*, int budget) {
  c.enter(number);
  if (!OneofCodec<M>::merge(msg, number, wire_type, c, budget)) {
    return c.push(MessageInfo<M>::kName, field.name);
  }
  c.leave();
  return true;
}

// Decodes one field of `msg` whose key was just read: the entry that covers
// its number, or a skip.
template <Message M>
bool merge_one(M& msg, uint32_t number, WireType wire_type, Cursor& c, const uint8_t* limit,
               int budget) {
  bool known = false;
  bool ok = true;
  for_each_field<M>([&](const auto& field) TARV_WIRE_INLINE {
    if (!covers(field, number)) return true;
    known = true;
    ok = merge_field(msg, field, number, wire_type, c, limit, budget);
    return false;
  });
  if (!known) return c.skip_field(number, wire_type, budget);
  return ok;
}

template <Message M>
bool merge_message_fields(M& msg, Cursor& c, const uint8_t* limit, int budget) {
  while (!c.at_or_past(limit)) {
    uint32_t number;
    WireType wire_type;
    if (!c.read_key(number, wire_type) || !merge_one(msg, number, wire_type, c, limit, budget)) {
      return false;
    }
  }
  return true;
}

// Decodes a whole top-level message. The empty buffer is the empty message.
template <Message M>
bool decode(const uint8_t* data, size_t size, M& msg, DecodeError& error,
            Holding holding = Holding::kWithinBudget) {
  if (size == 0) return true;
  Cursor c(data, size, holding);
  if (merge_message_fields(msg, c, data + size, kRecursionLimit)) {
    TARV_VERIFY_CHECK(c.path().empty());  // every field entered was left
    return true;
  }
  error = c.take_error();
  return false;
}

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_DECODE_H_
