// What a sale costs through `tarv serve`: the JSON read and printed for it,
// and the whole HTTP call with 1, 8 and 64 clients, each on a kept-alive
// connection or a new connection per sale, with 1,000 idle connections open
// beside them (items_per_second of BM_HttpSale is the server's sales per
// second). The library call and the register's transaction around it are
// measured by bench/register.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>  // before Asio, which uses std::exchange
#include <vector>
//
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "host/answer.h"
#include "host/databases.h"
#include "host/exports.h"
#include "host/json.h"
#include "host/register.h"
#include "host/register_call.h"
#include "host/store.h"

namespace {

namespace fs = std::filesystem;
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using namespace tarv::host;

constexpr std::string_view kRegister = R"({"context": {
  "currencies": ["BYN"], "device_id": 4242, "tax_number": 190123456,
  "next_doc_number": 1, "next_shift_number": 1,
  "shift_ctx": {"opened_at": "2024-03-15T06:00:00Z"}}})";

constexpr std::string_view kSale = R"({"doc": {"header": {"cashier": "Иванов",
  "currency": "BYN", "at": "2024-03-15T06:09:00Z"},
  "items": [{"name": "Хлеб", "price": 185, "quantity": 2000}],
  "payments": [{"type_id": 0, "sum": 370}]}})";

const Export& sale() { return *find_export("sale"); }

HostState register_state() {
  HostState state;
  if (!parse_json(kRegister, state, "register", Fault::BadInput)) std::abort();
  return state;
}

std::unique_ptr<google::protobuf::Message> sale_request() {
  auto request = new_message(sale().request);
  if (!parse_json(kSale, *request, "sale", Fault::BadInput)) std::abort();
  return request;
}

// A new register in a fresh folder, removed with the object.
struct TempRegister {
  fs::path dir = fs::temp_directory_path() / ("tarv_server_bench_" + std::to_string(getpid()));
  fs::path db = dir / "till.db";
  TempRegister() {
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~TempRegister() { fs::remove_all(dir); }
};

// Reading the request JSON and printing the answer JSON, the server's share.
void BM_JsonInOut(benchmark::State& state) {
  auto filled = sale_request();
  if (!Register(register_state()).fill(sale(), *filled, {})) std::abort();
  const CallOutcome outcome = call(sale(), *filled);
  for (auto _ : state) {
    auto request = new_message(sale().request);
    benchmark::DoNotOptimize(parse_json(kSale, *request, "sale", Fault::Undecodable));
    benchmark::DoNotOptimize(print(answer_json(sale(), outcome)));
  }
}
BENCHMARK(BM_JsonInOut);

// `tarv serve` on a register of its own, as a process.
class Served {
 public:
  Served() {
    if (!create_store(temp_.db.string(), register_state())) return;
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string tool = TARV_BUILD_DIR "/tarv", db = temp_.db.string();
    const char* argv[] = {tool.c_str(), "serve",       "--db", db.c_str(),
                          "--listen",   "127.0.0.1:0", nullptr};
    posix_spawn(&pid_, tool.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    FILE* listening = fdopen(out[0], "r");
    char line[128] = {};
    if (fgets(line, sizeof line, listening) != nullptr) {
      const std::string text = line;
      port_ = std::stoi(text.substr(text.rfind(':') + 1));
    }
    fclose(listening);
  }
  ~Served() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  int port() const { return port_; }

 private:
  TempRegister temp_;
  pid_t pid_ = -1;
  int port_ = 0;
};

std::unique_ptr<Served> served;
// Connections that send nothing, open while the clients call (a browser's
// spare connections, a port scanner).
constexpr int kIdle = 1000;
std::unique_ptr<asio::io_context> idle_io;
std::vector<tcp::socket> idle;

void start(const benchmark::State&) {
  served = std::make_unique<Served>();
  idle_io = std::make_unique<asio::io_context>();
  const tcp::endpoint server(asio::ip::make_address("127.0.0.1"),
                             static_cast<uint16_t>(served->port()));
  for (int i = 0; i < kIdle; ++i) {
    beast::error_code ec;
    idle.emplace_back(*idle_io).connect(server, ec);
    if (ec) std::abort();
  }
}

void finish(const benchmark::State&) {
  idle.clear();
  idle_io.reset();
  served.reset();
}

// One client's sales: on one kept-alive connection, or a new one each.
class Client {
 public:
  Client(int port, bool keep_alive)
      : server_(asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port)),
        keep_alive_(keep_alive) {
    request_.set(http::field::host, "127.0.0.1");
    request_.set(http::field::content_type, "application/json");
    request_.body() = kSale;
    request_.keep_alive(keep_alive);
    request_.prepare_payload();
  }

  // The status of the answer; 0 when the connection failed.
  unsigned sale() {
    beast::error_code ec;
    if (!socket_.is_open()) {
      socket_.connect(server_, ec);
      if (ec) return 0;
      socket_.set_option(tcp::no_delay(true), ec);
    }
    http::response<http::string_body> response;
    http::write(socket_, request_, ec);
    if (!ec) http::read(socket_, buffer_, response, ec);
    if (ec || !keep_alive_ || !response.keep_alive()) socket_.close(ec);
    return ec ? 0 : response.result_int();
  }

 private:
  asio::io_context io_;
  tcp::endpoint server_;
  bool keep_alive_;
  tcp::socket socket_{io_};
  beast::flat_buffer buffer_;
  http::request<http::string_body> request_{http::verb::post, "/v1/sale", 11};
};

// Argument 0: kept-alive connections (1) or a new connection per sale (0).
void BM_HttpSale(benchmark::State& state) {
  Client client(served->port(), state.range(0) == 1);
  for (auto _ : state) {
    if (const unsigned status = client.sale(); status != 200) {
      state.SkipWithError(fmt::format("the sale was answered {}", status).c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HttpSale)
    ->Setup(start)
    ->Teardown(finish)
    ->ArgName("keep_alive")
    ->Arg(1)
    ->Arg(0)
    ->Threads(1)
    ->Threads(8)
    ->Threads(64)
    ->UseRealTime();

}  // namespace
