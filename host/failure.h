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
// The register stayed in use by another caller past the wait; nothing was
// called.
inline constexpr int kExitBusy = 4;
// The call's key names another request in the register's journal; nothing
// was called.
inline constexpr int kExitKeyReused = 5;
// The request's header names a document number other than the register's
// next; nothing was called.
inline constexpr int kExitNumbering = 6;
// The register cannot be opened, read or written (missing, not a register,
// a second hard link, a read-only or full disk); it is left as it was.
inline constexpr int kExitStorage = 7;

// One line for standard error (without "tarv: ") and the exit status.
struct Failure {
  int exit_code;
  std::string message;
};

template <class T>
using HostResult = std::expected<T, Failure>;

}  // namespace tarv::host

#endif  // TARV_HOST_FAILURE_H_
