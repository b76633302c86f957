// The error table: every raised pair maps to its code and text; pairs
// outside a group's table take the group's first row.
#include "src/errors.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace tarv {
namespace {

// A raised pair, its code, and the named error whose text it must give (a
// pair outside its group's table gives the group's first row).
struct Row {
  CalcError error;
  std::string code;
  CalcError same_text;
};

TEST(ErrorsTest, TableRows) {
  const Row rows[] = {
      {err::kCashierLength, "tarv.core.receipt.header.cashier.length", err::kCashierLength},
      {err::receipt(40), "tarv.core.receipt.header.cashier.length", err::kCashierLength},
      {err::receipt(255), "tarv.core.receipt.header.cashier.length", err::kCashierLength},
      {err::kCurrency, "tarv.core.receipt.currency", err::kCurrency},
      {err::kEncoding, "tarv.core.receipt.encoding", err::kEncoding},
      {err::kTaxRateUnknown, "tarv.core.receipt.items.taxrate.unknown", err::kTaxRateUnknown},
      {err::kAttrsCashInNegative, "tarv.core.attrs.cash-in.neg", err::kAttrsCashInNegative},
      {err::kAttrsSum, "tarv.core.attrs.sum", err::kAttrsSum},
      {err::kAttrsQuantity, "tarv.core.attrs.quantity", err::kAttrsQuantity},
      {err::kAttrsCount, "tarv.core.attrs.count", err::kAttrsCount},
      {{ErrorGroup::kAttrs, 4}, "tarv.core.attrs.cash-in.neg", err::kAttrsCashInNegative},
      {err::kMalformed, "tarv.core.input.malformed", err::kMalformed},
      {err::kMemoryBudget, "tarv.core.input.memory", err::kMemoryBudget},
      {{ErrorGroup::kInput, 9}, "tarv.core.input.malformed", err::kMalformed},
      {err::kShiftCashIn, "tarv.core.shift.cash-in", err::kShiftCashIn},
      {err::kShiftBin, "tarv.core.shift.bin", err::kShiftBin},
      {{ErrorGroup::kShift, 7}, "tarv.core.shift.cash-in", err::kShiftCashIn},
  };
  std::set<std::string_view> messages;
  for (const Row& row : rows) {
    ErrorText text = describe(row.error);
    EXPECT_EQ(text.code, row.code);
    EXPECT_EQ(text.message, describe(row.same_text).message) << row.code;
    EXPECT_FALSE(text.message.empty()) << row.code;
    messages.insert(text.message);
  }
  // The named errors (the sum, quantity and count faults share one text)
  // each have their own message: a row that took its neighbour's would show.
  EXPECT_EQ(messages.size(), 10u);
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

// The error-code page, docs/errors.md: the table's rows and what has to
// change before a retry. Where the page and the table differ, the page as
// the table makes it is left in the build directory.
constexpr std::string_view kPageHead =
    "# Error codes\n\n"
    "A document export that refuses a request answers with status 1 (`TARV_STATUS_ERROR`) and an\n"
    "ErrorResponse: one of the codes below and its Russian message, byte for byte. The library\n"
    "keeps no state, so the same request always gets the same answer: sending it again unchanged\n"
    "never helps. The last column says what has to change first.\n\n"
    "This page is made from the library's error table (src/errors.cc); the test\n"
    "`ErrorsTest.ErrorCodePage` fails when they differ and writes the page as the table makes it\n"
    "to `errors.md` in the build directory.\n\n"
    "| Code | Message | Retry? |\n"
    "|---|---|---|\n";

constexpr std::string_view kNo = "no: change the request";
constexpr std::string_view kAfterReport = "after the shift-close report, in the next shift";

struct Advice {
  CalcError error;
  std::string_view retry;
};
constexpr Advice kAdvice[] = {
    {err::kShiftClosed, "after a shift is opened"},
    {err::kShift24h, kAfterReport},
    {err::kSystemTime, "after the clock is set right"},
    {err::kCashIn, "after a deposit, or for less"},
    {err::kWithdrawAll, "no: withdraw all the cash"},
    {err::kAttrsCashInNegative, "after a deposit"},
    {err::kAttrsSum, kAfterReport},
    {err::kAttrsQuantity, kAfterReport},
    {err::kAttrsCount, kAfterReport},
    {err::kShiftCashIn, "after a withdrawal of all the cash"},
    {err::kShiftAlreadyClosed, "no: the shift is closed"},
    {err::kShiftBin, "no: these counters cannot be reported (standard error says why)"},
    {err::kMemoryBudget, "no: split the document (standard error gives the call's budget)"},
};

std::string_view retry_advice(CalcError error) {
  for (const Advice& advice : kAdvice) {
    if (advice.error == error) return advice.retry;
  }
  return kNo;
}

TEST(ErrorsTest, ErrorCodePage) {
  std::string page(kPageHead);
  for (const ErrorRow& row : error_table()) {
    page += "| `" + std::string(row.text.code) + "` | " + std::string(row.text.message) + " | " +
            std::string(retry_advice(row.error)) + " |\n";
  }
  std::ifstream in(TARV_SOURCE_DIR "/docs/errors.md", std::ios::binary);
  std::stringstream on_disk;
  on_disk << in.rdbuf();
  if (on_disk.str() != page) {
    std::ofstream(TARV_BUILD_DIR "/errors.md", std::ios::binary) << page;
  }
  EXPECT_EQ(on_disk.str(), page) << "the page as the table makes it: " TARV_BUILD_DIR "/errors.md";
}

}  // namespace
}  // namespace tarv
