// Normalising an item's commodity code or marking scans into the code
// record of the binary document.
#ifndef TARV_SRC_LINES_ITEM_CODE_H_
#define TARV_SRC_LINES_ITEM_CODE_H_

#include <optional>

#include "converter/records.h"
#include "src/counters/counters.h"
#include "src/errors.h"
#include "src/messages.h"

namespace tarv::lines {

// The document's code record and which marking codes it carries: the long
// code (si_code) or only the short one (ukz_code).
struct ItemCodeRecord {
  converter::CodeBlock code;
  bool has_long = false;
  bool has_short = false;

  bool has_marking() const { return has_long || has_short; }
  counters::Marking marking() const {
    return has_long    ? counters::Marking::kSi
           : has_short ? counters::Marking::kUkz
                       : counters::Marking::kNone;
  }
};

// code_a, code_c, code_d: at most 13 ASCII digits (plain kinds 0, 3, 4).
// gtin: at most 14 digits; up to 13 is plain kind 1, 14 the GTIN form.
// scan_list: at most one mark_a, mark_b and gtin, any number of mark_c, and
// at most two marking codes in all, from which the long and the short code
// are chosen. No code is plain kind 0 without digits.
CalcResult<ItemCodeRecord> normalise_code(const std::optional<msg::ItemCode>& code);

}  // namespace tarv::lines

#endif  // TARV_SRC_LINES_ITEM_CODE_H_
