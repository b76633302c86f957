#include "tests/support/bign_signer.h"

#include <gmp.h>

#include <algorithm>
#include <optional>

#include "crypto/belt/hash.h"
#include "crypto/bign/ecdsa.h"

namespace tarv::testing {
namespace {

class Int {
 public:
  Int() { mpz_init(v_); }
  explicit Int(std::span<const uint8_t> le) : Int() {
    mpz_import(v_, le.size(), -1, 1, 0, 0, le.data());
  }
  explicit Int(const crypto::Limbs4& limbs) : Int() {
    mpz_import(v_, limbs.size(), -1, sizeof(mp_limb_t), 0, 0, limbs.data());
  }
  Int(const Int& o) : Int() { mpz_set(v_, o.v_); }
  Int& operator=(const Int& o) {
    mpz_set(v_, o.v_);
    return *this;
  }
  ~Int() { mpz_clear(v_); }
  mpz_ptr get() { return v_; }
  mpz_srcptr get() const { return v_; }

  template <size_t N>
  std::array<uint8_t, N> to_le() const {
    std::array<uint8_t, N> out{};
    mpz_export(out.data(), nullptr, -1, 1, 0, 0, v_);
    return out;
  }

 private:
  mpz_t v_;
};

struct Curve {
  Int p{crypto::PfElem::kP};
  Int q{crypto::bign_curve256v1().q};
  Int gx{crypto::bign_curve256v1().g.x.limbs()};
  Int gy{crypto::bign_curve256v1().g.y.limbs()};
};

const Curve& curve() {
  static const Curve c;
  return c;
}

// An affine point; nullopt is the point at infinity.
struct Point {
  Int x, y;
};
using MaybePoint = std::optional<Point>;

// (num / den) mod p.
Int divide(const Int& num, const Int& den) {
  Int r;
  mpz_invert(r.get(), den.get(), curve().p.get());
  mpz_mul(r.get(), r.get(), num.get());
  mpz_mod(r.get(), r.get(), curve().p.get());
  return r;
}

// The point with slope lambda through a and b (b = a when doubling).
Point chord(const Int& lambda, const Point& a, const Point& b) {
  const mpz_srcptr p = curve().p.get();
  Point r;
  mpz_mul(r.x.get(), lambda.get(), lambda.get());
  mpz_sub(r.x.get(), r.x.get(), a.x.get());
  mpz_sub(r.x.get(), r.x.get(), b.x.get());
  mpz_mod(r.x.get(), r.x.get(), p);
  mpz_sub(r.y.get(), a.x.get(), r.x.get());
  mpz_mul(r.y.get(), r.y.get(), lambda.get());
  mpz_sub(r.y.get(), r.y.get(), a.y.get());
  mpz_mod(r.y.get(), r.y.get(), p);
  return r;
}

MaybePoint twice(const MaybePoint& a) {
  if (!a || mpz_sgn(a->y.get()) == 0) return std::nullopt;
  Int num, den;
  mpz_mul(num.get(), a->x.get(), a->x.get());
  mpz_mul_ui(num.get(), num.get(), 3);
  mpz_sub_ui(num.get(), num.get(), 3);  // 3x² + a with a = -3
  mpz_mul_2exp(den.get(), a->y.get(), 1);
  return chord(divide(num, den), *a, *a);
}

MaybePoint sum(const MaybePoint& a, const MaybePoint& b) {
  if (!a) return b;
  if (!b) return a;
  if (mpz_cmp(a->x.get(), b->x.get()) == 0) {
    return mpz_cmp(a->y.get(), b->y.get()) == 0 ? twice(a) : std::nullopt;
  }
  Int num, den;
  mpz_sub(num.get(), b->y.get(), a->y.get());
  mpz_sub(den.get(), b->x.get(), a->x.get());
  return chord(divide(num, den), *a, *b);
}

MaybePoint multiply(const Int& k) {
  const MaybePoint g = Point{curve().gx, curve().gy};
  MaybePoint r;
  for (size_t i = mpz_sizeinbase(k.get(), 2); i-- > 0;) {
    r = twice(r);
    if (mpz_tstbit(k.get(), i) != 0) r = sum(r, g);
  }
  return r;
}

}  // namespace

std::array<uint8_t, 64> bign_public_key(std::span<const uint8_t, 32> private_key_le) {
  const MaybePoint q = multiply(Int(private_key_le));
  std::array<uint8_t, 64> out{};
  if (!q) return out;  // d = 0 or d = q: no key
  const std::array<uint8_t, 32> x = q->x.to_le<32>();
  const std::array<uint8_t, 32> y = q->y.to_le<32>();
  std::copy(x.begin(), x.end(), out.begin());
  std::copy(y.begin(), y.end(), out.begin() + 32);
  return out;
}

std::array<uint8_t, 48> bign_sign(std::span<const uint8_t> message,
                                  std::span<const uint8_t, 32> private_key_le,
                                  std::span<const uint8_t, 32> k_le) {
  const std::array<uint8_t, 32> h = crypto::belt_hash(message);
  const Int k(k_le);
  const MaybePoint r = multiply(k);
  const std::array<uint8_t, 32> rx = r ? r->x.to_le<32>() : std::array<uint8_t, 32>{};

  std::array<uint8_t, crypto::kBeltHashOid.size() + 64> t_input;
  auto out = std::copy(crypto::kBeltHashOid.begin(), crypto::kBeltHashOid.end(), t_input.begin());
  out = std::copy(rx.begin(), rx.end(), out);
  std::copy(h.begin(), h.end(), out);
  const std::array<uint8_t, 32> t = crypto::belt_hash(t_input);

  // s1 = (k - H - (s0 + 2^128)·d) mod q
  const std::span<const uint8_t> s0(t.data(), 16);
  Int v(s0);
  mpz_setbit(v.get(), 128);
  Int s1;
  mpz_mul(s1.get(), v.get(), Int(private_key_le).get());
  mpz_add(s1.get(), s1.get(), Int(std::span<const uint8_t>(h)).get());
  mpz_sub(s1.get(), k.get(), s1.get());
  mpz_mod(s1.get(), s1.get(), curve().q.get());

  std::array<uint8_t, 48> sig{};
  std::copy(s0.begin(), s0.end(), sig.begin());
  const std::array<uint8_t, 32> s1_bytes = s1.to_le<32>();
  std::copy(s1_bytes.begin(), s1_bytes.end(), sig.begin() + 16);
  return sig;
}

}  // namespace tarv::testing
