// The commands of the tarv tool: each is one file of this folder with its
// help text, and main.cc lists them.
#ifndef TARV_TOOLS_COMMANDS_H_
#define TARV_TOOLS_COMMANDS_H_

#include <set>
#include <string>
#include <string_view>

#include "tools/args.h"

namespace tarv::tool {

struct Command {
  std::string_view name;
  std::string_view synopsis;  // the line of `tarv --help`
  std::string_view help;      // `tarv NAME --help`
  std::set<std::string> with_value, flags;
  HostResult<int> (*run)(const Args&);
};

extern const Command kDemoCommand;
extern const Command kCallCommand;
extern const Command kDocCommand;
extern const Command kVerifyCommand;
extern const Command kInitCommand;
extern const Command kOpenCommand;
extern const Command kJournalCommand;
extern const Command kServeCommand;

}  // namespace tarv::tool

#endif  // TARV_TOOLS_COMMANDS_H_
