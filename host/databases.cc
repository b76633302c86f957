// Which kind of database a name opens, and the register factories over it.
#include "host/databases.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "base/try.h"
#include "host/connection.h"
#include "host/redact.h"

namespace tarv::host {

namespace {

// What the PostgreSQL database `db` says it is; nullopt when it cannot be
// asked (unreachable, or pg_control_system() is not allowed).
std::optional<std::string> identity(const std::string& db) {
  const char* const keys[] = {"dbname", "connect_timeout", nullptr};
  const char* const values[] = {db.c_str(), "5", nullptr};
  PGconn* c = PQconnectdbParams(keys, values, 1);
  std::optional<std::string> said;
  if (PQstatus(c) == CONNECTION_OK) {
    PGresult* r = PQexec(c,
                         "SELECT s.system_identifier::text || '/' || d.oid::text "
                         "FROM pg_control_system() s, pg_database d "
                         "WHERE d.datname = current_database()");
    if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1) said = PQgetvalue(r, 0, 0);
    PQclear(r);
  }
  PQfinish(c);
  return said;
}

// Where libpq would connect for `db`: each host and port (this machine's
// names, its socket folders and no host at all are "local"), and the
// database. Empty when libpq cannot parse `db`.
std::set<std::string> places(const std::string& db) {
  std::map<std::string, std::string> given, defaults;
  PQconninfoOption* options = PQconninfoParse(db.c_str(), nullptr);
  PQconninfoOption* fallback = PQconndefaults();
  for (const PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr; ++o) {
    if (o->val != nullptr && *o->val != '\0') given[o->keyword] = o->val;
  }
  for (const PQconninfoOption* o = fallback; o != nullptr && o->keyword != nullptr; ++o) {
    if (o->val != nullptr) defaults[o->keyword] = o->val;
  }
  const bool parsed = options != nullptr;
  PQconninfoFree(options);
  PQconninfoFree(fallback);
  if (!parsed) return {};
  auto value = [&](const char* key) { return given.contains(key) ? given[key] : defaults[key]; };
  auto list = [](const std::string& text) {
    std::vector<std::string> items;
    for (size_t at = 0;;) {
      const size_t comma = text.find(',', at);
      items.push_back(text.substr(at, comma - at));
      if (comma == std::string::npos) return items;
      at = comma + 1;
    }
  };
  const std::string user = value("user");
  const std::string database = given.contains("dbname") ? given["dbname"] : user;
  const auto hosts = list(given.contains("hostaddr") ? given["hostaddr"] : value("host"));
  const auto ports = list(value("port").empty() ? "5432" : value("port"));
  std::set<std::string> out;
  for (size_t i = 0; i < hosts.size(); ++i) {
    std::string host = hosts[i];
    std::ranges::transform(host, host.begin(), [](unsigned char c) { return std::tolower(c); });
    if (host.empty() || host.starts_with('/') || host.starts_with('@') || host == "localhost" ||
        host == "127.0.0.1" || host == "::1" || host == "[::1]") {
      host = "local";
    }
    std::string port = ports.size() == 1 ? ports[0] : i < ports.size() ? ports[i] : "";
    if (port.empty()) port = "5432";
    out.insert(fmt::format("{}:{}/{}", host, port, database));
  }
  return out;
}

}  // namespace

bool is_server_database(std::string_view db) { return is_connection_text(db); }

bool same_database(const std::string& a, const std::string& b) {
  if (a == b) return true;
  if (is_server_database(a) != is_server_database(b)) return false;
  if (!is_server_database(a)) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
  }
  const auto first = identity(a);
  const auto second = identity(b);
  if (first && second) return *first == *second;
  const auto here = places(a);
  return std::ranges::any_of(places(b), [&](const std::string& p) { return here.contains(p); });
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
