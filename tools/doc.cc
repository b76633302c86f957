// tarv doc: a stored binary document as JSON or as a receipt.
#include <fmt/format.h>

#include <iostream>

#include "base/try.h"
#include "converter/document.h"
#include "host/doc_view.h"
#include "host/files.h"
#include "host/receipt/escpos.h"
#include "host/receipt/receipt.h"
#include "host/receipt/text.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp =
    R"(usage: tarv doc FILE [--receipt [--width 32|44|48] [--escpos] [--copy]]

Reads a binary fiscal document of any kind (sale, deposit, withdraw, refund,
rollback, report, card-holder withdrawal) and prints it as JSON: amounts in
kopecks, quantities in thousandths, local date-times.

  --receipt   print it as a receipt in Russian instead (the report as the
              Z-report); a receipt read from a file has no VAT or change:
              they are in the call's response (GET /v1/journal/N/receipt)
  --width N   the receipt's columns: 32 (58 mm paper), 44 or 48 (80 mm);
              44 unless given
  --escpos    the receipt as ESC/POS bytes for a thermal printer (CP866)
  --copy      mark the receipt as a copy

Exit status 1 with the reader's failure when the bytes are not a document.
)";

struct Options {
  std::string path;
  bool receipt = false;
  size_t width = host::kDefaultReceiptWidth;
  bool escpos = false;
  bool copy = false;
};

HostResult<int> run(const Options& o) {
  const std::string& path = o.path;
  const auto bytes = host::read_file(path);
  TARV_TRY(bytes);
  const auto doc =
      converter::decode({reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()});
  if (!doc) {
    return std::unexpected(
        Failure{Fault::Refused, fmt::format("{}: {}", path, converter::render(doc.error()))});
  }
  if (o.receipt) {
    const host::Receipt r = host::receipt_of(*doc, {}, o.copy);
    std::cout << (o.escpos ? host::receipt_escpos(r, o.width) : host::receipt_text(r, o.width));
  } else {
    std::cout << host::print(host::document_json(*doc));
  }
  return kExitOk;
}

Run define(CLI::App& app) {
  auto o = std::make_shared<Options>();
  app.add_option("FILE", o->path)->required();
  CLI::Option* receipt = app.add_flag("--receipt", o->receipt);
  app.add_option("--width", o->width)
      ->check(CLI::IsMember(
          std::vector<size_t>(host::kReceiptWidths.begin(), host::kReceiptWidths.end())))
      ->needs(receipt);
  app.add_flag("--escpos", o->escpos)->needs(receipt);
  app.add_flag("--copy", o->copy)->needs(receipt);
  return [=] { return run(*o); };
}

}  // namespace

const Command kDocCommand = {"doc", "FILE [--receipt [--width N] [--escpos] [--copy]]",
                             "print a stored binary fiscal document", kHelp, define};

}  // namespace tarv::tool
