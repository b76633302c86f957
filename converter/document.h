// Encoding and decoding of the binary fiscal document (records.h).
//
// encode() writes a TarvDocument bit by bit, most significant bit first;
// decode() parses the bytes back. A decoded document equals the encoded one
// except that texts come back as written (converted to windows-1251, cut to
// their field, trailing 0x00 removed), code digits come back without leading
// zeros, a GTIN of at most 13 digits without marking codes comes back as a
// plain code of kind 1, and a tp_tax_number of 0 comes back absent.
#ifndef TARV_CONVERTER_DOCUMENT_H_
#define TARV_CONVERTER_DOCUMENT_H_

#include <cstdint>
#include <expected>
#include <span>
#include <vector>

#include "converter/doc_error.h"
#include "converter/records.h"

namespace tarv::converter {

std::expected<std::vector<uint8_t>, DocError> encode(const TarvDocument& doc);

// The writer's verdict on one line of a sale or a refund. It checks each line
// alone, wherever it stands, so a receipt is written exactly when each of its
// lines is and the receipt without its lines is.
std::expected<void, DocError> encodable(const SaleItem& item);
std::expected<void, DocError> encodable(const RefundItem& item);

// Never reads past `bytes`, whatever they hold.
std::expected<TarvDocument, DocError> decode(std::span<const uint8_t> bytes);

}  // namespace tarv::converter

#endif  // TARV_CONVERTER_DOCUMENT_H_
