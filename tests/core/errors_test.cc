// The error table: every raised pair maps to its code and text; pairs
// outside a group's table take the group's first row.
#include "src/errors.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tarv {
namespace {

struct Row {
  CalcError error;
  std::string code;
  size_t message_bytes;
};

TEST(ErrorsTest, TableRows) {
  const Row rows[] = {
      {err::kCashierLength, "tarv.core.receipt.header.cashier.length", 55},
      {err::receipt(40), "tarv.core.receipt.header.cashier.length", 55},
      {err::receipt(255), "tarv.core.receipt.header.cashier.length", 55},
      {err::kCurrency, "tarv.core.receipt.currency", 46},
      {err::kEncoding, "tarv.core.receipt.encoding", 68},
      {err::kTaxRateUnknown, "tarv.core.receipt.items.taxrate.unknown", 36},
      {err::kAttrsCashInNegative, "tarv.core.attrs.cash-in.neg", 85},
      {err::kAttrsSum, "tarv.core.attrs.sum", 43},
      {err::kAttrsQuantity, "tarv.core.attrs.quantity", 43},
      {err::kAttrsCount, "tarv.core.attrs.count", 43},
      {{ErrorGroup::kAttrs, 4}, "tarv.core.attrs.cash-in.neg", 85},
      {err::kMalformed, "tarv.core.input.malformed", 40},
      {{ErrorGroup::kInput, 9}, "tarv.core.input.malformed", 40},
      {err::kShiftCashIn, "tarv.core.shift.cash-in", 90},
      {err::kShiftBin, "tarv.core.shift.bin", 33},
      {{ErrorGroup::kShift, 7}, "tarv.core.shift.cash-in", 90},
  };
  for (const Row& row : rows) {
    ErrorText text = describe(row.error);
    EXPECT_EQ(text.code, row.code);
    EXPECT_EQ(text.message.size(), row.message_bytes) << row.code;
  }
}

TEST(ErrorsTest, EveryReceiptKindHasItsOwnCode) {
  std::set<std::string_view> codes;
  for (uint8_t kind = 0; kind <= 36; ++kind) {
    ErrorText text = describe(err::receipt(kind));
    EXPECT_TRUE(text.code.starts_with("tarv.core.receipt.")) << int{kind};
    EXPECT_FALSE(text.message.empty());
    codes.insert(text.code);
  }
  EXPECT_EQ(codes.size(), 37u);
}

}  // namespace
}  // namespace tarv
