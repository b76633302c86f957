// The engine of `tarv serve`: Boost.Beast on one Asio I/O thread.
//
// Every connection is a Session driven by completion handlers, so an idle or
// slow client costs a socket and a few kilobytes, never a thread. Limits hold
// whatever a client does: connections at once (past it, 503 and close), a
// deadline for the whole request from its first byte (headers and body), an
// idle deadline between kept-alive requests, the body cap for every transfer
// encoding (the parser counts chunked bodies too), the header size, and one
// budget for what the connections hold together (their buffers, the requests
// being read, the bodies and the answers being written). A connection gives
// its buffers and its answer back once the answer is written. A
// request whose route needs the register is handed to the register pool and
// answered when its work posts the reply back; the I/O thread never touches
// SQLite. Answers go out in one write (header and body gathered) with Nagle
// off, so a kept-alive client does not wait for a delayed ACK.
//
// Invariants: sessions_, held_ and every Session are touched only on the I/O
// thread; a Session is in sessions_ from its start until close(); the
// engine's held_ is the sum of the sessions' held_.
#include "host/server.h"

#include <arpa/inet.h>
#include <fmt/format.h>
#include <malloc.h>
#include <sys/resource.h>

#include <utility>  // before Asio, which uses std::exchange
//
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cassert>
#include <charconv>
#include <csignal>
#include <memory>
#include <optional>
#include <unordered_set>

#include "host/databases.h"
#include "host/register_pool.h"
#include "host/routes.h"

namespace tarv::host {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using std::chrono::milliseconds;

constexpr size_t kHeaderLimit = 16 << 10;
// What a connection buffers of its input at once. A body passes through it
// into the request, but a chunk's size line with its extensions, and the
// trailer fields, must fit in it whole: without a cap, a client could send
// one endless chunk line and the buffer would grow with it.
constexpr size_t kReadBuffer = 64 << 10;
// Threads for the registers' work: a call waiting for its register holds
// none (register_pool.h), so a few suffice to keep reads going beside calls
// that wait for their fsync.
constexpr size_t kRegisterThreads = 4;
// A closing connection reads what its client still sends for this long, so
// that the client sees the answer rather than a reset.
constexpr milliseconds kDrain{1000};
// How often the start retries a register another process holds locked, so
// that SIGTERM is heard while it waits.
constexpr milliseconds kOpenSlice{200};
// Descriptors kept for the register's files and the listening socket.
constexpr size_t kReservedFiles = 64;
// What the connections hold at once, all together (and at least two requests
// of the largest body): past it a new connection, request or answer is
// refused 503. A connection counts kConnectionCost from its start; a request
// kRequestCost more from its first byte, and its body from its header (its
// Content-Length, a chunked body as --max-body); an answer its body while it
// is written.
constexpr uint64_t kBudget = 256 << 20;
// The session, its socket and stream, the read that waits for a request
// (kIdleRead) and an answer's header.
constexpr uint64_t kConnectionCost = 8 << 10;
constexpr size_t kIdleRead = 1 << 10;
// A request being read fills at most the read buffer and its header.
constexpr uint64_t kRequestCost = kReadBuffer + kHeaderLimit;
// An answer up to this size is sent whatever the budget (a refusal is one).
constexpr size_t kShortAnswer = 4 << 10;
// Memory freed is given back to the system (malloc_trim: glibc keeps it
// otherwise) a moment after this much was let go, and not more often.
constexpr uint64_t kTrimAfter = 4 << 20;
constexpr milliseconds kTrimDelay{200};
// A request that bears a wrong token is answered this late, and its
// connection closed: one connection guesses a few times a second at most.
constexpr milliseconds kWrongTokenDelay{250};

class Session;

class Engine {
 public:
  explicit Engine(const ServerOptions& options) : options_(options), routes_(options) {}

  HostResult<void> run(const std::function<void(int)>& listening);

 private:
  friend class Session;

  HostResult<int> bind();
  // The register opens (waiting, a slice at a time, for another process's
  // lock) before anyone is told to call it.
  HostResult<void> check_register();
  void accept();
  void refuse(tcp::socket socket);
  void stop();
  // Counts memory let go; gives it back to the system now and then.
  void freed(uint64_t bytes);
  std::string full() const;

