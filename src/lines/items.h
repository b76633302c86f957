// The line procedure every receipt line (sale, refund, order) passes:
// strings cut to their limits, range checks, the line total in fixed point,
// the code record, the marked-quantity rule and the section; then the VAT of
// a line, the line totals of a document and the document total.
#ifndef TARV_SRC_LINES_ITEMS_H_
#define TARV_SRC_LINES_ITEMS_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "base/text/utf8.h"
#include "base/try.h"
#include "converter/document.h"
#include "converter/layout.h"
#include "src/errors.h"
#include "src/limits.h"
#include "src/lines/item_code.h"
#include "src/messages.h"

namespace tarv::lines {

// The VAT of a line at `rate`: tax1, the VAT in the price of one unit after
// modifiers (rates 10, 20 and 25 only), and the line's VAT.
struct LineVat {
  std::optional<uint64_t> tax1;
  uint64_t vat = 0;
};
LineVat line_vat(uint64_t total, uint32_t quantity, uint32_t rate);

// One receipt line after the line procedure.
struct LineResult {
  uint64_t base = 0;      // round(price × quantity / 1000), halves up
  uint64_t discount = 0;  // the line discount, 0 when absent
  uint64_t markup = 0;    // the line markup, 0 when absent
  uint64_t total = 0;     // base + markup − discount
  ItemCodeRecord code;
  uint8_t section = 0;  // 1..255, or 0 without a valid section
  uint32_t quantity = 0;
  std::optional<LineVat> vat;  // with the rules' VAT, for a line with a rate
};

struct LineRules {
  // Sale and order: the VAT rate must be 0, 10, 20 or 25, and a line's
  // calculations carry tax1 of its rate.
  bool check_tax_rate = false;
};

// Runs the line procedure on `item` in place: cuts its strings, drops an
// invalid section, and fills its calculations. It may run again on a line it
// has run on, with the same outcome.
CalcResult<LineResult> check_line(msg::Item& item, LineRules rules);

// Line totals summed over a document, each checked for 64-bit overflow
// while adding and against the largest sum at the end.
struct ItemsTotals {
  uint64_t sum = 0;
  uint64_t discounts = 0;
  uint64_t markups = 0;
  bool modifier_groups = false;  // a line's discount or markup names a group

