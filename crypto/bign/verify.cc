#include "crypto/bign/verify.h"

#include <algorithm>
#include <optional>

#include "crypto/belt/hash.h"
#include "crypto/bign/curve.h"

namespace tarv::crypto {

std::array<uint8_t, 16> bign_check_value(std::span<const uint8_t, 32> x,
                                         std::span<const uint8_t, 32> h) {
  std::array<uint8_t, kBeltHashOid.size() + 64> input;
  auto out = std::copy(kBeltHashOid.begin(), kBeltHashOid.end(), input.begin());
  out = std::copy(x.begin(), x.end(), out);
  std::copy(h.begin(), h.end(), out);
  const std::array<uint8_t, 32> t = belt_hash(input);
  std::array<uint8_t, 16> s0;
  std::copy_n(t.begin(), s0.size(), s0.begin());
  return s0;
}

bool bign_verify(std::span<const uint8_t> message, std::span<const uint8_t> signature,
                 std::span<const uint8_t> public_key) {
  if (signature.size() != 48 || public_key.size() < 32) return false;
  const std::span<const uint8_t> s0 = signature.first(16);
  const std::optional<Scalar> s1 = Scalar::from_canonical(signature.subspan(16));
  if (!s1) return false;

  const AffinePoint q{FieldElement::from_le_bytes(public_key.first(32)),
                      FieldElement::from_le_bytes(public_key.subspan(32))};
  // Off the curve the group law would run on another curve, where points of
  // small order let a signature be forged without the private key.
  if (!on_curve(q, kCurveB)) return false;

  const std::array<uint8_t, 32> h = belt_hash(message);
  const Scalar u = *s1 + Scalar::from_le_bytes(h);
  Limbs v = limbs_from_le(s0);
  v[128 / kWordBits] = 1;  // s0 + 2^128

  const std::optional<FieldElement> rx = bign_combination(u.limbs(), v, q).affine_x();
  if (!rx) return false;
  const std::array<uint8_t, 16> t = bign_check_value(rx->to_le_bytes(), h);
  return std::equal(s0.begin(), s0.end(), t.begin());
}

}  // namespace tarv::crypto
