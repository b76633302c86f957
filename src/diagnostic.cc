#include "src/diagnostic.h"

#include <cstdio>

namespace tarv {

void diagnostic(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace tarv
