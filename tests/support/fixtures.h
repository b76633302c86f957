// Fixtures of the tests, the benchmarks and the fuzzers: the register a
// request runs on (an open shift), a document header, lines and payments,
// and an annulment signed by the test signer. Test-support code: never
// linked into the library or the tool.
#ifndef TARV_TESTS_SUPPORT_FIXTURES_H_
#define TARV_TESTS_SUPPORT_FIXTURES_H_

#include <google/protobuf/timestamp.pb.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "tarv_core.pb.h"

namespace tarv::testing {

namespace pb = ::tarv::core;

// 2024-01-01T10:00:00Z, when the default shift opened.
inline constexpr int64_t kOpenedAt = 1704103200;
inline constexpr int64_t kHour = 3600;
inline constexpr int64_t kDay = 86400;
// The default register's device and the number its next document takes.
inline constexpr uint32_t kDeviceId = 0x01020304;
inline constexpr uint32_t kDocNumber = 77;

// Payment types.
enum PayType : uint32_t { kCash = 0, kCard = 1, kOther = 2 };

// The limits, written out here rather than taken from the library, so that a
// change of the library's limits shows as a failing test. The largest amount
// a document's amount field holds, and so a counter:
inline constexpr uint64_t kMaxAmount = 54975581388799;
inline constexpr int64_t kMaxCounter = static_cast<int64_t>(kMaxAmount);
// The largest price or total, and the largest quantity in thousandths:
inline constexpr uint64_t kMaxSum = kMaxAmount - 1;
inline constexpr uint32_t kMaxQuantity = 16777214;

google::protobuf::Timestamp stamp(int64_t seconds, int32_t nanos = 0);

// Currencies {"BYN"}, next document 77, next shift 5, device 0x01020304, tax
// number 123456789, a shift open since kOpenedAt with no cash position.
pb::Context default_context();

// Cashier "Иванов", currency "BYN", one hour after the shift opened.
pb::Header default_header();

// The cash position of one currency in a context (created when absent).
pb::GeneralAttributes& drawer(pb::Context& c, const std::string& currency = "BYN");

// A request with the default context and, where the request has them, empty
// (but present) attrs and a payload with the default header.
template <class Request>
Request envelope() {
  Request r;
  *r.mutable_context() = default_context();
  r.mutable_attrs();
  if constexpr (requires { *r.mutable_doc()->mutable_header() = default_header(); }) {
    *r.mutable_doc()->mutable_header() = default_header();
  } else if constexpr (requires { r.mutable_doc(); }) {
    r.mutable_doc();
  }
  return r;
}

pb::Item item(std::string name, uint64_t price, uint32_t quantity);
pb::Payment pay(uint32_t type, uint64_t sum, std::optional<std::string> group = {});

// The signer's key pair of the fuzzers and the benchmarks (little-endian) and
// the one-time key of its signatures.
inline constexpr std::array<uint8_t, 32> kSignerKey = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                                       12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                                                       23, 24, 25, 26, 27, 28, 29, 30, 31, 0};
inline constexpr std::array<uint8_t, 32> kOneTimeKey = {
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 0};

// The annulment of a sale the library passed, signed with kSignerKey: the
// sale's context with the drawer the sale left, its header, empty attrs.
pb::RollbackRequest annulment(const pb::SaleRequest& sale, const pb::SaleResponse& sold);

}  // namespace tarv::testing

#endif  // TARV_TESTS_SUPPORT_FIXTURES_H_
