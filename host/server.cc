#include "host/server.h"

#include <arpa/inet.h>
#include <fmt/format.h>
#include <httplib.h>
#include <pthread.h>

#include <charconv>
#include <csignal>
#include <memory>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include "base/try.h"
#include "converter/document.h"
#include "host/answer.h"
#include "host/doc_view.h"
#include "host/journal_view.h"
#include "host/json.h"
#include "host/page.h"
#include "host/register_call.h"
#include "host/store.h"
#include "include/tarv_core.h"

namespace tarv::host {
namespace {

using httplib::Request;
using httplib::Response;

constexpr const char* kJson = "application/json";
// Journal entries a listing gives when the query names no limit, and at most.
constexpr int64_t kListed = 100;
constexpr int64_t kMostListed = 1000;
// Worker threads: a keep-alive connection holds one while it is open.
constexpr size_t kWorkers = 16;

void answer_failure(Response& res, const Failure& failure) {
  res.status = http_status(failure);
  res.set_content(print(Json{{"error", failure.message}}), kJson);
}

void not_found(Response& res, std::string_view what) {
  answer_failure(res, Failure{Fault::NotFound, fmt::format("no {}", what)});
}

// A decimal number of the path or query; nullopt for anything else.
std::optional<int64_t> number(std::string_view text) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// In a time that does not depend on where they differ, so that the answer's
// delay tells nothing of the token.
bool same_secret(std::string_view given, std::string_view secret) {
  if (given.size() != secret.size()) return false;
  unsigned char differ = 0;
  for (size_t i = 0; i < given.size(); ++i) {
    differ = static_cast<unsigned char>(differ | (given[i] ^ secret[i]));
  }
  return differ == 0;
}

// "/v1/(deposit|withdraw|...)".
std::string export_route() {
  std::string names;
  for (const Export& e : exports()) names += (names.empty() ? "" : "|") + std::string(e.name);
  return "/v1/(" + names + ")";
}

class Server {
 public:
  explicit Server(const ServerOptions& options) : options_(options) {}

  HostResult<void> run(const std::function<void(int)>& listening);
  void stop() { http_.stop(); }

 private:
  using Handler = void (Server::*)(const Request&, const std::smatch&, Response&);
  struct Route {
    const char* method;
    std::regex path;
    Handler handler;
  };

  void dispatch(const Request& req, Response& res);
  bool authorized(const Request& req) const;

  void post_call(const Request& req, const std::smatch& path, Response& res);
  void get_journal(const Request& req, const std::smatch& path, Response& res);
  void get_entry(const Request& req, const std::smatch& path, Response& res);
  void get_document(const Request& req, const std::smatch& path, Response& res);
  void get_receipt(const Request& req, const std::smatch& path, Response& res);
  void get_state(const Request& req, const std::smatch& path, Response& res);
  void get_page(const Request& req, const std::smatch& path, Response& res);

  // The journal entry SEQ of the path, answered 404 when there is none.
  std::optional<JournalEntry> entry_of(const std::smatch& path, Response& res);
  // This worker thread's connection to the register.
  HostResult<Store*> store();

