// A receipt as the bytes an ESC/POS thermal printer takes: initialise
// (ESC @), select code page 17, PC866 (ESC t 17, Cyrillic on Epson-compatible
// printers), the text in CP866, the total bold (ESC E 1 .. ESC E 0), feed and
// cut (GS V 66 n).
#ifndef TARV_HOST_RECEIPT_ESCPOS_H_
#define TARV_HOST_RECEIPT_ESCPOS_H_

#include <string>
#include <string_view>

#include "host/receipt/receipt.h"
#include "host/receipt/text.h"

namespace tarv::host {

// ESC t's number of the code page the bytes are in.
inline constexpr char kEscPosCodePageCp866 = 17;

// UTF-8 text in CP866: Cyrillic (with Ё, ё and №) and ASCII as they are,
// quotes «» as ", any other character as '?'.
std::string to_cp866(std::string_view utf8);

std::string receipt_escpos(const Receipt& receipt, size_t width = kDefaultReceiptWidth);

}  // namespace tarv::host

#endif  // TARV_HOST_RECEIPT_ESCPOS_H_
