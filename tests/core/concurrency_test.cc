// Eight threads call every export in a loop on shared, read-only request
// bytes; every answer must equal the single-threaded one. The threads start
// together on a rollback, so that (in a process of its own, as ctest runs
// each test) the first verification of the process, which builds the curve
// constants, happens in all eight threads at once. The rollback's signature
// is therefore made in a child process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "tests/core/receipt.h"
#include "tests/support/bign_signer.h"

namespace tarv::testing {
namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 20;

struct Request {
  std::string name;
  ExportFn fn;
  ByteVec bytes;
  uint8_t status;  // what the single-threaded call answers
};

struct Answer {
  uint8_t status = 0;
  ByteVec response;
  friend bool operator==(const Answer&, const Answer&) = default;
};

// No stderr capture here: gtest's is not thread-safe.
Answer ask(const Request& r) {
  uint8_t* out = nullptr;
  uint64_t length = 0;
  Answer a;
  a.status = r.fn(r.bytes.data(), r.bytes.size(), &out, &length);
  if (a.status != TARV_STATUS_UNDECODABLE && out != nullptr) {
    a.response.assign(out, out + length);
    tarvcore_free_buffer(out, length);
  }
  return a;
}

// The public key and signature of `message` under a test key, computed by a
// child process so that this one builds no curve constants.
std::string signed_elsewhere(const std::string& message) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    std::array<uint8_t, 32> d{}, k{};
    for (uint8_t i = 0; i < 32; ++i) d[i] = k[i] = static_cast<uint8_t>(i + 1);
    k[0] = 0x55;
    const auto pub = bign_public_key(d);
    const auto sig = bign_sign(
        std::span(reinterpret_cast<const uint8_t*>(message.data()), message.size()), d, k);
    const bool ok =
        write(fds[1], pub.data(), pub.size()) == 64 && write(fds[1], sig.data(), sig.size()) == 48;
    _exit(ok ? 0 : 1);
  }
  close(fds[1]);
  std::string out(112, '\0');
  size_t got = 0;
  for (ssize_t n; got < out.size() && (n = read(fds[0], &out[got], out.size() - got)) > 0;) {
    got += static_cast<size_t>(n);
  }
  close(fds[0]);
  waitpid(pid, nullptr, 0);  // its exit code is valgrind's when under valgrind
  return got == out.size() ? out : "";
}

std::vector<Request> requests() {
  std::vector<Request> out;
  auto add = [&](std::string name, ExportFn fn, const ::google::protobuf::Message& m,
                 uint8_t status) {
    out.push_back({std::move(name), fn, serialize(m), status});
  };

  pb::Item milk = item("Молоко", 235, 2000);
  milk.set_tax_rate(20);
  milk.mutable_section()->set_code(3);
  milk.mutable_code()->set_gtin("04810268031524");
  pb::SaleRequest sale =
      sale_of({milk, line(1000)}, {pay(kCard, 300, "Visa"), pay(kCash, 2000)}, 5000);
  const Call sold = call(sale);
  pb::SaleResponse response;
  EXPECT_EQ(sold.status, TARV_STATUS_OK);
  EXPECT_TRUE(parse(sold.response, response));
  const std::string keys = signed_elsewhere(response.binary_doc());
  EXPECT_EQ(keys.size(), 112u);

  auto rollback = envelope<pb::RollbackRequest>();
  *rollback.mutable_context()->mutable_shift_ctx()->mutable_attrs() = response.shift_attrs();
  rollback.mutable_doc()->set_target(response.binary_doc());
  rollback.mutable_doc()->set_pub_key(keys.substr(0, 64));
  rollback.mutable_doc()->set_signature(keys.substr(64));
  add("rollback", tarvcore_create_rollback, rollback, TARV_STATUS_OK);
  rollback.mutable_doc()->mutable_signature()->back() ^= 1;
  add("rollback, bad signature", tarvcore_create_rollback, rollback, TARV_STATUS_ERROR);

  add("sale", tarvcore_create_sale, sale, TARV_STATUS_OK);
  add("sale without lines", tarvcore_create_sale, sale_of({}, {}), TARV_STATUS_ERROR);
  add("refund", tarvcore_create_refund, refund_of({milk}, {pay(kCash, 470)}, 1000), TARV_STATUS_OK);

  auto deposit = envelope<pb::DepositRequest>();
  deposit.mutable_doc()->set_sum(5000);
  add("deposit", tarvcore_create_deposit, deposit, TARV_STATUS_OK);
  auto withdraw = envelope<pb::WithdrawRequest>();
  withdraw.mutable_doc()->set_sum(700);
  drawer(*withdraw.mutable_context()).set_cash_in(700);
  add("withdraw", tarvcore_create_withdraw, withdraw, TARV_STATUS_OK);
  auto ch_withdraw = envelope<pb::CardHolderWithdrawRequest>();
  ch_withdraw.mutable_doc()->set_sum(900);
  ch_withdraw.mutable_context()->set_ch_max_value(1000);
  drawer(*ch_withdraw.mutable_context()).set_cash_in(900);
  add("card-holder withdrawal", tarvcore_create_ch_withdraw, ch_withdraw, TARV_STATUS_OK);

  auto report = envelope<pb::ReportRequest>();
  *report.mutable_close_at() = stamp(kOpenedAt + 8 * kHour);
  *(*report.mutable_attrs())["BYN"].mutable_sales() = response.attrs();
  add("report", tarvcore_create_report, report, TARV_STATUS_OK);

  auto order = envelope<pb::OrderRequest>();
  order.mutable_doc()->mutable_header()->set_cashier("Иванов");
  *order.mutable_doc()->mutable_header()->mutable_at() = stamp(kOpenedAt + kHour);
  *order.mutable_doc()->add_items() = milk;
  add("order", tarvcore_register_order, order, TARV_STATUS_OK);

  out.push_back({"undecodable", tarvcore_create_deposit, {0x07}, TARV_STATUS_UNDECODABLE});
  return out;
}

TEST(Concurrency, EveryExportFromEightThreadsAnswersAsAlone) {
  const std::vector<Request> shared = requests();
  const size_t n = shared.size();
  // first[t][i]: thread t's first answer to request i; later answers must
  // equal it, and after the threads it must equal the single-threaded one.
  std::vector<std::vector<Answer>> first(kThreads, std::vector<Answer>(n));
  std::atomic<int> drifts{0};
  {
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        first[t][0] = ask(shared[0]);  // all at once: the rollback
        for (size_t i = 1; i < n; ++i) first[t][i] = ask(shared[i]);
        for (int round = 0; round < kRounds; ++round) {
          for (size_t k = 0; k < n; ++k) {
            const size_t i = (k + static_cast<size_t>(t)) % n;
            if (!(ask(shared[i]) == first[t][i])) drifts.fetch_add(1);
          }
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(drifts.load(), 0) << "answers changed between calls";
  for (size_t i = 0; i < n; ++i) {
    const Answer alone = ask(shared[i]);
    EXPECT_EQ(alone.status, shared[i].status) << shared[i].name;
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_TRUE(first[t][i] == alone) << shared[i].name << " in thread " << t;
    }
  }
}

}  // namespace
}  // namespace tarv::testing
