#include "tools/state_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "host/files.h"

namespace tarv::tool {
namespace {

Failure system_failure(std::string_view what, const std::string& path) {
  return Failure{host::kExitUsage,
                 fmt::format("cannot {} {}: {}", what, path, std::strerror(errno))};
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

HostResult<StateFile> StateFile::lock(std::string path) {
  const std::string lock_path = fmt::format("{}.lock", path);
  const int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return std::unexpected(system_failure("create the lock file", lock_path));
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) {
      return std::unexpected(
          Failure{host::kExitBusy,
                  fmt::format("state file {} is in use by another tarv (it holds {}); try again "
                              "when that call has ended",
                              path, lock_path)});
    }
    errno = error;
    return std::unexpected(system_failure("lock", lock_path));
  }
  return StateFile(std::move(path), fd);
}

StateFile::StateFile(StateFile&& other) noexcept
    : path_(std::move(other.path_)), lock_fd_(other.lock_fd_) {
  other.lock_fd_ = -1;
}

StateFile::~StateFile() {
  if (lock_fd_ >= 0) ::close(lock_fd_);  // releases the lock
}

HostResult<std::string> StateFile::read() const { return host::read_file(path_); }

HostResult<void> StateFile::replace(std::string_view bytes) const {
  // One name for the temporary file: the lock keeps other writers out, and a
  // leftover of a killed run is overwritten by the next one.
  const std::string temporary = fmt::format("{}.tmp", path_);
  struct stat old {};
  const mode_t mode = ::stat(path_.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644;
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return std::unexpected(system_failure("write", temporary));
  const bool written = write_all(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  const int error = errno;
  if (::close(fd) != 0 || !written) {
    if (!written) errno = error;
    const Failure failure = system_failure("write", temporary);
    ::unlink(temporary.c_str());
    return std::unexpected(failure);
  }
  if (::rename(temporary.c_str(), path_.c_str()) != 0) {
    const Failure failure = system_failure("replace", path_);
    ::unlink(temporary.c_str());
    return std::unexpected(failure);
  }
  // The rename itself is durable once the folder is.
  const std::filesystem::path parent = std::filesystem::path(path_).parent_path();
  const std::filesystem::path folder = parent.empty() ? std::filesystem::path(".") : parent;
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return std::unexpected(system_failure("open the folder", folder.string()));
  const bool synced = ::fsync(dir) == 0;
  ::close(dir);
  if (!synced) return std::unexpected(system_failure("flush the folder", folder.string()));
  return {};
}

}  // namespace tarv::tool
