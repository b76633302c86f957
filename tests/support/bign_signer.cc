#include "tests/support/bign_signer.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "crypto/belt/hash.h"
#include "crypto/bign/curve.h"
#include "crypto/bign/verify.h"

namespace tarv::testing {
namespace {

namespace cr = tarv::crypto;

// k·G; none for k ≡ 0 (mod q).
std::optional<cr::AffinePoint> multiple_of_g(const cr::Scalar& k) {
  return cr::scalar_mul(cr::JacobianPoint::from_affine(cr::kBaseG), k.limbs()).to_affine();
}

}  // namespace

std::array<uint8_t, 64> bign_public_key(std::span<const uint8_t, 32> private_key_le) {
  std::array<uint8_t, 64> out{};
  const std::optional<cr::AffinePoint> q = multiple_of_g(cr::Scalar::from_le_bytes(private_key_le));
  if (!q) return out;
  const std::array<uint8_t, 32> x = q->x.to_le_bytes();
  const std::array<uint8_t, 32> y = q->y.to_le_bytes();
  std::copy(x.begin(), x.end(), out.begin());
  std::copy(y.begin(), y.end(), out.begin() + 32);
  return out;
}

std::array<uint8_t, 48> bign_sign(std::span<const uint8_t> message,
                                  std::span<const uint8_t, 32> private_key_le,
                                  std::span<const uint8_t, 32> k_le) {
  const std::array<uint8_t, 32> h = cr::belt_hash(message);
  const cr::Scalar k = cr::Scalar::from_le_bytes(k_le);
  const std::optional<cr::AffinePoint> r = multiple_of_g(k);
  const std::array<uint8_t, 32> rx = r ? r->x.to_le_bytes() : std::array<uint8_t, 32>{};
  const std::array<uint8_t, 16> s0 = cr::bign_check_value(rx, h);

  // s1 = (k - H - (s0 + 2^128)·d) mod q.
  cr::Limbs v = cr::limbs_from_le(s0);
  v[128 / cr::kWordBits] = 1;
  const cr::Scalar s1 = k - cr::Scalar::from_le_bytes(h) -
                        cr::Scalar::from_limbs(v) * cr::Scalar::from_le_bytes(private_key_le);

  std::array<uint8_t, 48> sig;
  const std::array<uint8_t, 32> s1_bytes = s1.to_le_bytes();
  std::copy(s0.begin(), s0.end(), sig.begin());
  std::copy(s1_bytes.begin(), s1_bytes.end(), sig.begin() + 16);
  return sig;
}

std::array<uint8_t, 48> bign_sign_deterministic(std::span<const uint8_t> message,
                                                std::span<const uint8_t, 32> private_key_le) {
  std::vector<uint8_t> seed(private_key_le.begin(), private_key_le.end());
  seed.insert(seed.end(), message.begin(), message.end());
  cr::Scalar k = cr::Scalar::from_le_bytes(cr::belt_hash(seed));
  if (k.is_zero()) k = cr::Scalar::from_limbs({1});
  const std::array<uint8_t, 32> k_le = k.to_le_bytes();
  return bign_sign(message, private_key_le, k_le);
}

}  // namespace tarv::testing
