#include "fuzz/check.h"

#include <google/protobuf/util/message_differencer.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "src/errors.h"
#include "src/wire/cursor.h"
#include "src/wire/holding.h"
#include "tests/support/fixtures.h"

// The sanitizers' allocator hooks, where a sanitizer runtime is linked in.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void*))
    __attribute__((weak));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void* block) __attribute__((weak));

namespace tarv::fuzz {

namespace {

// The heap in use, counted by the sanitizer's hooks, and its peak.
std::atomic<int64_t> g_in_use{0};
std::atomic<int64_t> g_peak{0};

void on_malloc(const volatile void*, size_t size) {
  const int64_t now = g_in_use.fetch_add(static_cast<int64_t>(size)) + static_cast<int64_t>(size);
  int64_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}
void on_free(const volatile void* block) {
  g_in_use.fetch_sub(static_cast<int64_t>(__sanitizer_get_allocated_size(block)));
}

// Whether the hooks count (only under a sanitizer).
bool heap_counted() {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks != nullptr &&
                                __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free) != 0;
  return installed;
}

// Every call holds at most 3 x (request + response bytes) + kFixedHeap. The
// constant is the library's fixed cost, not an allowance that hides growth:
// the smallest call of each export holds under 10 KiB (a report, 9.6 KiB;
// a sale, 3.7 KiB; a cash operation, 0.3 KiB), and the fuzz build lets a
// decode hold 16 KiB of repeated fields beyond the request's size
// (TARV_HOLD_ALLOWANCE) where the library holds 768 KiB. 64 KiB leaves room
// over their sum and still fails a call whose heap grows 3.2 times its bytes
// from 4 KB on, where 1 MiB hid growth of 250 times on inputs of a few KB.
constexpr int64_t kFixedHeap = 64 << 10;

void check_heap_bound(int64_t peak, size_t request_bytes, uint64_t response_bytes) {
  const int64_t bound = 3 * static_cast<int64_t>(request_bytes + response_bytes) + kFixedHeap;
  expect(peak <= bound, "the call held " + std::to_string(peak) + " bytes of heap for " +
                            std::to_string(request_bytes) + " bytes in and " +
                            std::to_string(response_bytes) + " out");
}

// Every call reads at most kKeysPerByte x (request + response bytes) +
// kFixedKeys keys (wire::key_reads, counted in the fuzz build only): a
// decode reads each key once and each walk of a field left in the request
// once more, a fixed number of walks in all. The most seen in 40 s of each
// target with inputs up to 256 KiB is 6 a byte (a sale whose every field is
// left in the request); 32 leaves room for a sort's logarithm, and a
// comparison that reads a key again falls past it on any large input.
constexpr uint64_t kKeysPerByte = 32;
constexpr uint64_t kFixedKeys = 4096;

void check_work_bound(uint64_t keys, size_t request_bytes, uint64_t response_bytes) {
  const uint64_t bound = kKeysPerByte * (request_bytes + response_bytes) + kFixedKeys;
  expect(keys <= bound, "the call read " + std::to_string(keys) + " keys for " +
                            std::to_string(request_bytes) + " bytes in and " +
                            std::to_string(response_bytes) + " out");
}

using ::google::protobuf::FieldDescriptor;
using ::google::protobuf::Message;
using ::google::protobuf::Reflection;
using ::google::protobuf::util::MessageDifferencer;

// The largest sum a bounded counter may reach.
using testing::kMaxAmount;

// Every (code, message) row that describe() can give.
const std::map<std::string, std::string>& error_table() {
  static const std::map<std::string, std::string> table = [] {
    std::map<std::string, std::string> rows;
    for (uint8_t group = 0; group <= 3; ++group) {
      for (unsigned kind = 0; kind <= 255; ++kind) {
        const ErrorText text = describe({ErrorGroup{group}, static_cast<uint8_t>(kind)});
        rows.emplace(text.code, text.message);
      }
    }
    return rows;
  }();
  return table;
}

bool has_unknown_fields(const Message& m) {
  const Reflection* r = m.GetReflection();
  if (!r->GetUnknownFields(m).empty()) return true;
  std::vector<const FieldDescriptor*> fields;
  r->ListFields(m, &fields);
  for (const FieldDescriptor* f : fields) {
    if (f->cpp_type() != FieldDescriptor::CPPTYPE_MESSAGE) continue;
    if (f->is_repeated()) {
      for (int i = 0; i < r->FieldSize(m, f); ++i) {
        if (has_unknown_fields(r->GetRepeatedMessage(m, f, i))) return true;
      }
    } else if (has_unknown_fields(r->GetMessage(m, f))) {
      return true;
    }
  }
  return false;
}

using ShiftAttrs = ::google::protobuf::Map<std::string, pb::GeneralAttributes>;

// The drawer after a document in `currency` equals the drawer before, moved
// by (cash_in, income) in that currency and untouched in every other.
void check_drawer(const pb::Context& context, const ShiftAttrs& after, const std::string& currency,
                  int64_t cash_in, int64_t income) {
  const ShiftAttrs& before = context.shift_ctx().attrs();
  for (const auto& [key, value] : before) {
    auto it = after.find(key);
    expect(it != after.end(), "a currency left the drawer");
    if (key == currency) continue;
    expect(it->second.cash_in() == value.cash_in() && it->second.income() == value.income(),
           "a document moved the drawer of another currency");
  }
  for (const auto& [key, value] : after) {
    expect(key == currency || before.contains(key), "the drawer gained an unrelated currency");
  }
  auto was = before.find(currency);
  const pb::GeneralAttributes old = was == before.end() ? pb::GeneralAttributes{} : was->second;
  auto now = after.find(currency);
  expect(now != after.end(), "the document's currency is missing from the drawer");
  expect(now->second.cash_in() == old.cash_in() + cash_in, "cash_in does not follow the document");
  expect(now->second.income() == old.income() + income, "income does not follow the document");
  expect(now->second.cash_in() >= 0, "cash_in below 0");
}

// count + 1 and sum + total, the rest of the counters left to the unit tests.
void check_totals(const pb::DocumentAttributes& before, const pb::DocumentAttributes& after,
                  uint64_t total) {
  expect(uint64_t{after.count()} == uint64_t{before.count()} + 1, "counter count is not count + 1");
  expect(after.sum() == before.sum() + total && after.sum() >= total,
         "counter sum is not sum + total");
  expect(after.count() <= 65535 && after.sum() <= kMaxAmount, "counters above their limits");
}

void check_header(const cv::DocHeader& header, const pb::Context& context,
                  const std::string& currency) {
  expect(header.device_id == context.device_id(), "binary header: another device id");
  expect(header.currency == currency, "binary header: another currency");
}

template <class Request, class Response, class Kind>
void check_cash_op(const Request& request, const Outcome& outcome, int64_t sign) {
  Response response;
  parse_exact(outcome.response, response);
  expect(MessageDifferencer::Equals(response.doc(), request.doc()),
         "a cash operation changed its payload");
  const Kind doc = read_document<Kind>(response.binary_doc());
  const std::string& currency = request.doc().header().currency();
  check_header(doc.header, request.context(), currency);
  expect(doc.header.doc_number == request.context().next_doc_number(),
         "binary header: not the next document number");
  const uint64_t sum = request.doc().sum();
  expect(response.sum() == sum && doc.amount == sum, "a cash operation changed its sum");
  const auto& before = request.attrs().cash();
  const auto& after = response.attrs().cash();
  expect(after.count() == before.count() + 1 && after.quantity() == before.quantity() &&
             after.sum() == before.sum() + static_cast<int64_t>(sum),
         "cash counter is not (sum + amount, count + 1)");
  check_drawer(request.context(), response.shift_attrs(), currency,
               sign * static_cast<int64_t>(sum), 0);
}

}  // namespace

