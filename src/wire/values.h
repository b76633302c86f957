// The value codecs: for each type a field may hold, its wire type, how one
// value is read (merged into the member), and for the encoder whether it is
// the default and its varint form.
#ifndef TARV_SRC_WIRE_VALUES_H_
#define TARV_SRC_WIRE_VALUES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/text/utf8.h"
#include "src/wire/cursor.h"
#include "src/wire/table.h"

namespace tarv::wire {

template <class T>
struct ValueCodec;

// The varint types: uint64, int64, uint32, int32 and bool. A 32-bit type
// keeps the low 32 bits of the varint; a negative int32 takes ten bytes,
// sign-extended.
template <class T>
requires std::is_integral_v<T>
struct ValueCodec<T> {
  static constexpr WireType kWire = WireType::kVarint;
  TARV_WIRE_INLINE static bool merge(T& v, Cursor& c, int) {
    uint64_t u;
    if (!c.read_varint(u)) return false;
    if constexpr (std::is_same_v<T, bool>) {
      v = u != 0;
    } else {
      v = static_cast<T>(u);  // modulo 2^N
    }
    return true;
  }
  static bool is_default(T v) { return v == T{}; }
  static uint64_t raw(T v) {
    if constexpr (std::is_signed_v<T>) {
      return static_cast<uint64_t>(static_cast<int64_t>(v));
    } else {
      return static_cast<uint64_t>(v);
    }
  }
};
// Text left in the request: a view of its bytes, checked as UTF-8. The
// request outlives every message decoded from it.
template <>
struct ValueCodec<std::string_view> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  static bool merge(std::string_view& v, Cursor& c, int) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!c.read_length_delimited(data, size)) return false;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!text::utf8::is_valid(text)) {
      return c.fail("invalid string value: data is not UTF-8 encoded");
    }
    v = text;
    return true;
  }
  static bool is_default(std::string_view v) { return v.empty(); }
};
template <>
struct ValueCodec<std::string> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  static bool merge(std::string& v, Cursor& c, int budget) {
    std::string_view text;
    if (!ValueCodec<std::string_view>::merge(text, c, budget)) return false;
    v.assign(text);
    return true;
  }
  static bool is_default(const std::string& v) { return v.empty(); }
};
template <>
struct ValueCodec<Bytes> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  static bool merge(Bytes& v, Cursor& c, int) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!c.read_length_delimited(data, size)) return false;
    v.assign(data, data + size);
    return true;
  }
  static bool is_default(const Bytes& v) { return v.empty(); }
};

template <Message M>
bool merge_message_fields(M& msg, Cursor& c, const uint8_t* limit, int budget);

template <Message M>
struct ValueCodec<M> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  // Merges a nested message into `msg`: the recursion check, the length
  // prefix, the fields, then the check that they ended where it said.
  static bool merge(M& msg, Cursor& c, int budget) {
    const uint8_t* limit = nullptr;
    if (!c.check_recursion(budget) || !c.begin_nested(limit)) return false;
    return merge_message_fields(msg, c, limit, budget - 1) && c.end_nested(limit);
  }
};

template <class T>
concept Scalar = !Message<T> && requires(T v) {
  ValueCodec<T>::raw(v);
};

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_VALUES_H_
