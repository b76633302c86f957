// Helpers for building request bytes by hand and calling the exports.
#ifndef TARV_TESTS_CORE_BYTES_H_
#define TARV_TESTS_CORE_BYTES_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "include/tarv_core.h"
#include "src/wire/holding.h"
#include "tests/conformance/recorder.h"

namespace tarv::testing {

using ByteVec = std::vector<uint8_t>;

inline ByteVec varint(uint64_t v) {
  ByteVec out;
  while (v >= 0x80) {
    out.push_back(static_cast<uint8_t>(v | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<uint8_t>(v));
  return out;
}

// Concatenates byte pieces.
inline ByteVec cat(std::initializer_list<ByteVec> parts) {
  ByteVec out;
  for (const ByteVec& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline ByteVec key(uint32_t number, uint32_t wire_type) {
  return varint((static_cast<uint64_t>(number) << 3) | wire_type);
}
// A length-delimited field.
inline ByteVec ld(uint32_t number, const ByteVec& payload) {
  return cat({key(number, 2), varint(payload.size()), payload});
}
inline ByteVec ld(uint32_t number, std::string_view text) {
  return ld(number, ByteVec(text.begin(), text.end()));
}
inline ByteVec vi(uint32_t number, uint64_t value) { return cat({key(number, 0), varint(value)}); }

using host::ExportFn;

// One call of an export: status, response bytes and what went to stderr.
struct Call {
  uint8_t status = 0;
  ByteVec response;
  std::string stderr_text;
  bool out_params_untouched = false;
};

inline Call call_once(ExportFn fn, const ByteVec& request) {
  Call result;
  uint8_t sentinel = 0;
  uint8_t* out = &sentinel;
  uint64_t out_len = 0xDEADBEEF;
  ::testing::internal::CaptureStderr();
  result.status = fn(request.data(), request.size(), &out, &out_len);
  result.stderr_text = ::testing::internal::GetCapturedStderr();
  result.out_params_untouched = out == &sentinel && out_len == 0xDEADBEEF;
  if (!result.out_params_untouched && out != nullptr) {
    result.response.assign(out, out + out_len);
    tarvcore_free_buffer(out, out_len);
  }
  return result;
}

// Forces how the calls of its scope hold what they decode.
class ForcedHolding {
 public:
  explicit ForcedHolding(wire::Holding holding) { wire::forced_holding = holding; }
  ~ForcedHolding() { wire::forced_holding = wire::Holding::kWithinBudget; }
  ForcedHolding(const ForcedHolding&) = delete;
  ForcedHolding& operator=(const ForcedHolding&) = delete;
};

// The forced ways, named for failure messages.
inline constexpr std::pair<wire::Holding, std::string_view> kForcedHoldings[] = {
    {wire::Holding::kAll, "every field held"}, {wire::Holding::kNone, "every field left"}};

// Calls `fn`, then again with every repeated field and map held and with
// every one left in the request: whichever way decoding carries a field, the
// answer is the same, status, bytes and diagnostic.
inline Call call(ExportFn fn, const ByteVec& request) {
  Call result = call_once(fn, request);
  conformance::record(fn, request);
  for (const auto& [holding, name] : kForcedHoldings) {
    const ForcedHolding forced(holding);
    const Call again = call_once(fn, request);
    EXPECT_TRUE(again.status == result.status && again.response == result.response &&
                again.stderr_text == result.stderr_text &&
                again.out_params_untouched == result.out_params_untouched)
        << "with " << name << ": status " << int{again.status} << " (" << int{result.status}
        << "), " << again.response.size() << " bytes (" << result.response.size() << ")";
  }
  return result;
}

}  // namespace tarv::testing

#endif  // TARV_TESTS_CORE_BYTES_H_
