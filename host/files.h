// Whole files in and out.
#ifndef TARV_HOST_FILES_H_
#define TARV_HOST_FILES_H_

#include <string>
#include <string_view>

#include "host/failure.h"

namespace tarv::host {

// The bytes of a file, or of standard input for "-".
HostResult<std::string> read_file(std::string_view path);

HostResult<void> write_file(const std::string& path, std::string_view bytes);

}  // namespace tarv::host

#endif  // TARV_HOST_FILES_H_
