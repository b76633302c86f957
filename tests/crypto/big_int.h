// GMP integers for reference arithmetic in the tests.
#pragma once

#include <gmp.h>

#include <array>
#include <cstdint>
#include <span>

#include "crypto/math/limbs.h"

namespace tarv::crypto::test {

class BigInt {
 public:
  BigInt() { mpz_init(v_); }
  explicit BigInt(const Limbs4& l) : BigInt() {
    mpz_import(v_, 4, -1, sizeof(mp_limb_t), 0, 0, l.data());
  }
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
  Limbs4 limbs() const {
    Limbs4 l{};
    mpz_export(l.data(), nullptr, -1, sizeof(mp_limb_t), 0, 0, v_);
    return l;
  }
  std::array<uint8_t, 32> le() const { return limbs_to_le(limbs()); }

 private:
  mpz_t v_;
};

}  // namespace tarv::crypto::test
