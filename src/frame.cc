#include "src/frame.h"

#include <cstdio>

namespace tarv::frame {

void diagnostic(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

uint8_t answer_error(CalcError error, uint8_t** response, uint64_t* response_length) {
  ErrorText text = describe(error);
  msg::ErrorResponse message;
  message.code = text.code;
  message.message = text.message;
  return answer(message, kStatusError, response, response_length);
}

}  // namespace tarv::frame
