// windows-1251 text: the writer's conversion of UTF-8 text and the reader's
// decoding of text(N) and raw(N) fields.
#ifndef TARV_BASE_TEXT_CP1251_H_
#define TARV_BASE_TEXT_CP1251_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarv::text {

// The windows-1251 byte of a code point, if it has one (ASCII included).
std::optional<uint8_t> cp1251_byte(char32_t code_point);

// UTF-8 text to windows-1251: ASCII as is, every other code point with a
// windows-1251 byte as that byte, everything else as "&#" + its code point in
// decimal + ";". A malformed UTF-8 sequence counts as U+FFFD.
std::string to_cp1251(std::string_view utf8);

// The same conversion, stopping when `out` is full (a numeric character
// reference may be cut); returns the number of bytes written.
size_t to_cp1251(std::string_view utf8, std::span<char> out);

// windows-1251 bytes to UTF-8; every byte has a code point.
std::string from_cp1251(std::string_view bytes);

// UTF-16 bytes to UTF-8; a lone surrogate and an odd last byte become U+FFFD.
std::string utf16_lossy(std::string_view bytes, bool big_endian);

// A text(N) field as the reader returns it: after EF BB BF the rest is UTF-8,
// after FF FE UTF-16LE, after FE FF UTF-16BE, otherwise all bytes are
// windows-1251; malformed sequences become U+FFFD; trailing U+0000 removed.
std::string decode_text_field(std::string_view bytes);

// A raw(N) field as the reader returns it: UTF-8 with malformed sequences as
// U+FFFD, trailing U+0000 removed.
std::string decode_raw_field(std::string_view bytes);

}  // namespace tarv::text

#endif  // TARV_BASE_TEXT_CP1251_H_
