#include "crypto/math/ec/ecpfpoint.h"

#include <algorithm>
#include <cassert>

namespace tarv::crypto {

bool on_curve(const EcAffine& p, const PfElem& b) {
  const PfElem x2 = p.x.sqr();
  const PfElem rhs = (x2 - PfElem::from_u64(3)) * p.x + b;
  return p.y.sqr() == rhs;
}

namespace {

// X and Y of the sum of two distinct points, where both addition formulas
// meet: U1 = X1·Z2², S1 = Y1·Z2³, H = U2 - U1, R = S2 - S1, I = 4H².
EcPfPoint sum_xy(const PfElem& u1, const PfElem& s1, const PfElem& h, const PfElem& rr,
                 const PfElem& i) {
  const PfElem j = h * i;
  const PfElem r2 = rr + rr;
  const PfElem v = u1 * i;
  EcPfPoint r;
  r.x = r2.sqr() - j - (v + v);
  const PfElem s1j = s1 * j;
  r.y = r2 * (v - r.x) - (s1j + s1j);
  return r;
}

}  // namespace

EcPfPoint EcPfPoint::dbl() const {
  if (is_infinity()) return *this;
  // dbl-2001-b (a = -3): 3M + 5S. A point with Y = 0 doubles to Z = 0.
  const PfElem delta = z.sqr();
  const PfElem gamma = y.sqr();
  const PfElem beta = x * gamma;
  const PfElem t = (x - delta) * (x + delta);
  const PfElem alpha = t + t + t;
  const PfElem beta2 = beta + beta;
  const PfElem beta4 = beta2 + beta2;
  EcPfPoint r;
  r.x = alpha.sqr() - (beta4 + beta4);
  r.z = (y + z).sqr() - gamma - delta;
  const PfElem gamma2 = gamma.sqr();
  const PfElem g2 = gamma2 + gamma2;
  const PfElem g4 = g2 + g2;
  r.y = alpha * (beta4 - r.x) - (g4 + g4);
  return r;
}

EcPfPoint EcPfPoint::operator+(const EcPfPoint& o) const {
  if (is_infinity()) return o;
  if (o.is_infinity()) return *this;
  // add-2007-bl: 11M + 5S.
  const PfElem z1z1 = z.sqr();
  const PfElem z2z2 = o.z.sqr();
  const PfElem u1 = x * z2z2;
  const PfElem u2 = o.x * z1z1;
  const PfElem s1 = y * o.z * z2z2;
  const PfElem s2 = o.y * z * z1z1;
  const PfElem h = u2 - u1;
  const PfElem rr = s2 - s1;
  if (h.is_zero()) return rr.is_zero() ? dbl() : infinity();
  EcPfPoint r = sum_xy(u1, s1, h, rr, (h + h).sqr());
  r.z = ((z + o.z).sqr() - z1z1 - z2z2) * h;
  return r;
}

EcPfPoint EcPfPoint::operator+(const EcAffine& o) const {
  if (is_infinity()) return from_affine(o);
  // madd-2007-bl: 7M + 4S.
  const PfElem z1z1 = z.sqr();
  const PfElem u2 = o.x * z1z1;
  const PfElem s2 = o.y * z * z1z1;
  const PfElem h = u2 - x;
  const PfElem rr = s2 - y;
  if (h.is_zero()) return rr.is_zero() ? dbl() : infinity();
  const PfElem hh = h.sqr();
  EcPfPoint r = sum_xy(x, y, h, rr, (hh + hh) + (hh + hh));
  r.z = (z + h).sqr() - z1z1 - hh;
  return r;
}

std::optional<EcAffine> EcPfPoint::to_affine() const {
  if (is_infinity()) return std::nullopt;
  const PfElem zi = z.inv();
  const PfElem zi2 = zi.sqr();
  return EcAffine{x * zi2, y * zi2 * zi};
}

Wnaf wnaf(const Limbs4& k, unsigned width) {
  assert(width >= 2 && width <= Wnaf::kMaxWidth);
  // One limb more than k: subtracting a negative digit may carry past 2^256.
  std::array<mp_limb_t, 5> n{k[0], k[1], k[2], k[3], 0};
  const mp_limb_t mask = (mp_limb_t{1} << width) - 1;
  const int64_t half = int64_t{1} << (width - 1);
  Wnaf out;
  while ((n[0] | n[1] | n[2] | n[3] | n[4]) != 0) {
    int64_t d = 0;
    if ((n[0] & 1) != 0) {
      d = static_cast<int64_t>(n[0] & mask);
      if (d >= half) d -= int64_t{1} << width;
      if (d > 0) {
        mpn_sub_1(n.data(), n.data(), 5, static_cast<mp_limb_t>(d));
      } else {
        mpn_add_1(n.data(), n.data(), 5, static_cast<mp_limb_t>(-d));
      }
    }
    out.digit[out.size++] = static_cast<int8_t>(d);
    mpn_rshift(n.data(), n.data(), 5, 1);
  }
  return out;
}

std::vector<EcPfPoint> odd_multiples(const EcPfPoint& p, unsigned width) {
  assert(width >= 2 && width <= Wnaf::kMaxWidth);
  std::vector<EcPfPoint> t(size_t{1} << (width - 2));
  t[0] = p;
  const EcPfPoint p2 = p.dbl();
  for (size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] + p2;
  return t;
}

EcPfPoint interleaved_mul(std::span<const WnafTerm> terms) {
  size_t len = 0;
  for (const WnafTerm& t : terms) len = std::max(len, t.naf.size);
  EcPfPoint r = EcPfPoint::infinity();
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

EcPfPoint scalar_mul(const EcPfPoint& p, const Limbs4& k) {
  constexpr unsigned kWidth = 5;
  const std::vector<EcPfPoint> table = odd_multiples(p, kWidth);
  const WnafTerm term{wnaf(k, kWidth), {}, table};
  return interleaved_mul({&term, 1});
}

}  // namespace tarv::crypto
