// The Protocol Buffers wire codec of the requests and responses.
//
// Messages are plain structs (messages.h); each describes its fields once, in
// a MessageInfo table of (number, name, member) entries in ascending field
// number. Decoding and encoding are generic over those tables.
//
// Decoding is strict and reports failures the way hosts see them on standard
// error: a description and the (message, field) pairs that were being decoded,
// innermost first. Its rules:
//   - the whole buffer is one cursor; a nested message's declared length only
//     bounds the loop over its fields, so a field that runs past it is caught
//     after it was read ("delimited length exceeded");
//   - known fields must arrive with their own wire type;
//   - unknown fields of every wire type (groups included) are skipped;
//   - the last scalar wins, repeated fields append, a repeated message merges;
//   - uint32 and int32 keep the low 32 bits of the varint;
//   - strings (map keys too) must be UTF-8;
//   - messages, map entries and groups nest at most 100 deep.
//
// Encoding is canonical: fields in ascending number; singular scalars only
// when not 0, strings and bytes only when not empty; fields with presence
// whenever present; map entries without a default key or a default value;
// nothing unknown. encoded_size() is exact, so buffers are sized exactly, and
// writing fills a buffer from its end, each message before its length.
#ifndef TARV_SRC_WIRE_H_
#define TARV_SRC_WIRE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace tarv::wire {

enum class WireType : uint8_t {
  kVarint = 0,
  kSixtyFourBit = 1,
  kLengthDelimited = 2,
  kStartGroup = 3,
  kEndGroup = 4,
  kThirtyTwoBit = 5,
};

using Bytes = std::vector<uint8_t>;

// Maps are keyed by text (currency codes, decimal numbers, group names).
template <class V>
using Map = std::map<std::string, V, std::less<>>;

struct DecodeError {
  std::string description;
  // (message, field) pairs, innermost first.
  std::vector<std::pair<std::string_view, std::string_view>> stack;

  // DecodeError { description: "...", stack: [("Msg", "field"), ...] }
  std::string render() const;
};

// Every message type specialises MessageInfo with kName and kFields.
template <class M>
struct MessageInfo;

template <class M>
concept Message = requires {
  MessageInfo<M>::kName;
};

template <class M, class T>
struct Field {
  uint32_t number;
  std::string_view name;
  T M::*member;
};

// A oneof: field numbers first..last belong to one member named `name`;
// OneofCodec<M> reads and writes it.
template <class M>
struct Oneof {
  uint32_t first;
  uint32_t last;
  std::string_view name;
};

template <class M>
struct OneofCodec;

// ---------------------------------------------------------------------------
// Decoding

// The recursion budget: messages, map entries and groups nest at most this
// deep.
inline constexpr int kRecursionLimit = 100;

class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

  size_t remaining() const { return static_cast<size_t>(end_ - p_); }
  const uint8_t* position() const { return p_; }

  bool read_varint(uint64_t& value) {
    if (p_ != end_ && *p_ < 0x80) {  // most varints are one byte
      value = *p_++;
      return true;
    }
    return read_varint_slow(value);
  }
  // A key: its field number and wire type, with the key checks.
  bool read_key(uint32_t& number, WireType& wire_type) {
    // Most keys are one byte: a field number below 16 and a known wire type.
    if (p_ != end_ && *p_ < 0x80 && *p_ >= 8 && (*p_ & 7) <= 5) {
      number = *p_ >> 3;
      wire_type = static_cast<WireType>(*p_++ & 7);
      return true;
    }
    return read_key_slow(number, wire_type);
  }
  // A length prefix followed by that many bytes.
  bool read_length_delimited(const uint8_t*& data, size_t& size);
  bool skip_field(uint32_t number, WireType wire_type, int budget);

  bool fail(std::string description) {
    error_.description = std::move(description);
    return false;
  }
  bool push(std::string_view message, std::string_view field) {
    error_.stack.emplace_back(message, field);
    return false;
  }
  bool check_wire_type(WireType expected, WireType actual);
  bool check_recursion(int budget) { return budget > 0 || fail("recursion limit reached"); }
  // Reads a length prefix and returns the cursor position at which the
  // nested value ends.
  bool begin_nested(const uint8_t*& limit);
  bool end_nested(const uint8_t* limit) { return p_ == limit || fail("delimited length exceeded"); }
  bool at_or_past(const uint8_t* limit) const { return p_ >= limit; }
  // Right after the key of a length-delimited field `number`: how many
  // occurrences of it are left up to `limit`, this one included. A sizing
  // hint, so it stops at anything malformed, or at a position already past
  // `limit`, and never fails.
  size_t count_ahead(uint32_t number, const uint8_t* limit) const;

  DecodeError take_error() { return std::move(error_); }

 private:
  bool read_varint_slow(uint64_t& value);
  bool read_key_slow(uint32_t& number, WireType& wire_type);

  const uint8_t* p_;
  const uint8_t* end_;
  DecodeError error_;
};

