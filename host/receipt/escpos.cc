#include "host/receipt/escpos.h"

#include "base/text/utf8.h"

namespace tarv::host {
namespace {

constexpr char kEsc = 0x1b;
constexpr char kGs = 0x1d;

char cp866(char32_t c) {
  if (c < 0x80) return static_cast<char>(c);
  if (c >= U'А' && c <= U'п') return static_cast<char>(0x80 + (c - U'А'));
  if (c >= U'р' && c <= U'я') return static_cast<char>(0xE0 + (c - U'р'));
  switch (c) {
    case U'Ё':
      return static_cast<char>(0xF0);
    case U'ё':
      return static_cast<char>(0xF1);
    case U'№':
      return static_cast<char>(0xFC);
    case U'«':
    case U'»':
      return '"';
    default:
      return '?';
  }
}

}  // namespace

std::string to_cp866(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    const text::utf8::Step step = text::utf8::next(utf8, at);
    out += step.status == text::utf8::Status::kOk ? cp866(step.code_point) : '?';
    at += step.length;
  }
  return out;
}

std::string receipt_escpos(const Receipt& receipt, size_t width) {
  std::string out = {kEsc, '@', kEsc, 't', kEscPosCodePageCp866};
  for (const ReceiptRow& row : receipt.rows) {
    if (row.bold) out += {kEsc, 'E', 1};
    for (const std::string& line : receipt_lines(row, width)) {
      out += to_cp866(line);
      out += '\n';
    }
    if (row.bold) out += {kEsc, 'E', 0};
  }
  // Feed past the cutter (4 lines) and cut the paper, leaving a point uncut.
  out += {kGs, 'V', 66, 4};
  return out;
}

}  // namespace tarv::host
