// The command line of one tarv command: positionals and --options.
#ifndef TARV_TOOLS_ARGS_H_
#define TARV_TOOLS_ARGS_H_

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/failure.h"
#include "tools/exit_status.h"

namespace tarv::tool {

using host::Failure;
using host::Fault;
using host::HostResult;

struct Args {
  std::string_view command;
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // name -> value ("" for flags)

  // The option's value, if it was given.
  std::optional<std::string> option(const std::string& name) const;
  // A failure unless there are `least` to `most` positionals.
  HostResult<void> expect(size_t least, size_t most) const;
};

// Options named in `with_value` take the next argument; `flags` and --help
// stand alone; any other --option is refused.
// --wait SECONDS (a decimal, e.g. 0.5): how long a call waits for the
// register while another caller has it; 10 s when not given.
HostResult<std::chrono::milliseconds> wait_option(const Args& a);

HostResult<Args> parse_args(std::string_view command, int argc, char** argv,
                            const std::set<std::string>& with_value,
                            const std::set<std::string>& flags);

}  // namespace tarv::tool

#endif  // TARV_TOOLS_ARGS_H_