bool is_utf8(const uint8_t* data, size_t size);

template <class T>
struct ValueCodec;

template <>
struct ValueCodec<uint64_t> {
  static constexpr WireType kWire = WireType::kVarint;
  static bool merge(uint64_t& v, Cursor& c, int) { return c.read_varint(v); }
  static bool is_default(uint64_t v) { return v == 0; }
  static uint64_t raw(uint64_t v) { return v; }
};
template <>
struct ValueCodec<int64_t> {
  static constexpr WireType kWire = WireType::kVarint;
  static bool merge(int64_t& v, Cursor& c, int) {
    uint64_t u;
    if (!c.read_varint(u)) return false;
    v = static_cast<int64_t>(u);
    return true;
  }
  static bool is_default(int64_t v) { return v == 0; }
  static uint64_t raw(int64_t v) { return static_cast<uint64_t>(v); }
};
template <>
struct ValueCodec<uint32_t> {
  static constexpr WireType kWire = WireType::kVarint;
  static bool merge(uint32_t& v, Cursor& c, int) {
    uint64_t u;
    if (!c.read_varint(u)) return false;
    v = static_cast<uint32_t>(u);
    return true;
  }
  static bool is_default(uint32_t v) { return v == 0; }
  static uint64_t raw(uint32_t v) { return v; }
};
template <>
struct ValueCodec<int32_t> {
  static constexpr WireType kWire = WireType::kVarint;
  static bool merge(int32_t& v, Cursor& c, int) {
    uint64_t u;
    if (!c.read_varint(u)) return false;
    v = static_cast<int32_t>(static_cast<uint32_t>(u));
    return true;
  }
  static bool is_default(int32_t v) { return v == 0; }
  // Negative int32 values take ten bytes, sign-extended.
  static uint64_t raw(int32_t v) { return static_cast<uint64_t>(static_cast<int64_t>(v)); }
};
template <>
struct ValueCodec<bool> {
  static constexpr WireType kWire = WireType::kVarint;
  static bool merge(bool& v, Cursor& c, int) {
    uint64_t u;
    if (!c.read_varint(u)) return false;
    v = u != 0;
    return true;
  }
  static bool is_default(bool v) { return !v; }
  static uint64_t raw(bool v) { return v ? 1 : 0; }
};
template <>
struct ValueCodec<std::string> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  static bool merge(std::string& v, Cursor& c, int) {
    const uint8_t* data;
    size_t size;
    if (!c.read_length_delimited(data, size)) return false;
    if (!is_utf8(data, size)) return c.fail("invalid string value: data is not UTF-8 encoded");
    v.assign(reinterpret_cast<const char*>(data), size);
    return true;
  }
  static bool is_default(const std::string& v) { return v.empty(); }
};
template <>
struct ValueCodec<Bytes> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  static bool merge(Bytes& v, Cursor& c, int) {
    const uint8_t* data;
    size_t size;
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
    const uint8_t* limit;
    if (!c.check_recursion(budget) || !c.begin_nested(limit)) return false;
    return merge_message_fields(msg, c, limit, budget - 1) && c.end_nested(limit);
  }
};

