// The demo shift as data: each step's request. tools/demo.cc runs them
// through the register and prints them; the tool test checks the journal
// they leave.
#ifndef TARV_TOOLS_DEMO_STEPS_H_
#define TARV_TOOLS_DEMO_STEPS_H_

#include <fmt/format.h>
#include <google/protobuf/message.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "host/failure.h"
#include "host/register.h"

namespace tarv::tool {

namespace pb = ::tarv::core;
using host::CallOutcome;
using host::Failure;
using host::HostResult;
using host::HostState;
using host::Register;

// The demo register's standing data: register 31700042, currency BYN.
HostState demo_register();
inline constexpr std::string_view kDemoCashier = "Мария Иванова";

// A Unix time as the demo prints it: the local date-time "YYYY-MM-DD HH:MM:SS".
std::string local_time(int64_t unix_seconds);

// What a step sees of the run: the register, the documents of earlier steps,
// and the output folder.
class StepContext {
 public:
  virtual ~StepContext() = default;

  // The register as it is now (kept in its database by the run).
  virtual const Register& host() const = 0;
  // Opens the register's next shift at `at`, as `tarv open` does.
  virtual HostResult<void> open_shift(const google::protobuf::Timestamp& at) = 0;
  // The binary document that the step `slug` issued; empty when none did.
  virtual const std::string& document(std::string_view slug) const = 0;
  // Writes the step's file `name` under --out; nothing without --out.
  virtual HostResult<void> write(std::string_view name, std::string_view bytes) = 0;
  // The BYN cash in the drawer now.
  int64_t drawer();
};

struct Step {
  std::string_view title;
  std::string_view what;  // for the reader, one or two lines
  // Names the step's files under --out ("sale-marked": 04-sale-marked.*) and
  // its document for later steps.
  std::string_view slug;
  std::string_view export_name;  // empty: the host acts alone
  // Builds the request (context, attrs and number come from the register),
  // or acts alone and returns null.
  std::function<HostResult<std::unique_ptr<google::protobuf::Message>>(StepContext&)> request;
};

// The shift: open, deposit, two sales, refund, an order registered and
// raised, the rollback of a signed sale, the withdrawal, the report.
std::span<const Step> demo_steps();

}  // namespace tarv::tool

#endif  // TARV_TOOLS_DEMO_STEPS_H_
