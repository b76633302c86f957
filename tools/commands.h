// The commands of the tarv tool: each is one file of this folder with its
// help text, and main.cc lists them.
#ifndef TARV_TOOLS_COMMANDS_H_
#define TARV_TOOLS_COMMANDS_H_

#include <functional>
#include <string_view>

#include "tools/options.h"

namespace tarv::tool {

// What runs a command once its command line is parsed.
using Run = std::function<HostResult<int>()>;

struct Command {
  std::string_view name;
  std::string_view synopsis;  // `tarv --help` lists the command's synopsis
  std::string_view summary;   // and summary
  std::string_view help;      // `tarv NAME --help`
  // Declares the command's arguments on `app` (bound to what the returned
  // Run reads).
  Run (*define)(CLI::App& app);
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