template <class T>
concept Scalar = !Message<T> && requires(T v) {
  ValueCodec<T>::raw(v);
};

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
template <class T>
struct FieldCodec<std::vector<T>> {
  static constexpr WireType kWire = ValueCodec<T>::kWire;
  // Decodes in place; a failed decode drops the whole message anyway.
  static bool merge(std::vector<T>& v, Cursor& c, int budget) {
    return ValueCodec<T>::merge(v.emplace_back(), c, budget);
  }
  // Before the first occurrence: room for all of them, so the elements are
  // allocated once and never moved.
  static void reserve(std::vector<T>& v, uint32_t number, const Cursor& c, const uint8_t* limit) {
    if constexpr (kWire == WireType::kLengthDelimited) {
      if (v.empty()) v.reserve(c.count_ahead(number, limit));
    }
  }
};
template <>
struct FieldCodec<Bytes> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  static bool merge(Bytes& v, Cursor& c, int budget) {
    return ValueCodec<Bytes>::merge(v, c, budget);
  }
};
template <class V>
struct FieldCodec<Map<V>> {
  static constexpr WireType kWire = WireType::kLengthDelimited;
  // An entry is a nested message: key 1 and value 2, each defaulting when
  // missing; a later entry with the same key replaces the earlier one.
  static bool merge(Map<V>& map, Cursor& c, int budget) {
    const uint8_t* limit;
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
        if (!c.check_wire_type(ValueCodec<V>::kWire, wire_type) ||
            !ValueCodec<V>::merge(value, c, budget - 1)) {
          return false;
        }
      } else if (!c.skip_field(number, wire_type, budget - 1)) {
        return false;
      }
    }
    if (!c.end_nested(limit)) return false;
    map.insert_or_assign(std::move(key), std::move(value));
    return true;
  }
};

template <class M, class T>
bool merge_field(M& msg, const Field<M, T>& field, WireType wire_type, Cursor& c,
                 const uint8_t* limit, int budget) {
  if (!c.check_wire_type(FieldCodec<T>::kWire, wire_type)) {
    return c.push(MessageInfo<M>::kName, field.name);
  }
  if constexpr (requires { FieldCodec<T>::reserve; }) {
    FieldCodec<T>::reserve(msg.*field.member, field.number, c, limit);
  }
  if (!FieldCodec<T>::merge(msg.*field.member, c, budget)) {
    return c.push(MessageInfo<M>::kName, field.name);
  }
  return true;
}
template <class M>
bool merge_field(M& msg, const Oneof<M>& field, uint32_t number, WireType wire_type, Cursor& c,
                 int budget) {
  if (!OneofCodec<M>::merge(msg, number, wire_type, c, budget)) {
    return c.push(MessageInfo<M>::kName, field.name);
  }
  return true;
}

template <class M, class T>
constexpr bool covers(const Field<M, T>& field, uint32_t number) {
  return field.number == number;
}
template <class M>
constexpr bool covers(const Oneof<M>& field, uint32_t number) {
  return number >= field.first && number <= field.last;
}

