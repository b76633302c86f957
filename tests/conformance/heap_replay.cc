// The heap bound of an export call on a build of tarv_core for another Linux
// platform (32-bit ARM under qemu-user): the hostile request shapes that the
// bound test writes (TARV_SHAPES_OUT), each called once with the heap counted
// at malloc, as the bound test counts it natively.
//
//   heap_replay DIR
//
// Each file of DIR is one request; its name begins with its document, whose
// export is tarvcore_create_<document>. Prints a line a request; exit status
// 0 when every call kept its bound.
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "bench/heap_meter.h"
#include "tarv_core.h"

namespace {

using ExportFn = tarvcore_export_fn*;

bool replay(const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  const std::string symbol = "tarvcore_create_" + name.substr(0, name.find('_'));
  auto fn = reinterpret_cast<ExportFn>(dlsym(RTLD_DEFAULT, symbol.c_str()));
  if (fn == nullptr) {
    std::fprintf(stderr, "heap_replay: %s: no export %s\n", name.c_str(), symbol.c_str());
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  const std::string request{std::istreambuf_iterator<char>(in), {}};
  uint8_t* out = nullptr;
  uint64_t length = 0;
  const tarv::bench::HeapPeak meter;
  const uint8_t status =
      fn(reinterpret_cast<const uint8_t*>(request.data()), request.size(), &out, &length);
  const int64_t peak = meter.bytes();
  tarvcore_free_buffer(out, length);
  const int64_t bound = tarv::bench::heap_bound(request.size(), length);
  std::printf("%-32s %10zu in %10llu out  status %3u  peak %10lld  bound %10lld  %s\n",
              name.c_str(), request.size(), static_cast<unsigned long long>(length), status,
              static_cast<long long>(peak), static_cast<long long>(bound),
              peak <= bound ? "held" : "EXCEEDED");
  return peak <= bound && status != TARV_STATUS_UNDECODABLE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: heap_replay DIR\n");
    return 2;
  }
  bool ok = true;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    ok = replay(entry.path()) && ok;
    ++files;
  }
  return ok && files > 0 ? 0 : 1;
}
