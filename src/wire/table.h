// The field tables: how a message type describes its fields to the codec.
//
// Every message is a plain struct (src/messages.h) with a MessageInfo table
// of its fields, (number, name, member) entries in ascending field number,
// and oneofs as number ranges that OneofCodec reads and writes. Decoding,
// sizing and writing walk these tables with for_each_field.
#ifndef TARV_SRC_WIRE_TABLE_H_
#define TARV_SRC_WIRE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
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

// The lowest and highest field number an entry covers.
template <class M, class T>
constexpr uint32_t first_number(const Field<M, T>& field) {
  return field.number;
}
template <class M, class T>
constexpr uint32_t last_number(const Field<M, T>& field) {
  return field.number;
}
template <class M>
constexpr uint32_t first_number(const Oneof<M>& field) {
  return field.first;
}
template <class M>
constexpr uint32_t last_number(const Oneof<M>& field) {
  return field.last;
}

// Whether an entry is the one of field `number`.
template <class M, class T>
constexpr bool covers(const Field<M, T>& field, uint32_t number) {
  return field.number == number;
}
template <class M>
constexpr bool covers(const Oneof<M>& field, uint32_t number) {
  return number >= field.first && number <= field.last;
}

// Visitors of a walk are inlined into it: a field type that two entries share
// would otherwise make its visit a call of its own, and a walk costs what a
// hand-written chain of tests on the field number costs.
#define TARV_WIRE_INLINE __attribute__((always_inline))

enum class Order : uint8_t { kAscending, kDescending };

// The table entry visited `i`-th in a walk over `n` entries.
template <Order order, size_t n>
constexpr size_t walk_index(size_t i) {
  return order == Order::kAscending ? i : n - 1 - i;
}

// Walks the field table of M: visit(entry) for each entry, in ascending
// number or last entry first, until a visit returns false. Returns whether
// every visit returned true. Every walk is unrolled at compile time; visitors
// on hot paths are marked TARV_WIRE_INLINE.
template <Message M, Order order = Order::kAscending, class Visit>
constexpr bool for_each_field(Visit&& visit) {
  constexpr auto& fields = MessageInfo<M>::kFields;
  constexpr size_t n = std::tuple_size_v<std::remove_cvref_t<decltype(fields)>>;
  return [&]<size_t... I>(std::index_sequence<I...>) {
    return (visit(std::get<walk_index<order, n>(I)>(fields)) && ...);
  }
  (std::make_index_sequence<n>{});
}

// The number of the field of M at `member`, for code that writes a field of
// M itself (write_left).
template <class M, class T>
constexpr bool is_field_of(const Field<M, T>& field, T M::*member) {
  return field.member == member;
}
template <class Entry, class Member>
constexpr bool is_field_of(const Entry&, Member) {
  return false;
}
template <Message M, class T>
consteval uint32_t field_number(T M::*member) {
  uint32_t number = 0;
  for_each_field<M>([&](const auto& field) {
    if (is_field_of(field, member)) number = field.number;
    return number == 0;
  });
  if (number == 0) throw "not a field of the message's table";
  return number;
}

// Field tables list their fields in ascending number; encoding relies on it.
template <Message M>
constexpr bool fields_ascending() {
  uint32_t last = 0;
  return for_each_field<M>([&](const auto& field) {
    const bool ascending = first_number(field) > last;
    last = last_number(field);
    return ascending;
  });
}

// A repeated field is a Repeated<T> and a map a RequestMap<V> or an
// UpdatedMap<V>, which hold or leave their elements within the request's
// budget: a plain std::vector<T> (but Bytes) or Map<V> member would hold any
// number of them, and the codec has none for it.
template <class T>
inline constexpr bool kPlainContainer = false;
template <class T>
inline constexpr bool kPlainContainer<std::vector<T>> = !std::is_same_v<T, uint8_t>;
template <class V>
inline constexpr bool kPlainContainer<Map<V>> = true;

template <class M, class T>
constexpr bool plain_container(const Field<M, T>&) {
  return kPlainContainer<T>;
}
template <class M>
constexpr bool plain_container(const Oneof<M>&) {
  return false;
}

template <Message M>
constexpr bool no_plain_containers() {
  return for_each_field<M>([](const auto& field) { return !plain_container(field); });
}

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_TABLE_H_
