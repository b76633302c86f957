// Opening a database of registers by its name: an SQLite file (any path) or
// a PostgreSQL database (a postgresql:// or postgres:// URL, or libpq's
// key=value text: host=... dbname=...). What they open
// is the interface of store.h; which kind of database is behind it is decided
// here alone.
#ifndef TARV_HOST_DATABASES_H_
#define TARV_HOST_DATABASES_H_

#include <memory>
#include <string>
#include <string_view>

#include "host/store.h"

namespace tarv::host {

// Whether `db` names a PostgreSQL database rather than an SQLite file.
bool is_server_database(std::string_view db);

// Whether `a` and `b` name one database, however each is spelt: one SQLite
// file through any path or link; one PostgreSQL database through any URL or
// key=value text. Two PostgreSQL databases that answer are told apart by
// what they say they are (the cluster's system identifier and the
// database's oid); else by where libpq would connect (this machine's names
// and socket folders as one, default ports and database names filled in).
bool same_database(const std::string& a, const std::string& b);

// A failure (Fault::BadInput) unless `id` can name a register: 1 to 64 letters,
// digits and . _ - : (it is a part of the server's paths).
HostResult<void> check_register_id(std::string_view id);

// Opens the database `db`. With `create`: an SQLite file is made when
// missing, and a database without the registers' schema takes it; without,
// a missing or empty database fails (Fault::Storage). An SQLite file is
// reached through any path or symbolic link; a file with a second hard link
// is refused (it would be a second register of the same bytes).
HostResult<std::unique_ptr<Database>> open_database(const std::string& db, Store::Options options,
                                                    bool create = false);

// Creates the register `id` (empty: the database's one register, which
// refuses a database that exists or holds a register already) in `db`.
HostResult<std::unique_ptr<Store>> create_store(const std::string& db, const HostState& initial,
                                                Store::Options options = {},
                                                const std::string& id = "");

// Opens the register `id` of `db` (empty: its only register). A missing,
// unreadable or damaged register fails with Fault::Storage. The Store keeps
// its database open.
HostResult<std::unique_ptr<Store>> open_store(const std::string& db, Store::Options options = {},
                                              const std::string& id = "");

}  // namespace tarv::host

#endif  // TARV_HOST_DATABASES_H_
