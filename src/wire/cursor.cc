#include "src/wire/cursor.h"

#include <cstring>
#include <string>

namespace tarv::wire {
namespace {

constexpr std::string_view kWireTypeNames[] = {"Varint",     "SixtyFourBit", "LengthDelimited",
                                               "StartGroup", "EndGroup",     "ThirtyTwoBit"};

// A varint at p, without the checks of decoding: a count only needs to stop.
bool skim_varint(const uint8_t*& p, const uint8_t* end, uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 64 && p < end; shift += 7) {
    const uint8_t byte = *p++;
    value |= static_cast<uint64_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return true;
  }
  return false;
}

}  // namespace

std::string DecodeError::render() const {
  std::string out = "DecodeError { description: \"";
  for (char ch : description) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  out += "\", stack: [";
  for (size_t i = 0; i < stack.size(); ++i) {
    if (i > 0) out += ", ";
    out += "(\"";
    out += stack[i].first;
    out += "\", \"";
    out += stack[i].second;
    out += "\")";
  }
  out += "] }";
  return out;
}

size_t Cursor::count_ahead(uint32_t number, const uint8_t* limit) const {
  // A key may have run past the message's end already; its field fails
  // after it was read, and nothing is counted here.
  if (p_ >= limit) return 0;
  const uint64_t wanted = (static_cast<uint64_t>(number) << 3) | 2;
  const uint8_t* p = p_;
  uint64_t key = wanted;
  uint64_t value;
  size_t count = 0;
  while (true) {
#ifdef TARV_COUNT_STEPS
    ++key_reads;  // each field skimmed is a key read of its own
#endif
    switch (key & 7) {
      case 0:
        if (!skim_varint(p, limit, value)) return count;
        break;
      case 1:
        if (limit - p < 8) return count;
        p += 8;
        break;
      case 2:
        if (!skim_varint(p, limit, value) || value > static_cast<uint64_t>(limit - p)) {
          return count;
        }
        p += value;
        count += key == wanted;
        break;
      case 5:
        if (limit - p < 4) return count;
        p += 4;
        break;
      default:  // groups and invalid types end the count
        return count;
    }
    if (p == limit || !skim_varint(p, limit, key)) return count;
  }
}

Cursor::Element Cursor::enter_element() {
  const Element outer = element_;
  const uint8_t* p = p_;
  uint64_t length;
  if (skim_varint(p, end_, length) && length <= static_cast<uint64_t>(end_ - p)) {
    element_ = {p, p + length, depth_};
  }
  return outer;
}

// A varint of at most ten bytes; the tenth may only hold the 64th bit.
bool Cursor::read_varint_slow(uint64_t& value) {
  uint64_t result = 0;
  for (int i = 0; i < 10; ++i) {
    if (p_ == end_) return fail("invalid varint");
    uint8_t byte = *p_++;
    if (i == 9 && byte > 1) return fail("invalid varint");
    result |= static_cast<uint64_t>(byte & 0x7F) << (7 * i);
    if (byte < 0x80) {
      value = result;
      return true;
    }
  }
  return fail("invalid varint");  // unreachable: the tenth byte ends it
}

bool Cursor::read_key_slow(uint32_t& number, WireType& wire_type) {
  uint64_t key;
  if (!read_varint(key)) return false;
  if (key > 0xFFFFFFFFu) return fail("invalid key value: " + std::to_string(key));
  uint64_t type = key & 7;
  if (type > 5) return fail("invalid wire type value: " + std::to_string(type));
  number = static_cast<uint32_t>(key >> 3);
  if (number == 0) return fail("invalid tag value: 0");
  wire_type = static_cast<WireType>(type);
  return true;
}

bool Cursor::wire_type_error(WireType expected, WireType actual) {
  std::string description = "invalid wire type: ";
  description += kWireTypeNames[static_cast<int>(actual)];
  description += " (expected ";
  description += kWireTypeNames[static_cast<int>(expected)];
  description += ")";
  return fail(std::move(description));
}

bool Cursor::skip_field(uint32_t number, WireType wire_type, int budget) {
  if (!check_recursion(budget)) return false;
  uint64_t length = 0;
  switch (wire_type) {
    case WireType::kVarint:
      return read_varint(length);
    case WireType::kSixtyFourBit:
      length = 8;
      break;
    case WireType::kThirtyTwoBit:
      length = 4;
      break;
    case WireType::kLengthDelimited:
      if (!read_varint(length)) return false;
      break;
    case WireType::kStartGroup:
      for (;;) {
        uint32_t inner_number;
        WireType inner_type;
        if (!read_key(inner_number, inner_type)) return false;
        if (inner_type == WireType::kEndGroup) {
          if (inner_number != number) return fail("unexpected end group tag");
          return true;
        }
        if (!skip_field(inner_number, inner_type, budget - 1)) return false;
      }
    case WireType::kEndGroup:
      return fail("unexpected end group tag");
  }
  if (length > remaining()) return fail("buffer underflow");
  p_ += length;
  return true;
}

}  // namespace tarv::wire
