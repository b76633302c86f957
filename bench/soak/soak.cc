// Calls every export in turn, a million calls by default, and prints the
// resident set size as it goes: a library that keeps nothing between calls
// stays flat.
//
//   tarv_soak [calls]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/requests.h"

namespace {

long resident_kib() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ::tarv::bench;
  const long calls = argc > 1 ? std::atol(argv[1]) : 1000000;
  if (calls <= 1000) {
    std::fprintf(stderr, "usage: tarv_soak [calls], more than 1000 (default 1000000)\n");
    return 2;
  }
  const std::vector<std::pair<ExportFn, std::string>> requests = {
      {tarvcore_create_deposit, deposit_bytes()}, {tarvcore_create_sale, sale_bytes(10)},
      {tarvcore_create_refund, refund_bytes(10)}, {tarvcore_register_order, order_bytes()},
      {tarvcore_create_report, report_bytes()},   {tarvcore_create_rollback, rollback_bytes()},
  };
  long first = 0;
  for (long i = 0; i < calls; ++i) {
    const auto& [fn, request] = requests[static_cast<size_t>(i) % requests.size()];
    uint8_t* out = nullptr;
    uint64_t length = 0;
    if (fn(reinterpret_cast<const uint8_t*>(request.data()), request.size(), &out, &length) != 0) {
      std::fprintf(stderr, "call %ld failed\n", i);
      return 1;
    }
    tarvcore_free_buffer(out, length);
    if (i == 1000) first = resident_kib();
    if (i % (calls / 10 > 0 ? calls / 10 : 1) == 0 || i == calls - 1) {
      std::printf("%9ld calls  %7ld KiB resident\n", i + 1, resident_kib());
    }
  }
  const long growth = resident_kib() - first;
  std::printf("growth after the first thousand calls: %ld KiB\n", growth);
  return growth > 1024 ? 1 : 0;
}
