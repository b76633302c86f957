// bign (STB 34.101.45) on bign-curve256v1: the curve, built once, and the
// point combination that signature verification computes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "crypto/math/ec/ecpfpoint.h"
#include "crypto/math/field/pfelem.h"
#include "crypto/math/limbs.h"

namespace tarv::crypto {

// DER encoding of the belt-hash object identifier 1.2.112.0.2.0.34.101.31.81,
// hashed in front of x(R) and the message hash.
inline constexpr std::array<uint8_t, 11> kBeltHashOid = {0x06, 0x09, 0x2A, 0x70, 0x00, 0x02,
                                                         0x00, 0x22, 0x65, 0x1F, 0x51};

struct BignCurve {
  // Width of the NAF of the scalars of G; the tables hold 2^(width-2) points.
  static constexpr unsigned kGWidth = 8;
  // Width of the NAF of the public-key scalar, whose table is built per call.
  static constexpr unsigned kQWidth = 5;

  Limbs4 q;                        // the group order
  PfElem b;                        // y² = x³ - 3x + b
  EcAffine g;                      // the base point
  std::vector<EcAffine> g_odd;     // G, 3G, 5G, ...
  std::vector<EcAffine> g128_odd;  // the same for 2^128·G
};

// bign-curve256v1 with its tables: built on first use (safe when several
// threads arrive at once), read-only afterwards.
const BignCurve& bign_curve256v1();

// u·G + v·Q for u < 2^256 and any v < 2^256. Q is taken as given: whether it
// lies on the curve is the caller's check.
EcPfPoint bign_combination(const Limbs4& u, const Limbs4& v, const EcAffine& q);

}  // namespace tarv::crypto
