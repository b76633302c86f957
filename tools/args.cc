#include "tools/args.h"

#include <fmt/format.h>

#include <charconv>

namespace tarv::tool {

std::optional<std::string> Args::option(const std::string& name) const {
  const auto found = options.find(name);
  if (found == options.end()) return std::nullopt;
  return found->second;
}

HostResult<void> Args::expect(size_t least, size_t most) const {
  if (positional.size() < least || positional.size() > most) {
    return std::unexpected(
        Failure{Fault::BadInput, fmt::format("wrong arguments (see tarv {} --help)", command)});
  }
  return {};
}

HostResult<std::chrono::milliseconds> wait_option(const Args& a) {
  const auto text = a.option("--wait");
  if (!text) return std::chrono::milliseconds(10'000);
  double seconds = -1;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), seconds);
  if (error != std::errc() || end != text->data() + text->size() || !(seconds >= 0) ||
      seconds > 86'400) {
    return std::unexpected(Failure{
        Fault::BadInput, fmt::format("--wait {}: not a number of seconds (e.g. 10, 0.5)", *text)});
  }
  return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

HostResult<Args> parse_args(std::string_view command, int argc, char** argv,
                            const std::set<std::string>& with_value,
                            const std::set<std::string>& flags) {
  Args a;
  a.command = command;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.size() > 2 && arg.starts_with("--")) {
      if (with_value.contains(arg)) {
        if (i + 1 >= argc) {
          return std::unexpected(Failure{Fault::BadInput, fmt::format("{} needs a value", arg)});
        }
        a.options[arg] = argv[++i];
      } else if (flags.contains(arg) || arg == "--help") {
        a.options[arg] = "";
      } else {
        return std::unexpected(Failure{
            Fault::BadInput, fmt::format("unknown option {} (see tarv {} --help)", arg, command)});
      }
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

}  // namespace tarv::tool
