// Views of a binary fiscal document for people and scripts: JSON, a printed
// receipt, and a hex dump of the bytes.
#ifndef TARV_HOST_DOC_VIEW_H_
#define TARV_HOST_DOC_VIEW_H_

#include <google/protobuf/message.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "converter/records.h"
#include "host/json.h"

namespace tarv::host {

// "Sale", "Deposit", ... as the document's kind is called.
std::string_view document_kind_name(const converter::TarvDocument& doc);

// The document as indented JSON: amounts in kopecks, quantities in
// thousandths, date-times as local "YYYY-MM-DDTHH:MM:SS".
Json document_json(const converter::TarvDocument& doc);

// What a sale's receipt shows beyond its binary document (the response
// carries it): VAT per rate and the change handed back.
struct ReceiptExtras {
  std::map<std::string, uint64_t> vat;  // rate in decimal -> kopecks
  uint64_t change = 0;
};

// What a call's response adds to its document's receipt: a sale's VAT and
// change; nothing for other responses or none.
ReceiptExtras receipt_extras(const google::protobuf::Message* response);

// The document as a printed receipt, 44 columns, one line per row.
std::string receipt(const converter::TarvDocument& doc, const ReceiptExtras& extras = {});

// An order's block, as a receipt shows it: an order has no fiscal document,
// so its rows come from the response (an OrderResponse; "" for any other).
std::string order_receipt(const google::protobuf::Message& response);

// `text` with `indent` before each of its lines.
std::string indented(std::string_view text, std::string_view indent);

// "2024-03-15 09:00:00".
std::string date_time(const converter::DateTime& t);

// Kopecks as "12.40" (with "-" when negative).
std::string money(int64_t kopecks);
// Thousandths as "0.350".
std::string thousandths(int64_t value);

// 32 bytes a line with the offset, a run of equal lines shown once and "*".
std::string hex_dump(std::string_view bytes, std::string_view indent);

// A receipt row: `left` and `right` apart to fill the width (at least one
// space between), counting characters, not bytes.
std::string row(std::string_view left, std::string_view right);
inline constexpr size_t kReceiptWidth = 44;

}  // namespace tarv::host

#endif  // TARV_HOST_DOC_VIEW_H_
