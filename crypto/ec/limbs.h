// 256-bit unsigned integers as fixed arrays of machine words ("limbs"),
// least significant first, and the word-level primitives the field and
// scalar arithmetic are built from. No heap, no external library.
//
// Two paths give the same values: 64-bit limbs with unsigned __int128
// products where the compiler has them, and 32-bit limbs with 64-bit
// products everywhere else (armhf, i686). Defining TARV_PORTABLE_ARITH forces
// the 32-bit path, so that a 64-bit machine tests both.
#ifndef TARV_CRYPTO_EC_LIMBS_H_
#define TARV_CRYPTO_EC_LIMBS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#if defined(__x86_64__) && defined(__SIZEOF_INT128__)
#include <x86intrin.h>
#endif

#if defined(__SIZEOF_INT128__) && !defined(TARV_PORTABLE_ARITH)
#define TARV_ARITH_64 1
#endif

namespace tarv::crypto {

#ifdef TARV_ARITH_64
using Word = uint64_t;
__extension__ typedef unsigned __int128 DWord;
#else
using Word = uint32_t;
using DWord = uint64_t;
#endif

inline constexpr unsigned kWordBits = 8 * sizeof(Word);
inline constexpr size_t kLimbs = 256 / kWordBits;
inline constexpr Word kAllOnes = ~Word{0};

template <size_t N>
using Words = std::array<Word, N>;
using Limbs = Words<kLimbs>;

// A constant written as four 64-bit words, least significant first.
constexpr Limbs limbs_from_u64(const std::array<uint64_t, 4>& v) {
  Limbs out{};
  for (size_t i = 0; i < kLimbs; ++i) {
    const size_t bit = i * kWordBits;
    out[i] = static_cast<Word>(v[bit / 64] >> (bit % 64));
  }
  return out;
}

// The integer of the first (at most 32) little-endian bytes.
constexpr Limbs limbs_from_le(std::span<const uint8_t> bytes) {
  Limbs v{};
  for (size_t i = 0; i < bytes.size() && i < 32; ++i) {
    v[i / sizeof(Word)] |= static_cast<Word>(Word{bytes[i]} << (8 * (i % sizeof(Word))));
  }
  return v;
}

constexpr std::array<uint8_t, 32> limbs_to_le(const Limbs& v) {
  std::array<uint8_t, 32> out{};
  for (size_t i = 0; i < 32; ++i) {
    out[i] = static_cast<uint8_t>(v[i / sizeof(Word)] >> (8 * (i % sizeof(Word))));
  }
  return out;
}

// Bits [pos, pos + count) of v as a number, count ≤ 16; bits past 2^256 read as 0.
constexpr unsigned limbs_bits(const Limbs& v, size_t pos, unsigned count) {
  const size_t w = pos / kWordBits;
  const unsigned shift = pos % kWordBits;
  if (w >= kLimbs) return 0;
  DWord x = v[w] >> shift;
  if (shift + count > kWordBits && w + 1 < kLimbs) x |= DWord{v[w + 1]} << (kWordBits - shift);
  return static_cast<unsigned>(x & ((DWord{1} << count) - 1));
}

template <size_t N>
constexpr bool limbs_is_zero(const Words<N>& a) {
  Word acc = 0;
  for (Word w : a) acc |= w;
  return acc == 0;
}

// -1, 0 or 1 as a is below, equal to or above b.
template <size_t N>
constexpr int limbs_cmp(const Words<N>& a, const Words<N>& b) {
  for (size_t i = N; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

// a + b + carry (carry 0 or 1); carry becomes the carry out. On x86-64 the
// compiler's carry intrinsics give one add-with-carry instruction each.
inline Word add_carry(Word a, Word b, Word& carry) {
#if defined(TARV_ARITH_64) && defined(__x86_64__)
  unsigned long long r;
  carry = _addcarry_u64(static_cast<unsigned char>(carry), a, b, &r);
  return r;
#else
  const DWord t = DWord{a} + b + carry;
  carry = static_cast<Word>(t >> kWordBits);
  return static_cast<Word>(t);
#endif
}

// a - b - borrow (borrow 0 or 1); borrow becomes the borrow out.
inline Word sub_borrow(Word a, Word b, Word& borrow) {
#if defined(TARV_ARITH_64) && defined(__x86_64__)
  unsigned long long r;
  borrow = _subborrow_u64(static_cast<unsigned char>(borrow), a, b, &r);
  return r;
#else
  const DWord t = DWord{a} - b - borrow;
  borrow = static_cast<Word>(t >> kWordBits) & 1;
  return static_cast<Word>(t);
#endif
}

// r = a + b over n words; returns the carry out (0 or 1).
inline Word add_words(Word* r, const Word* a, const Word* b, size_t n) {
  Word carry = 0;
#pragma GCC unroll 8
  for (size_t i = 0; i < n; ++i) r[i] = add_carry(a[i], b[i], carry);
  return carry;
}

// r = a - b over n words; returns the borrow out (0 or 1).
inline Word sub_words(Word* r, const Word* a, const Word* b, size_t n) {
  Word borrow = 0;
#pragma GCC unroll 8
  for (size_t i = 0; i < n; ++i) r[i] = sub_borrow(a[i], b[i], borrow);
  return borrow;
}

// r += k over n words, k ≤ 1 past the first word; returns the carry out.
inline Word add_word(Word* r, size_t n, Word k) {
  Word carry = 0;
  r[0] = add_carry(r[0], k, carry);
#pragma GCC unroll 8
  for (size_t i = 1; i < n; ++i) r[i] = add_carry(r[i], 0, carry);
  return carry;
}

// r -= k over n words; returns the borrow out (0 or 1).
inline Word sub_word(Word* r, size_t n, Word k) {
  Word borrow = 0;
  r[0] = sub_borrow(r[0], k, borrow);
#pragma GCC unroll 8
  for (size_t i = 1; i < n; ++i) r[i] = sub_borrow(r[i], 0, borrow);
  return borrow;
}

// r[0, n) += a[0, n)·k; returns the word carried out of r[n - 1].
inline Word mul_add_word(Word* r, const Word* a, size_t n, Word k) {
  Word carry = 0;
#pragma GCC unroll 8
  for (size_t i = 0; i < n; ++i) {
    // (2^w - 1)² + 2·(2^w - 1) = 2^2w - 1: the sum never overflows a DWord.
    const DWord t = DWord{a[i]} * k + r[i] + carry;
    r[i] = static_cast<Word>(t);
    carry = static_cast<Word>(t >> kWordBits);
  }
  return carry;
}

// A three-word accumulator of products, for product scanning (each column
// of a product summed whole before the next).
struct Accumulator {
  Word c0 = 0, c1 = 0, c2 = 0;

  void add(DWord p) {
    Word carry = 0;
    c0 = add_carry(c0, static_cast<Word>(p), carry);
    c1 = add_carry(c1, static_cast<Word>(p >> kWordBits), carry);
    c2 = add_carry(c2, 0, carry);
  }
  // += a·b.
  void add_product(Word a, Word b) { add(DWord{a} * b); }
  // The low word out; the accumulator moves down one word.
  Word shift() {
    const Word low = c0;
    c0 = c1;
    c1 = c2;
    c2 = 0;
    return low;
  }
};

// The full product of two N-word numbers, column by column.
template <size_t N>
inline Words<2 * N> mul_wide(const Words<N>& a, const Words<N>& b) {
  Words<2 * N> r;
  Accumulator acc;
#pragma GCC unroll 16
  for (size_t k = 0; k + 1 < 2 * N; ++k) {
#ifdef __OPTIMIZE__  // unoptimised, GCC ignores an inner loop's annotation and warns
#pragma GCC unroll 8
#endif
    for (size_t i = k < N ? 0 : k - N + 1; i <= k && i < N; ++i) acc.add_product(a[i], b[k - i]);
    r[k] = acc.shift();
  }
  r[2 * N - 1] = acc.c0;
  return r;
}

// The full product of an N-word and an M-word number, row by row.
template <size_t N, size_t M>
inline Words<N + M> mul_wide(const Words<N>& a, const Words<M>& b) {
  Words<N + M> r{};
  for (size_t i = 0; i < N; ++i) r[i + M] = mul_add_word(r.data() + i, b.data(), M, a[i]);
  return r;
}

// The square of an N-word number: each cross product a_i·a_j (i < j) once,
// the sum doubled by a shift, then the squares of the words: N(N+1)/2 word
// products instead of N².
template <size_t N>
inline Words<2 * N> sqr_wide(const Words<N>& a) {
  Words<2 * N> r{};
#pragma GCC unroll 8
  for (size_t i = 0; i + 1 < N; ++i) {
    r[i + N] = mul_add_word(r.data() + 2 * i + 1, a.data() + i + 1, N - 1 - i, a[i]);
  }
  // The cross products sum below 2^(w(2N-1)): doubling fits.
  Word top = 0;
#pragma GCC unroll 16
  for (size_t i = 0; i < 2 * N; ++i) {
    const Word next = r[i] >> (kWordBits - 1);
    r[i] = static_cast<Word>(r[i] << 1) | top;
    top = next;
  }
  Word carry = 0;
#pragma GCC unroll 8
  for (size_t i = 0; i < N; ++i) {
    const DWord sq = DWord{a[i]} * a[i];
    r[2 * i] = add_carry(r[2 * i], static_cast<Word>(sq), carry);
    r[2 * i + 1] = add_carry(r[2 * i + 1], static_cast<Word>(sq >> kWordBits), carry);
  }
  return r;
}

}  // namespace tarv::crypto

#endif  // TARV_CRYPTO_EC_LIMBS_H_
