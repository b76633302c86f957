// The heap of one export call, its response buffer included, stays within
// 3 × (request bytes + response bytes) + 1 MiB: on the hostile request
// shapes at full and small size and on the typical request of every export.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/heap_meter.h"
#include "bench/shapes.h"
#include "include/tarv_core.h"

namespace {

using namespace ::tarv::bench;

struct Measured {
  uint8_t status = 0;
  uint64_t response_bytes = 0;
  int64_t peak = 0;
};

Measured call_measured(ExportFn fn, const std::string& request) {
  Measured m;
  uint8_t* out = nullptr;
  HeapPeak meter;
  m.status =
      fn(reinterpret_cast<const uint8_t*>(request.data()), request.size(), &out, &m.response_bytes);
  m.peak = meter.bytes();
  tarvcore_free_buffer(out, m.response_bytes);
  return m;
}

void expect_within_bound(std::string_view name, ExportFn fn, const std::string& request) {
  SCOPED_TRACE(name);
  const Measured m = call_measured(fn, request);
  EXPECT_NE(m.status, TARV_STATUS_UNDECODABLE);
  EXPECT_LE(m.peak, heap_bound(request.size(), m.response_bytes))
      << request.size() << " bytes in, " << m.response_bytes << " out";
}

// At their small size too, where a request's containers are more often held
// than left in it. With TARV_SHAPES_OUT set, each request is also written
// there, a file by the shape's name (and "_small"), for the heap replay on
// other platforms (tests/conformance/heap_replay.cc).
TEST(HeapBound, HostileShapesAtFullSize) {
  const char* out = std::getenv("TARV_SHAPES_OUT");
  for (const Shape& shape : kShapes) {
    for (const auto& [n, suffix] : {std::pair{shape.full, ""}, std::pair{shape.small, "_small"}}) {
      if (n == 0) continue;
      const std::string name = std::string(shape.name) + suffix;
      const std::string request = shape.build(n);
      expect_within_bound(name, shape.fn, request);
      if (out != nullptr) std::ofstream(std::string(out) + "/" + name, std::ios::binary) << request;
    }
  }
}

TEST(HeapBound, TypicalRequests) {
  expect_within_bound("deposit", tarvcore_create_deposit, deposit_bytes());
  expect_within_bound("sale", tarvcore_create_sale, sale_bytes(10));
  expect_within_bound("refund", tarvcore_create_refund, refund_bytes(10));
  expect_within_bound("order", tarvcore_register_order, order_bytes());
  expect_within_bound("report", tarvcore_create_report, report_bytes());
  expect_within_bound("rollback", tarvcore_create_rollback, rollback_bytes());
}

// A call that would pass its budget stops where it allocates, gives back all
// it held and answers with the budget's error (here a deposit whose cash
// position of a million empty entries indexes at 4 bytes a request byte).
TEST(HeapBound, PastItsBudgetACallAnswersTheBudgetsError) {
  const std::string request = deposit_with_empty_cash_positions(1000000);
  std::string response;
  response.reserve(4096);
  const int64_t before = heap_in_use();
  uint8_t* out = nullptr;
  uint64_t length = 0;
  HeapPeak meter;
  ASSERT_EQ(tarvcore_create_deposit(reinterpret_cast<const uint8_t*>(request.data()),
                                    request.size(), &out, &length),
            TARV_STATUS_ERROR);
  EXPECT_LE(meter.bytes(), heap_bound(request.size(), length));
  response.assign(reinterpret_cast<const char*>(out), length);
  tarvcore_free_buffer(out, length);
  EXPECT_EQ(heap_in_use(), before);
  pb::ErrorResponse error;
  ASSERT_TRUE(error.ParseFromString(response));
  EXPECT_EQ(error.code(), "tarv.core.input.memory");
}

// tarvcore_free_buffer gives back the response buffer whole, and leaves the
// heap alone for a null buffer or a zero length (a stack address, a buffer
// it was not asked to free).
TEST(HeapBound, FreeBufferReleasesTheResponseOnly) {
  const std::string request = deposit_bytes();
  const int64_t before = heap_in_use();
  uint8_t* out = nullptr;
  uint64_t length = 0;
  ASSERT_EQ(tarvcore_create_deposit(reinterpret_cast<const uint8_t*>(request.data()),
                                    request.size(), &out, &length),
            TARV_STATUS_OK);
  const int64_t holding = heap_in_use();
  EXPECT_GE(holding - before, static_cast<int64_t>(length));
  tarvcore_free_buffer(nullptr, 10);
  uint8_t on_stack = 0;
  tarvcore_free_buffer(&on_stack, 0);
  tarvcore_free_buffer(out, 0);
  EXPECT_EQ(heap_in_use(), holding);
  tarvcore_free_buffer(out, length);
  EXPECT_EQ(heap_in_use(), before);
}

}  // namespace
