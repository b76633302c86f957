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
#include <vector>

#include "include/tarv_core.h"

namespace tarv::conformance {

using RecordedFn = uint8_t (*)(const uint8_t*, uint64_t, uint8_t**, uint64_t*);

// The export's name, or nullptr for a function that is not one.
inline const char* export_name(RecordedFn fn) {
  static const struct {
    RecordedFn fn;
    const char* name;
  } kExports[] = {
      {tarvcore_create_deposit, "tarvcore_create_deposit"},
      {tarvcore_create_withdraw, "tarvcore_create_withdraw"},
      {tarvcore_create_ch_withdraw, "tarvcore_create_ch_withdraw"},
      {tarvcore_create_sale, "tarvcore_create_sale"},
      {tarvcore_create_refund, "tarvcore_create_refund"},
      {tarvcore_create_rollback, "tarvcore_create_rollback"},
      {tarvcore_create_report, "tarvcore_create_report"},
      {tarvcore_register_order, "tarvcore_register_order"},
  };
  for (const auto& e : kExports) {
    if (e.fn == fn) return e.name;
  }
  return nullptr;
}

inline void record(RecordedFn fn, const std::vector<uint8_t>& request) {
  static const char* const path = std::getenv("TARV_CONFORMANCE_RECORD");
  if (path == nullptr) return;
  const char* name = export_name(fn);
  if (name == nullptr) return;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line = std::string(name) + ' ';
  for (uint8_t b : request) {
    line += kHex[b >> 4];
    line += kHex[b & 15];
  }
  line += '\n';
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
