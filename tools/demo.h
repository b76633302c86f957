// `tarv demo`: one complete shift on a built-in register.
#ifndef TARV_TOOLS_DEMO_H_
#define TARV_TOOLS_DEMO_H_

#include <optional>
#include <string>

#include "tools/cli.h"

namespace tarv::tool {

// Runs the shift and prints it; with `out_dir`, also writes every request,
// response and document there. kExitOk only when every step behaved.
Result<int> run_demo(const std::optional<std::string>& out_dir);

}  // namespace tarv::tool

#endif  // TARV_TOOLS_DEMO_H_
