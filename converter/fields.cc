#include "converter/fields.h"

#include <algorithm>
#include <array>

#include "base/text/cp1251.h"
#include "base/text/utf8.h"
#include "converter/layout.h"

namespace tarv::converter {

namespace {

constexpr int32_t kFirstYear = 2000;
constexpr int32_t kLastYear = kFirstYear + 255;
constexpr uint32_t kDaySeconds = 86400;

bool is_leap(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Whether the proleptic Gregorian date exists.
bool is_valid_date(int32_t year, uint32_t month, uint32_t day) {
  static constexpr uint32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  return day <= kDays[month - 1] + (month == 2 && is_leap(year) ? 1 : 0);
}

// Room for one fixed field: on the stack up to 256 bytes (every field of the
// format), on the heap beyond.
class FieldScratch {
 public:
  std::span<char> zeroed(size_t n) {
    if (n <= stack_.size()) {
      std::fill_n(stack_.begin(), n, '\0');
      return {stack_.data(), n};
    }
    heap_.assign(n, '\0');
    return heap_;
  }

 private:
  std::array<char, 256> stack_;
  std::string heap_;
};

// Calls f(bytes) with the next n bytes of the stream.
template <class F>
Status with_field_bytes(BitReader& r, size_t n, F&& f) {
  FieldScratch scratch;
  const std::span<char> buf = scratch.zeroed(n);
  TARV_TRY(r.get_bytes(buf));
  f(std::string_view(buf.data(), buf.size()));
  return {};
}

}  // namespace

std::string FieldName::str() const {
  std::string s;
  if (!list.empty()) {
    s.append(list).append("[").append(std::to_string(index)).append("].");
  }
  s.append(name);
  return s;
}

std::unexpected<DocError> out_of_range(std::string_view what, const FieldName& field) {
  std::string message(what);
  message.append(" out of range: ").append(field.str());
  return fail(DocError::Kind::kInvalidParam, std::move(message));
}

Status put_uint(BitWriter& w, uint64_t value, unsigned width, const FieldName& field) {
  if (width < 64 && value >> width != 0) return out_of_range("value", field);
  w.put_bits(value, width);
  return {};
}

Status put_nibble(BitWriter& w, uint64_t value, const FieldName& field) {
  return put_uint(w, value, 4, field);
}

Status put_amount(BitWriter& w, uint64_t value, bool sign_marked, const FieldName& field) {
  if (value > layout::kMaxAmount) return out_of_range("amount", field);
  // The sign bit, 39 bits of whole units and 8 of hundredths.
  const uint64_t sign = sign_marked && value != 0 ? 1 : 0;
  w.put_bits(sign << (layout::kAmountBits - 1) | (value / 100) << 8 | value % 100,
             layout::kAmountBits);
  return {};
}

Status put_date_time(BitWriter& w, const DateTime& at, const FieldName& field) {
  if (at.year < kFirstYear || at.year > kLastYear) return out_of_range("year", field);
  if (!is_valid_date(at.year, at.month, at.day)) return out_of_range("date", field);
  if (at.second_of_day >= kDaySeconds) return out_of_range("time", field);
  const uint32_t s = at.second_of_day;
  w.put_bits(at.month, 8);
  w.put_bits(at.day, 8);
  w.put_bits(static_cast<uint32_t>(at.year + 48) % 256, 8);  // year - 2000 for 2000-2255
  w.put_bits(s / 3600, 8);
  w.put_bits(s / 60 % 60, 8);
  w.put_bits(s % 60, 8);
  return {};
}

Status put_currency(BitWriter& w, std::string_view currency) {
  if (currency.size() != layout::kCurrencyBytes)
    return fail(DocError::Kind::kInvalidParam, "Invalid currency name");
  w.put_bytes(currency);
  return {};
}

void put_text(BitWriter& w, std::string_view text, size_t n) {
  // On a byte boundary the text is converted where it goes, the buffer
  // zeroed ahead: its unused tail stays 0x00.
  if (const std::span<char> field = w.take_bytes(n); field.size() == n) {
    text::to_cp1251(text, field);
    return;
  }
  FieldScratch scratch;
  const std::span<char> buf = scratch.zeroed(n);
  text::to_cp1251(text, buf);  // the unused tail stays 0x00
  w.put_bytes(buf);
}

void put_raw(BitWriter& w, std::string_view text, size_t n) {
  const size_t kept = std::min(text.size(), n);
  w.put_bytes(text.substr(0, kept));
  w.put_zeros(8 * (n - kept));
}

Status put_digits(BitWriter& w, std::string_view digits, size_t d, const FieldName& field) {
  if (digits.size() > d) return out_of_range("digits", field);
  w.put_zeros(4 * (d - digits.size()));
  // Nibbles gather in `pending` and go out 16 at a time.
  uint64_t pending = 0;
  unsigned nibbles = 0;
  size_t pos = 0;
  for (; pos < digits.size(); ++pos) {
    const unsigned digit = static_cast<uint8_t>(digits[pos]) - unsigned{'0'};
    if (digit > 9) break;
    pending = pending << 4 | digit;
    if (++nibbles == 16) {
      w.put_bits(pending, 64);
      pending = 0;
      nibbles = 0;
    }
  }
  w.put_bits(pending, 4 * nibbles);  // before a non-digit, the digits before it
  if (pos == digits.size()) return {};
  std::string message = "code_write: code contains non-digit character: ";
  text::utf8::append(text::utf8::next(digits, pos).code_point, message);
  return fail(DocError::Kind::kUnexpected, std::move(message));
}

void pad_zero(BitWriter& w, size_t bits) { w.put_zeros(bits); }

Status get_amount(BitReader& r, uint64_t& out) {
  const auto bits = r.get_bits(layout::kAmountBits);
  TARV_TRY(bits);
  const uint64_t whole = (*bits >> 8) & ((uint64_t{1} << layout::kAmountWholeBits) - 1);
  out = whole * 100 + (*bits & 0xFF);
  return {};
}

Status get_date_time(BitReader& r, DateTime& out) {
  const auto bits = r.get_bits(layout::kDateTimeBits);
  TARV_TRY(bits);
  const auto byte = [&](unsigned i) { return static_cast<uint32_t>(*bits >> (40 - 8 * i)) & 0xFF; };
  const uint32_t month = byte(0), day = byte(1), hour = byte(3), minute = byte(4), second = byte(5);
  const auto year = static_cast<int32_t>(kFirstYear + byte(2));
  if (!is_valid_date(year, month, day)) return fail(DocError::Kind::kInvalidParam, "Invalid date");
  if (hour > 23 || minute > 59 || second > 59) {
    return fail(DocError::Kind::kInvalidParam, "Invalid time");
  }
  out = DateTime{year, month, day, hour * 3600 + minute * 60 + second};
  return {};
}

Status get_currency(BitReader& r, std::string& out) {
  std::array<char, layout::kCurrencyBytes> bytes;
  TARV_TRY(r.get_bytes(bytes));
  const std::string_view s(bytes.data(), bytes.size());
  for (size_t pos = 0; pos < s.size();) {
    const text::utf8::Step step = text::utf8::next(s, pos);
    if (step.status == text::utf8::Status::kInvalid) {
      return fail(DocError::Kind::kParse, "invalid utf-8 sequence of " +
                                              std::to_string(step.length) + " bytes from index " +
                                              std::to_string(pos));
    }
    if (step.status == text::utf8::Status::kIncomplete) {
      return fail(DocError::Kind::kParse,
                  "incomplete utf-8 byte sequence from index " + std::to_string(pos));
    }
    pos += step.length;
  }
  out.assign(s);
  return {};
}

Status get_text(BitReader& r, size_t n, std::string& out) {
  return with_field_bytes(r, n, [&](std::string_view b) { out = text::decode_text_field(b); });
}

Status get_raw(BitReader& r, size_t n, std::string& out) {
  return with_field_bytes(r, n, [&](std::string_view b) { out = text::decode_raw_field(b); });
}

// A line's texts own what the reader made of their bytes.
Status get_text(BitReader& r, size_t n, Text& out) {
  std::string text;
  TARV_TRY(get_text(r, n, text));
  out = text;
  return {};
}

Status get_raw(BitReader& r, size_t n, Text& out) {
  std::string text;
  TARV_TRY(get_raw(r, n, text));
  out = text;
  return {};
}

Status get_digits(BitReader& r, size_t d, std::string& out) {
  const auto bits = r.get_bits(static_cast<unsigned>(4 * d));
  TARV_TRY(bits);
  // Each nibble is taken as a digit, even 10-15: at most 16 * 10^15, no overflow.
  uint64_t number = 0;
  for (size_t i = d; i-- > 0;) number = number * 10 + ((*bits >> (4 * i)) & 0xF);
  out = std::to_string(number);
  return {};
}

}  // namespace tarv::converter
