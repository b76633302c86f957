#include "host/receipt/text.h"

#include <algorithm>

#include "base/text/utf8.h"

namespace tarv::host {
namespace {

namespace utf8 = text::utf8;

// `text` cut into lines of at most `width` characters, at a space where one
// is in the line's second half, else mid-word; the lines after the first keep
// the first's indent. At least one line.
std::vector<std::string> wrapped(std::string_view text, size_t width) {
  std::vector<std::string> lines;
  const size_t indent = std::min(text.find_first_not_of(' '), width / 2);
  std::string lead;
  do {
    const size_t room = std::max<size_t>(width - lead.size(), 1);
    size_t take = utf8::cut_length(text, room);  // bytes of at most `room` characters
    if (take < text.size()) {
      const size_t space = text.substr(0, take + 1).rfind(' ');
      if (space != std::string_view::npos && utf8::char_count(text.substr(0, space)) > room / 2) {
        take = space;
      }
    }
    lines.push_back(lead + std::string(text.substr(0, take)));
    text.remove_prefix(take);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    lead.assign(indent, ' ');
  } while (!text.empty());
  return lines;
}

std::string spaces(size_t n) { return std::string(n, ' '); }

}  // namespace

std::optional<size_t> receipt_width(std::string_view text) {
  for (const size_t w : kReceiptWidths) {
    if (text == std::to_string(w)) return w;
  }
  return std::nullopt;
}

std::vector<std::string> receipt_lines(const ReceiptRow& row, size_t width) {
  using Kind = ReceiptRow::Kind;
  switch (row.kind) {
    case Kind::kRule:
      return {std::string(width, '-')};
    case Kind::kCentre: {
      std::vector<std::string> lines = wrapped(row.left, width);
      for (std::string& l : lines) l = spaces((width - utf8::char_count(l)) / 2) + l;
      return lines;
    }
    case Kind::kPair: {
      // The right side never wraps: an amount is read whole. When both do not
      // fit, the left takes lines of its own and the right goes under it.
      const std::string_view right =
          std::string_view(row.right).substr(0, utf8::cut_length(row.right, width));
      const size_t r = utf8::char_count(right);
      const size_t l = utf8::char_count(row.left);
      if (l + 1 + r <= width) return {row.left + spaces(width - l - r) + std::string(right)};
      std::vector<std::string> lines = wrapped(row.left, width);
      const size_t last = utf8::char_count(lines.back());
      if (last + 1 + r <= width) {
        lines.back() += spaces(width - last - r) + std::string(right);
      } else {
        lines.push_back(spaces(width - r) + std::string(right));
      }
      return lines;
    }
    case Kind::kText:
      break;
  }
  return wrapped(row.left, width);
}

std::string receipt_text(const Receipt& receipt, size_t width) {
  std::string out;
  for (const ReceiptRow& row : receipt.rows) {
    for (const std::string& line : receipt_lines(row, width)) {
      out += line;
      out += '\n';
    }
  }
  return out;
}

}  // namespace tarv::host