// Standard error as it was at start-up: the targets run with -close_fd_mask=2
// to silence the library's diagnostic lines, and a broken invariant must still
// be told.
static const int kReportFd = dup(STDERR_FILENO);

void fail(std::string_view what) {
  const std::string line = "\n*** invariant broken: " + std::string(what) + "\n";
  if (write(kReportFd, line.data(), line.size()) < 0) std::abort();
  std::abort();
}

namespace {

// The call as `fn` makes it, checked and with its heap counted.
Outcome checked_call(ExportFn fn, std::span<const uint8_t> request) {
  uint8_t sentinel = 0;
  uint8_t* out = &sentinel;
  uint64_t out_length = 0xDEADBEEF;
  Outcome outcome;
  const bool counted = heap_counted();
  const int64_t base = g_in_use.load();
  g_peak.store(base);
  wire::key_reads = 0;
  outcome.status = fn(request.data(), request.size(), &out, &out_length);
  const int64_t peak = g_peak.load() - base;
  check_work_bound(wire::key_reads, request.size(),
                   outcome.status == TARV_STATUS_UNDECODABLE ? 0 : out_length);
  switch (outcome.status) {
    case TARV_STATUS_UNDECODABLE:
      expect(out == &sentinel && out_length == 0xDEADBEEF, "status 255 wrote the out-parameters");
      if (counted) check_heap_bound(peak, request.size(), 0);
      return outcome;
    case TARV_STATUS_OK:
    case TARV_STATUS_ERROR:
      break;
    default:
      fail("status " + std::to_string(outcome.status));
  }
  expect(out != &sentinel, "no response pointer written");
  expect((out == nullptr) == (out_length == 0), "response pointer and length disagree");
  if (counted) check_heap_bound(peak, request.size(), out_length);
  if (out != nullptr) outcome.response.assign(reinterpret_cast<const char*>(out), out_length);
  tarvcore_free_buffer(out, out_length);
  if (outcome.status == TARV_STATUS_ERROR) {
    pb::ErrorResponse error;
    parse_exact(outcome.response, error);
    auto row = error_table().find(error.code());
    expect(row != error_table().end(), "error code outside the table: " + error.code());
    expect(error.message() == row->second, "error message not the table's for " + error.code());
    expect(error.SerializeAsString() == outcome.response, "more than code and message");
  }
  return outcome;
}

}  // namespace

