// How the host's work fails: the kind of failure and one line for a person.
// The host names kinds only, each saying what happened to the work (done
// and refused, not started, or not known); the tool maps them to its exit
// statuses (tools/exit_status.h) and the server to HTTP statuses
// (host/reply.h), each in one switch.
#ifndef TARV_HOST_FAILURE_H_
#define TARV_HOST_FAILURE_H_

#include <expected>
#include <string>

namespace tarv::host {

enum class Fault {
  // Work refused by what it finds: a shift that is already open, a journal
  // that does not check, bytes that are not a document. Nothing was kept.
  Refused,
  // The library answered with what it must not (a response that does not
  // parse); nothing was kept.
  Library,
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
  // a second hard link, a read-only or full disk, a database out of reach
  // or not answering in time); it is left as it was.
  Storage,
  // The call was sent to be committed and the database's answer was lost
  // (the connection cut, or no answer in time), and asking the journal
  // since did not tell: the call may have been made. The message says how
  // to find out; the call is not made again.
  Unknown,
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
