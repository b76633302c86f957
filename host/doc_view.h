// Views of a binary fiscal document for people and scripts: JSON and a hex
// dump of the bytes (a receipt: host/receipt/).
#ifndef TARV_HOST_DOC_VIEW_H_
#define TARV_HOST_DOC_VIEW_H_

#include <cstdint>
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

}  // namespace tarv::host

#endif  // TARV_HOST_DOC_VIEW_H_
