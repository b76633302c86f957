#include "src/frame.h"

namespace tarv::frame {

uint8_t answer_error(CalcError error, uint8_t** response, uint64_t* response_length) {
  ErrorText text = describe(error);
  msg::ErrorResponse message;
  message.code = text.code;
  message.message = text.message;
  return answer(message, TARV_STATUS_ERROR, response, response_length);
}

}  // namespace tarv::frame
