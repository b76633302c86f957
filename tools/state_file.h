// The state file of `tarv call --state`: one register's state that survives
// the tool being killed at any moment and that one tarv at a time may use.
#ifndef TARV_TOOLS_STATE_FILE_H_
#define TARV_TOOLS_STATE_FILE_H_

#include <string>
#include <string_view>

#include "tools/args.h"

namespace tarv::tool {

// Holds the advisory lock of a state file from open() until destruction. The
// lock is taken on a sibling "FILE.lock" that is never replaced (a lock on
// FILE itself would stay with the old inode once FILE is renamed over), and
// is left in place afterwards: removing it would let two tools lock two
// different files of the same name.
class StateFile {
 public:
  // Fails with kExitBusy while another process holds the lock.
  static HostResult<StateFile> lock(std::string path);

  StateFile(StateFile&& other) noexcept;
  StateFile& operator=(StateFile&&) = delete;
  ~StateFile();

  const std::string& path() const { return path_; }

  HostResult<std::string> read() const;

  // Writes "FILE.tmp" in the same folder, flushes it to the disk, renames it
  // over FILE and flushes the folder: after a crash FILE holds either the old
  // or the new content, whole. FILE keeps its permissions.
  HostResult<void> replace(std::string_view bytes) const;

 private:
  StateFile(std::string path, int lock_fd) : path_(std::move(path)), lock_fd_(lock_fd) {}

  std::string path_;
  int lock_fd_ = -1;
};

}  // namespace tarv::tool

#endif  // TARV_TOOLS_STATE_FILE_H_
