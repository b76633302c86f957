// belt-hash throughput and bign verification time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "crypto/belt/hash.h"
#include "crypto/bign/verify.h"
#include "tests/support/hex.h"

namespace {

using tarv::crypto::belt_hash;
using tarv::crypto::bign_verify;
using tarv::testing::from_hex;

std::vector<uint8_t> message(size_t size) {
  std::vector<uint8_t> m(size);
  for (size_t i = 0; i < size; ++i) m[i] = static_cast<uint8_t>(i * 131 + 7);
  return m;
}

void BM_BeltHash(benchmark::State& state) {
  const std::vector<uint8_t> m = message(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(belt_hash(m));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_BeltHash)->Arg(64)->Arg(1024)->Arg(1 << 20);

// A signature of message(1024) made by the test signer.
constexpr std::string_view kPublicKey =
    "6397bca1cfcbdbf180f4393db321fa358a44f6e434a11260655b878df9b1fb17"
    "68fc0c80e6dd265d2460821da771ca1cbd8fdea9b9f9f7a673d20ae026b986ae";
constexpr std::string_view kSignature =
    "bb9243b9595c6150a1f04c41854411829f21daafc16e77837d8fd526738b958722dc2d8a88513b22f7859f769130d4"
    "d4";

void BM_BignVerify1KiB(benchmark::State& state) {
  const std::vector<uint8_t> m = message(1024);
  const std::vector<uint8_t> key = from_hex(kPublicKey);
  const std::vector<uint8_t> sig = from_hex(kSignature);
  if (!bign_verify(m, sig, key)) state.SkipWithError("the signature does not verify");
  for (auto _ : state) benchmark::DoNotOptimize(bign_verify(m, sig, key));
}
BENCHMARK(BM_BignVerify1KiB)->Unit(benchmark::kMicrosecond);

}  // namespace