  const ServerOptions options_;
  Routes routes_;
  size_t max_connections_ = 0;
  uint64_t budget_ = 0;
  uint64_t held_ = 0;   // reserved by the sessions, of budget_
  uint64_t freed_ = 0;  // since the last malloc_trim
  asio::io_context io_{1};
  asio::thread_pool pool_{kRegisterThreads};
  RegisterPool registers_{io_, pool_, options_.wait};
  tcp::acceptor acceptor_{io_};
  asio::signal_set signals_{io_, SIGTERM, SIGINT};
  asio::steady_timer retry_{io_};
  asio::steady_timer trim_{io_};
  bool trimming_ = false;
  std::unordered_set<Session*> sessions_;
  std::atomic<bool> stopping_ = false;
  std::optional<Failure> failure_;
};

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Engine& engine, tcp::socket socket) : engine_(engine), stream_(std::move(socket)) {}

  void start() {
    engine_.sessions_.insert(this);
    hold(kConnectionCost, true);
    beast::error_code ignored;
    stream_.socket().set_option(tcp::no_delay(true), ignored);
    wait_for_request();
  }

  // Ends a connection that holds no request; one being answered closes
  // after its answer.
  void stop() {
    if (phase_ != Phase::kAnswering) close();
  }

 private:
  enum class Phase { kIdle, kReading, kAnswering, kClosing, kClosed };

  const ServerOptions& options() const { return engine_.options_; }

  // The idle deadline runs until the request's first byte.
  void wait_for_request() {
    phase_ = Phase::kIdle;
    if (engine_.stopping_) return close();
    if (buffer_.size() > 0) return read_request();
    stream_.expires_after(options().idle);
    stream_.async_read_some(buffer_.prepare(kIdleRead),
                            [self = shared_from_this()](beast::error_code ec, size_t n) {
                              if (ec) return self->close();
                              self->buffer_.commit(n);
                              self->read_request();
                            });
  }

  void read_request() {
    phase_ = Phase::kReading;
    asked_ = {};  // its views were into the last request
    parser_.emplace();
    parser_->body_limit(options().max_body);
    parser_->header_limit(kHeaderLimit);
    if (!hold(kConnectionCost + kRequestCost)) return answer(refusal(503, engine_.full()));
    stream_.expires_after(options().timeout);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code ec, size_t) {
                              if (ec) return self->on_read(ec);
                              self->continue_request();
                            });
  }

  // A client that asks before sending its body (curl does above 1 MiB) is
  // told to go on at once rather than after its own wait.
  void continue_request() {
    const auto& header = parser_->get();
    // A body whose framing the server does not read as a client meant it
    // would let its bytes pass for another request: refused, and the
    // connection closed.
    if (header.count(http::field::transfer_encoding) > 0) {
      if (header.version() < 11) {  // where it is not defined
        return answer(refusal(400,
                              "an HTTP/1.0 request cannot send Transfer-Encoding: send "
                              "Content-Length, or HTTP/1.1"));
      }
      if (!parser_->chunked()) {
        return answer(refusal(400, "a Transfer-Encoding must end in chunked"));
      }
      if (!beast::iequals(header[http::field::transfer_encoding], "chunked")) {
        return answer(refusal(415, "a request body is taken as sent: Transfer-Encoding chunked "
                                   "alone"));
      }
    }
    for (const http::field field : {http::field::host, http::field::origin,
                                    http::field::authorization, http::field::content_type,
                                    http::field::content_encoding}) {
      if (header.count(field) > 1) {
        return answer(
            refusal(400, fmt::format("the request names {} twice", view(http::to_string(field)))));
      }
    }
    if (header.count("Idempotency-Key") > 1) {
      return answer(refusal(400, "the request names Idempotency-Key twice"));
    }
    if (header.version() >= 11 && header.count(http::field::host) == 0) {
      return answer(refusal(400, "an HTTP/1.1 request names its Host"));
    }
    // Who may not ask is refused before the body is read or any of the
    // budget below is given to it.
    asked_ = asked_of(header);
    if (auto refused = engine_.routes_.admit(asked_)) {
      if (refused->status == 401) refused->close = true;  // one guess a connection
      if (!parser_->is_done()) {
        refused->close = true;  // its body is not read
        return answer(std::move(*refused));
      }
      request_ = parser_->release();
      parser_.reset();
      asked_ = asked_of(request_);
      return answer(std::move(*refused));
    }
    const uint64_t body =
        parser_->content_length().value_or(parser_->chunked() ? options().max_body : 0);
    if (!hold(kConnectionCost + kRequestCost + body)) return answer(refusal(503, engine_.full()));
    const auto read_body = [self = shared_from_this()] {
      http::async_read(self->stream_, self->buffer_, *self->parser_,
                       [self](beast::error_code ec, size_t) { self->on_read(ec); });
    };
    if (!beast::iequals(parser_->get()[http::field::expect], "100-continue") ||
        parser_->is_done()) {
      return read_body();
    }
    static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
    asio::async_write(stream_, asio::buffer(kContinue),
                      [self = shared_from_this(), read_body](beast::error_code ec, size_t) {
                        if (ec) return self->close();
                        read_body();
                      });
  }

  void on_read(beast::error_code ec) {
    if (phase_ == Phase::kClosed) return;
    if (ec == http::error::body_limit) {
      return answer(refusal(
          413, fmt::format("the request is above the limit of {} bytes", options().max_body)));
    }
    if (ec == http::error::buffer_overflow) {
      return answer(refusal(
          431, fmt::format("a chunk line or trailer is above the limit of {} bytes", kReadBuffer)));
    }
    if (ec == http::error::header_limit) {
      return answer(refusal(
          431, fmt::format("the request's header is above the limit of {} bytes", kHeaderLimit)));
    }
    // A request past its deadline (the stream has closed the socket then)
    // and a client that went away are not answered.
    if (ec.category() == http::make_error_code(http::error::bad_target).category() &&
        ec != http::error::end_of_stream && ec != http::error::partial_message) {
      return answer(refusal(400, fmt::format("not an HTTP request: {}", ec.message())));
    }
    if (ec) return close();
    request_ = parser_->release();
    parser_.reset();
    phase_ = Phase::kAnswering;
    dispatch();
  }

  static Reply refusal(int status, std::string_view message) {
    Reply reply = error_reply(status, message);
    reply.close = true;
    return reply;
  }

  static std::string_view view(beast::string_view text) { return {text.data(), text.size()}; }

  // The request as the routes see it, without its body; views into `header`.
  static Asked asked_of(const http::request_header<>& header) {
    const std::string_view target = view(header.target());
    const size_t question = target.find('?');
    const auto value = [&](http::field field) {
      const auto found = header.find(field);
      return found == header.end() ? std::string_view() : view(found->value());
    };
    const auto key = header.find("Idempotency-Key");
    return Asked{
        .method = view(header.method_string()),
        .path = target.substr(0, question),
        .query =
            question == std::string_view::npos ? std::string_view() : target.substr(question + 1),
        .body = {},
        .host = value(http::field::host),
        .origin = value(http::field::origin),
        .authorization = value(http::field::authorization),
        .content_type = value(http::field::content_type),
        .content_encoding = value(http::field::content_encoding),
        .idempotency_key = key == header.end() ? std::string_view() : view(key->value()),
        .has_idempotency_key = key != header.end(),
    };
  }

  void dispatch() {
    asked_ = asked_of(request_);
    asked_.body = request_.body();
    auto routed = engine_.routes_.route(asked_);
    if (auto* reply = std::get_if<Reply>(&routed)) return answer(std::move(*reply));
    // The pool keeps the I/O thread running, even after a stop, until the
    // answer is back.
    engine_.registers_.submit(std::move(std::get<RegisterWork>(routed)),
                              [self = shared_from_this()](Reply reply) {
                                self->answer(std::move(reply));
                              });
  }

  // A wrong token is answered late (kWrongTokenDelay); the connection holds
  // nothing but its budget meanwhile.
  void answer(Reply reply) {
    if (phase_ == Phase::kClosed) return;
    if (reply.status == 401 && !asked_.authorization.empty() && !delayed_) {
      delayed_ = true;
      auto timer = std::make_shared<asio::steady_timer>(engine_.io_, kWrongTokenDelay);
      timer->async_wait([self = shared_from_this(), timer, reply = std::move(reply)](
                            beast::error_code) mutable { self->answer(std::move(reply)); });
      return;
    }
    delayed_ = false;
    phase_ = Phase::kAnswering;
    // The request as far as it was read: a refusal may come before its
    // header is whole, or before its body.
    const http::verb method = parser_ ? parser_->get().method() : request_.method();
    const bool head = method == http::verb::head;
    // Past the budget, an answer is refused unless it is short or a call's
    // (its journal entry is written already: it is answered whatever the
    // cost).
    const uint64_t body = head ? 0 : reply.body.size();
    buffer_.shrink_to_fit();  // to the bytes not read yet
    if (!hold(kConnectionCost + buffer_.capacity() + body,
              body <= kShortAnswer || request_.method() == http::verb::post)) {
      return answer(refusal(503, engine_.full()));
    }
    const bool keep = !reply.close && !engine_.stopping_ && request_.keep_alive();
    response_ = {};
    response_.version(11);
    response_.result(static_cast<unsigned>(reply.status));
    response_.set(http::field::content_type, reply.content_type);
    response_.set("X-Content-Type-Options", "nosniff");
    response_.set(http::field::cache_control, "no-store");
    for (const auto& [name, value] : reply.headers) response_.set(name, value);
    for (const auto& [name, value] : engine_.routes_.cross_origin(asked_)) {
      response_.set(name, value);
    }
    response_.keep_alive(keep);
    if (reply.status != 204) response_.content_length(reply.body.size());
    if (!head) response_.body() = std::move(reply.body);
    // What the request held is not needed for the answer any more.
    asked_ = {};
    parser_.reset();
    engine_.freed(let_go(request_));
    stream_.expires_after(options().timeout);
    http::async_write(stream_, response_,
                      [self = shared_from_this(), keep](beast::error_code ec, size_t) {
                        if (ec) return self->close();
                        self->settle();
                        if (!keep) return self->drain();
                        self->wait_for_request();
                      });
  }

  // Once an answer is written: the answer and what the read buffer holds
  // beyond unread bytes go back, so that an idle connection holds only what
  // kConnectionCost counts.
  void settle() {
    uint64_t freed = let_go(response_) + buffer_.capacity();
    buffer_.shrink_to_fit();
    freed -= buffer_.capacity();
    hold(kConnectionCost + buffer_.capacity(), true);
    engine_.freed(freed);
  }

  // Empties `message` and frees its body; the bytes freed. (An empty message
  // assigned would keep the body's allocation: a short string moved into a
  // long one is copied into its buffer.)
  template <class Message>
  static uint64_t let_go(Message& message) {
    const uint64_t freed = message.body().capacity();
    std::string().swap(message.body());
    message = {};
    return freed;
  }

  // Sets what the session holds of the engine's budget to `bytes`; false
  // (nothing changed) when more would pass the budget and `force` is not
  // set.
  bool hold(uint64_t bytes, bool force = false) {
    if (!force && bytes > held_ && engine_.held_ - held_ + bytes > engine_.budget_) return false;
    assert(engine_.held_ >= held_);
    engine_.held_ = engine_.held_ - held_ + bytes;
    held_ = bytes;
    return true;
  }

  // Half-closes, then reads what the client still sends for a moment: closing
  // with unread bytes would reset the connection and could lose the answer.
  void drain() {
    if (phase_ == Phase::kClosed) return;
    if (phase_ != Phase::kClosing) {
      phase_ = Phase::kClosing;
      beast::error_code ignored;
      stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
      stream_.expires_after(kDrain);
    }
    buffer_.clear();
    stream_.async_read_some(buffer_.prepare(kIdleRead),
                            [self = shared_from_this()](beast::error_code ec, size_t) {
                              if (ec) return self->close();
                              self->drain();
                            });
  }

  void close() {
    if (phase_ == Phase::kClosed) return;
    phase_ = Phase::kClosed;
    hold(0, true);
    assert(engine_.sessions_.contains(this));
    engine_.sessions_.erase(this);
    beast::error_code ignored;
    stream_.socket().close(ignored);
    // (Its buffers go with the session, once the last of its handlers
    // returns: before the engine's next trim.)
    engine_.freed(kConnectionCost + buffer_.capacity() + request_.body().capacity() +
                  response_.body().capacity());
  }

  Engine& engine_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_{kReadBuffer};
  std::optional<http::request_parser<http::string_body>> parser_;
  http::request<http::string_body> request_;
  Asked asked_;  // views into request_
  http::response<http::string_body> response_;
  Phase phase_ = Phase::kIdle;
  uint64_t held_ = 0;     // of the engine's budget
  bool delayed_ = false;  // a wrong token's answer waits
};

