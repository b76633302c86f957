// A receipt as a shop hands it out, in Russian: one model built from a
// fiscal document and its call's response, and its renderings (text.h,
// escpos.h). The model is a list of rows that know nothing of the paper's
// width; the renderers lay them out.
#ifndef TARV_HOST_RECEIPT_RECEIPT_H_
#define TARV_HOST_RECEIPT_RECEIPT_H_

#include <google/protobuf/message.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "converter/records.h"

namespace tarv::host {

// One row of a receipt.
struct ReceiptRow {
  enum class Kind : uint8_t {
    kText,    // left, wrapped at the width
    kCentre,  // left, centred
    kPair,    // left and right apart, right flush to the edge
    kRule,    // a line of dashes
  };
  Kind kind = Kind::kText;
  std::string left;
  std::string right;
  bool bold = false;  // the total: printed bold where the paper can

  friend bool operator==(const ReceiptRow&, const ReceiptRow&) = default;
};

struct Receipt {
  std::vector<ReceiptRow> rows;
};

// What a sale's receipt shows beyond its binary document (the response
// carries it): VAT per rate, the change handed back, the lines' prices.
struct ReceiptExtras {
  std::map<std::string, uint64_t> vat;  // rate in decimal -> kopecks
  uint64_t change = 0;
  // Each line's price in kopecks, in the document's order; empty when the
  // response does not show every line (the receipt then shows no prices).
  std::vector<uint64_t> prices;
};

// What a call's response adds to its document's receipt: a sale's VAT,
// change and prices, a refund's prices; nothing for other responses or none.
ReceiptExtras receipt_extras(const google::protobuf::Message* response);

// The receipt of any document the journal holds (the shift-close report is
// the Z-report); `copy` marks it as a copy at its top and bottom.
Receipt receipt_of(const converter::TarvDocument& doc, const ReceiptExtras& extras = {},
                   bool copy = false);

// An order's receipt: an order has no fiscal document, so its rows come from
// the response (an OrderResponse; no rows for any other).
Receipt order_receipt_of(const google::protobuf::Message& response, bool copy = false);

}  // namespace tarv::host

#endif  // TARV_HOST_RECEIPT_RECEIPT_H_
