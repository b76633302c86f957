// TARV_TRY: the one way the library passes a failure up.
//
// Every check and step returns a std::expected: a value (or nothing) on
// success, the failure otherwise (CalcError in src/, DocError in converter/).
// TARV_TRY(e) evaluates `e`, a call or a variable holding such a result, and
// when it holds a failure returns that failure from the enclosing function;
// a value stays where it is, to be read after the check:
//
//   auto times = checks::validate_header_and_shift(context, doc.header);
//   TARV_TRY(times);
//   TARV_TRY(check_amount(kind, doc.sum, ...));
//
// Nothing is copied on success: a variable is checked in place.
#ifndef TARV_BASE_TRY_H_
#define TARV_BASE_TRY_H_

#include <expected>
#include <utility>

#define TARV_TRY(expr)                                            \
  do {                                                            \
    if (auto&& tarv_try_result = (expr); !tarv_try_result)        \
      return std::unexpected(std::move(tarv_try_result).error()); \
  } while (false)

#endif  // TARV_BASE_TRY_H_
