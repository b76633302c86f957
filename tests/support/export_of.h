// The export of a request type, found at compile time in host/exports.h's
// table: what the tests, benchmarks and fuzzers call with a typed request.
#ifndef TARV_TESTS_SUPPORT_EXPORT_OF_H_
#define TARV_TESTS_SUPPORT_EXPORT_OF_H_

#include <cstddef>
#include <tuple>
#include <type_traits>

#include "host/exports.h"

namespace tarv::testing {

using host::ExportFn;
using host::kExports;

// The row of a request type, found at compile time.
template <class Request, size_t I = 0>
constexpr const auto& row_of() {
  static_assert(I < std::tuple_size_v<decltype(kExports)>, "not a request of any export");
  if constexpr (std::is_same_v<typename std::tuple_element_t<I, decltype(kExports)>::Request,
                               Request>) {
    return std::get<I>(kExports);
  } else {
    return row_of<Request, I + 1>();
  }
}

// ExportOf<SaleRequest>::kFn is tarvcore_create_sale, ::Response SaleResponse.
template <class Request>
struct ExportOf {
  using Response = typename std::remove_cvref_t<decltype(row_of<Request>())>::Response;
  static constexpr ExportFn kFn = row_of<Request>().fn;
};

}  // namespace tarv::testing

#endif  // TARV_TESTS_SUPPORT_EXPORT_OF_H_
