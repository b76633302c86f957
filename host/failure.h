// How the host's work fails: the kind of failure and one line for a person.
// The host names kinds only; the tool maps them to its exit statuses
// (tools/commands.h) and the server to HTTP statuses (http_status()).
#ifndef TARV_HOST_FAILURE_H_
#define TARV_HOST_FAILURE_H_

#include <expected>
#include <string>

namespace tarv::host {

enum class Fault {
  // Work done and refused: a response that does not parse, a shift that is
  // already open, a journal that does not check.
  Refused,
  // The request does not decode: bad JSON for its message.
  Undecodable,
  // The work could not start: a missing or unreadable file, an input that
  // does not parse, a value out of range.
  BadInput,
  // What was asked for does not exist: a journal entry, a route.
  NotFound,
  // The register stayed in use by another caller past the wait; nothing was
  // called.
  Busy,
  // The call's key names another request in the register's journal; nothing
  // was called.
  KeyReused,
  // The request's header names a document number other than the register's
  // next; nothing was called.
  Numbering,
  // The register cannot be opened, read or written (missing, not a register,
  // a second hard link, a read-only or full disk); it is left as it was.
  Storage,
};

// One line for a person (without a program's name in front).
struct Failure {
  Fault kind;
  std::string message;
};

template <class T>
using HostResult = std::expected<T, Failure>;

}  // namespace tarv::host

#endif  // TARV_HOST_FAILURE_H_
