// The call frame that every document export runs around its calculator:
// decode the request, check that doc, context and attrs are present, run the
// calculator, and answer with the success or the error response in a heap
// buffer of exactly its size.
#ifndef TARV_SRC_FRAME_H_
#define TARV_SRC_FRAME_H_

#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "include/tarv_core.h"
#include "src/budget.h"
#include "src/diagnostic.h"
#include "src/errors.h"
#include "src/heap.h"
#include "src/messages.h"
#include "src/wire.h"

namespace tarv::frame {

// The error response of a CalcError, in a heap buffer.
uint8_t answer_error(CalcError error, uint8_t** response, uint64_t* response_length);

// Encodes `message` into a buffer of exactly its length from the heap that
// tarvcore_free_buffer returns it to.
template <wire::Message M>
uint8_t answer(const M& message, uint8_t status, uint8_t** response, uint64_t* response_length) {
  size_t size = wire::encoded_size(message);
  budget::respond_whole(size);
  uint8_t* buffer = nullptr;
  if (size > 0) {
    buffer = heap::allocate(size);
    wire::write_message(message, buffer, size);
  }
  *response = buffer;
  *response_length = size;
  return status;
}

// Requests whose doc, context and attrs must be present before the
// calculator runs (every document request but the report's).
template <class Request>
concept Enveloped = requires(Request r) {
  r.doc;
  r.context;
  r.attrs;
};

template <class Request>
CalcResult<void> check_presence(const Request& request) {
  if constexpr (Enveloped<Request>) {
    if (!request.doc) {
      diagnostic("Missing $req.doc\n");
      return std::unexpected(err::kMalformed);
    }
    if (!request.context) {
      diagnostic("Missing $req.ctx\n");
      return std::unexpected(err::kMalformed);
    }
    if (!request.attrs) {
      diagnostic("Missing $req.attrs\n");
      return std::unexpected(err::kMalformed);
    }
  }
  return {};
}

// Decodes the request, checks its presence and runs `calculator` under the
// call's budget, which `run` opened; answers as run says.
template <class Request, class Calculator>
uint8_t run_within_budget(const uint8_t* request, size_t request_length, wire::Holding holding,
                          uint8_t** response, uint64_t* response_length, Calculator&& calculator) {
  Request decoded;
  wire::DecodeError error;
  if (request != nullptr && !wire::decode(request, request_length, decoded, error, holding)) {
    diagnostic("Error decoding input: " + error.render() + "\n");
    return TARV_STATUS_UNDECODABLE;
  }
  if (auto present = check_presence(decoded); !present) {
    return answer_error(present.error(), response, response_length);
  }
  auto result = calculator(std::move(decoded));
  if (!result) return answer_error(result.error(), response, response_length);
  return answer(*result, TARV_STATUS_OK, response, response_length);
}

// Runs one export. `calculator` takes the decoded Request (with doc, context
// and attrs present where the request has them) and returns
// CalcResult<Response>. Every allocation of the call, its answer included, is
// charged to the call's memory budget (src/budget.h), opened here: a call
// that would pass it is stopped where it allocates, gives back all it held,
// and answers with the budget's error. Nothing escapes as an exception:
// running out of memory otherwise is reported on standard error with status
// 255 and nothing written.
template <class Request, class Calculator>
uint8_t run(const uint8_t* request, uint64_t request_length, uint8_t** response,
            uint64_t* response_length, Calculator&& calculator) noexcept {
  if (response == nullptr || response_length == nullptr) {
    diagnostic("tarv_core: null response pointer\n");
    return TARV_STATUS_UNDECODABLE;
  }
  try {
    // A length that does not fit in size_t (a 32-bit platform) names more
    // bytes than the host can have: refused whole, never cut to its low bits.
    if constexpr (sizeof(size_t) < sizeof(uint64_t)) {
      if (request_length > std::numeric_limits<size_t>::max()) {
        diagnostic("Error decoding input: request length " + std::to_string(request_length) +
                   " is beyond the address space\n");
        return TARV_STATUS_UNDECODABLE;
      }
    }
    const wire::Holding holding = wire::forced_holding.load(std::memory_order_relaxed);
    uint64_t limit = 0;
    {
      const budget::Call call(request != nullptr ? request_length : 0,
                              holding != wire::Holding::kAll);
      try {
        return run_within_budget<Request>(request, static_cast<size_t>(request_length), holding,
                                          response, response_length,
                                          std::forward<Calculator>(calculator));
      } catch (const budget::Exhausted&) {
        limit = call.limit();
      }
    }
    diagnostic("tarv_core: the call stopped at its memory budget of " + std::to_string(limit) +
               " bytes\n");
    return answer_error(err::kMemoryBudget, response, response_length);
  } catch (const std::bad_alloc&) {
    diagnostic("tarv_core: out of memory\n");
  } catch (...) {
    diagnostic("tarv_core: internal error\n");
  }
  return TARV_STATUS_UNDECODABLE;
}

}  // namespace tarv::frame

#endif  // TARV_SRC_FRAME_H_
