// tarv: a reference host of tarv_core and a reader of its fiscal documents.
#include <fmt/format.h>

#include <iostream>
#include <string_view>

#include "base/try.h"
#include "host/redact.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

const Command* const kCommands[] = {&kDemoCommand, &kInitCommand,    &kCallCommand,
                                    &kOpenCommand, &kJournalCommand, &kServeCommand,
                                    &kDocCommand,  &kVerifyCommand};

constexpr std::string_view kIntro = R"(usage: tarv COMMAND [ARGS]

A reference host of the tarv_core fiscal library: it calls libtarv_core.so
through its C exports exactly as a cash register does.

commands:
)";

constexpr std::string_view kOutro = R"(
`tarv COMMAND --help` tells more. Exit status: 0 done, 1 refused (error
response, unreadable document, invalid signature, failed demo step, a journal
that does not check), 2 the request does not decode, 3 bad command line or
input files, 4 the register stayed busy, 5 the key names another request,
6 a document number other than the register's next, 7 the register cannot be
read or written, 8 a call's commit was sent and its outcome is not known.
)";

HostResult<int> run(int argc, char** argv) {
  if (argc < 2) return std::unexpected(Failure{Fault::BadInput, "no command (see tarv --help)"});
  const std::string_view name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    std::cout << kIntro;
    for (const Command* c : kCommands) {
      std::cout << fmt::format("  {:<50} {}\n", fmt::format("{} {}", c->name, c->synopsis),
                               c->summary);
    }
    std::cout << kOutro;
    return kExitOk;
  }
  for (const Command* c : kCommands) {
    if (c->name != name) continue;
    CLI::App app("", std::string(name));
    const Run command = c->define(app);
    try {
      app.parse(argc - 1, argv + 1);
    } catch (const CLI::CallForHelp&) {
      std::cout << c->help;
      return kExitOk;
    } catch (const CLI::ParseError& e) {
      return std::unexpected(
          Failure{Fault::BadInput, fmt::format("{} (see tarv {} --help)", e.what(), name)});
    }
    return command();
  }
  return std::unexpected(
      Failure{Fault::BadInput, fmt::format("unknown command '{}' (see tarv --help)", name)});
}

}  // namespace
}  // namespace tarv::tool

int main(int argc, char** argv) {
  const auto result = tarv::tool::run(argc, argv);
  std::cout.flush();
  if (!result) {
    // A line that quotes the command line (its parser's) shows no password.
    std::string line = result.error().message;
    for (int i = 1; i < argc; ++i) {
      std::string_view arg = argv[i];
      if (arg.starts_with("--") && arg.find('=') != std::string_view::npos) {
        arg.remove_prefix(arg.find('=') + 1);
      }
      line = tarv::host::hide_secrets(std::move(line), arg);
    }
    std::cerr << "tarv: " << line << '\n';
    return tarv::tool::exit_status(result.error().kind);
  }
  return *result;
}
