#include "tools/demo_signer.h"

#include <gmp.h>

#include <algorithm>
#include <vector>

#include "crypto/belt/hash.h"
#include "crypto/bign/ecdsa.h"

namespace tarv::tool {
namespace {

namespace cr = tarv::crypto;

// The demo private key d (little-endian), 1 ≤ d < q.
constexpr std::array<uint8_t, 32> kDemoKey = {
    0x74, 0x61, 0x72, 0x76, 0x2d, 0x64, 0x65, 0x6d, 0x6f, 0x2d, 0x6b, 0x65, 0x79, 0x21, 0x5a, 0x3c,
    0x19, 0xe4, 0x07, 0xb2, 0x8d, 0x61, 0xf0, 0x3a, 0x95, 0x2e, 0xc7, 0x48, 0x0b, 0xd3, 0x66, 0x1f};

// A GMP integer read from little-endian bytes, reduced modulo q on the way out.
class ModQ {
 public:
  ModQ() { mpz_init(v_); }
  explicit ModQ(std::span<const uint8_t> le) : ModQ() {
    mpz_import(v_, le.size(), -1, 1, 0, 0, le.data());
  }
  ModQ(const ModQ&) = delete;
  ModQ& operator=(const ModQ&) = delete;
  ~ModQ() { mpz_clear(v_); }
  mpz_ptr get() { return v_; }

  // Reduced modulo q, as 32 little-endian bytes.
  std::array<uint8_t, 32> reduced() {
    ModQ q(cr::limbs_to_le(cr::bign_curve256v1().q));
    mpz_mod(v_, v_, q.get());
    std::array<uint8_t, 32> out{};
    mpz_export(out.data(), nullptr, -1, 1, 0, 0, v_);
    return out;
  }

 private:
  mpz_t v_;
};

// k·G for 1 ≤ k < q.
cr::EcAffine multiple_of_g(std::span<const uint8_t, 32> k_le) {
  const cr::EcPfPoint p =
      cr::scalar_mul(cr::EcPfPoint::from_affine(cr::bign_curve256v1().g), cr::limbs_from_le(k_le));
  return *p.to_affine();
}

}  // namespace

std::array<uint8_t, 64> demo_public_key() {
  const cr::EcAffine a = multiple_of_g(kDemoKey);
  std::array<uint8_t, 64> out;
  const std::array<uint8_t, 32> x = a.x.to_le_bytes();
  const std::array<uint8_t, 32> y = a.y.to_le_bytes();
  std::copy(x.begin(), x.end(), out.begin());
  std::copy(y.begin(), y.end(), out.begin() + 32);
  return out;
}

std::array<uint8_t, 48> demo_sign(std::span<const uint8_t> message) {
  const std::array<uint8_t, 32> h = cr::belt_hash(message);

  // k = belt-hash(d ∥ message) mod q, never 0.
  std::vector<uint8_t> seed(kDemoKey.begin(), kDemoKey.end());
  seed.insert(seed.end(), message.begin(), message.end());
  const std::array<uint8_t, 32> digest = cr::belt_hash(seed);
  std::array<uint8_t, 32> k = ModQ(digest).reduced();
  if (std::all_of(k.begin(), k.end(), [](uint8_t b) { return b == 0; })) k[0] = 1;

  // s0 = the first 16 bytes of belt-hash(OID ∥ x(k·G) ∥ H).
  std::vector<uint8_t> t(cr::kBeltHashOid.begin(), cr::kBeltHashOid.end());
  const std::array<uint8_t, 32> rx = multiple_of_g(k).x.to_le_bytes();
  t.insert(t.end(), rx.begin(), rx.end());
  t.insert(t.end(), h.begin(), h.end());
  const std::array<uint8_t, 32> t_hash = cr::belt_hash(t);

  // s1 = (k − H − (s0 + 2^128)·d) mod q.
  ModQ s1(k);
  ModQ factor(std::span<const uint8_t>(t_hash.data(), 16));
  mpz_setbit(factor.get(), 128);
  mpz_mul(factor.get(), factor.get(), ModQ(kDemoKey).get());
  mpz_sub(s1.get(), s1.get(), factor.get());
  mpz_sub(s1.get(), s1.get(), ModQ(h).get());

  std::array<uint8_t, 48> signature;
  std::copy(t_hash.begin(), t_hash.begin() + 16, signature.begin());
  const std::array<uint8_t, 32> s1_le = s1.reduced();
  std::copy(s1_le.begin(), s1_le.end(), signature.begin() + 16);
  return signature;
}

}  // namespace tarv::tool
