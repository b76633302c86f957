// The decoding cursor: one position over the whole request buffer, the
// primitive reads (varints, keys, length-delimited runs, skipped fields) with
// their checks, and the DecodeError a failed decode reports.
#ifndef TARV_SRC_WIRE_CURSOR_H_
#define TARV_SRC_WIRE_CURSOR_H_

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/verify.h"
#include "src/wire/holding.h"
#include "src/wire/table.h"

namespace tarv::wire {

struct DecodeError {
  std::string description;
  // (message, field) pairs, innermost first.
  std::vector<std::pair<std::string_view, std::string_view>> stack;

  // DecodeError { description: "...", stack: [("Msg", "field"), ...] }
  std::string render() const;
};

// The recursion budget: messages, map entries and groups nest at most this
// deep.
inline constexpr int kRecursionLimit = 100;

// What decoding may hold of a request's repeated fields (Repeated) beyond
// the request's own size. The fuzz build lowers it (TARV_HOLD_ALLOWANCE) so
// that its per-call heap bound can have the library's real fixed cost as its
// constant rather than this allowance.
#ifdef TARV_HOLD_ALLOWANCE
inline constexpr size_t kHoldAllowance = TARV_HOLD_ALLOWANCE;
#else
inline constexpr size_t kHoldAllowance = 768 * 1024;
#endif

#ifdef TARV_COUNT_STEPS
// Keys read since the count was last cleared: the fuzz build's measure of a
// call's work (each read is a few instructions, so work past a fixed number
// of them per request byte is work out of proportion). The library as it
// ships counts nothing.
inline uint64_t key_reads = 0;
#endif

class Cursor {
 public:
  // `allowance`: what the decode may hold beyond the bytes it reads. The
  // request's decode has it; a walk of a field left in the request has none
  // (FieldWay, RequestMap), since what the request's decode holds stays
  // held meanwhile.
  Cursor(const uint8_t* data, size_t size, Holding holding = Holding::kWithinBudget,
         size_t allowance = kHoldAllowance)
      : begin_(data),
        p_(data),
        end_(data + size),
        holding_(holding),
        hold_budget_(holding == Holding::kWithinBudget ? allowance + size
                     : holding == Holding::kAll        ? std::numeric_limits<size_t>::max()
                                                       : 0) {}

  size_t remaining() const { return static_cast<size_t>(end_ - p_); }
  const uint8_t* position() const { return p_; }
  const uint8_t* begin() const { return begin_; }
  const uint8_t* end() const { return end_; }

  // The field numbers that lead from the top-level message to the field
  // being decoded, the latter included.
  void enter(uint32_t number) {
    if (depth_ < kMaxPath) path_[depth_] = number;
    ++depth_;
  }
  void leave() {
    TARV_VERIFY_CHECK(depth_ > 0);
    --depth_;
  }
  std::span<const uint32_t> path() const { return {path_.data(), std::min(depth_, kMaxPath)}; }

  // The element of a repeated field being decoded, if any: its bytes and the
  // depth at which its own fields start. A field left in the request inside
  // an element is found again within the element alone.
  struct Element {
    const uint8_t* begin = nullptr;
    const uint8_t* end = nullptr;
    size_t depth = 0;
  };
  const Element& element() const { return element_; }
  // Enters the element whose length prefix is at the cursor (a malformed one
  // is left to its decoding, which fails) and returns the one it was in.
  Element enter_element();
  void leave_element(const Element& outer) { element_ = outer; }

  TARV_WIRE_INLINE bool read_varint(uint64_t& value) {
    // Most varints are one or two bytes (counts, codes, prices in kopecks).
    if (p_ != end_ && *p_ < 0x80) {
      value = *p_++;
      return true;
    }
    if (end_ - p_ >= 2 && p_[1] < 0x80) {
      value = (p_[0] & 0x7Fu) | uint64_t{p_[1]} << 7;
      p_ += 2;
      return true;
    }
    return read_varint_slow(value);
  }
  // A key: its field number and wire type, with the key checks.
  TARV_WIRE_INLINE bool read_key(uint32_t& number, WireType& wire_type) {
#ifdef TARV_COUNT_STEPS
    ++key_reads;
#endif
    // Most keys are one or two bytes: a field number below 2048 and a known
    // wire type.
    if (p_ != end_ && *p_ < 0x80 && *p_ >= 8 && (*p_ & 7) <= 5) {
      number = *p_ >> 3;
      wire_type = static_cast<WireType>(*p_++ & 7);
      return true;
    }
    if (end_ - p_ >= 2 && p_[0] >= 0x80 && p_[1] != 0 && p_[1] < 0x80 && (p_[0] & 7) <= 5) {
      number = (p_[0] & 0x7Fu) >> 3 | uint32_t{p_[1]} << 4;
      wire_type = static_cast<WireType>(p_[0] & 7);
      p_ += 2;
      return true;
    }
    return read_key_slow(number, wire_type);
  }
  // A length prefix followed by that many bytes.
  // On failure `data` and `size` are an empty run (so is `limit` of
  // begin_nested): callers that walk what decoding checked ignore the result.
  TARV_WIRE_INLINE bool read_length_delimited(const uint8_t*& data, size_t& size) {
    data = p_;
    size = 0;
    const uint8_t* limit = nullptr;
    if (!begin_nested(limit)) return false;
    data = p_;
    size = static_cast<size_t>(limit - p_);
    p_ = limit;
    return true;
  }
  bool skip_field(uint32_t number, WireType wire_type, int budget);