HostResult<int> Engine::bind() {
  beast::error_code ec;
  tcp::resolver resolver(io_);
  const auto found = resolver.resolve(options_.address, std::to_string(options_.port),
                                      tcp::resolver::numeric_service, ec);
  if (!ec && !found.empty()) {
    const tcp::endpoint endpoint = *found.begin();
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  }
  if (ec || found.empty()) {
    return std::unexpected(
        Failure{Fault::BadInput, fmt::format("cannot listen on {}:{}: {}", options_.address,
                                             options_.port, ec ? ec.message() : "no address")});
  }
  return acceptor_.local_endpoint().port();
}

HostResult<void> Engine::check_register() {
  const auto until = std::chrono::steady_clock::now() + options_.wait;
  while (true) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(until - std::chrono::steady_clock::now());
    auto opened =
        open_database(options_.db, Store::Options{std::clamp(left, milliseconds(1), kOpenSlice)});
    if (opened) return {};
    if (opened.error().kind != Fault::Busy || stopping_ || left <= kOpenSlice) {
      return std::unexpected(opened.error());
    }
  }
}

void Engine::accept() {
  acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (stopping_) return;
    if (ec) {
      // Out of descriptors, most likely: try again in a moment rather than spin.
      retry_.expires_after(milliseconds(50));
      retry_.async_wait([this](beast::error_code waited) {
        if (!waited && !stopping_) accept();
      });
      return;
    }
    if (sessions_.size() >= max_connections_ || held_ + kConnectionCost > budget_) {
      refuse(std::move(socket));
    } else {
      std::make_shared<Session>(*this, std::move(socket))->start();
    }
    accept();
  });
}

