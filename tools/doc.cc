// tarv doc: a stored binary document as JSON or as a receipt.
#include <fmt/format.h>

#include <iostream>

#include "base/try.h"
#include "converter/document.h"
#include "host/doc_view.h"
#include "host/files.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp = R"(usage: tarv doc FILE [--receipt]

Reads a binary fiscal document of any kind (sale, deposit, withdraw, refund,
rollback, report, card-holder withdrawal) and prints it as JSON: amounts in
kopecks, quantities in thousandths, local date-times.

  --receipt   print it as a receipt instead

Exit status 1 with the reader's failure when the bytes are not a document.
)";

HostResult<int> run(const std::string& path, bool as_receipt) {
  const auto bytes = host::read_file(path);
  TARV_TRY(bytes);
  const auto doc =
      converter::decode({reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()});
  if (!doc) {
    return std::unexpected(
        Failure{Fault::Refused, fmt::format("{}: {}", path, converter::render(doc.error()))});
  }
  if (as_receipt) {
    std::cout << host::receipt(*doc);
  } else {
    std::cout << host::print(host::document_json(*doc));
  }
  return kExitOk;
}

Run define(CLI::App& app) {
  auto path = std::make_shared<std::string>();
  auto as_receipt = std::make_shared<bool>(false);
  app.add_option("FILE", *path)->required();
  app.add_flag("--receipt", *as_receipt);
  return [=] { return run(*path, *as_receipt); };
}

}  // namespace

const Command kDocCommand = {"doc", "FILE [--receipt]", "print a stored binary fiscal document",
                             kHelp, define};

}  // namespace tarv::tool
