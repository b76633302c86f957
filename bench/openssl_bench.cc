// OpenSSL's bare ECDSA P-256 verification of a 32-byte digest under a parsed
// key: the yardstick of the rollback. BM_Export_Rollback10 (a whole rollback
// of a signed 10-line sale: hash, bign verify, parse, counters, encode) should
// cost no more than this; run both in one go:
//   tarv_bench --benchmark_filter='OpenSslP256Verify|Export_Rollback10|BignVerify'
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

void BM_OpenSslP256Verify(benchmark::State& state) {
  EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
  EVP_PKEY_CTX* sign = key != nullptr ? EVP_PKEY_CTX_new(key, nullptr) : nullptr;
  EVP_PKEY_CTX* verify = key != nullptr ? EVP_PKEY_CTX_new(key, nullptr) : nullptr;
  std::array<uint8_t, 32> digest;
  for (size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<uint8_t>(i * 37 + 1);
  std::vector<uint8_t> sig(80);
  size_t sig_len = sig.size();
  if (sign == nullptr || verify == nullptr || EVP_PKEY_sign_init(sign) != 1 ||
      EVP_PKEY_sign(sign, sig.data(), &sig_len, digest.data(), digest.size()) != 1 ||
      EVP_PKEY_verify_init(verify) != 1 ||
      EVP_PKEY_verify(verify, sig.data(), sig_len, digest.data(), digest.size()) != 1) {
    state.SkipWithError("OpenSSL could not set up P-256 signing");
  } else {
    for (auto _ : state) {
      benchmark::DoNotOptimize(
          EVP_PKEY_verify(verify, sig.data(), sig_len, digest.data(), digest.size()));
    }
  }
  EVP_PKEY_CTX_free(verify);
  EVP_PKEY_CTX_free(sign);
  EVP_PKEY_free(key);
}
BENCHMARK(BM_OpenSslP256Verify)->Unit(benchmark::kMicrosecond);

}  // namespace
