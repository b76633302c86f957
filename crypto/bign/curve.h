// bign-curve256v1 (STB 34.101.45, security level 128): y² = x³ - 3x + b over
// GF(2^256 - 189), the base point G of prime order q, and the combination
// u·G + v·Q that signature checking computes. Everything here is constant
// data: the tables of G are generated (scripts/gen_bign_tables.py).
#ifndef TARV_CRYPTO_BIGN_CURVE_H_
#define TARV_CRYPTO_BIGN_CURVE_H_

#include <span>

#include "crypto/ec/field.h"
#include "crypto/ec/limbs.h"
#include "crypto/ec/point.h"
#include "crypto/ec/scalar.h"

namespace tarv::crypto {

inline constexpr FieldElement kCurveB = FieldElement::from_u64(
    {0xb22e7d6bd69c03f1, 0x4cf55069978b9253, 0xd2c13aabe4d8fbbe, 0x77ce6c1515f3a8ed});
inline constexpr AffinePoint kBaseG = {
    FieldElement{}, FieldElement::from_u64({0x1e29cf1804516a93, 0x78913966c408f652,
                                            0x5ce4c9a351d6835d, 0x6bf7fc3cfb16d69f})};

// Width of the NAF of the halves of the scalar of G; the tables hold
// 2^(width-2) points.
inline constexpr unsigned kBaseWidth = 8;
// Width of the NAF of the public-key scalar, whose table is built per call.
inline constexpr unsigned kKeyWidth = 5;

// G, 3G, ..., 127G, and the same for 2^128·G.
std::span<const AffinePoint> base_table();
std::span<const AffinePoint> base128_table();

// u·G + v·Q for any u, v below 2^256. Q is taken as given: whether it lies
// on the curve is the caller's check.
JacobianPoint bign_combination(const Limbs& u, const Limbs& v, const AffinePoint& q);

}  // namespace tarv::crypto

#endif  // TARV_CRYPTO_BIGN_CURVE_H_
