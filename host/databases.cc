// Which kind of database a name opens, and the register factories over it.
#include "host/databases.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/try.h"
#include "host/connection.h"

namespace tarv::host {

bool is_server_database(std::string_view db) {
  return db.starts_with("postgresql://") || db.starts_with("postgres://");
}

HostResult<void> check_register_id(std::string_view id) {
  const bool fits =
      !id.empty() && id.size() <= 64 &&
      id.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-:") ==
          std::string::npos;
  if (!fits || id == "." || id == "..") {
    return std::unexpected(
        Failure{Fault::BadInput,
                fmt::format("'{}' is no register id (1 to 64 letters, digits and . _ - :)", id)});
  }
  return {};
}

HostResult<std::unique_ptr<Database>> open_database(const std::string& db, Store::Options options,
                                                    bool create) {
  auto c = is_server_database(db) ? connect_postgres(db, options, create)
                                  : connect_sqlite(db, options, create);
  TARV_TRY(c);
  return connected_database(std::move(*c));
}

HostResult<std::unique_ptr<Store>> open_store(const std::string& db, Store::Options options,
                                              const std::string& id) {
  auto database = open_database(db, options);
  TARV_TRY(database);
  return (*database)->open(id);
}

HostResult<std::unique_ptr<Store>> create_store(const std::string& db, const HostState& initial,
                                                Store::Options options, const std::string& id) {
  // A file of one register is new: of two creators of the same path, one
  // fails here, and no other file takes the schema by mistake.
  const bool new_file = id.empty() && !is_server_database(db);
  if (new_file) {
    const int fd = ::open(db.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      const std::string why =
          errno == EEXIST ? "it exists (a register is created once)" : std::strerror(errno);
      return std::unexpected(
          Failure{Fault::Storage, fmt::format("cannot create register {}: {}", db, why)});
    }
    ::close(fd);
  }
  auto made = [&]() -> HostResult<std::unique_ptr<Store>> {
    auto database = open_database(db, options, true);
    TARV_TRY(database);
    return (*database)->create(id, initial);
  }();
  if (!made && new_file) {
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((db + suffix).c_str());
  }
  return made;
}

}  // namespace tarv::host