  bool fail(std::string description) {
    error_.description = std::move(description);
    return false;
  }
  bool push(std::string_view message, std::string_view field) {
    error_.stack.emplace_back(message, field);
    return false;
  }
  TARV_WIRE_INLINE bool check_wire_type(WireType expected, WireType actual) {
    return expected == actual || wire_type_error(expected, actual);
  }
  TARV_WIRE_INLINE bool check_recursion(int budget) {
    return budget > 0 || fail("recursion limit reached");
  }
  // Reads a length prefix and returns the cursor position at which the
  // nested value ends.
  TARV_WIRE_INLINE bool begin_nested(const uint8_t*& limit) {
    limit = p_;
    uint64_t length = 0;
    if (!read_varint(length)) return false;
    if (length > remaining()) return fail("buffer underflow");
    limit = p_ + length;
    return true;
  }
  TARV_WIRE_INLINE bool end_nested(const uint8_t* limit) {
    return p_ == limit || fail("delimited length exceeded");
  }
  bool at_or_past(const uint8_t* limit) const { return p_ >= limit; }
  // Right after the key of a length-delimited field `number`: how many
  // occurrences of it are left up to `limit`, this one included. A sizing
  // hint, so it stops at anything malformed, or at a position already past
  // `limit`, and never fails.
  size_t count_ahead(uint32_t number, const uint8_t* limit) const;

  DecodeError take_error() { return std::move(error_); }

  // The hold budget of the decode: what held elements may still take.
  Holding holding() const { return holding_; }
  size_t hold_budget() const { return hold_budget_; }
  bool hold(size_t bytes) {
    if (bytes > hold_budget_) return false;
    hold_budget_ -= bytes;
    TARV_VERIFY_ONLY(held_ += bytes);
    return true;
  }
  // Gives back what hold() took, never more.
  void release(size_t bytes) {
    TARV_VERIFY_CHECK(bytes <= held_);
    TARV_VERIFY_ONLY(held_ -= bytes);
    hold_budget_ += bytes;
  }

  // The request bytes of the occurrences decoded so far only to be checked,
  // left in the request: an element holding a field left in the request
  // holds none of that field's bytes, so its cost leaves them out (Repeated,
  // RequestMap). The occurrences found past `before` (left_bytes() before
  // an occurrence of `bytes` was decoded) are that whole occurrence now.
  size_t left_bytes() const { return left_bytes_; }
  void left_occurrence(size_t before, size_t bytes) { left_bytes_ = before + bytes; }
  // Of an occurrence of `bytes` decoded past `before`, what it holds.
  size_t held_bytes(size_t before, size_t bytes) const {
    TARV_VERIFY_CHECK(left_bytes_ - before <= bytes);
    return bytes - std::min(left_bytes_ - before, bytes);
  }

 private:
  bool read_varint_slow(uint64_t& value);
  bool wire_type_error(WireType expected, WireType actual);
  bool read_key_slow(uint32_t& number, WireType& wire_type);

  // Messages nest at most kRecursionLimit deep below the top level.
  static constexpr size_t kMaxPath = kRecursionLimit + 1;

  const uint8_t* begin_;
  const uint8_t* p_;
  const uint8_t* end_;
  std::array<uint32_t, kMaxPath> path_;
  size_t depth_ = 0;
  Element element_;
  Holding holding_;
  size_t hold_budget_;
  size_t left_bytes_ = 0;
  TARV_VERIFY_ONLY(size_t held_ = 0;)  // what hold() took and release() did not give back
  DecodeError error_;
};

}  // namespace tarv::wire

#endif  // TARV_SRC_WIRE_CURSOR_H_
