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
//   size_cache.h  a walked field's size, kept from sizing to writing;
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
//
// The contract of a decoded message (what a caller of decode() and of the
// encoder may rely on, and must keep):
//   1. Held or left. A repeated field (Repeated) or a map (RequestMap,
//      UpdatedMap) is held, its elements decoded into memory, while the
//      request's held elements together fit the hold budget (kHoldAllowance,
//      768 KiB, plus the request's own size); past it the field is left in
//      the request: decoding checks every occurrence and keeps only the way
//      back to them (FieldWay), and every walk decodes them again, one at a
//      time, under a budget of the bytes it walks: the allowance is the
//      request's decode's alone, whose held fields stay held meanwhile. The
//      way a field goes depends on sizes, never on meaning: both
//      ways give the same answer, byte for byte (tests force either way for
//      every field through holding.h and compare).
//   2. The request outlives the message. Text fields (string_view), the ways
//      back and every walk point into the request's bytes: a message lives
//      within the call that decoded it and owns none of them.
//   3. Visits are idempotent. A non-const for_each visits a held element
//      itself and a left one as a copy decoded for that visit alone, so what
//      a visit changes may last or not: a visit must leave an element so
//      that the next walk reads it the same. A const for_each visits copies
//      of held elements too: nothing it does lasts.
//   4. Size, then write. The encoder sizes a message (encoded_size) and then
//      writes it (write_message) into exactly that many bytes. A walked
//      field keeps its size from one to the other (SizeCache), so it must
//      not change between them. The encoder walks what is left in the
//      request and nobody wrote: such a repeated field is decoded an element
//      at a time once to size it and once more to write it, and a map left
//      in the request (updated or not) is visited in key order for each,
//      under the same rules as any walk (item 1) and within the call's
//      budget (src/budget.h). What a response shows of receipt lines left in
//      the request is made by the calculator that walks them anyway
//      (write_left) and copied whole, so they are not decoded again.
//   5. Work in proportion. Each walk reads a left field once more; a walk of
//      a map left in the request reads each key once and sorts an index of
//      places; nothing compares or searches by reading again an element whose
//      size the request chooses (docs/memory.md has each container's cost).
// Verify builds (base/verify.h: Debug and sanitizer builds) check what can be
// checked of it: a size kept by sizing is the field's as it is written, each
// write fills exactly what was sized, the hold budget is never given back
// beyond what was taken, every field entered while decoding is left.
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
