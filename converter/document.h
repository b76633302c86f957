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
#include <functional>
#include <span>
#include <vector>

#include "converter/bit_buffer.h"
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

// The kind of the document in `bytes`, as decode() reads it first.
std::expected<DocKind, DocError> kind_of(std::span<const uint8_t> bytes);

// A sale document (`bytes` of kind_of kSale) decoded as decode() decodes it,
// except that its lines are not kept: each is handed to `on_item` with the
// sale read so far (its header) as it is read, and lives until the next one
// is. The same failures as decode().
std::expected<SaleDoc, DocError> decode_sale(
    std::span<const uint8_t> bytes,
    const std::function<void(const SaleDoc&, const SaleItem&)>& on_item);

// A rollback document written a line at a time, as encode() writes a
// RollbackDoc of these lines: for a rollback that reads its target's lines
// one at a time and keeps none. A failure (of the header) is finish()'s.
class RollbackWriter {
 public:
  // `lines`: how many lines add() will take, for the buffer's size.
  RollbackWriter(const DocHeader& header, uint32_t target_number, size_t lines);
  void add(const RollbackLine& line);
  std::expected<std::vector<uint8_t>, DocError> finish(uint64_t amount) &&;

 private:
  BitWriter w_;
  std::expected<void, DocError> status_;
  size_t lines_ = 0;
};

}  // namespace tarv::converter

#endif  // TARV_CONVERTER_DOCUMENT_H_
