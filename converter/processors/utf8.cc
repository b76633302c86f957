#include "converter/processors/utf8.h"

namespace tarv::converter::utf8 {

void append(char32_t cp, std::string& out) {
  char buf[4];
  out.append(buf, encode(cp, buf));
}

std::string lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t run = 0;  // start of the current run of well-formed bytes
  for (size_t pos = 0; pos < bytes.size();) {
    if (static_cast<uint8_t>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    const Step step = next(bytes, pos);
    if (step.status != Status::kOk) {
      out.append(bytes.substr(run, pos - run));
      append(kReplacement, out);
      run = pos + step.length;
    }
    pos += step.length;
  }
  out.append(bytes.substr(run));
  return out;
}

}  // namespace tarv::converter::utf8
