// The C exports: each runs the call frame around its calculator.
#include <cstdint>

#include "include/tarv_core.h"
#include "src/calculator/calculators.h"
#include "src/frame.h"
#include "src/heap.h"
#include "src/version.h"

namespace {

// The version text, followed in storage by zero bytes.
constexpr char kVersionText[8] = TARV_VERSION_TEXT;
constexpr uint32_t kVersionLength = sizeof(TARV_VERSION_TEXT) - 1;

}  // namespace

extern "C" {

// Where addresses are 32 bits wide the compiler fills the zero-extended
// address in when the library loads, before any host code can read it.
const tarvcore_version TARV_CORE_VERSION = {reinterpret_cast<uintptr_t>(kVersionText),
                                            kVersionLength};

const char* tarvcore_get_version(uint32_t* length, uint8_t* flag) {
  if (length != nullptr) *length = kVersionLength;
  if (flag != nullptr) *flag = 1;
  return kVersionText;
}

void tarvcore_free_buffer(uint8_t* buffer, uint64_t length) {
  if (buffer == nullptr || length == 0) return;
  tarv::heap::release(buffer);
}

uint8_t tarvcore_create_deposit(const uint8_t* request, uint64_t request_length, uint8_t** response,
                                uint64_t* response_length) {
  return tarv::frame::run<tarv::msg::DepositRequest>(request, request_length, response,
                                                     response_length, tarv::calc::deposit);
}

uint8_t tarvcore_create_withdraw(const uint8_t* request, uint64_t request_length,
                                 uint8_t** response, uint64_t* response_length) {
  return tarv::frame::run<tarv::msg::WithdrawRequest>(request, request_length, response,
                                                      response_length, tarv::calc::withdraw);
}

uint8_t tarvcore_create_ch_withdraw(const uint8_t* request, uint64_t request_length,
                                    uint8_t** response, uint64_t* response_length) {
  return tarv::frame::run<tarv::msg::CardHolderWithdrawRequest>(
      request, request_length, response, response_length, tarv::calc::ch_withdraw);
}

uint8_t tarvcore_create_sale(const uint8_t* request, uint64_t request_length, uint8_t** response,
                             uint64_t* response_length) {
  return tarv::frame::run<tarv::msg::SaleRequest>(request, request_length, response,
                                                  response_length, tarv::calc::sale);
}

uint8_t tarvcore_create_refund(const uint8_t* request, uint64_t request_length, uint8_t** response,
                               uint64_t* response_length) {
  return tarv::frame::run<tarv::msg::RefundRequest>(request, request_length, response,
                                                    response_length, tarv::calc::refund);
}

uint8_t tarvcore_create_rollback(const uint8_t* request, uint64_t request_length,
                                 uint8_t** response, uint64_t* response_length) {
  return tarv::frame::run<tarv::msg::RollbackRequest>(request, request_length, response,
                                                      response_length, tarv::calc::rollback);
}

uint8_t tarvcore_create_report(const uint8_t* request, uint64_t request_length, uint8_t** response,
                               uint64_t* response_length) {
  return tarv::frame::run<tarv::msg::ReportRequest>(request, request_length, response,
                                                    response_length, tarv::calc::report);
}

uint8_t tarvcore_register_order(const uint8_t* request, uint64_t request_length, uint8_t** response,
                                uint64_t* response_length) {
  return tarv::frame::run<tarv::msg::OrderRequest>(request, request_length, response,
                                                   response_length, tarv::calc::order);
}

}  // extern "C"