// The call, then the same call with every repeated field and map held and
// with every one left in the request: the same status and bytes. (A call
// stopped by its memory budget is not compared: held whole, it is not held
// to the budget.)
Outcome call(ExportFn fn, std::span<const uint8_t> request) {
  const Outcome outcome = checked_call(fn, request);
  if (outcome.status == TARV_STATUS_ERROR && error_code(outcome) == "tarv.core.input.memory") {
    return outcome;
  }
  for (const wire::Holding holding : {wire::Holding::kAll, wire::Holding::kNone}) {
    wire::forced_holding = holding;
    uint8_t* out = nullptr;
    uint64_t out_length = 0;
    wire::key_reads = 0;
    const uint8_t status = fn(request.data(), request.size(), &out, &out_length);
    check_work_bound(wire::key_reads, request.size(), out_length);
    wire::forced_holding = wire::Holding::kWithinBudget;
    const std::string response(reinterpret_cast<const char*>(out), out == nullptr ? 0 : out_length);
    if (status != TARV_STATUS_UNDECODABLE) tarvcore_free_buffer(out, out_length);
    expect(status == outcome.status && response == outcome.response,
           holding == wire::Holding::kAll ? "held, every field answers otherwise"
                                          : "left in the request, every field answers otherwise");
  }
  return outcome;
}

Outcome call(ExportFn fn, const std::string& request) {
  return call(fn, std::span(reinterpret_cast<const uint8_t*>(request.data()), request.size()));
}

std::string error_code(const Outcome& outcome) {
  pb::ErrorResponse error;
  parse_exact(outcome.response, error);
  return error.code();
}

void parse_exact(const std::string& bytes, Message& out) {
  expect(out.ParseFromString(bytes), "response is not a " + out.GetTypeName());
  expect(!has_unknown_fields(out), out.GetTypeName() + " with fields outside the schema");
}

void check_success(const pb::DepositRequest& request, const Outcome& outcome) {
  check_cash_op<pb::DepositRequest, pb::DepositResponse, cv::DepositDoc>(request, outcome, 1);
}

void check_success(const pb::WithdrawRequest& request, const Outcome& outcome) {
  check_cash_op<pb::WithdrawRequest, pb::WithdrawResponse, cv::WithdrawDoc>(request, outcome, -1);
}

void check_success(const pb::CardHolderWithdrawRequest& request, const Outcome& outcome) {
  check_cash_op<pb::CardHolderWithdrawRequest, pb::CardHolderWithdrawResponse,
                cv::CardHolderWithdrawDoc>(request, outcome, -1);
}

void check_success(const pb::SaleRequest& request, const Outcome& outcome) {
  pb::SaleResponse response;
  parse_exact(outcome.response, response);
  const cv::SaleDoc doc = read_document<cv::SaleDoc>(response.binary_doc());
  const std::string& currency = request.doc().header().currency();
  check_header(doc.header, request.context(), currency);
  expect(doc.total == response.sum() && response.doc().calculations().cheque().sum() == doc.total,
         "sale: cheque, response sum and document total differ");
  expect(doc.items.size() == static_cast<size_t>(response.doc().items_size()),
         "sale: the document lists another number of lines");
  expect(doc.cash + doc.cashless == doc.total, "sale: cash and cashless do not make the total");
  check_totals(request.attrs(), response.attrs(), doc.total);
  check_drawer(request.context(), response.shift_attrs(), currency, static_cast<int64_t>(doc.cash),
               static_cast<int64_t>(doc.total));
}