  CalcResult<void> add(const LineResult& line);
  CalcResult<void> check_limits() const;
};

// A document total: items sum + markup − discount, computed exactly. Below
// zero or past 64 bits is an items-arithmetic error; above the largest sum,
// a sum overflow.
CalcResult<uint64_t> document_total(uint64_t items_sum, uint64_t markup, uint64_t discount);

// Walks a receipt's lines in order, one decoded line at a time: the line
// procedure on each, the totals, the marking, section and line-modifier
// counters of `delta`, then `on_line(item, std::move(line))`: the caller's
// VAT and document record. Held lines are left as the line procedure leaves
// them, which is how a response reads them.
template <class OnLine>
CalcResult<ItemsTotals> walk_lines(msg::Repeated<msg::Item>& items, LineRules rules,
                                   msg::DocumentAttributes& delta, OnLine&& on_line) {
  ItemsTotals totals;
  counters::CellsByNumber sections(delta.sections);
  auto visit = [&](msg::Item& item) -> CalcResult<void> {
    auto line = check_line(item, rules);
    TARV_TRY(line);
    TARV_TRY(totals.add(*line));
    counters::count_item_marking(delta, line->code.marking(), line->total, line->quantity);
    counters::count_item_section(
        sections, line->section ? std::optional<uint32_t>(line->section) : std::nullopt,
        line->total, line->quantity);
    // The line-modifier counters are there for every receipt of lines; their
    // groups are counted once the receipt's payments passed
    // (count_modifier_groups).
    counters::count_item_modifiers(delta, std::nullopt, std::nullopt);
    totals.modifier_groups = totals.modifier_groups || (item.discount && item.discount->group) ||
                             (item.markup && item.markup->group);
    on_line(item, std::move(*line));
    return {};
  };
  CalcResult<void> walked;
  items.for_each([&](msg::Item& item) { return (walked = visit(item)).has_value(); });
  TARV_TRY(walked);
  TARV_TRY(totals.check_limits());
  return totals;
}

// The group counters of the lines' discounts and markups in `delta`, each
// group as the line procedure cuts it: counted once a receipt's payments
// passed, so that a receipt refused before (not paid, say) makes no node for
// a request of many groups.
inline void count_modifier_groups(const msg::Repeated<msg::Item>& items,
                                  msg::DocumentAttributes& delta) {
  items.for_each([&](const msg::Item& item) {
    std::optional<msg::Modifier> discount = item.discount;
    std::optional<msg::Modifier> markup = item.markup;
    for (auto* modifier : {&discount, &markup}) {
      if (*modifier && (*modifier)->group) {
        text::utf8::cut_chars(*(*modifier)->group, limits::kModifierGroupChars);
      }
    }
    counters::count_item_modifiers(delta, discount, markup);
    return true;
  });
}

// What a line left in the request takes in a response once the line
// procedure passed it, its key aside: the walk that checks the lines sums it,
// so that write_left_lines sizes its buffer once.
inline size_t left_bytes(const msg::Item& item) { return wire::value_size(item); }

// The lines left in the request as a response shows them, once every line
// passed walk_lines with `rules` (`left_bytes`, their left_bytes() summed):
// each is decoded once more, passes the line procedure again and is encoded
// as occurrence `number` of the document's lines (wire::write_left), then
// `on_line(item, std::move(line))`. Held lines were shaped in place by the
// walk.
template <class OnLine>
void write_left_lines(msg::Repeated<msg::Item>& items, uint32_t number, LineRules rules,
                      size_t left_bytes, OnLine&& on_line) {
  wire::write_left(items, number, left_bytes, [&](msg::Item& item) {
    on_line(item, std::move(*check_line(item, rules)));
    return true;
  });
}

// The document records of a receipt's lines, `make(item, std::move(line))`
// for each line in order. Held lines give theirs as walk_lines passes them
// (add). A line left in the request gives its record to add for the
// writer's verdict alone (converter::encodable; the record is not kept), and
// once more when the call is known to pass (take, which also writes the lines
// for the response: write_left_lines). So a receipt of many lines holds no
// record before its outcome is known, and a line left in the request is
// decoded twice after the request is: by walk_lines and by take. `make`
// copies what it takes of the item: a held line is read again by the
// response.
template <class Record, class Make>
class LineRecords {
 public:
  // `number`: the lines' field in the document.
  LineRecords(const msg::Repeated<msg::Item>& items, uint32_t number, LineRules rules, Make make)
      : held_(items.all_held()), number_(number), rules_(rules), make_(make) {
    if (held_) records_.reserve(items.size());
  }

  void add(const msg::Item& item, LineResult&& line) {
    if (held_) {
      records_.push_back(make_(item, std::move(line)));
      return;
    }
    left_bytes_ += left_bytes(item);
    if (writable_) writable_ = converter::encodable(make_(item, std::move(line))).has_value();
  }

  // The bytes of a line's fixed run in the document: the least it takes there.
  static constexpr size_t kDocumentLineBytes =
      (std::is_same_v<Record, converter::SaleItem> ? converter::layout::kSaleItemBits
                                                   : converter::layout::kRefundItemBits) /
      8;

  bool held() const { return held_; }
  // Lines left in the request: what they take in a response, their keys
  // aside, as far as add() has summed them.
  size_t left_response_bytes() const { return left_bytes_; }
  // Lines left in the request: whether the writer takes each line added so
  // far. (Held lines are judged with their whole document.)
  bool writable() const { return writable_; }

  // Every line passed walk_lines.
  std::vector<Record> take(msg::Repeated<msg::Item>& items) {
    if (!held_) {
      records_.reserve(items.size());
      write_left_lines(items, number_, rules_, left_bytes_,
                       [&](const msg::Item& item, LineResult&& line) {
                         records_.push_back(make_(item, std::move(line)));
                       });
    }
    return std::move(records_);
  }

 private:
  bool held_;
  uint32_t number_;
  LineRules rules_;
  Make make_;
  std::vector<Record> records_;
  size_t left_bytes_ = 0;  // the lines left in the request, in a response
  bool writable_ = true;
};
template <class Make>
LineRecords(const msg::Repeated<msg::Item>&, uint32_t, LineRules, Make)
    -> LineRecords<std::invoke_result_t<Make&, const msg::Item&, LineResult&&>, Make>;

}  // namespace tarv::lines

#endif  // TARV_SRC_LINES_ITEMS_H_
