// CalcError: the failure value of every check and calculator.
//
// A failure is a pair (group, kind) of small numbers until the frame turns it
// into the stable code string and the Russian text of the error response.
// Every pair the library raises is named below; the table that gives them
// their texts lives in errors.cc, and only there.
#ifndef TARV_SRC_ERRORS_H_
#define TARV_SRC_ERRORS_H_

#include <cstdint>
#include <expected>
#include <span>
#include <string_view>

namespace tarv {

enum class ErrorGroup : uint8_t {
  kReceipt = 0,  // document content and the common checks
  kAttrs = 1,    // counter arithmetic and limits
  kInput = 2,    // the request as a whole: malformed, or past the call's memory budget
  kShift = 3,    // the shift-close report
};

struct CalcError {
  ErrorGroup group;
  uint8_t kind;

  friend constexpr bool operator==(CalcError, CalcError) = default;
};

template <class T>
using CalcResult = std::expected<T, CalcError>;

// The code and message a CalcError maps to. Kinds outside a group's table
// take the group's kind-0 row.
struct ErrorText {
  std::string_view code;
  std::string_view message;
};
ErrorText describe(CalcError error);

// A row of the error table: the pair and its texts.
struct ErrorRow {
  CalcError error;
  ErrorText text;
};
// Every row, each group's from kind 0 upwards (the error-code page is made
// from it).
std::span<const ErrorRow> error_table();

namespace err {

constexpr CalcError receipt(uint8_t kind) { return {ErrorGroup::kReceipt, kind}; }

inline constexpr CalcError kCashierLength = receipt(0);
inline constexpr CalcError kShiftClosed = receipt(1);
inline constexpr CalcError kShift24h = receipt(2);
inline constexpr CalcError kSystemTime = receipt(3);
inline constexpr CalcError kHeaderMissing = receipt(4);
inline constexpr CalcError kHeaderDateTime = receipt(5);
inline constexpr CalcError kEncoding = receipt(6);
inline constexpr CalcError kCashIn = receipt(7);
inline constexpr CalcError kWithdrawAll = receipt(8);
inline constexpr CalcError kSumOverflow = receipt(9);
inline constexpr CalcError kClientWithdrawMax = receipt(10);
inline constexpr CalcError kCurrency = receipt(11);
inline constexpr CalcError kCashMultiple = receipt(12);
inline constexpr CalcError kThirdPartyTaxNumber = receipt(13);
inline constexpr CalcError kItemsEmpty = receipt(14);
inline constexpr CalcError kQuantityOverflow = receipt(15);
inline constexpr CalcError kQuantityZero = receipt(16);
inline constexpr CalcError kStringCharacter = receipt(17);
inline constexpr CalcError kItemsArithmetic = receipt(18);
inline constexpr CalcError kPaymentsArithmetic = receipt(19);
inline constexpr CalcError kPaymentCurrency = receipt(20);
inline constexpr CalcError kPaymentChange = receipt(21);
inline constexpr CalcError kRefundChange = receipt(22);
inline constexpr CalcError kCashlessOverflow = receipt(23);
inline constexpr CalcError kRollbackInvalidTarget = receipt(24);
inline constexpr CalcError kRollbackTargetSign = receipt(25);
inline constexpr CalcError kQuantityMarking = receipt(26);
inline constexpr CalcError kPaymentTypeUnknown = receipt(27);
inline constexpr CalcError kNameEmpty = receipt(28);
inline constexpr CalcError kCodeMultipleAssignments = receipt(29);
inline constexpr CalcError kCodeChars = receipt(30);
inline constexpr CalcError kCodeLength = receipt(31);
inline constexpr CalcError kMarkingCodesCount = receipt(32);
inline constexpr CalcError kMarkingCodeLength = receipt(33);
inline constexpr CalcError kMarkingGtinMissing = receipt(34);
inline constexpr CalcError kNotPaid = receipt(35);
inline constexpr CalcError kTaxRateUnknown = receipt(36);

inline constexpr CalcError kAttrsCashInNegative{ErrorGroup::kAttrs, 0};
inline constexpr CalcError kAttrsSum{ErrorGroup::kAttrs, 1};
inline constexpr CalcError kAttrsQuantity{ErrorGroup::kAttrs, 2};
inline constexpr CalcError kAttrsCount{ErrorGroup::kAttrs, 3};

inline constexpr CalcError kMalformed{ErrorGroup::kInput, 0};
// The call would pass its memory budget (src/budget.h).
inline constexpr CalcError kMemoryBudget{ErrorGroup::kInput, 1};

inline constexpr CalcError kShiftCashIn{ErrorGroup::kShift, 0};
inline constexpr CalcError kShiftAlreadyClosed{ErrorGroup::kShift, 1};
inline constexpr CalcError kShiftMalformed{ErrorGroup::kShift, 2};
inline constexpr CalcError kShiftBin{ErrorGroup::kShift, 3};

}  // namespace err
}  // namespace tarv

#endif  // TARV_SRC_ERRORS_H_