// Decodes one field of `msg` whose key was just read.
template <Message M>
bool merge_one(M& msg, uint32_t number, WireType wire_type, Cursor& c, const uint8_t* limit,
               int budget) {
  bool known = false;
  bool ok = true;
  std::apply(
      [&](const auto&... field) {
        (void)((covers(field, number) &&
                (
                    known = true,
                    ok =
                        [&]() {
                          if constexpr (requires { field.member; }) {
                            return merge_field(msg, field, wire_type, c, limit, budget);
                          } else {
                            return merge_field(msg, field, number, wire_type, c, budget);
                          }
                        }(),
                    true)) ||
               ...);
      },
      MessageInfo<M>::kFields);
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
bool decode(const uint8_t* data, size_t size, M& msg, DecodeError& error) {
  if (size == 0) return true;
  Cursor c(data, size);
  if (merge_message_fields(msg, c, data + size, kRecursionLimit)) return true;
  error = c.take_error();
  return false;
}

// ---------------------------------------------------------------------------
// Encoding

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

inline uint8_t* write_varint_before(uint64_t v, uint8_t* end) {
  uint8_t* start = end - varint_size(v);
  write_varint(v, start);
  return start;
}

template <Message M>
size_t encoded_size(const M& msg);
template <Message M>
uint8_t* write_fields_before(const M& msg, uint8_t* end);

// The payload of one value (no key): a varint, or a length prefix and bytes.
template <class T>
size_t value_size(const T& v) {
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
uint8_t* write_value_before(const T& v, uint8_t* end) {
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
size_t occurrence_size(uint32_t number, const T& v) {
  return varint_size(make_key(number, ValueCodec<T>::kWire)) + value_size(v);
}
template <class T>
uint8_t* write_occurrence_before(uint32_t number, const T& v, uint8_t* end) {
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
template <class T>
struct FieldEncoder<std::vector<T>> {
  static size_t size(uint32_t number, const std::vector<T>& v) {
    size_t n = 0;
    for (const T& e : v) n += occurrence_size(number, e);
    return n;
  }
  static uint8_t* write_before(uint32_t number, const std::vector<T>& v, uint8_t* end) {
    for (auto e = v.rbegin(); e != v.rend(); ++e) end = write_occurrence_before(number, *e, end);
    return end;
  }
};
template <>
struct FieldEncoder<Bytes> {
  static size_t size(uint32_t number, const Bytes& v) {
    return v.empty() ? 0 : occurrence_size(number, v);
  }
  static uint8_t* write_before(uint32_t number, const Bytes& v, uint8_t* end) {
    return v.empty() ? end : write_occurrence_before(number, v, end);
  }
};
template <class V>
struct FieldEncoder<Map<V>> {
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
  static size_t size(uint32_t number, const Map<V>& map) {
    const size_t key = varint_size(make_key(number, WireType::kLengthDelimited));
    size_t n = 0;
    for (const auto& [k, value] : map) {
      const size_t entry = entry_size(k, value);
      n += key + varint_size(entry) + entry;
    }
    return n;
  }
  static uint8_t* write_before(uint32_t number, const Map<V>& map, uint8_t* end) {
    for (auto e = map.rbegin(); e != map.rend(); ++e) {
      const auto& [key, value] = *e;
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
      end = write_varint_before(make_key(number, WireType::kLengthDelimited), end);
    }
    return end;
  }
};

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
  return std::apply(
      [&](const auto&... field) { return (size_t{0} + ... + field_size(msg, field)); },
      MessageInfo<M>::kFields);
}

// The fields of `msg`, last field first, ending at `end`.
template <Message M>
uint8_t* write_fields_before(const M& msg, uint8_t* end) {
  constexpr auto& fields = MessageInfo<M>::kFields;
  constexpr size_t n = std::tuple_size_v<std::remove_cvref_t<decltype(fields)>>;
  [&]<size_t... I>(std::index_sequence<I...>) {
    ((end = write_field_before(msg, std::get<n - 1 - I>(fields), end)), ...);
  }
  (std::make_index_sequence<n>{});
  return end;
}

// Writes `msg` into [out, out + size), where size is encoded_size(msg).
// Returns where the writing began: `out` itself, since sizes are exact.
template <Message M>
uint8_t* write_message(const M& msg, uint8_t* out, size_t size) {
  return write_fields_before(msg, out + size);
}

// Field tables list their fields in ascending number; encoding relies on it.
template <Message M>
constexpr bool fields_ascending() {
  uint32_t last = 0;
  bool ok = true;
  std::apply(
      [&](const auto&... field) {
        ((ok = ok &&
               [&]() {
                 uint32_t first;
                 uint32_t end;
                 if constexpr (requires { field.member; }) {
                   first = end = field.number;
                 } else {
                   first = field.first;
                   end = field.last;
                 }
                 bool ascending = first > last;
                 last = end;
                 return ascending;
               }()),
         ...);
      },
      MessageInfo<M>::kFields);
  return ok;
}

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_H_
