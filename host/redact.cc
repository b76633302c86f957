// Database names as they show: libpq reads them, passwords stay out.
#include "host/redact.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>
#include <vector>

namespace tarv::host {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

bool is_url(std::string_view db) {
  return db.starts_with("postgresql://") || db.starts_with("postgres://");
}

// password, sslpassword and whatever libpq adds of the kind.
bool is_secret(std::string_view keyword) { return keyword.find("password") != std::string::npos; }

bool is_keyword(std::string_view word) {
  static const std::vector<std::string> keywords = [] {
    std::vector<std::string> all;
    PQconninfoOption* options = PQconndefaults();
    for (const PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr; ++o) {
      all.emplace_back(o->keyword);
    }
    PQconninfoFree(options);
    return all;
  }();
  return std::ranges::find(keywords, word) != keywords.end();
}

// The pairs `db` sets, as libpq reads them; nullopt when it cannot.
std::optional<Pairs> parsed(std::string_view db) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(std::string(db).c_str(), &error);
  PQfreemem(error);
  if (options == nullptr) return std::nullopt;
  Pairs pairs;
  for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    if (o->val != nullptr) pairs.emplace_back(o->keyword, o->val);
  }
  PQconninfoFree(options);
  return pairs;
}

std::string percent_decoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const std::string hex(text.substr(i + 1, 2));
      if (std::isxdigit(static_cast<unsigned char>(hex[0])) &&
          std::isxdigit(static_cast<unsigned char>(hex[1]))) {
        out += static_cast<char>(std::stoi(hex, nullptr, 16));
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// A URL's parts: scheme://USERINFO@HOSTS/PATH?QUERY. The user part ends at
// the last @ of the URL: libpq ends it at the first @ before a / whatever
// comes between (a bare ? or @ of a password included), and a password with
// a bare / makes libpq read no user part at all; ending it at the last @
// keeps every such password inside what is never shown.
struct Url {
  std::string_view scheme, userinfo, rest, query;
  bool has_userinfo = false;
};
Url split(std::string_view url) {
  Url u;
  const size_t start = url.find("://") + 3;
  u.scheme = url.substr(0, start);
  std::string_view head = url.substr(start);
  if (const size_t at = head.rfind('@'); at != std::string_view::npos) {
    u.has_userinfo = true;
    u.userinfo = head.substr(0, at);
    head = head.substr(at + 1);
  }
  if (const size_t question = head.find('?'); question != std::string_view::npos) {
    u.query = head.substr(question + 1);
    head = head.substr(0, question);
  }
  u.rest = head;
  return u;
}

// The user name a user part shows: up to the password, or to anything that
// is not a user name's (a user part that took a path or a query).
std::string_view user_of(std::string_view userinfo) {
  return userinfo.substr(0, userinfo.find_first_of(":/?"));
}

// The query's parameters, split at &.
std::vector<std::string_view> params(std::string_view query) {
  std::vector<std::string_view> out;
  while (!query.empty()) {
    const size_t amp = query.find('&');
    out.push_back(query.substr(0, amp));
    query = amp == std::string_view::npos ? "" : query.substr(amp + 1);
  }
  return out;
}
bool secret_param(std::string_view param) {
  return is_secret(percent_decoded(param.substr(0, param.find('='))));
}

std::string redacted_url(std::string_view url, bool parses) {
  const Url u = split(url);
  std::string out(u.scheme);
  if (u.has_userinfo && parses) {
    out += user_of(u.userinfo);
    out += '@';
  }
  out += u.rest;
  if (!parses) return out;
  std::string kept;
  for (std::string_view p : params(u.query)) {
    if (secret_param(p)) continue;
    if (!kept.empty()) kept += '&';
    kept += p;
  }
  return kept.empty() ? out : out + "?" + kept;
}

// A value of key=value text, quoted when libpq needs it quoted.
std::string quoted(std::string_view value) {
  if (!value.empty() && value.find_first_of(" \t\n\r\f\v'\\") == std::string_view::npos) {
    return std::string(value);
  }
  std::string out = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

}  // namespace

bool is_connection_text(std::string_view db) {
  if (is_url(db)) return true;
  const size_t equals = db.find('=');
  if (equals == std::string_view::npos) return false;
  std::string_view key = db.substr(0, equals);
  while (!key.empty() && std::isspace(static_cast<unsigned char>(key.front())))
    key.remove_prefix(1);
  while (!key.empty() && std::isspace(static_cast<unsigned char>(key.back()))) key.remove_suffix(1);
  return is_keyword(key);
}

std::string redacted(std::string_view db) {
  if (!is_connection_text(db)) return std::string(db);
  const std::optional<Pairs> pairs = parsed(db);
  if (is_url(db)) return redacted_url(db, pairs.has_value());
  if (!pairs) return "(PostgreSQL key=value text that does not parse)";
  std::string out;
  for (const auto& [key, value] : *pairs) {
    if (is_secret(key)) continue;
    if (!out.empty()) out += ' ';
    out += key + "=" + quoted(value);
  }
  return out;
}

std::string hide_secrets(std::string message, std::string_view db) {
  if (!is_connection_text(db)) return message;
  const std::optional<Pairs> pairs = parsed(db);
  // What must not show: the passwords as libpq reads them and as written.
  std::vector<std::string> secrets;
  if (pairs) {
    for (const auto& [key, value] : *pairs) {
      if (is_secret(key)) secrets.push_back(value);
    }
  }
  if (is_url(db)) {
    const Url u = split(db);
    if (!pairs) {
      secrets.emplace_back(u.userinfo);
      secrets.emplace_back(u.query);
    }
    if (u.userinfo.size() > user_of(u.userinfo).size()) {
      secrets.emplace_back(u.userinfo.substr(user_of(u.userinfo).size() + 1));
    }
    for (std::string_view p : params(u.query)) {
      if (secret_param(p) && p.find('=') != std::string_view::npos) {
        secrets.emplace_back(p.substr(p.find('=') + 1));
      }
    }
  } else if (!pairs) {
    for (size_t at = 0; (at = db.find("password", at)) != std::string_view::npos;) {
      at = db.find('=', at);
      if (at == std::string_view::npos) break;
      const size_t end = db.find_first_of(" \t\n", ++at);
      secrets.emplace_back(db.substr(at, end == std::string_view::npos ? end : end - at));
    }
  }
  const std::string shown = redacted(db);
  for (size_t at = 0; (at = message.find(db, at)) != std::string::npos; at += shown.size()) {
    message.replace(at, db.size(), shown);
  }
  // Longest first: a secret inside another goes with it.
  std::ranges::sort(secrets, [](const auto& a, const auto& b) { return a.size() > b.size(); });
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    for (size_t at = 0; (at = message.find(secret, at)) != std::string::npos; at += 3) {
      message.replace(at, secret.size(), "***");
    }
  }
  return message;
}

}  // namespace tarv::host
