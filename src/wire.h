// The Protocol Buffers wire codec of the requests and responses.
//
// Messages are plain structs (messages.h); each describes its fields once, in
// a MessageInfo table of (number, name, member) entries in ascending field
// number. Decoding and encoding are generic over those tables. The codec's
// parts, in src/wire/:
//   table.h       the field tables and for_each_field, the walk over them;
//   cursor.h      the position in the request buffer, primitive reads, errors;
//   holding.h     how a decode holds (tests may force every field either way);
//   values.h      one value of each type: its wire type, reading, default;
//   field_way.h   the way back to a field left in the request;
//   repeated.h    Repeated<T>: repeated fields left in the request, walked;
//   request_map.h RequestMap<V>: a map left in the request, walked by key;
//   decode.h      decode(): a message's fields read by its table;
//   encode.h      encoded_size(), write_message(): canonical bytes, exact size.
//
// Decoding is strict and reports failures the way hosts see them on standard
// error: a description and the (message, field) pairs that were being decoded,
// innermost first. Its rules:
//   - the whole buffer is one cursor; a nested message's declared length only
//     bounds the loop over its fields, so a field that runs past it is caught
//     after it was read ("delimited length exceeded");
//   - known fields must arrive with their own wire type;
//   - unknown fields of every wire type (groups included) are skipped;
//   - the last scalar wins, repeated fields append, a repeated message merges;
//   - uint32 and int32 keep the low 32 bits of the varint;
//   - strings (map keys too) must be UTF-8;
//   - messages, map entries and groups nest at most 100 deep.
//
// Encoding is canonical: fields in ascending number; singular scalars only
// when not 0, strings and bytes only when not empty; fields with presence
// whenever present; map entries without a default key or a default value;
// nothing unknown. encoded_size() is exact, so buffers are sized exactly, and
// writing fills a buffer from its end, each message before its length.
#ifndef TARV_SRC_WIRE_H_
#define TARV_SRC_WIRE_H_

#include "src/wire/cursor.h"
#include "src/wire/decode.h"
#include "src/wire/encode.h"
#include "src/wire/field_way.h"
#include "src/wire/holding.h"
#include "src/wire/repeated.h"
#include "src/wire/request_map.h"
#include "src/wire/table.h"
#include "src/wire/values.h"

#endif  // TARV_SRC_WIRE_H_
