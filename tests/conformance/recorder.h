// Records the calls a test host makes, for the conformance corpus: when the
// environment variable TARV_CONFORMANCE_RECORD names a file, every call
// appends one line "EXPORT HEX-OF-THE-REQUEST" to it. generate.py turns the
// recording into corpus.txt. Without the variable nothing is written.
#ifndef TARV_TESTS_CONFORMANCE_RECORDER_H_
#define TARV_TESTS_CONFORMANCE_RECORDER_H_

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "host/exports.h"
#include "tests/support/hex.h"

namespace tarv::conformance {

// The export's symbol, or an empty view for a function that is not one.
inline std::string_view export_name(host::ExportFn fn) {
  std::string_view name;
  host::for_each_export([&](const auto& row) {
    if (row.fn == fn) name = row.symbol;
  });
  return name;
}

inline void record(host::ExportFn fn, const std::vector<uint8_t>& request) {
  static const char* const path = std::getenv("TARV_CONFORMANCE_RECORD");
  if (path == nullptr) return;
  const std::string_view name = export_name(fn);
  if (name.empty()) return;
  const std::string line = std::string(name) + ' ' + ::tarv::testing::to_hex(request) + '\n';
  // Calls may come from several threads; each line goes out whole.
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  if (FILE* f = std::fopen(path, "ab")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
}

}  // namespace tarv::conformance

#endif  // TARV_TESTS_CONFORMANCE_RECORDER_H_
