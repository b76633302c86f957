#include "host/routes.h"

#include <fmt/format.h>
#include <google/protobuf/util/time_util.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>

#include "base/try.h"
#include "converter/document.h"
#include "host/answer.h"
#include "host/databases.h"
#include "host/doc_view.h"
#include "host/journal_view.h"
#include "host/json.h"
#include "host/page.h"
#include "host/register_call.h"
#include "host/shift_view.h"
#include "include/tarv_core.h"

namespace tarv::host {
namespace {

// Journal entries a listing gives when the query names no limit, and at most.
constexpr int64_t kListed = 100;
constexpr int64_t kMostListed = 1000;
// The API's prefix; the rest of a path is the route within the register.
constexpr std::string_view kApi = "/v1";
// The registers of the database: GET lists their ids; ID/ROUTE is a route
// within the register ID.
constexpr std::string_view kRegisters = "/registers/";

Reply body_reply(std::string body, std::string content_type = "application/json") {
  Reply reply;
  reply.content_type = std::move(content_type);
  reply.body = std::move(body);
  return reply;
}

Reply json_reply(const Json& json, int status = 200) {
  Reply reply = body_reply(print(json));
  reply.status = status;
  return reply;
}

Reply not_found_reply(std::string_view what) {
  return failure_reply(Failure{Fault::NotFound, fmt::format("no {}", what)});
}

// A decimal number of the path or query; nullopt for anything else.
std::optional<int64_t> number(std::string_view text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// The value of `name` in a query "a=1&b=2"; nullopt when it is absent.
std::optional<std::string_view> query_value(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const size_t eq = pair.find('=');
    if (pair.substr(0, eq) == name) {
      return eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return std::nullopt;
}

// In a time that does not depend on where they differ (OpenSSL's
// CRYPTO_memcmp), so that the answer's delay tells nothing of the token.
bool same_secret(std::string_view given, std::string_view secret) {
  return given.size() == secret.size() &&
         CRYPTO_memcmp(given.data(), secret.data(), given.size()) == 0;
}

bool same_text_ignoring_case(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// "localhost:8080" -> "localhost", "[::1]:8080" -> "::1"; nullopt for a
// Host that is not a name with an optional decimal port ("[::1]evil").
std::optional<std::string_view> host_name(std::string_view host) {
  std::string_view name = host;
  std::string_view port;
  if (host.starts_with('[')) {
    const size_t close = host.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    name = host.substr(1, close - 1);
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty() && !rest.starts_with(':')) return std::nullopt;
    port = rest.empty() ? rest : rest.substr(1);
  } else if (const size_t colon = host.rfind(':'); colon != std::string_view::npos) {
    name = host.substr(0, colon);
    port = host.substr(colon + 1);
    if (name.find(':') != std::string_view::npos) return std::nullopt;  // IPv6 needs brackets
  }
  if (!std::ranges::all_of(port, [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return name;
}

// "/(deposit|withdraw|...)".
std::string export_route() {
  std::string names;
  for (const Export& e : exports()) names += (names.empty() ? "" : "|") + std::string(e.name);
  return "/(" + names + ")";
}

bool is_page_file(const Asked& asked) {
  return (asked.method == "GET" || asked.method == "HEAD") &&
         find_page_file(asked.path == "/" ? "/index.html" : asked.path) != nullptr;
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

}  // namespace

Reply error_reply(int status, std::string_view message) {
  return json_reply(Json{{"error", message}}, status);
}

Reply failure_reply(const Failure& failure) {
  return error_reply(http_status(failure), failure.message);
}

Routes::Routes(const ServerOptions& options)
    : options_(options),
      routes_{
          {"POST", std::regex(export_route()), &Routes::post_call},
          {"GET", std::regex("/journal"), &Routes::get_journal},
          {"GET", std::regex("/journal/([0-9]+)"), &Routes::get_entry},
          {"GET", std::regex("/journal/([0-9]+)/document"), &Routes::get_document},
          {"GET", std::regex("/journal/([0-9]+)/receipt"), &Routes::get_receipt},
          {"GET", std::regex("/state"), &Routes::get_state},
          {"POST", std::regex("/open"), &Routes::post_open},
          {"GET", std::regex("/shift"), &Routes::get_shift},
      } {}

std::optional<Routes::Scope> Routes::register_scope(std::string_view path) const {
  if (!path.starts_with(kApi) || path.size() == kApi.size() || path[kApi.size()] != '/') {
    return std::nullopt;
  }
  std::string_view rest = path.substr(kApi.size());
  if (!rest.starts_with(kRegisters)) return Scope{options_.db, "", rest};
  rest.remove_prefix(kRegisters.size());
  const size_t slash = rest.find('/');
  const std::string_view id = rest.substr(0, slash);
  if (slash == std::string_view::npos || !check_register_id(id)) return std::nullopt;
  return Scope{options_.db, std::string(id), rest.substr(slash)};
}

std::optional<Reply> Routes::admit(const Asked& asked) const {
  if (!asked.host.empty() && is_loopback(options_.address)) {
    const std::optional<std::string_view> name = host_name(asked.host);
    const auto named = [&](std::string_view h) { return same_text_ignoring_case(h, *name); };
    const bool allowed = name && (is_loopback(*name) || named("localhost") ||
                                  std::ranges::any_of(options_.allowed_hosts, named));
    if (!allowed) {
      return error_reply(403, fmt::format("Host {} is not this register's (a loopback name, or "
                                          "one given with --allow-host)",
                                          asked.host));
    }
  }
  // A page of another site may send requests here; its browser names it.
  if (!asked.origin.empty() && asked.origin != fmt::format("http://{}", asked.host) &&
      !listed_origin(asked.origin)) {
    return error_reply(403, fmt::format("requests from {} are not taken (--allow-origin lets an "
                                        "origin in)",
                                        asked.origin));
  }
  // A listed origin's browser asks before a POST of JSON, without the token.
  if (asked.method == "OPTIONS" && listed_origin(asked.origin)) {
    Reply preflight;
    preflight.status = 204;
    preflight.headers = {
        {"Access-Control-Allow-Methods", "GET, POST"},
        {"Access-Control-Allow-Headers", "Authorization, Content-Type, Idempotency-Key"},
        {"Access-Control-Max-Age", "600"}};
    return preflight;
  }
  if (!options_.token.empty() && !is_page_file(asked)) {
    constexpr std::string_view kBearer = "Bearer ";  // the scheme in any case
    if (!same_text_ignoring_case(asked.authorization.substr(0, kBearer.size()), kBearer) ||
        !same_secret(asked.authorization.substr(kBearer.size()), options_.token)) {
      Reply refused = error_reply(401, "this register asks for Authorization: Bearer TOKEN");
      refused.headers.emplace_back("WWW-Authenticate", "Bearer");
      return refused;
    }
  }
  if (!asked.content_encoding.empty() &&
      !same_text_ignoring_case(asked.content_encoding, "identity")) {
    return error_reply(415, fmt::format("a request body is taken as sent, not with "
                                        "Content-Encoding {}",
                                        asked.content_encoding));
  }
  if (asked.method == "POST") {
    const std::string_view type = asked.content_type.substr(0, asked.content_type.find(';'));
    if (!same_text_ignoring_case(type, "application/json")) {
      return error_reply(415, "a POST takes Content-Type: application/json (curl: --json)");
    }
  }
  if (asked.has_idempotency_key) {
    if (auto ok = check_key(asked.idempotency_key); !ok) return failure_reply(ok.error());
  }
  return std::nullopt;
}

bool Routes::listed_origin(std::string_view origin) const {
  return std::ranges::find(options_.allowed_origins, origin) != options_.allowed_origins.end();
}

std::vector<std::pair<std::string, std::string>> Routes::cross_origin(const Asked& asked) const {
  if (asked.origin.empty() || !listed_origin(asked.origin)) return {};
  return {{"Access-Control-Allow-Origin", std::string(asked.origin)},
          {"Vary", "Origin"},
          {"Access-Control-Expose-Headers", "Tarv-Journal-Seq, Tarv-Repeated"}};
}

std::variant<Reply, RegisterWork> Routes::route(const Asked& asked) {
  if (auto refused = admit(asked)) return std::move(*refused);
  if (is_page_file(asked)) return page_reply(asked);

  // HEAD is GET without the body, which the engine drops.
  const std::string_view method = asked.method == "HEAD" ? "GET" : asked.method;
  if (asked.path == fmt::format("{}{}", kApi, kRegisters.substr(0, kRegisters.size() - 1))) {
    if (method != "GET") {
      Reply other = error_reply(405, fmt::format("{} takes GET", asked.path));
      other.headers.emplace_back("Allow", "GET");
      return other;
    }
    return RegisterWork{options_.db, "", nullptr, nullptr, [](Database& db) -> HostResult<Reply> {
                          auto ids = db.ids();
                          TARV_TRY(ids);
                          return json_reply(Json(*ids));
                        }};
  }
  const std::optional<Scope> scope = register_scope(asked.path);
  const char* allowed = nullptr;
  if (scope) {
    for (const Route& route : routes_) {
      std::cmatch match;
      if (!std::regex_match(scope->rest.begin(), scope->rest.end(), match, route.path)) continue;
      if (method != route.method) {
        allowed = route.method;
        continue;
      }
      std::timed_mutex* calls = &calls_[std::hash<std::string_view>{}(scope->id) % calls_.size()];
      return RegisterWork{scope->db, scope->id, calls,
                          [this, &asked, handler = route.handler, match = std::move(match)](
                              RegisterAt& reg) { return (this->*handler)(asked, match, reg); },
                          nullptr};
    }
  }
  if (allowed != nullptr) {
    Reply other = error_reply(405, fmt::format("{} takes {}", asked.path, allowed));
    other.headers.emplace_back("Allow", allowed);
    return other;
  }
  return not_found_reply(fmt::format(
      "route {} (calls are POST /v1/EXPORT or /v1/registers/ID/EXPORT, EXPORT one of {})",
      asked.path, export_names()));
}

Reply Routes::run(const RegisterWork& work, const Store::Options& options) {
  // Pool threads live as long as their server: one connection to the
  // database each, and each register's Store on it.
  thread_local std::map<std::string, std::unique_ptr<Database>> databases;
  thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Store>> stores;
  const auto forget = [&] {
    std::erase_if(stores, [&](const auto& kept) { return kept.first.first == work.db; });
    databases.erase(work.db);
  };
  // A connection opened while the file was read-only stays read-only, and
  // one that met a full disk may keep what it saw: after a storage failure
  // the work runs once more on a new connection (the failed transaction
  // changed nothing, so running it again is safe).
  for (bool fresh = false;; forget()) {
    std::unique_ptr<Database>& database = databases[work.db];
    if (!database) {
      auto opened = open_database(work.db, options);
      if (!opened) {
        forget();
        return failure_reply(opened.error());
      }
      database = std::move(*opened);
      fresh = true;
    }
    auto reply = [&]() -> HostResult<Reply> {
      if (work.run_database) return work.run_database(*database);
      if (work.id.empty()) {
        // The routes without an id serve a database's only register: asked
        // again on every call, since a register may be added while the
        // server runs (the routes then answer 400).
        auto only = database->open("");
        TARV_TRY(only);
        RegisterAt reg{**only, *work.calls};
        return work.run(reg);
      }
      const auto key = std::make_pair(work.db, work.id);
      std::unique_ptr<Store>& store = stores[key];
      if (!store) {
        auto opened = database->open(work.id);
        if (!opened) stores.erase(key);  // nothing kept for what is not there
        TARV_TRY(opened);
        store = std::move(*opened);
      }
      RegisterAt reg{*store, *work.calls};
      return work.run(reg);
    }();
    if (reply) return std::move(*reply);
    if (reply.error().kind != Fault::Storage || fresh) {
      if (reply.error().kind == Fault::Storage) forget();
      return failure_reply(reply.error());
    }
  }
}

HostResult<std::unique_lock<std::timed_mutex>> Routes::take_turn(RegisterAt& reg) const {
  std::unique_lock turn(reg.calls, std::defer_lock);
  if (!turn.try_lock_for(options_.wait)) {
    return std::unexpected(Failure{
        Fault::Busy, fmt::format("the register stayed busy for {} ms", options_.wait.count())});
  }
  return turn;
}

HostResult<Reply> Routes::post_call(const Asked& asked, const std::cmatch& path, RegisterAt& reg) {
  const Export* e = find_export(path[1].str());
  const auto request = new_message(e->request);
  TARV_TRY(parse_json(asked.body, *request, "the request", Fault::Undecodable));
  const std::string key(asked.idempotency_key);
  auto turn = take_turn(reg);
  TARV_TRY(turn);
  const auto committed = call_register(reg.store, *e, *request, key);
  TARV_TRY(committed);
  turn->unlock();
  const CallOutcome outcome = outcome_of(*e, committed->entry);
  Reply reply = json_reply(answer_json(*e, outcome), outcome.status == TARV_STATUS_OK      ? 200
                                                     : outcome.status == TARV_STATUS_ERROR ? 422
                                                                                           : 400);
  reply.headers.emplace_back("Tarv-Journal-Seq", std::to_string(committed->entry.seq));
  if (committed->repeated) reply.headers.emplace_back("Tarv-Repeated", "true");
  return reply;
}

HostResult<Reply> Routes::get_journal(const Asked& asked, const std::cmatch&, RegisterAt& reg) {
  const auto from = number(query_value(asked.query, "from").value_or("1"));
  const auto limit = number(query_value(asked.query, "limit").value_or(std::to_string(kListed)));
  if (!from || !limit) {
    return std::unexpected(Failure{Fault::BadInput, "from and limit are whole numbers"});
  }
  const auto listed = reg.store.entries(std::max<int64_t>(*from, 1), std::min(*limit, kMostListed));
  TARV_TRY(listed);
  Json all = Json::array();
  for (const JournalEntry& entry : *listed) all.push_back(entry_json(entry));
  return json_reply(all);
}

// The journal entry SEQ of the path; a 404 reply when there is none.
static HostResult<std::variant<JournalEntry, Reply>> entry_of(const std::cmatch& path,
                                                              Store& store) {
  auto found = store.entry(number(path[1].str()).value_or(0));
  TARV_TRY(found);
  if (!*found) return not_found_reply(fmt::format("journal entry {}", path[1].str()));
  return std::move(**found);
}

HostResult<Reply> Routes::get_entry(const Asked&, const std::cmatch& path, RegisterAt& reg) {
  auto entry = entry_of(path, reg.store);
  TARV_TRY(entry);
  if (auto* none = std::get_if<Reply>(&*entry)) return std::move(*none);
  const auto answer = entry_answer(std::get<JournalEntry>(*entry));
  TARV_TRY(answer);
  return json_reply(answer->json);
}

HostResult<Reply> Routes::get_document(const Asked&, const std::cmatch& path, RegisterAt& reg) {
  auto found = entry_of(path, reg.store);
  TARV_TRY(found);
  if (auto* none = std::get_if<Reply>(&*found)) return std::move(*none);
  JournalEntry& entry = std::get<JournalEntry>(*found);
  if (entry.binary_doc.empty()) {
    return not_found_reply(fmt::format("document in journal entry {}", entry.seq));
  }
  return body_reply(std::move(entry.binary_doc), "application/octet-stream");
}

HostResult<Reply> Routes::get_receipt(const Asked&, const std::cmatch& path, RegisterAt& reg) {
  auto found = entry_of(path, reg.store);
  TARV_TRY(found);
  if (auto* none = std::get_if<Reply>(&*found)) return std::move(*none);
  const JournalEntry& entry = std::get<JournalEntry>(*found);
  const Export* e = find_export(entry.export_name);
  const auto doc = converter::decode(
      {reinterpret_cast<const uint8_t*>(entry.binary_doc.data()), entry.binary_doc.size()});
  if (e == nullptr || entry.binary_doc.empty() || !doc) {
    return not_found_reply(fmt::format("readable document in journal entry {}", entry.seq));
  }
  return body_reply(receipt(*doc, receipt_extras(outcome_of(*e, entry).response.get())),
                    "text/plain; charset=utf-8");
}

HostResult<Reply> Routes::get_state(const Asked&, const std::cmatch&, RegisterAt& reg) {
  const auto state = reg.store.state();
  TARV_TRY(state);
  return body_reply(to_json(*state));
}

}  // namespace tarv::host

namespace tarv::host {

HostResult<Reply> Routes::post_open(const Asked& asked, const std::cmatch&, RegisterAt& reg) {
  // {"at": TIME} is a few dozen bytes: a larger body is not parsed at all.
  constexpr size_t kOpenBody = 1 << 10;
  if (asked.body.size() > kOpenBody) {
    return error_reply(413, fmt::format("the body of an opening is at most {} bytes", kOpenBody));
  }
  const Json body = Json::parse(asked.body, nullptr, false);
  google::protobuf::Timestamp at = register_clock();
  const bool only_at = body.is_object() && std::ranges::all_of(body.items(), [](const auto& item) {
                         return item.key() == "at";
                       });
  if (!only_at ||
      (body.contains("at") && (!body["at"].is_string() ||
                               !google::protobuf::util::TimeUtil::FromString(body["at"], &at)))) {
    return std::unexpected(Failure{
        Fault::Undecodable, R"(the body is {} or {"at": TIME}, TIME like "2024-03-16T06:00:00Z")"});
  }
  auto turn = take_turn(reg);
  TARV_TRY(turn);
  const auto opened = open_shift(reg.store, at, std::string(asked.idempotency_key), asked.body);
  if (!opened && opened.error().kind == Fault::Refused) {
    return error_reply(409, opened.error().message);  // the shift is open
  }
  TARV_TRY(opened);
  const auto answer = entry_answer(opened->entry);  // a repeat's time is the stored one
  TARV_TRY(answer);
  Reply reply = json_reply(answer->json);
  reply.headers.emplace_back("Tarv-Journal-Seq", std::to_string(opened->entry.seq));
  if (opened->repeated) reply.headers.emplace_back("Tarv-Repeated", "true");
  return reply;
}

HostResult<Reply> Routes::get_shift(const Asked&, const std::cmatch&, RegisterAt& reg) {
  const auto shift = shift_json(reg.store);
  TARV_TRY(shift);
  return json_reply(*shift);
}

}  // namespace tarv::host
