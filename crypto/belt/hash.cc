#include "crypto/belt/hash.h"

#include <algorithm>

#include "crypto/belt/block.h"
#include "crypto/belt/sigma.h"

namespace tarv::crypto {
namespace {

struct HashState {
  BeltBlock s{};
  BeltKey h = load_words<8>(kBeltH.data());

  void absorb(const uint8_t* block) {
    const SigmaPair p = sigma_pair(load_words<8>(block), h);
    for (size_t i = 0; i < 4; ++i) s[i] ^= p.sigma1[i];
    h = p.sigma2;
  }
};

}  // namespace

std::array<uint8_t, 32> belt_hash(std::span<const uint8_t> message) {
  HashState st;
  const size_t full = message.size() / 32;
  for (size_t i = 0; i < full; ++i) st.absorb(message.data() + 32 * i);
  const size_t rest = message.size() % 32;
  if (rest != 0) {
    std::array<uint8_t, 32> last{};
    std::copy_n(message.data() + 32 * full, rest, last.begin());
    st.absorb(last.data());
  }
  // The length block holds the bit length as a 128-bit little-endian number.
  const uint64_t bits = static_cast<uint64_t>(message.size()) * 8;
  const BeltKey length_and_s{static_cast<uint32_t>(bits),
                             static_cast<uint32_t>(bits >> 32),
                             0,
                             0,
                             st.s[0],
                             st.s[1],
                             st.s[2],
                             st.s[3]};
  return store_words(sigma_pair(length_and_s, st.h).sigma2);
}

}  // namespace tarv::crypto
