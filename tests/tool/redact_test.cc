// Database names as every line shows them, and one database however it is
// spelt (without a server: by where libpq would connect).
#include "host/redact.h"

#include <gtest/gtest.h>

#include "host/databases.h"

namespace tarv::host {
namespace {

TEST(Redact, NoPasswordShows) {
  const std::pair<const char*, const char*> cases[] = {
      {"till.db", "till.db"},
      {"dir/password=x.db", "dir/password=x.db"},  // a path
      {"postgresql://u@h:5432/db", "postgresql://u@h:5432/db"},
      {"postgresql://u:pw@h:5432/db", "postgresql://u@h:5432/db"},
      {"postgres://u:p@w@h/db", "postgres://u@h/db"},  // a bare @ in the password
      {"postgresql://u:pa?ss@h:1/db", "postgresql://u@h:1/db"},  // a bare ?, which libpq takes
      {"postgresql://u:pa/ss@h:1/db", "postgresql://u@h:1/db"},  // a bare /, which libpq does not
      {"postgresql://h/db?sslmode=require&password=pw", "postgresql://h/db?sslmode=require"},
      {"postgresql://h/db?pass%77ord=pw&sslpassword=k", "postgresql://h/db"},
      {"postgresql://u:p%zz@h/db?x=1", "postgresql://h/db"},  // libpq cannot parse it
      {"host=h password='a b' dbname=d", "dbname=d host=h"},
      {"host=h port=5433 password=pw", "host=h port=5433"},
      {"host=h password=pw nonsense", "(PostgreSQL key=value text that does not parse)"},
  };
  for (const auto& [db, shown] : cases) EXPECT_EQ(redacted(db), shown) << db;

  // Lines that quote what they were given: libpq's, the command line's.
  const std::pair<const char*, const char*> quoted[] = {
      {"postgresql://u:p%zz@h/db", R"(invalid percent-encoded token: "p%zz")"},
      {"postgresql://u:pw@h/db", "not expected: postgresql://u:pw@h/db"},
      {"postgresql://h/db?password=s3cret", "password=s3cret"},
      {"host=h password='a b'", "given host=h password='a b'"},
      {"postgresql://u:pa?ss@h/db", "connected to postgresql://u:pa?ss@h/db"},
      {"postgresql://u:pa/ss@h/db", "no answer from postgresql://u:pa/ss@h/db"},
  };
  for (const auto& [db, line] : quoted) {
    const std::string hidden = hide_secrets(line, db);
    for (const char* secret : {"p%zz", ":pw", "s3cret", "a b", "pa?ss", "pa/ss", "ss@"}) {
      EXPECT_EQ(hidden.find(secret), std::string::npos) << db << ": " << hidden;
    }
  }
}

TEST(Redact, OneDatabaseHoweverSpelt) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  // Nothing listens on these ports: the spellings are compared as libpq reads them.
  const Case cases[] = {
      {"postgres://u@localhost:1/db", "postgresql://u@127.0.0.1:1/db", true},
      {"postgresql://u@[::1]:1/db", "host=localhost port=1 user=u dbname=db", true},
      {"postgresql:///db?host=/run/sockets&port=1&user=u", "postgresql://u@localhost:1/db", true},
      {"postgresql://u@localhost:1/u", "postgresql://u@localhost:1", true},  // dbname = user
      {"postgresql://u@localhost:1/db", "postgresql://u@localhost:2/db", false},
      {"postgresql://u@localhost:1/db", "postgresql://u@localhost:1/other", false},
      {"postgresql://u@localhost:1/db", "db", false},
  };
  for (const Case& c : cases) EXPECT_EQ(same_database(c.a, c.b), c.same) << c.a << " " << c.b;
}

}  // namespace
}  // namespace tarv::host
