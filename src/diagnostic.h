// Diagnostics: the single lines the library writes on the standard error
// stream (an undecodable request, a missing part of one, an unreadable
// rollback target, an unwritable report). There is no other logging.
#ifndef TARV_SRC_DIAGNOSTIC_H_
#define TARV_SRC_DIAGNOSTIC_H_

#include <string_view>

namespace tarv {

// Writes one diagnostic line, in one write so that lines of concurrent calls
// do not interleave.
void diagnostic(std::string_view line);

}  // namespace tarv

#endif  // TARV_SRC_DIAGNOSTIC_H_
