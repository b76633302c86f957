// tarv verify: a bign signature over a document.
#include "crypto/bign/verify.h"

#include <fmt/format.h>

#include <array>
#include <iostream>
#include <span>

#include "base/text/hex.h"
#include "base/try.h"
#include "host/files.h"
#include "tools/commands.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kHelp = R"(usage: tarv verify DOC SIG PUBKEY

Checks the bign signature (STB 34.101.45, bign-curve256v1 with belt-hash) in
SIG over the bytes of DOC under the public key in PUBKEY, as the rollback
does. SIG (48 bytes) and PUBKEY (64 bytes, x then y, little-endian) are files
of raw bytes or of hexadecimal text.

Exit status: 0 valid, 1 invalid.
)";

// The bytes of a key or signature file: hexadecimal text when it is all hex
// digits (whitespace aside), raw bytes otherwise.
HostResult<std::string> read_key_file(const std::string& path) {
  auto content = host::read_file(path);
  if (!content) return content;
  const auto bytes = text::from_hex(*content);
  if (!bytes || bytes->empty()) return content;
  return std::string(bytes->begin(), bytes->end());
}

HostResult<int> run(const std::string& doc_path, const std::string& signature_path,
                    const std::string& key_path) {
  const auto doc = host::read_file(doc_path);
  TARV_TRY(doc);
  const auto signature = read_key_file(signature_path);
  TARV_TRY(signature);
  const auto key = read_key_file(key_path);
  TARV_TRY(key);
  auto bytes = [](const std::string& s) {
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  if (signature->size() != 48 || key->size() != 64) {
    std::cout << fmt::format(
        "invalid: a bign signature takes 48 bytes and a public key 64; got {} and {}\n",
        signature->size(), key->size());
    return kExitRefused;
  }
  if (!crypto::bign_verify(bytes(*doc), bytes(*signature), bytes(*key))) {
    std::cout << fmt::format("invalid: the signature does not match {} under this key\n", doc_path);
    return kExitRefused;
  }
  std::cout << fmt::format("valid: bign signature over {} ({} bytes)\n", doc_path, doc->size());
  return kExitOk;
}

Run define(CLI::App& app) {
  auto paths = std::make_shared<std::array<std::string, 3>>();
  app.add_option("DOC", (*paths)[0])->required();
  app.add_option("SIG", (*paths)[1])->required();
  app.add_option("PUBKEY", (*paths)[2])->required();
  return [paths] { return run((*paths)[0], (*paths)[1], (*paths)[2]); };
}

}  // namespace

const Command kVerifyCommand = {"verify", "DOC SIG PUBKEY",
                                "check a bign signature over a document", kHelp, define};

}  // namespace tarv::tool
