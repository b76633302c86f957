#include "tools/options.h"

#include <fmt/format.h>

#include <charconv>

#include "host/databases.h"

namespace tarv::tool {

std::optional<double> number(std::string_view text, double least, double most) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  // NaN fails both comparisons.
  if (error != std::errc() || end != text.data() + text.size() ||
      !(value >= least && value <= most)) {
    return std::nullopt;
  }
  return value;
}

CLI::Validator number_from(double least, double most) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        if (number(text, least, most)) return "";
        return fmt::format("'{}' is not a number from {} to {}", text, least, most);
      },
      "NUMBER");
}

CLI::Option* add_wait(CLI::App& app, std::chrono::milliseconds& wait) {
  return app
      .add_option_function<double>(
          "--wait",
          [&wait](double seconds) {
            wait = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
          })
      ->check(number_from(0, 86'400));
}

CLI::Option* add_register(CLI::App& app, std::string& id) {
  return app.add_option("--register", id)
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            const auto ok = host::check_register_id(text);
            return ok ? "" : ok.error().message;
          },
          "ID"));
}

}  // namespace tarv::tool
