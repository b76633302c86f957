#include "crypto/bign/ecdsa.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "crypto/belt/hash.h"
#include "crypto/bign/bign.h"

namespace tarv::crypto {
namespace {

std::vector<EcAffine> affine_odd_multiples(const EcPfPoint& p, unsigned width) {
  std::vector<EcAffine> out;
  for (const EcPfPoint& m : odd_multiples(p, width)) {
    const std::optional<EcAffine> a = m.to_affine();
    assert(a.has_value());  // small multiples of a point of prime order q
    out.push_back(*a);
  }
  return out;
}

BignCurve build_curve() {
  BignCurve c;
  c.q = limbs_from_hex("ffffffffffffffffffffffffffffffffd95c8ed60dfb4dfc7e5abf99263d6607");
  c.b = PfElem::from_limbs(
      limbs_from_hex("77ce6c1515f3a8edd2c13aabe4d8fbbe4cf55069978b9253b22e7d6bd69c03f1"));
  c.g = {PfElem{}, PfElem::from_limbs(limbs_from_hex(
                       "6bf7fc3cfb16d69f5ce4c9a351d6835d78913966c408f6521e29cf1804516a93"))};
  const EcPfPoint g = EcPfPoint::from_affine(c.g);
  EcPfPoint g128 = g;
  for (int i = 0; i < 128; ++i) g128 = g128.dbl();
  c.g_odd = affine_odd_multiples(g, BignCurve::kGWidth);
  c.g128_odd = affine_odd_multiples(g128, BignCurve::kGWidth);
  return c;
}

// (a + b) mod q for a, b < q.
Limbs4 add_mod_q(const Limbs4& a, const Limbs4& b, const Limbs4& q) {
  Limbs4 r;
  const mp_limb_t carry = mpn_add_n(r.data(), a.data(), b.data(), 4);
  // With a carry the sum is 2^256 + r ≥ q, and r - q wraps to the right value.
  if (carry != 0 || limbs_cmp(r, q) >= 0) mpn_sub_n(r.data(), r.data(), q.data(), 4);
  return r;
}

}  // namespace

const BignCurve& bign_curve256v1() {
  static const BignCurve curve = build_curve();
  return curve;
}

EcPfPoint bign_combination(const Limbs4& u, const Limbs4& v, const EcAffine& q) {
  const BignCurve& c = bign_curve256v1();
  // u·G = u_lo·G + u_hi·(2^128·G): two 128-bit scalars on fixed tables, so the
  // chain of doublings is only as long as the longest of the three scalars.
  const std::vector<EcPfPoint> q_odd = odd_multiples(EcPfPoint::from_affine(q), BignCurve::kQWidth);
  const std::array<WnafTerm, 3> terms = {
      WnafTerm{wnaf({u[0], u[1], 0, 0}, BignCurve::kGWidth), c.g_odd, {}},
      WnafTerm{wnaf({u[2], u[3], 0, 0}, BignCurve::kGWidth), c.g128_odd, {}},
      WnafTerm{wnaf(v, BignCurve::kQWidth), {}, q_odd},
  };
  return interleaved_mul(terms);
}

bool bign_verify(std::span<const uint8_t> message, std::span<const uint8_t> signature,
                 std::span<const uint8_t> public_key) {
  if (signature.size() != 48 || public_key.size() < 32) return false;
  const BignCurve& c = bign_curve256v1();
  const std::span<const uint8_t> s0 = signature.first(16);
  const Limbs4 s1 = limbs_from_le(signature.subspan(16));
  if (limbs_cmp(s1, c.q) >= 0) return false;

  const EcAffine q{PfElem::from_le_bytes(public_key.first(32)),
                   PfElem::from_le_bytes(public_key.subspan(32))};
  // Off the curve the group law would run on another curve, where points of
  // small order let a signature be forged without the private key.
  if (!on_curve(q, c.b)) return false;

  const std::array<uint8_t, 32> h = belt_hash(message);
  Limbs4 hq = limbs_from_le(h);
  // H may exceed q; H - q is then below q.
  if (limbs_cmp(hq, c.q) >= 0) mpn_sub_n(hq.data(), hq.data(), c.q.data(), 4);
  const Limbs4 u = add_mod_q(s1, hq, c.q);
  Limbs4 v = limbs_from_le(s0);
  v[2] = 1;  // s0 + 2^128

  const std::optional<EcAffine> r = bign_combination(u, v, q).to_affine();
  if (!r) return false;

  std::array<uint8_t, kBeltHashOid.size() + 64> t_input;
  auto out = std::copy(kBeltHashOid.begin(), kBeltHashOid.end(), t_input.begin());
  const std::array<uint8_t, 32> rx = r->x.to_le_bytes();
  out = std::copy(rx.begin(), rx.end(), out);
  std::copy(h.begin(), h.end(), out);
  const std::array<uint8_t, 32> t = belt_hash(t_input);
  return std::equal(s0.begin(), s0.end(), t.begin());
}

}  // namespace tarv::crypto