  const ServerOptions options_;
  httplib::Server http_;
  // The calls of this server take turns here rather than in the database's
  // busy wait, which polls.
  std::timed_mutex calls_;
  const std::vector<Route> routes_ = {
      {"POST", std::regex(export_route()), &Server::post_call},
      {"GET", std::regex("/v1/journal"), &Server::get_journal},
      {"GET", std::regex("/v1/journal/([0-9]+)"), &Server::get_entry},
      {"GET", std::regex("/v1/journal/([0-9]+)/document"), &Server::get_document},
      {"GET", std::regex("/v1/journal/([0-9]+)/receipt"), &Server::get_receipt},
      {"GET", std::regex("/v1/state"), &Server::get_state},
      {"GET", std::regex("/|/app\\.js|/style\\.css"), &Server::get_page},
  };
};

HostResult<Store*> Server::store() {
  thread_local std::unique_ptr<Store> mine;
  thread_local const Server* owner = nullptr;
  if (!mine || owner != this) {
    auto opened = open_store(options_.db, Store::Options{options_.wait});
    TARV_TRY(opened);
    mine = std::move(*opened);
    owner = this;
  }
  return mine.get();
}

bool Server::authorized(const Request& req) const {
  if (options_.token.empty()) return true;
  const std::string given = req.get_header_value("Authorization");
  constexpr std::string_view kBearer = "Bearer ";
  return given.starts_with(kBearer) &&
         same_secret(std::string_view(given).substr(kBearer.size()), options_.token);
}

// One handler for every method and path: the routes above, 405 for a path
// that another method serves, 404 for the rest.
void Server::dispatch(const Request& req, Response& res) {
  bool other_method = false;
  std::string allowed;
  // HEAD is GET without the body, which httplib drops.
  const std::string_view method = req.method == "HEAD" ? "GET" : std::string_view(req.method);
  for (const Route& route : routes_) {
    std::smatch match;
    if (!std::regex_match(req.path, match, route.path)) continue;
    if (method == route.method) {
      (this->*route.handler)(req, match, res);
      return;
    }
    other_method = true;
    allowed = route.method;
  }
  if (other_method) {
    answer_failure(res, Failure{Fault::BadInput, fmt::format("{} takes {}", req.path, allowed)});
    res.status = 405;
    res.set_header("Allow", allowed);
  } else {
    not_found(res, fmt::format("route {} (calls are POST /v1/EXPORT, EXPORT one of {})", req.path,
                               export_names()));
  }
}

void Server::post_call(const Request& req, const std::smatch& path, Response& res) {
  const Export* e = find_export(path[1].str());
  const auto request = new_message(e->request);
  if (auto ok = parse_json(req.body, *request, "the request", Fault::Undecodable); !ok) {
    return answer_failure(res, ok.error());
  }
  const std::string key = req.get_header_value("Idempotency-Key");
  HostResult<Committed> committed;
  {
    std::unique_lock turn(calls_, std::defer_lock);
    if (!turn.try_lock_for(options_.wait)) {
      return answer_failure(
          res, Failure{Fault::Busy,
                       fmt::format("the register stayed busy for {} ms", options_.wait.count())});
    }
    auto s = store();
    if (!s) return answer_failure(res, s.error());
    committed = call_register(**s, *e, *request, key);
  }
  if (!committed) return answer_failure(res, committed.error());
  const CallOutcome outcome = outcome_of(*e, committed->entry);
  res.status = outcome.status == TARV_STATUS_OK      ? 200
               : outcome.status == TARV_STATUS_ERROR ? 422
                                                     : 400;
  res.set_header("Tarv-Journal-Seq", std::to_string(committed->entry.seq));
  if (committed->repeated) res.set_header("Tarv-Repeated", "true");
  res.set_content(print(answer_json(*e, outcome)), kJson);
}

void Server::get_journal(const Request& req, const std::smatch&, Response& res) {
  const auto from = number(req.has_param("from") ? req.get_param_value("from") : "1");
  const auto limit =
      number(req.has_param("limit") ? req.get_param_value("limit") : std::to_string(kListed));
  if (!from || !limit) {
    return answer_failure(res, Failure{Fault::BadInput, "from and limit are whole numbers"});
  }
  auto s = store();
  if (!s) return answer_failure(res, s.error());
  const auto listed = (*s)->entries(std::max<int64_t>(*from, 1), std::min(*limit, kMostListed));
  if (!listed) return answer_failure(res, listed.error());
  Json all = Json::array();
  for (const JournalEntry& entry : *listed) all.push_back(entry_json(entry));
  res.set_content(print(all), kJson);
}

std::optional<JournalEntry> Server::entry_of(const std::smatch& path, Response& res) {
  const auto seq = number(path[1].str());
  auto s = store();
  if (!s) {
    answer_failure(res, s.error());
    return std::nullopt;
  }
  auto found = (*s)->entry(seq.value_or(0));
  if (!found) {
    answer_failure(res, found.error());
    return std::nullopt;
  }
  if (!*found) not_found(res, fmt::format("journal entry {}", path[1].str()));
  return std::move(*found);
}

void Server::get_entry(const Request&, const std::smatch& path, Response& res) {
  const auto entry = entry_of(path, res);
  if (!entry) return;
  const auto answer = entry_answer(*entry);
  if (!answer) return answer_failure(res, answer.error());
  res.set_content(print(answer->json), kJson);
}

void Server::get_document(const Request&, const std::smatch& path, Response& res) {
  const auto entry = entry_of(path, res);
  if (!entry) return;
  if (entry->binary_doc.empty()) {
    return not_found(res, fmt::format("document in journal entry {}", entry->seq));
  }
  res.set_content(entry->binary_doc, "application/octet-stream");
}

void Server::get_receipt(const Request&, const std::smatch& path, Response& res) {
  const auto entry = entry_of(path, res);
  if (!entry) return;
  const Export* e = find_export(entry->export_name);
  const auto doc = converter::decode(
      {reinterpret_cast<const uint8_t*>(entry->binary_doc.data()), entry->binary_doc.size()});
  if (e == nullptr || entry->binary_doc.empty() || !doc) {
    return not_found(res, fmt::format("readable document in journal entry {}", entry->seq));
  }
  res.set_content(receipt(*doc, receipt_extras(outcome_of(*e, *entry))),
                  "text/plain; charset=utf-8");
}

void Server::get_state(const Request&, const std::smatch&, Response& res) {
  auto s = store();
  if (!s) return answer_failure(res, s.error());
  const auto state = (*s)->state();
  if (!state) return answer_failure(res, state.error());
  res.set_content(to_json(*state), kJson);
}

void Server::get_page(const Request& req, const std::smatch&, Response& res) {
  const PageFile* file = find_page_file(req.path == "/" ? "/index.html" : req.path);
  if (file == nullptr) return not_found(res, req.path);
  res.set_content(std::string(file->body), std::string(file->content_type));
}

HostResult<void> Server::run(const std::function<void(int)>& listening) {
  http_.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  http_.set_read_timeout(options_.timeout);
  http_.set_write_timeout(options_.timeout);
  http_.set_payload_max_length(options_.max_body);
  http_.set_pre_routing_handler([this](const Request& req, Response& res) {
    if (authorized(req)) return httplib::Server::HandlerResponse::Unhandled;
    answer_failure(res,
                   Failure{Fault::BadInput, "this register asks for Authorization: Bearer TOKEN"});
    res.status = 401;
    res.set_header("WWW-Authenticate", "Bearer");
    return httplib::Server::HandlerResponse::Handled;
  });
  const auto handler = [this](const Request& req, Response& res) { dispatch(req, res); };
  http_.Get(".*", handler).Post(".*", handler).Put(".*", handler).Delete(".*", handler);
  http_.Patch(".*", handler).Options(".*", handler);
  // Statuses httplib answers itself, without a body.
  http_.set_error_handler([this](const Request&, Response& res) {
    if (!res.body.empty()) return;
    res.set_content(
        print(Json{{"error", res.status == 413
                                 ? fmt::format("the request is above the limit of {} bytes",
                                               options_.max_body)
                                 : fmt::format("HTTP status {}", res.status)}}),
        kJson);
  });

  const int port = options_.port == 0 ? http_.bind_to_any_port(options_.address)
                   : http_.bind_to_port(options_.address, options_.port) ? options_.port
                                                                         : -1;
  if (port < 0) {
    return std::unexpected(Failure{
        Fault::BadInput, fmt::format("cannot listen on {}:{}", options_.address, options_.port)});
  }
  // Checks that the register opens before anyone is told to call it.
  TARV_TRY(store());
  listening(port);
  if (!http_.listen_after_bind()) {
    return std::unexpected(Failure{Fault::Storage, "the server stopped taking connections"});
  }
  return {};
}

}  // namespace

bool is_loopback(std::string_view address) {
  if (address == "localhost") return true;
  in6_addr v6{};
  if (inet_pton(AF_INET6, std::string(address).c_str(), &v6) == 1) {
    return IN6_IS_ADDR_LOOPBACK(&v6);
  }
  in_addr v4{};
  return inet_pton(AF_INET, std::string(address).c_str(), &v4) == 1 &&
         (ntohl(v4.s_addr) >> 24) == 127;
}

int http_status(const Failure& failure) {
  switch (failure.kind) {
    case Fault::Undecodable:
    case Fault::BadInput:
      return 400;
    case Fault::NotFound:
      return 404;
    case Fault::KeyReused:
    case Fault::Numbering:
      return 409;
    case Fault::Busy:
      return 503;
    case Fault::Refused:
    case Fault::Storage:
      break;
  }
  return 500;
}

HostResult<void> serve(const ServerOptions& options, const std::function<void(int)>& listening) {
  // SIGTERM and SIGINT go to one thread that stops the server; the workers
  // (started with this mask) finish the requests they hold.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &stops, &before);
  Server server(options);
  std::atomic<bool> done = false;
  std::thread watcher([&] {
    int signal = 0;
    sigwait(&stops, &signal);
    if (!done) server.stop();
  });
  auto served = server.run(listening);
  done = true;
  pthread_kill(watcher.native_handle(), SIGTERM);
  watcher.join();
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return served;
}

}  // namespace tarv::host
