#include "crypto/belt/block.h"

#include <utility>

namespace tarv::crypto {
namespace {

// kG[j][b] = H[b] placed in byte j of a word and rotated left by R, so that
// G_R(u) is the XOR of four lookups, one per byte of u.
template <int R>
constexpr std::array<std::array<uint32_t, 256>, 4> make_g_table() {
  std::array<std::array<uint32_t, 256>, 4> t{};
  for (int j = 0; j < 4; ++j) {
    for (int b = 0; b < 256; ++b) {
      t[j][b] = std::rotl(static_cast<uint32_t>(kBeltH[b]) << (8 * j), R);
    }
  }
  return t;
}

constexpr auto kG5 = make_g_table<5>();
constexpr auto kG13 = make_g_table<13>();
constexpr auto kG21 = make_g_table<21>();

inline uint32_t g(const std::array<std::array<uint32_t, 256>, 4>& t, uint32_t u) {
  return t[0][u & 0xFF] ^ t[1][(u >> 8) & 0xFF] ^ t[2][(u >> 16) & 0xFF] ^ t[3][u >> 24];
}

struct State {
  uint32_t a, b, c, d;
};

// Round I (1-based) takes the round keys K_(7I-6) ... K_(7I): the key words
// repeated, so its first key word is θ[7(I-1) mod 8].
template <uint32_t I>
inline void round(State& s, const BeltKey& k) {
  constexpr size_t base = 7 * (I - 1);
  auto key = [&k](size_t j) { return k[(base + j) % 8]; };
  s.b ^= g(kG5, s.a + key(0));
  s.c ^= g(kG21, s.d + key(1));
  s.a -= g(kG13, s.b + key(2));
  const uint32_t e = g(kG21, s.b + s.c + key(3)) ^ I;
  s.b += e;
  s.c -= e;
  s.d += g(kG13, s.c + key(4));
  s.b ^= g(kG21, s.a + key(5));
  s.c ^= g(kG5, s.d + key(6));
  s = State{s.b, s.d, s.a, s.c};
}

// Runs the rounds of any number of independent encryptions side by side, so
// that one's table lookups fill the other's waiting time.
template <uint32_t I, typename... Pairs>
inline void round_each(Pairs... pairs) {
  (round<I>(*pairs.first, *pairs.second), ...);
}

template <uint32_t... I, typename... Pairs>
inline void rounds(std::integer_sequence<uint32_t, I...>, Pairs... pairs) {
  (round_each<I + 1>(pairs...), ...);
}

}  // namespace

BeltBlock belt_encrypt(const BeltBlock& x, const BeltKey& key) {
  State s{x[0], x[1], x[2], x[3]};
  rounds(std::make_integer_sequence<uint32_t, 8>{}, std::pair{&s, &key});
  return {s.b, s.d, s.a, s.c};
}

std::array<BeltBlock, 2> belt_encrypt2(const BeltBlock& x1, const BeltKey& key1,
                                       const BeltBlock& x2, const BeltKey& key2) {
  State s1{x1[0], x1[1], x1[2], x1[3]};
  State s2{x2[0], x2[1], x2[2], x2[3]};
  rounds(std::make_integer_sequence<uint32_t, 8>{}, std::pair{&s1, &key1}, std::pair{&s2, &key2});
  return {BeltBlock{s1.b, s1.d, s1.a, s1.c}, BeltBlock{s2.b, s2.d, s2.a, s2.c}};
}

std::array<uint8_t, 16> belt_block(std::span<const uint8_t, 16> x,
                                   std::span<const uint8_t, 32> key) {
  return store_words(belt_encrypt(load_words<4>(x.data()), load_words<8>(key.data())));
}

}  // namespace tarv::crypto
