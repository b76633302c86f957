#include "converter/bit_buffer.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tarv::converter {

void BitWriter::put_bits_slow(uint64_t value, unsigned width) {
  if (width == 0) return;
  const unsigned used = bits_ % 8;
  if (used + width > 64) {  // a wide field off a byte boundary: in two parts
    put_bits(value >> 32, width - 32);
    put_bits(value, 32);
    return;
  }
  if (width < 64) value &= (uint64_t{1} << width) - 1;
  room_for(bits_ + width);
  uint8_t* p = bytes_.data() + bits_ / 8;
  bits_ += width;
  // The field as the top bits of a big-endian word, after the `used` bits.
  const uint64_t word = value << (64 - used - width);
  if (std::endian::native == std::endian::little &&
      static_cast<size_t>(bytes_.data() + bytes_.size() - p) >= 8) {
    uint64_t current;
    std::memcpy(&current, p, 8);
    current = __builtin_bswap64(__builtin_bswap64(current) | word);
    std::memcpy(p, &current, 8);
    return;
  }
  for (unsigned i = 0; i < (used + width + 7) / 8; ++i) {
    p[i] = static_cast<uint8_t>(p[i] | (word >> (56 - 8 * i)));
  }
}

void BitWriter::put_bytes(std::span<const char> bytes) {
  if (bits_ % 8 == 0) {
    room_for(bits_ + 8 * bytes.size());
    if (!bytes.empty()) std::memcpy(bytes_.data() + bits_ / 8, bytes.data(), bytes.size());
    bits_ += 8 * bytes.size();
    return;
  }
  // Off a byte boundary: seven bytes a field, which put_bits takes whole.
  size_t i = 0;
  for (; i + 7 <= bytes.size(); i += 7) {
    uint64_t chunk = 0;
    for (size_t j = 0; j < 7; ++j) chunk = chunk << 8 | static_cast<uint8_t>(bytes[i + j]);
    put_bits(chunk, 56);
  }
  for (; i < bytes.size(); ++i) put_bits(static_cast<uint8_t>(bytes[i]), 8);
}

std::expected<uint64_t, DocError> BitReader::get_bits(unsigned width) {
  if (remaining() < width) return incomplete(width);
  uint64_t value = 0;
  while (width > 0) {
    const unsigned offset = pos_ % 8;
    const unsigned avail = 8 - offset;
    const unsigned take = std::min(avail, width);
    const unsigned chunk = (unsigned{in_[pos_ / 8]} >> (avail - take)) & ((1u << take) - 1);
    value = (value << take) | chunk;
    width -= take;
    pos_ += take;
  }
  return value;
}

Status BitReader::get_bytes(std::span<char> out) {
  if (remaining() / 8 < out.size()) return incomplete(8 * uint64_t{out.size()});
  if (pos_ % 8 == 0) {
    if (!out.empty()) std::memcpy(out.data(), in_.data() + pos_ / 8, out.size());
    pos_ += 8 * out.size();
    return {};
  }
  for (char& c : out) c = static_cast<char>(*get_bits(8));
  return {};
}

Status BitReader::skip(size_t bits) {
  if (remaining() < bits) return incomplete(bits);
  pos_ += bits;
  return {};
}

}  // namespace tarv::converter