void check_success(const pb::RefundRequest& request, const Outcome& outcome) {
  pb::RefundResponse response;
  parse_exact(outcome.response, response);
  const cv::RefundDoc doc = read_document<cv::RefundDoc>(response.binary_doc());
  const std::string& currency = request.doc().header().currency();
  check_header(doc.header, request.context(), currency);
  expect(doc.total == response.sum() && response.doc().calculations().sum() == doc.total,
         "refund: total, response sum and document total differ");
  expect(doc.items.size() == static_cast<size_t>(response.doc().items_size()),
         "refund: the document lists another number of lines");
  expect(doc.cash + doc.cashless == doc.total, "refund: cash and cashless do not make the total");
  check_totals(request.attrs(), response.attrs(), doc.total);
  check_drawer(request.context(), response.shift_attrs(), currency, -static_cast<int64_t>(doc.cash),
               static_cast<int64_t>(doc.total));
}

void check_success(const pb::RollbackRequest& request, const Outcome& outcome) {
  pb::RollbackResponse response;
  parse_exact(outcome.response, response);
  const cv::RollbackDoc doc = read_document<cv::RollbackDoc>(response.binary_doc());
  const cv::SaleDoc target = read_document<cv::SaleDoc>(request.doc().target());
  check_header(doc.header, request.context(), target.header.currency);
  expect(target.header.currency == request.doc().header().currency(),
         "rollback of a sale in another currency");
  expect(doc.amount == target.total && response.sum() == target.total &&
             response.doc().sum() == target.total,
         "rollback: amount is not the sale's total");
  expect(doc.target_number == target.header.doc_number &&
             response.doc().target_number() == target.header.doc_number,
         "rollback: not the sale's number");
  expect(doc.lines.size() == target.items.size(), "rollback: not one line per sale line");
  check_totals(request.attrs(), response.attrs(), target.total);
  check_drawer(request.context(), response.shift_attrs(), target.header.currency,
               -static_cast<int64_t>(target.cash), 0);
}

void check_success(const pb::ReportRequest& request, const Outcome& outcome) {
  pb::ReportResponse response;
  parse_exact(outcome.response, response);
  const cv::ReportDoc doc = read_document<cv::ReportDoc>(response.binary_doc());
  expect(doc.device_id == request.context().device_id() &&
             doc.tax_number == request.context().tax_number(),
         "report: another register");
  expect(!doc.records.empty(), "report: no record");
  for (size_t i = 0; i < doc.records.size(); ++i) {
    expect(i == 0 || doc.records[i].currency != "BYN", "report: BYN is not the first record");
    expect(doc.records[i].sum_a1 == doc.records[i].sum_a2 + doc.records[i].sum_a3,
           "report: sum_a1 is not a2 + a3");
  }
}

void check_success(const pb::OrderRequest& request, const Outcome& outcome) {
  pb::OrderResponse response;
  parse_exact(outcome.response, response);
  expect(response.has_doc(), "order: no order in the response");
  pb::OrderTotal total;
  parse_exact(response.total(), total);
  const uint64_t sum = response.doc().cheque_sums().sum();
  expect(total.sum() == sum && response.total().empty() == (sum == 0),
         "order: total is not the cheque sum");
  // Only opened and corrected move, by the change against the previous total.
  const pb::OrdersAttributes& before = request.attrs();
  const pb::OrdersAttributes& after = response.attrs();
  const uint64_t prev = request.prev_order_sum();
  const bool is_new = !request.has_prev_order_sum();
  const auto moved = [](const pb::DocumentAttributeValue& was,
                        const pb::DocumentAttributeValue& now, uint64_t dsum, int64_t dcount) {
    return now.sum() == was.sum() + static_cast<int64_t>(dsum) &&
           now.count() == was.count() + dcount && now.quantity() == was.quantity();
  };
  const bool opened = is_new || sum > prev;
  const bool corrected = !is_new && sum < prev;
  expect(opened ? moved(before.opened(), after.opened(), is_new ? sum : sum - prev, is_new)
                : MessageDifferencer::Equals(before.opened(), after.opened()),
         "order: opened does not follow the total");
  expect(corrected ? moved(before.corrected(), after.corrected(), prev - sum, 1)
                   : MessageDifferencer::Equals(before.corrected(), after.corrected()),
         "order: corrected does not follow the total");
  expect(MessageDifferencer::Equals(before.canceled(), after.canceled()) &&
             MessageDifferencer::Equals(before.closed(), after.closed()) &&
             MessageDifferencer::Equals(before.moved(), after.moved()),
         "order: canceled, closed or moved changed");
}

}  // namespace tarv::fuzz
