#include "crypto/ec/point.h"

#include <algorithm>
#include <cassert>

namespace tarv::crypto {

bool on_curve(const AffinePoint& p, const FieldElement& b) {
  const FieldElement x2 = p.x.sqr();
  const FieldElement rhs = (x2 - FieldElement::from_word(3)) * p.x + b;
  return p.y.sqr() == rhs;
}

namespace {

// X and Y of the sum of two distinct points, where both addition formulas
// meet: U1 = X1·Z2², S1 = Y1·Z2³, H = U2 - U1, R = S2 - S1, I = 4H².
JacobianPoint sum_xy(const FieldElement& u1, const FieldElement& s1, const FieldElement& h,
                     const FieldElement& rr, const FieldElement& i) {
  const FieldElement j = h * i;
  const FieldElement r2 = rr.shl(1);
  const FieldElement v = u1 * i;
  JacobianPoint r;
  r.x = r2.sqr() - j - v.shl(1);
  r.y = r2 * (v - r.x) - (s1 * j).shl(1);
  return r;
}

}  // namespace

JacobianPoint JacobianPoint::dbl() const {
  if (is_infinity()) return *this;
  // dbl-2001-b (a = -3) with Z3 = 2·Y·Z taken as a product (4M + 4S): a
  // multiplication costs less than the square and two subtractions it
  // replaces. Small multiples are shifts. A point with Y = 0 doubles to Z = 0.
  const FieldElement delta = z.sqr();
  const FieldElement gamma = y.sqr();
  const FieldElement beta4 = (x * gamma).shl(2);
  const FieldElement t = (x - delta) * (x + delta);
  const FieldElement alpha = t.shl(1) + t;
  JacobianPoint r;
  r.x = alpha.sqr() - beta4.shl(1);
  r.z = (y * z).shl(1);
  r.y = alpha * (beta4 - r.x) - gamma.sqr().shl(3);
  return r;
}

JacobianPoint JacobianPoint::operator+(const JacobianPoint& o) const {
  if (is_infinity()) return o;
  if (o.is_infinity()) return *this;
  // add-2007-bl, Z3 = 2·Z1·Z2·H as a product: 12M + 4S.
  const FieldElement z1z1 = z.sqr();
  const FieldElement z2z2 = o.z.sqr();
  const FieldElement u1 = x * z2z2;
  const FieldElement u2 = o.x * z1z1;
  const FieldElement s1 = y * o.z * z2z2;
  const FieldElement s2 = o.y * z * z1z1;
  const FieldElement h = u2 - u1;
  const FieldElement rr = s2 - s1;
  if (h.is_zero()) return rr.is_zero() ? dbl() : infinity();
  JacobianPoint r = sum_xy(u1, s1, h, rr, (h + h).sqr());
  r.z = (z * o.z * h).shl(1);
  return r;
}

JacobianPoint JacobianPoint::operator+(const AffinePoint& o) const {
  if (is_infinity()) return from_affine(o);
  // madd-2007-bl, Z3 = 2·Z1·H as a product: 8M + 3S.
  const FieldElement z1z1 = z.sqr();
  const FieldElement u2 = o.x * z1z1;
  const FieldElement s2 = o.y * z * z1z1;
  const FieldElement h = u2 - x;
  const FieldElement rr = s2 - y;
  if (h.is_zero()) return rr.is_zero() ? dbl() : infinity();
  const FieldElement hh = h.sqr();
  JacobianPoint r = sum_xy(x, y, h, rr, hh.shl(2));
  r.z = (z * h).shl(1);
  return r;
}

std::optional<AffinePoint> JacobianPoint::to_affine() const {
  if (is_infinity()) return std::nullopt;
  const FieldElement zi = z.inv();
  const FieldElement zi2 = zi.sqr();
  return AffinePoint{x * zi2, y * zi2 * zi};
}

std::optional<FieldElement> JacobianPoint::affine_x() const {
  if (is_infinity()) return std::nullopt;
  return x * z.inv().sqr();
}

Wnaf wnaf(const Limbs& k, unsigned width) {
  assert(width >= 2 && width <= Wnaf::kMaxWidth);
  // Windows read straight from the bits of k: a window of value ≥ 2^(w-1)
  // becomes the negative digit window - 2^w and carries 1 into the bits above.
  Wnaf out;
  unsigned carry = 0;
  for (size_t bit = 0; bit < 256;) {
    if (limbs_bits(k, bit, 1) == carry) {
      ++bit;
      continue;
    }
    const int window = static_cast<int>(limbs_bits(k, bit, width) + carry);
    carry = static_cast<unsigned>(window >> (width - 1)) & 1;
    out.digit[bit] = static_cast<int8_t>(window - static_cast<int>(carry << width));
    out.size = bit + 1;
    bit += width;
  }
  if (carry != 0) {
    out.digit[256] = 1;
    out.size = 257;
  }
  return out;
}

JacobianPoint interleaved_mul(std::span<const WnafTerm> terms) {
  size_t len = 0;
  for (const WnafTerm& t : terms) len = std::max(len, t.naf.size);
  JacobianPoint r = JacobianPoint::infinity();
  for (size_t i = len; i-- > 0;) {
    r = r.dbl();
    for (const WnafTerm& t : terms) {
      const int d = i < t.naf.size ? t.naf.digit[i] : 0;
      if (d == 0) continue;
      const size_t at = static_cast<size_t>(d > 0 ? d : -d) / 2;
      if (!t.affine.empty()) {
        r = r + (d > 0 ? t.affine[at] : -t.affine[at]);
      } else {
        r = r + (d > 0 ? t.jacobian[at] : -t.jacobian[at]);
      }
    }
  }
  return r;
}

JacobianPoint scalar_mul(const JacobianPoint& p, const Limbs& k) {
  constexpr unsigned kWidth = 5;
  const auto table = odd_multiples<kWidth>(p);
  const WnafTerm term{wnaf(k, kWidth), {}, table};
  return interleaved_mul({&term, 1});
}

}  // namespace tarv::crypto
