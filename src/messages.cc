#include "src/messages.h"

namespace tarv::wire {

using msg::ItemCode;
using msg::Scan;

// A later member of a oneof replaces the earlier one; the same string member
// is replaced, the same scan_list merges.
bool OneofCodec<Scan>::merge(Scan& scan, uint32_t number, WireType wire_type, Cursor& c,
                             int budget) {
  if (!c.check_wire_type(WireType::kLengthDelimited, wire_type)) return false;
  std::string_view value;
  if (!ValueCodec<std::string_view>::merge(value, c, budget)) return false;
  scan.scan = static_cast<Scan::Case>(number);
  scan.value = value;
  return true;
}

size_t OneofCodec<Scan>::size(const Scan& scan) {
  if (scan.scan == Scan::Case::kNone) return 0;
  return occurrence_size(static_cast<uint32_t>(scan.scan), scan.value);
}

uint8_t* OneofCodec<Scan>::write_before(const Scan& scan, uint8_t* end) {
  if (scan.scan == Scan::Case::kNone) return end;
  return write_occurrence_before(static_cast<uint32_t>(scan.scan), scan.value, end);
}

bool OneofCodec<ItemCode>::merge(ItemCode& code, uint32_t number, WireType wire_type, Cursor& c,
                                 int budget) {
  if (!c.check_wire_type(WireType::kLengthDelimited, wire_type)) return false;
  auto member = static_cast<ItemCode::Case>(number);
  if (member == ItemCode::Case::kScanList) {
    if (code.item_code == ItemCode::Case::kScanList) {
      return ValueCodec<msg::ScanList>::merge(code.scan_list, c, budget);
    }
    msg::ScanList list;
    if (!ValueCodec<msg::ScanList>::merge(list, c, budget)) return false;
    code.scan_list = std::move(list);
    code.text = {};
  } else {
    std::string_view text;
    if (!ValueCodec<std::string_view>::merge(text, c, budget)) return false;
    code.text = text;
    if (code.item_code == ItemCode::Case::kScanList) code.scan_list = {};
  }
  code.item_code = member;
  return true;
}

size_t OneofCodec<ItemCode>::size(const ItemCode& code) {
  switch (code.item_code) {
    case ItemCode::Case::kNone:
      return 0;
    case ItemCode::Case::kScanList:
      return occurrence_size(5, code.scan_list);
    default:
      return occurrence_size(static_cast<uint32_t>(code.item_code), code.text);
  }
}

uint8_t* OneofCodec<ItemCode>::write_before(const ItemCode& code, uint8_t* end) {
  switch (code.item_code) {
    case ItemCode::Case::kNone:
      return end;
    case ItemCode::Case::kScanList:
      return write_occurrence_before(5, code.scan_list, end);
    default:
      return write_occurrence_before(static_cast<uint32_t>(code.item_code), code.text, end);
  }
}

}  // namespace tarv::wire
