// What the commands share on top of CLI11, which parses every command line:
// the results they return, and the one parser of numbers their options use.
#ifndef TARV_TOOLS_OPTIONS_H_
#define TARV_TOOLS_OPTIONS_H_

#include <CLI/CLI.hpp>
#include <chrono>
#include <optional>
#include <string_view>

#include "host/failure.h"
#include "tools/exit_status.h"

namespace tarv::tool {

using host::Failure;
using host::Fault;
using host::HostResult;

// `text` as a decimal number from `least` to `most` (e.g. 10, 0.5);
// nullopt for anything else.
std::optional<double> number(std::string_view text, double least, double most);

// A CLI11 check that an option's value is such a number.
CLI::Validator number_from(double least, double most);

// --wait SECONDS (a decimal, e.g. 0.5, at most a day): how long a call waits
// for the register while another caller has it. `wait` keeps its value
// (10 s) when the option is not given.
CLI::Option* add_wait(CLI::App& app, std::chrono::milliseconds& wait);

// --register ID: one register of a database of many; `id` stays empty (the
// database's only register) when the option is not given.
CLI::Option* add_register(CLI::App& app, std::string& id);

}  // namespace tarv::tool

#endif  // TARV_TOOLS_OPTIONS_H_
