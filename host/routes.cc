#include "host/routes.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <span>

#include "base/try.h"
#include "host/databases.h"
#include "host/page.h"

namespace tarv::host {
namespace {

// The API's prefix; the rest of a path is the route within the register.
constexpr std::string_view kApi = "/v1";
// The registers of the database: GET lists their ids; ID/ROUTE is a route
// within the register ID.
constexpr std::string_view kRegisters = "/registers/";

// A segment of a route's pattern: a word as itself, or one of these.
constexpr std::string_view kExport = "{export}";  // an export's name
constexpr std::string_view kSeq = "{seq}";        // a journal entry's number, decimal

struct Route {
  std::string_view method;
  std::array<std::string_view, 3> pattern;  // its segments; unused ones empty
  RegisterHandler handler;
  bool call;  // it writes the register
};

constexpr Route kRoutes[] = {
    {"POST", {kExport}, post_call, true},
    {"GET", {"journal"}, get_journal, false},
    {"GET", {"journal", kSeq}, get_entry, false},
    {"GET", {"journal", kSeq, "document"}, get_document, false},
    {"GET", {"journal", kSeq, "receipt"}, get_receipt, false},
    {"GET", {"state"}, get_state, false},
    {"POST", {"open"}, post_open, true},
    {"GET", {"shift"}, get_shift, false},
};

// Whether the segments of `rest` ("/journal/3") fit the route's pattern,
// and what they name.
std::optional<RoutePath> match(const Route& route, std::string_view rest) {
  RoutePath path;
  for (std::string_view segment : route.pattern) {
    if (segment.empty()) break;
    if (!rest.starts_with('/')) return std::nullopt;
    rest.remove_prefix(1);
    const std::string_view given = rest.substr(0, rest.find('/'));
    rest.remove_prefix(given.size());
    if (segment == kExport) {
      path.e = find_export(given);
      if (path.e == nullptr || path.e->name != given) return std::nullopt;
    } else if (segment == kSeq) {
      if (given.empty() || !std::ranges::all_of(given, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
      std::from_chars(given.data(), given.data() + given.size(), path.seq);  // 0 past int64
    } else if (given != segment) {
      return std::nullopt;
    }
  }
  if (!rest.empty()) return std::nullopt;
  return path;
}

Reply page_reply(const Asked& asked) {
  const PageFile* file = find_page_file(asked.path == "/" ? "/index.html" : asked.path);
  Reply reply = body_reply(std::string(file->body), std::string(file->content_type));
  reply.headers.emplace_back("Content-Security-Policy",
                             "default-src 'none'; script-src 'self'; style-src 'self'; "
                             "connect-src 'self'; img-src 'self'; form-action 'none'; "
                             "frame-ancestors 'none'; base-uri 'none'");
  return reply;
}

Reply other_method(std::string_view path, std::string_view allowed) {
  Reply other = error_reply(405, fmt::format("{} takes {}", path, allowed));
  other.headers.emplace_back("Allow", std::string(allowed));
  return other;
}

}  // namespace

std::optional<Routes::Scope> Routes::register_scope(std::string_view path) const {
  if (!path.starts_with(kApi) || path.size() == kApi.size() || path[kApi.size()] != '/') {
    return std::nullopt;
  }
  std::string_view rest = path.substr(kApi.size());
  if (!rest.starts_with(kRegisters)) return Scope{"", rest};
  rest.remove_prefix(kRegisters.size());
  const size_t slash = rest.find('/');
  const std::string_view id = rest.substr(0, slash);
  if (slash == std::string_view::npos || !check_register_id(id)) return std::nullopt;
  return Scope{std::string(id), rest.substr(slash)};
}

std::variant<Reply, RegisterWork> Routes::route(const Asked& asked) const {
  if (auto refused = admit(asked)) return std::move(*refused);
  if (is_page_file(asked)) return page_reply(asked);

  // HEAD is GET without the body, which the engine drops.
  const std::string_view method = asked.method == "HEAD" ? "GET" : asked.method;
  if (asked.path == fmt::format("{}{}", kApi, kRegisters.substr(0, kRegisters.size() - 1))) {
    if (method != "GET") return other_method(asked.path, "GET");
    return RegisterWork{options_.db, "", false, nullptr, [](Database& db) -> HostResult<Reply> {
                          auto ids = db.ids();
                          TARV_TRY(ids);
                          return json_reply(Json(*ids));
                        }};
  }
  std::optional<Scope> scope = register_scope(asked.path);
  std::string_view allowed;
  for (const Route& route : scope ? std::span(kRoutes) : std::span<const Route>()) {
    const std::optional<RoutePath> path = match(route, scope->rest);
    if (!path) continue;
    if (method != route.method) {
      allowed = route.method;
      continue;
    }
    return RegisterWork{options_.db, std::move(scope->id), route.call,
                        [&asked, handler = route.handler, path = *path](RegisterAt& reg) {
                          return handler(asked, path, reg);
                        },
                        nullptr};
  }
  if (!allowed.empty()) return other_method(asked.path, allowed);
  return not_found_reply(fmt::format(
      "route {} (calls are POST /v1/EXPORT or /v1/registers/ID/EXPORT, EXPORT one of {})",
      asked.path, export_names()));
}

}  // namespace tarv::host
