#include "host/admission.h"

#include <fmt/format.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <cctype>

#include "host/page.h"
#include "host/register_call.h"

namespace tarv::host {
namespace {

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

}  // namespace

bool is_page_file(const Asked& asked) {
  return (asked.method == "GET" || asked.method == "HEAD") &&
         find_page_file(asked.path == "/" ? "/index.html" : asked.path) != nullptr;
}

std::optional<Reply> Admission::admit(const Asked& asked) const {
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

bool Admission::listed_origin(std::string_view origin) const {
  return std::ranges::find(options_.allowed_origins, origin) != options_.allowed_origins.end();
}

std::vector<std::pair<std::string, std::string>> Admission::cross_origin(
    const Asked& asked) const {
  if (asked.origin.empty() || !listed_origin(asked.origin)) return {};
  return {{"Access-Control-Allow-Origin", std::string(asked.origin)},
          {"Vary", "Origin"},
          {"Access-Control-Expose-Headers", "Tarv-Journal-Seq, Tarv-Repeated"}};
}

}  // namespace tarv::host
