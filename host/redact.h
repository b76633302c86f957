// How the name of a database shows wherever a person may read it: a line of
// the tool, a log line, an HTTP answer. A PostgreSQL URL or key=value
// connection string is read with libpq's own parser, and shows without its
// password; an SQLite path shows as it is.
#ifndef TARV_HOST_REDACT_H_
#define TARV_HOST_REDACT_H_

#include <string>
#include <string_view>

namespace tarv::host {

// Whether `db` is PostgreSQL connection text: a postgresql:// or postgres://
// URL, or key=value pairs whose first key is one of libpq's (host=...,
// dbname=...). Anything else is a path.
bool is_connection_text(std::string_view db);

// `db` as it shows: a path as it is; a URL without the password of its
// user part nor any *password parameter of its query; key=value pairs without
// their *password pairs. Text that libpq cannot parse shows nothing of its
// user part or query (a URL), or nothing of its pairs (key=value).
std::string redacted(std::string_view db);

// `message` with `db` shown as redacted() shows it and every password of
// `db` (as written, and as libpq decodes it) replaced with "***": for lines
// that quote what they were given (libpq's, a command line parser's).
std::string hide_secrets(std::string message, std::string_view db);

}  // namespace tarv::host

#endif  // TARV_HOST_REDACT_H_
