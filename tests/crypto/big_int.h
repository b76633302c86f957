// GMP integers: the reference the tests check the library's arithmetic against.
#ifndef TARV_TESTS_CRYPTO_BIG_INT_H_
#define TARV_TESTS_CRYPTO_BIG_INT_H_

#include <gmp.h>

#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "crypto/ec/limbs.h"

namespace tarv::crypto::test {

class BigInt {
 public:
  BigInt() { mpz_init(v_); }
  explicit BigInt(const Limbs& l) : BigInt() {
    mpz_import(v_, l.size(), -1, sizeof(Word), 0, 0, l.data());
  }
  explicit BigInt(unsigned long v) : BigInt() { mpz_set_ui(v_, v); }
  static BigInt from_le(std::span<const uint8_t> bytes) {
    BigInt r;
    mpz_import(r.v_, bytes.size(), -1, 1, 0, 0, bytes.data());
    return r;
  }
  BigInt(const BigInt& o) : BigInt() { mpz_set(v_, o.v_); }
  BigInt& operator=(const BigInt& o) {
    mpz_set(v_, o.v_);
    return *this;
  }
  ~BigInt() { mpz_clear(v_); }

  mpz_ptr get() { return v_; }
  mpz_srcptr get() const { return v_; }

  // The value, which must be below 2^256.
  Limbs limbs() const {
    Limbs l{};
    mpz_export(l.data(), nullptr, -1, sizeof(Word), 0, 0, v_);
    return l;
  }
  std::array<uint8_t, 32> le() const { return limbs_to_le(limbs()); }

 private:
  mpz_t v_;
};

using BigOp = void (*)(mpz_ptr, mpz_srcptr, mpz_srcptr);

// (a op b) mod m, for a, b below 2^256.
inline Limbs reference(BigOp op, const Limbs& a, const Limbs& b, const Limbs& m) {
  BigInt x(a), y(b), mod(m), r;
  op(r.get(), x.get(), y.get());
  mpz_mod(r.get(), r.get(), mod.get());
  return r.limbs();
}

// The inverse of a mod m, or 0 where there is none (a ≡ 0), as the library
// answers then.
inline Limbs reference_inverse(const Limbs& a, const Limbs& m) {
  BigInt inverse, x(a), mod(m);
  if (mpz_invert(inverse.get(), x.get(), mod.get()) == 0) return Limbs{};
  return inverse.limbs();
}

// The integer of little-endian bytes of any length, reduced mod m, as 32 bytes.
inline std::array<uint8_t, 32> reference_le(std::span<const uint8_t> bytes, const Limbs& m) {
  BigInt r = BigInt::from_le(bytes), mod(m);
  mpz_mod(r.get(), r.get(), mod.get());
  return r.le();
}

// 256-bit values where carries, borrows and reductions change course, around
// the modulus m (p or q) and in every 32-bit word, then random ones.
inline std::vector<Limbs> edge_values(const Limbs& m, size_t random_count) {
  const BigInt mod(m);
  std::vector<BigInt> v;
  auto add = [&](auto&& set) {
    v.emplace_back();
    set(v.back().get());
  };
  for (unsigned long k : {0ul, 1ul, 2ul, 188ul, 189ul, 190ul})
    add([&](mpz_ptr x) { mpz_set_ui(x, k); });
  for (long d : {-2l, -1l, 0l, 1l, 188l, 189l}) {  // m + d: m - 1, m, and above m
    add([&](mpz_ptr x) {
      d < 0 ? mpz_sub_ui(x, mod.get(), static_cast<unsigned long>(-d))
            : mpz_add_ui(x, mod.get(), static_cast<unsigned long>(d));
    });
  }
  add([](mpz_ptr x) {  // 2^256 - 1
    mpz_setbit(x, 256);
    mpz_sub_ui(x, x, 1);
  });
  for (unsigned w = 0; w < 8; ++w) {
    add([w](mpz_ptr x) { mpz_setbit(x, 32 * w); });  // 2^(32w)
    add([w](mpz_ptr x) {                             // one word all ones
      mpz_set_ui(x, 0xFFFFFFFFul);
      mpz_mul_2exp(x, x, 32 * w);
    });
    add([w](mpz_ptr x) {  // all ones but one word
      mpz_setbit(x, 256);
      mpz_sub_ui(x, x, 1);
      for (unsigned b = 32 * w; b < 32 * w + 32; ++b) mpz_clrbit(x, b);
    });
    add([w](mpz_ptr x) {  // 2^(32w + 31): a top bit in each word
      mpz_setbit(x, 32 * w + 31);
    });
  }
  std::vector<Limbs> out;
  for (const BigInt& b : v) out.push_back(b.limbs());
  std::mt19937_64 rng(20240607);
  for (size_t i = 0; i < random_count; ++i) {
    out.push_back(limbs_from_u64({rng(), rng(), rng(), rng()}));
  }
  return out;
}

}  // namespace tarv::crypto::test

#endif  // TARV_TESTS_CRYPTO_BIG_INT_H_