// Past the connection limit: one answer without waiting, then close.
void Engine::refuse(tcp::socket socket) {
  static const std::string kBusy = [] {
    const std::string body =
        "{\n \"error\": \"the server holds as many connections as it takes; try again\"\n}\n";
    return fmt::format(
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\nContent-Length: "
        "{}\r\nConnection: close\r\nRetry-After: 1\r\n\r\n{}",
        body.size(), body);
  }();
  beast::error_code ignored;
  socket.non_blocking(true, ignored);
  socket.write_some(asio::buffer(kBusy), ignored);
  socket.shutdown(tcp::socket::shutdown_both, ignored);
  socket.close(ignored);
}

void Engine::freed(uint64_t bytes) {
  freed_ += bytes;
  if (freed_ < kTrimAfter || trimming_ || stopping_) return;
  trimming_ = true;
  trim_.expires_after(kTrimDelay);
  trim_.async_wait([this](beast::error_code ec) {
    trimming_ = false;
    if (ec || stopping_) return;
    freed_ = 0;
    malloc_trim(0);
  });
}

std::string Engine::full() const {
  return fmt::format(
      "the server holds {} MiB for its connections, requests and answers, as "
      "much as it takes; try again",
      budget_ >> 20);
}

void Engine::stop() {
  if (stopping_.exchange(true)) return;
  beast::error_code ignored;
  acceptor_.close(ignored);
  signals_.cancel(ignored);
  retry_.cancel();
  trim_.cancel();
  const std::vector<Session*> open(sessions_.begin(), sessions_.end());
  for (Session* session : open) session->stop();
}

