#include "converter/bit_buffer.h"

#include <algorithm>
#include <cstring>

namespace tarv::converter {

void BitWriter::put_bits(uint64_t value, unsigned width) {
  if (width == 0) return;
  if (width < 64) value &= (uint64_t{1} << width) - 1;
  if (const unsigned used = bits_ % 8; used != 0) {  // finish the partial byte
    const unsigned room = 8 - used;
    const unsigned take = std::min(room, width);
    const auto chunk = static_cast<unsigned>(value >> (width - take));
    bytes_.back() = static_cast<uint8_t>(bytes_.back() | (chunk << (room - take)));
    width -= take;
    bits_ += take;
  }
  while (width >= 8) {
    width -= 8;
    bytes_.push_back(static_cast<uint8_t>(value >> width));
    bits_ += 8;
  }
  if (width > 0) {
    bytes_.push_back(static_cast<uint8_t>(value << (8 - width)));
    bits_ += width;
  }
}

void BitWriter::put_bytes(std::span<const char> bytes) {
  if (bits_ % 8 == 0) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    bytes_.insert(bytes_.end(), p, p + bytes.size());
    bits_ += 8 * bytes.size();
    return;
  }
  for (const char c : bytes) put_bits(static_cast<uint8_t>(c), 8);
}

void BitWriter::put_zeros(size_t bits) {
  // The unused bits of a partial last byte are already 0.
  bits_ += bits;
  bytes_.resize((bits_ + 7) / 8, 0);
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
