#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "crypto/belt/hash.h"
#include "crypto/bign/curve.h"
#include "crypto/bign/verify.h"
#include "tests/crypto/big_int.h"
#include "tests/crypto/published_vectors.h"
#include "tests/support/bign_signer.h"
#include "tests/support/hex.h"

namespace tarv::crypto {
namespace {

using Bytes = std::vector<uint8_t>;
using ::tarv::testing::from_hex;
using ::tarv::testing::to_hex;
using test::BigInt;
namespace tv = test_vectors;

const Bytes kPublicKey = from_hex(tv::kPublicKey);
const Bytes kPrivateKey = from_hex(tv::kPrivateKey);

std::span<const uint8_t, 32> key32(const Bytes& b) {
  return std::span<const uint8_t, 32>(b.data(), 32);
}

Bytes concat(std::initializer_list<std::span<const uint8_t>> parts) {
  Bytes out;
  for (std::span<const uint8_t> p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The first 16 bytes of belt-hash(OID ∥ x ∥ H): the s0 that R with x(R) = x gives.
Bytes check_value(std::span<const uint8_t> x, std::span<const uint8_t> h) {
  const std::array<uint8_t, 32> t = belt_hash(concat({kBeltHashOid, x, h}));
  return Bytes(t.begin(), t.begin() + 16);
}

// s0 ∥ s1 with s1 = (u - H) mod q: the signature whose verification takes
// (s1 + H) mod q = u as the scalar of G.
Bytes signature_for(const Bytes& s0, const BigInt& u, std::span<const uint8_t> h) {
  BigInt s1, q(Scalar::kQ);
  mpz_sub(s1.get(), u.get(), BigInt::from_le(h).get());
  mpz_mod(s1.get(), s1.get(), q.get());
  return concat({s0, s1.le()});
}

// s0 + 2^128, the scalar of the public key.
BigInt key_scalar(const Bytes& s0) {
  BigInt v = BigInt::from_le(s0);
  mpz_setbit(v.get(), 128);
  return v;
}

TEST(BignVerify, AcceptsThePublishedSignatures) {
  for (const tv::SignatureExample& e : tv::kSignatures) {
    const Bytes msg = from_hex(e.message);
    EXPECT_EQ(to_hex(belt_hash(msg)), e.hash) << e.name;
    EXPECT_TRUE(bign_verify(msg, from_hex(e.signature), kPublicKey)) << e.name;
  }
}

TEST(BignSigner, ReproducesThePublishedKeyAndSignatures) {
  EXPECT_EQ(to_hex(testing::bign_public_key(key32(kPrivateKey))), to_hex(kPublicKey));
  for (const tv::SignatureExample& e : tv::kSignatures) {
    const Bytes k = from_hex(e.k);
    EXPECT_EQ(to_hex(testing::bign_sign(from_hex(e.message), key32(kPrivateKey), key32(k))),
              e.signature)
        << e.name;
  }
}

TEST(BignSigner, DemoKeyAndOneTimeKeyDerivationAreStable) {
  // The demo's published key, and its signature of the demo's sale document:
  // the tool's demo output must not change with the signer's arithmetic.
  std::ifstream in(TARV_TEST_DATA "/demo_sale.bin", std::ios::binary);
  const Bytes sale((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(sale.size(), 532u);
  const std::array<uint8_t, 64> key = testing::bign_public_key(testing::kDemoPrivateKey);
  EXPECT_EQ(to_hex(key),
            "63b513679d605d0a1600ed4e93d5cf2cb9867a73fb14d89b17e2d82527a9b001"
            "e48be16dc959a2f3bc0eabdfa7ca7e0b6b6d3d5911d7362c369fbb98b72fb628");
  const std::array<uint8_t, 48> sig =
      testing::bign_sign_deterministic(sale, testing::kDemoPrivateKey);
  EXPECT_EQ(to_hex(sig),
            "024ce8d3a1874d86cfe10315b1a7a08f1ebfbfc11e1230fd9731a32a743683354fcd9b214dfc95ef"
            "32a80171f3b4650a");
  EXPECT_TRUE(bign_verify(sale, sig, key));

  // k = belt-hash(d ∥ message) mod q, for other messages too.
  for (const std::string text : {"", "x", "another document"}) {
    const Bytes msg(text.begin(), text.end());
    BigInt k = BigInt::from_le(belt_hash(concat({testing::kDemoPrivateKey, msg}))), q(Scalar::kQ);
    mpz_mod(k.get(), k.get(), q.get());
    const std::array<uint8_t, 32> k_le = k.le();
    EXPECT_EQ(testing::bign_sign_deterministic(msg, testing::kDemoPrivateKey),
              testing::bign_sign(msg, testing::kDemoPrivateKey, k_le))
        << text;
  }
}

TEST(BignVerify, RejectsWrongSignatureLengthsAndS1OutOfRange) {
  const Bytes msg = from_hex(tv::kSignatures[0].message);
  const Bytes sig = from_hex(tv::kSignatures[0].signature);
  const Bytes s0(sig.begin(), sig.begin() + 16);
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"47 bytes", Bytes(sig.begin(), sig.end() - 1)},
      {"49 bytes", concat({sig, Bytes{0}})},
      {"empty", {}},
      {"s1 = q", concat({s0, BigInt(Scalar::kQ).le()})},
      {"s1 = 2^256 - 1", concat({s0, Bytes(32, 0xFF)})},
  };
  for (const auto& [name, bad] : cases) EXPECT_FALSE(bign_verify(msg, bad, kPublicKey)) << name;
}

TEST(BignVerify, RejectsAnyChangedByteOfMessageSignatureOrKey) {
  for (const tv::SignatureExample& e : tv::kSignatures) {
    Bytes msg = from_hex(e.message), sig = from_hex(e.signature), key = kPublicKey;
    for (Bytes* part : {&msg, &sig, &key}) {
      for (uint8_t& b : *part) {
        b ^= 0x01;
        EXPECT_FALSE(bign_verify(msg, sig, key)) << e.name << " byte " << &b - part->data();
        b ^= 0x01;
      }
    }
    EXPECT_TRUE(bign_verify(msg, sig, key)) << e.name;
    EXPECT_FALSE(bign_verify(concat({msg, Bytes{0}}), sig, key)) << e.name;
  }
}

TEST(BignVerify, ReadsThePublicKeyModuloP) {
  const tv::SignatureExample& e = tv::kSignatures[1];
  const Bytes msg = from_hex(e.message);
  const Bytes sig = from_hex(e.signature);
  const std::span<const uint8_t> x = std::span(kPublicKey).first(32);
  const std::span<const uint8_t> y = std::span(kPublicKey).subspan(32);
  // y + p and y + 2^300·p: longer spellings of the same y.
  BigInt p(FieldElement::kP), y_plus_p, y_plus_big;
  mpz_add(y_plus_p.get(), BigInt::from_le(y).get(), p.get());
  mpz_mul_2exp(y_plus_big.get(), p.get(), 300);
  mpz_add(y_plus_big.get(), y_plus_big.get(), BigInt::from_le(y).get());
  auto le = [](const BigInt& v) {
    Bytes out((mpz_sizeinbase(v.get(), 2) + 7) / 8);
    mpz_export(out.data(), nullptr, -1, 1, 0, 0, v.get());
    return out;
  };
  const std::vector<std::tuple<std::string, Bytes, bool>> cases = {
      {"published", kPublicKey, true},
      {"one trailing zero byte", concat({kPublicKey, Bytes(1, 0)}), true},
      {"forty trailing zero bytes", concat({kPublicKey, Bytes(40, 0)}), true},
      {"y + p in 33 bytes", concat({x, le(y_plus_p)}), true},
      {"y + 2^300 p", concat({x, le(y_plus_big)}), true},
      {"a trailing non-zero byte", concat({kPublicKey, Bytes(1, 1)}), false},
      {"63 bytes", Bytes(kPublicKey.begin(), kPublicKey.end() - 1), false},
      {"32 bytes, y = 0", Bytes(kPublicKey.begin(), kPublicKey.begin() + 32), false},
      {"31 bytes", Bytes(kPublicKey.begin(), kPublicKey.begin() + 31), false},
      {"empty", {}, false},
      {"x and y swapped", concat({y, x}), false},
  };
  ASSERT_EQ(le(y_plus_p).size(), 33u);
  for (const auto& [name, key, valid] : cases) {
    EXPECT_EQ(bign_verify(msg, sig, key), valid) << name;
  }
}

TEST(BignVerify, RejectsRAtInfinity) {
  // G has x = 0. With s0 = the check value of x = 0 and u = -(s0 + 2^128)·d,
  // R = u·G + (s0 + 2^128)·Q is the point at infinity; with u + 1 it is G,
  // which has the same check value and is a valid signature. A verifier that
  // read infinity as x = 0 would accept both.
  const Bytes msg = from_hex(tv::kSignatures[0].message);
  const std::array<uint8_t, 32> h = belt_hash(msg);
  const Bytes s0 = check_value(Bytes(32, 0), h);
  BigInt u = key_scalar(s0);
  mpz_mul(u.get(), u.get(), BigInt::from_le(kPrivateKey).get());
  mpz_neg(u.get(), u.get());
  EXPECT_FALSE(bign_verify(msg, signature_for(s0, u, h), kPublicKey));
  mpz_add_ui(u.get(), u.get(), 1);
  EXPECT_TRUE(bign_verify(msg, signature_for(s0, u, h), kPublicKey));
}

TEST(BignVerify, RejectsAForgeryUnderAKeyOffTheCurve) {
  // Q = (5, 0) is off the curve; under the group law it has order two, so an
  // even v = s0 + 2^128 makes v·Q vanish and R = u·G. Choosing u = 1 gives
  // R = G with x = 0: s0 is the check value of x = 0, for any message whose
  // check value is even, and no private key is involved.
  Bytes forged_key(64, 0);
  forged_key[0] = 5;
  const AffinePoint q{FieldElement::from_word(5), FieldElement{}};
  ASSERT_FALSE(on_curve(q, kCurveB));
  for (int tries = 0; tries < 4; ++tries) {
    std::string text = "sale document " + std::to_string(tries);
    const Bytes msg(text.begin(), text.end());
    const std::array<uint8_t, 32> h = belt_hash(msg);
    const Bytes s0 = check_value(Bytes(32, 0), h);
    if ((s0[0] & 1) != 0) continue;
    BigInt u;
    mpz_set_ui(u.get(), 1);
    const Bytes sig = signature_for(s0, u, h);
    // Without the curve test the combination is G and the check value matches.
    const BigInt v = key_scalar(s0);
    const std::optional<AffinePoint> r = bign_combination(Limbs{1}, v.limbs(), q).to_affine();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, kBaseG);
    EXPECT_TRUE(scalar_mul(JacobianPoint::from_affine(q), v.limbs()).is_infinity());
    EXPECT_FALSE(bign_verify(msg, sig, forged_key));
    return;
  }
  FAIL() << "no message with an even check value";
}

TEST(BignVerify, RandomSignaturesVerifyAndNoneAfterAByteFlip) {
  std::mt19937_64 rng(0xB16A);
  const BigInt q(Scalar::kQ);
  auto scalar = [&] {
    for (;;) {
      Bytes k(32);
      for (uint8_t& b : k) b = static_cast<uint8_t>(rng());
      const BigInt v = BigInt::from_le(k);
      if (mpz_sgn(v.get()) != 0 && mpz_cmp(v.get(), q.get()) < 0) return k;
    }
  };
  for (int i = 0; i < 200; ++i) {
    Bytes msg(rng() % 300);
    for (uint8_t& b : msg) b = static_cast<uint8_t>(rng());
    const Bytes d = scalar(), k = scalar();
    const std::array<uint8_t, 64> pub = testing::bign_public_key(key32(d));
    const std::array<uint8_t, 48> sig = testing::bign_sign(msg, key32(d), key32(k));
    ASSERT_TRUE(bign_verify(msg, sig, pub)) << i;

    Bytes m = msg, s(sig.begin(), sig.end()), p(pub.begin(), pub.end());
    Bytes* const targets[] = {&m, &s, &p};
    Bytes& target = *targets[msg.empty() ? 1 + rng() % 2 : rng() % 3];
    target[rng() % target.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
    EXPECT_FALSE(bign_verify(m, s, p)) << i;
  }
}

TEST(BignVerify, ConcurrentFirstCallsAgree) {
  // Run alone, this is also the first use of the curve, from four threads.
  std::vector<int> accepted(4, 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < accepted.size(); ++t) {
    threads.emplace_back([t, &accepted] {
      const tv::SignatureExample& e = tv::kSignatures[t % 2];
      for (int i = 0; i < 10; ++i) {
        accepted[t] += bign_verify(from_hex(e.message), from_hex(e.signature), kPublicKey);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(accepted, std::vector<int>(4, 10));
}

}  // namespace
}  // namespace tarv::crypto