HostResult<void> Engine::run(const std::function<void(int)>& listening) {
  // Every connection is a descriptor: take as many as the system lets.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  getrlimit(RLIMIT_NOFILE, &files);
  max_connections_ = std::min<size_t>(
      options_.max_connections,
      files.rlim_cur > kReservedFiles * 2 ? files.rlim_cur - kReservedFiles : kReservedFiles);

  budget_ = std::max(kBudget, 2 * (kConnectionCost + kRequestCost + uint64_t{options_.max_body}));

  const auto port = bind();
  if (!port) return std::unexpected(port.error());
  // A hangup (the terminal closed) ends the server as SIGTERM does, unless
  // it was started to ignore it (nohup).
  struct sigaction hangup {};
  if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN) {
    signals_.add(SIGHUP);
  }
  signals_.async_wait([this](beast::error_code ec, int) {
    if (!ec) stop();
  });
  asio::post(pool_, [this, &listening, port = *port] {
    auto opened = check_register();
    asio::post(io_, [this, &listening, port, opened = std::move(opened)] {
      if (stopping_) return;
      if (!opened) {
        failure_ = opened.error();
        return stop();
      }
      listening(port);
      accept();
    });
  });
  io_.run();
  pool_.join();
  if (failure_) return std::unexpected(*failure_);
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

bool set_listen(ServerOptions& options, std::string_view listen) {
  const size_t colon = listen.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const std::string_view digits = listen.substr(colon + 1);
  int port = -1;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (error != std::errc{} || end != digits.data() + digits.size() || port < 0 || port > 65535) {
    return false;
  }
  std::string_view address = listen.substr(0, colon);
  if (address.size() > 2 && address.front() == '[') address = address.substr(1, address.size() - 2);
  options.address = address;
  options.port = port;
  return true;
}

HostResult<void> serve(const ServerOptions& options, const std::function<void(int)>& listening) {
  Engine engine(options);
  return engine.run(listening);
}

}  // namespace tarv::host
