// What every command of the tool shares: exit statuses, failures as one line,
// files, and messages in the Protocol Buffers JSON mapping.
//
// tools/ is the tarv command, a host of the library through its C exports:
//   main.cc                  the commands and their options
//   cli.h                    what they share (this header); json.h the JSON checks
//   host.h, host_state.proto a register's state between calls;
//   state_file.h             its file, written durably under a lock
//   demo_steps.h, demo.h     the demo shift as data, and its runner
//   doc_view.h               stored documents as JSON or as a receipt
#ifndef TARV_TOOLS_CLI_H_
#define TARV_TOOLS_CLI_H_

#include <google/protobuf/message.h>

#include <expected>
#include <string>
#include <string_view>

namespace tarv::tool {

// Exit statuses.
inline constexpr int kExitOk = 0;
// An error response, a document the reader refuses, an invalid signature, a
// demo step that did not behave.
inline constexpr int kExitRefused = 1;
// The request does not decode: bad JSON, or the library's status 255.
inline constexpr int kExitUndecodable = 2;
// The tool could not start the work: command line, missing file, unknown
// export, a state file that does not parse.
inline constexpr int kExitUsage = 3;
// The state file is in use by another tarv; nothing was called.
inline constexpr int kExitBusy = 4;

// A failure of the tool: one line for standard error (without "tarv: ") and
// the exit status.
struct Failure {
  int exit_code;
  std::string message;
};

template <class T>
using Result = std::expected<T, Failure>;

// The bytes of a file, or of standard input for "-".
Result<std::string> read_file(std::string_view path);

Result<void> write_file(const std::string& path, std::string_view bytes);

// Parses `json` into `message`. A syntax fault names its line and column,
// a schema fault its field; `what` names the source, e.g. the file name.
// Both fail with `exit_code`.
Result<void> parse_json(std::string_view json, google::protobuf::Message& message,
                        std::string_view what, int exit_code);

// The message in the JSON mapping with the schema's field names (times as
// RFC 3339 text), indented, ending in a line break.
std::string to_json(const google::protobuf::Message& message);

}  // namespace tarv::tool

#endif  // TARV_TOOLS_CLI_H_
