// How the host's work fails: one line for a person and the exit status of
// the tool (which the server maps to its HTTP statuses).
#ifndef TARV_HOST_FAILURE_H_
#define TARV_HOST_FAILURE_H_

#include <expected>
#include <string>

namespace tarv::host {

// Exit statuses.
inline constexpr int kExitOk = 0;
// An error response, a document the reader refuses, an invalid signature, a
// demo step that did not behave.
inline constexpr int kExitRefused = 1;
// The request does not decode: bad JSON, or the library's status 255.
inline constexpr int kExitUndecodable = 2;
// The work could not start: command line, missing file, unknown export, a
// state that does not parse.
inline constexpr int kExitUsage = 3;
// The register is in use by another caller; nothing was called.
inline constexpr int kExitBusy = 4;

// One line for standard error (without "tarv: ") and the exit status.
struct Failure {
  int exit_code;
  std::string message;
};

template <class T>
using HostResult = std::expected<T, Failure>;

}  // namespace tarv::host

#endif  // TARV_HOST_FAILURE_H_
