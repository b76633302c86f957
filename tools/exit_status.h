// The tool's exit statuses, as `tarv --help` lists them: 0 done, and one per
// kind of host failure. Scripts test them, so they never change.
#ifndef TARV_TOOLS_EXIT_STATUS_H_
#define TARV_TOOLS_EXIT_STATUS_H_

#include "host/failure.h"
#include "include/tarv_core.h"

namespace tarv::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;

constexpr int exit_status(host::Fault kind) {
  switch (kind) {
    case host::Fault::Refused:
    case host::Fault::Library:
      return kExitRefused;
    case host::Fault::Undecodable:
      return 2;
    case host::Fault::BadInput:
    case host::Fault::NotFound:
      return 3;
    case host::Fault::Busy:
      return 4;
    case host::Fault::KeyReused:
      return 5;
    case host::Fault::Numbering:
      return 6;
    case host::Fault::Storage:
      return 7;
    case host::Fault::Unknown:
      return 8;
  }
  return 3;
}

// A call the library answered: 0 a document, 1 an error response, 2 a
// request that does not decode (the library's status 255).
constexpr int call_exit_status(int library_status) {
  return library_status == TARV_STATUS_OK      ? kExitOk
         : library_status == TARV_STATUS_ERROR ? kExitRefused
                                               : exit_status(host::Fault::Undecodable);
}

}  // namespace tarv::tool

#endif  // TARV_TOOLS_EXIT_STATUS_H_
