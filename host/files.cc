#include "host/files.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace tarv::host {

HostResult<std::string> read_file(std::string_view path) {
  if (path == "-") {
    std::ostringstream s;
    s << std::cin.rdbuf();
    return s.str();
  }
  std::ifstream in{std::string(path), std::ios::binary};
  if (!in) {
    return std::unexpected(
        Failure{Fault::BadInput, fmt::format("cannot read {}: {}", path, std::strerror(errno))});
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

HostResult<void> write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    return std::unexpected(
        Failure{Fault::BadInput, fmt::format("cannot write {}: {}", path, std::strerror(errno))});
  }
  return {};
}

}  // namespace tarv::host
