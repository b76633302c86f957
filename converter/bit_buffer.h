// The bit stream of a document: written and read most significant bit first,
// bytes filled from bit 7 down, fields starting anywhere inside a byte.
#ifndef TARV_CONVERTER_BIT_BUFFER_H_
#define TARV_CONVERTER_BIT_BUFFER_H_

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <expected>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/try.h"
#include "converter/doc_error.h"

namespace tarv::converter {

using Status = std::expected<void, DocError>;

inline std::unexpected<DocError> fail(DocError::Kind kind, std::string message) {
  return std::unexpected(DocError{kind, std::move(message), 0});
}
inline std::unexpected<DocError> incomplete(uint64_t bits) {
  return std::unexpected(DocError{DocError::Kind::kIncomplete, {}, bits});
}

// The buffer is kept zeroed ahead of the write position, so a field ORs its
// bits in, eight bytes at a time where the buffer has room, and zeros only
// move the position.
class BitWriter {
 public:
  // Room for a document of `n` bytes, allocated once.
  void reserve_bytes(size_t n) { bytes_.resize(n); }

  // The low `width` bits of `value` (width <= 64). Inline where the field
  // ORs into one 8-byte word of the buffer, the case of almost every field.
  void put_bits(uint64_t value, unsigned width) {
    const size_t at = bits_ / 8;
    const unsigned used = bits_ % 8;
    if (std::endian::native != std::endian::little || width == 0 || used + width > 64 ||
        bytes_.size() - at < 8) {
      put_bits_slow(value, width);
      return;
    }
    if (width < 64) value &= (uint64_t{1} << width) - 1;
    // The field as the top bits of a big-endian word, after the `used` bits.
    uint64_t current;
    std::memcpy(&current, bytes_.data() + at, 8);
    current = __builtin_bswap64(__builtin_bswap64(current) | value << (64 - used - width));
    std::memcpy(bytes_.data() + at, &current, 8);
    bits_ += width;
  }
  // Each byte as 8 bits.
  void put_bytes(std::span<const char> bytes);
  // The next `n` bytes, zeroed, to be filled in place when the position is
  // on a byte boundary; else empty, and nothing is taken.
  std::span<char> take_bytes(size_t n) {
    if (bits_ % 8 != 0) return {};
    room_for(bits_ + 8 * n);
    const size_t at = bits_ / 8;
    bits_ += 8 * n;
    return {reinterpret_cast<char*>(bytes_.data()) + at, n};
  }
  void put_zeros(size_t bits) {
    bits_ += bits;
    room_for(bits_);
  }

  size_t bit_size() const { return bits_; }
  // The bytes written; a last partial byte is padded with 0 bits.
  std::vector<uint8_t> take() && {
    bytes_.resize((bits_ + 7) / 8);
    return std::move(bytes_);
  }

 private:
  // Grows the zeroed buffer to hold `bits` bits.
  void room_for(size_t bits) {
    const size_t n = (bits + 7) / 8;
    if (n > bytes_.size()) bytes_.resize(std::max(n, 2 * bytes_.size()));
  }

  void put_bits_slow(uint64_t value, unsigned width);

  std::vector<uint8_t> bytes_;
  size_t bits_ = 0;
};

// Reads fields off a byte span. A field longer than what is left fails with
// kIncomplete carrying the field's width, and leaves the position unchanged.
class BitReader {
 public:
  explicit BitReader(std::span<const uint8_t> in) : in_(in) {}

  size_t remaining() const { return in_.size() * 8 - pos_; }

  // A field of `width` bits (width <= 64) as an unsigned integer.
  std::expected<uint64_t, DocError> get_bits(unsigned width);
  // out.size() bytes, as one field of 8 * out.size() bits.
  Status get_bytes(std::span<char> out);
  // Passes over `bits` bits, as one field of that width.
  Status skip(size_t bits);

 private:
  std::span<const uint8_t> in_;
  size_t pos_ = 0;  // in bits
};

}  // namespace tarv::converter

#endif  // TARV_CONVERTER_BIT_BUFFER_H_
