// tarv: a reference host of tarv_core and a reader of its fiscal documents.
#include <cctype>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/document.h"
#include "crypto/bign/verify.h"
#include "include/tarv_core.h"
#include "tools/cli.h"
#include "tools/demo.h"
#include "tools/doc_view.h"
#include "tools/host.h"
#include "tools/json.h"
#include "tools/state_file.h"
#include "tools/text.h"

namespace tarv::tool {
namespace {

constexpr std::string_view kToolHelp = R"(usage: tarv COMMAND [ARGS]

A reference host of the tarv_core fiscal library: it calls libtarv_core.so
through its C exports exactly as a cash register does.

commands:
  demo [--out DIR]                      run one complete shift on a demo register
  call EXPORT [FILE|-] [--state FILE]   call one export with a JSON request
  doc FILE [--receipt]                  print a stored binary fiscal document
  verify DOC SIG PUBKEY                 check a bign signature over a document

`tarv COMMAND --help` tells more. Exit status: 0 done, 1 refused (error
response, unreadable document, invalid signature, failed demo step), 2 the
request does not decode, 3 bad command line or input files, 4 the state file
is in use by another tarv.
)";

constexpr std::string_view kDemoHelp = R"(usage: tarv demo [--out DIR]

Runs one complete shift on a built-in register, through the library's C
exports, and prints every step as a person reads it: the receipt, the counters
that changed and the binary document in hex. The steps: open the shift, a
deposit, a sale with VAT and a discount paid by card and cash with change, a
sale of a marked item, a refund, a restaurant order registered and raised, the
rollback of a sale signed with the demo key, the withdrawal of the drawer and
the shift-close report.

  --out DIR   also write each step's request and response (.json and the
              encoded .pb), its binary document (.bin), the demo public key
              and the rollback's signature into DIR (created if needed)

Exits 0 only when every step behaved as expected.
)";

constexpr std::string_view kCallHelp = R"(usage: tarv call EXPORT [FILE|-] [--state FILE]

Reads a request in the Protocol Buffers JSON mapping of tarv_core.proto from
FILE (standard input when FILE is - or missing), calls the export and prints
the response as JSON, with its binary document decoded under "document".

EXPORT is one of deposit, withdraw, ch_withdraw, sale, refund, rollback,
report, order (or the export's own name, e.g. tarvcore_create_sale).

  --state FILE   act as a register that keeps its state in FILE (JSON of
                 tarv.tool.HostState): the request's context and attrs are
                 filled from it (a zero header number becomes the next
                 document number), and after a success the new cash position,
                 counters and numbering are written back by replacing the
                 file (durably: a crash leaves the old or the new state,
                 whole). After an error the file is left as it was. One tarv
                 at a time: the call holds the lock FILE.lock throughout.

Times are RFC 3339 text in UTC, e.g. "at": "2024-03-15T06:05:00Z".

Exit status: 0 success, 1 error response, 2 the request does not decode (bad
JSON, or the library's status 255), 3 bad command line, file or state, 4 the
state file is in use by another tarv.
)";

constexpr std::string_view kDocHelp = R"(usage: tarv doc FILE [--receipt]

Reads a binary fiscal document of any kind (sale, deposit, withdraw, refund,
rollback, report, card-holder withdrawal) and prints it as JSON: amounts in
kopecks, quantities in thousandths, local date-times.

  --receipt   print it as a receipt instead

Exit status 1 with the reader's failure when the bytes are not a document.
)";

constexpr std::string_view kVerifyHelp = R"(usage: tarv verify DOC SIG PUBKEY

Checks the bign signature (STB 34.101.45, bign-curve256v1 with belt-hash) in
SIG over the bytes of DOC under the public key in PUBKEY, as the rollback
does. SIG (48 bytes) and PUBKEY (64 bytes, x then y, little-endian) are files
of raw bytes or of hexadecimal text.

Exit status: 0 valid, 1 invalid.
)";

// The arguments of one command: positionals and --options.
struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // name -> value ("" for flags)
};

Result<Arguments> parse_arguments(std::string_view command, int argc, char** argv,
                                  const std::set<std::string>& with_value,
                                  const std::set<std::string>& flags) {
  Arguments a;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.size() > 2 && arg.starts_with("--")) {
      if (with_value.contains(arg)) {
        if (i + 1 >= argc) {
          return std::unexpected(Failure{kExitUsage, fmt("{} needs a value", arg)});
        }
        a.options[arg] = argv[++i];
      } else if (flags.contains(arg) || arg == "--help") {
        a.options[arg] = "";
      } else {
        return std::unexpected(
            Failure{kExitUsage, fmt("unknown option {} (see tarv {} --help)", arg, command)});
      }
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

Result<void> expect_count(const Arguments& a, std::string_view command, size_t least, size_t most) {
  if (a.positional.size() < least || a.positional.size() > most) {
    return std::unexpected(
        Failure{kExitUsage, fmt("wrong arguments (see tarv {} --help)", command)});
  }
  return {};
}

std::string_view source_name(std::string_view path) { return path == "-" ? "<stdin>" : path; }

// "document": the decoded binary document, or the reader's failure.
void document_field(JsonWriter& w, const std::string& binary_doc) {
  const auto doc =
      converter::decode({reinterpret_cast<const uint8_t*>(binary_doc.data()), binary_doc.size()});
  if (doc) {
    w.key("document").raw(document_json(*doc));
  } else {
    w.field("document_error", converter::render(doc.error()));
  }
}

Result<int> command_call(const Arguments& a) {
  if (auto ok = expect_count(a, "call", 1, 2); !ok) return std::unexpected(ok.error());
  const Export* e = find_export(a.positional[0]);
  if (e == nullptr) {
    return std::unexpected(Failure{
        kExitUsage, fmt("unknown export '{}' (one of {})", a.positional[0], export_names())});
  }
  const std::string path = a.positional.size() > 1 ? a.positional[1] : "-";
  const auto text = read_file(path);
  if (!text) return std::unexpected(text.error());
  const auto request = new_message(e->request);
  if (auto ok = parse_json(*text, *request, source_name(path), kExitUndecodable); !ok) {
    return std::unexpected(ok.error());
  }

  // The state file stays locked until the new state is written.
  std::optional<StateFile> state_file;
  std::optional<Register> host;
  if (const auto state_path = a.options.find("--state"); state_path != a.options.end()) {
    auto locked = StateFile::lock(state_path->second);
    if (!locked) return std::unexpected(locked.error());
    state_file.emplace(std::move(*locked));
    const auto state_text = state_file->read();
    if (!state_text) return std::unexpected(state_text.error());
    HostState state;
    if (auto ok = parse_json(*state_text, state, "state file " + state_file->path(), kExitUsage);
        !ok) {
      return std::unexpected(ok.error());
    }
    host.emplace(std::move(state));
    host->fill(*e, *request);
  }

  const Outcome outcome = call(*e, *request);
  if (outcome.status != TARV_STATUS_UNDECODABLE && !outcome.response) {
    return std::unexpected(
        Failure{kExitRefused, fmt("{} answered status {} with a response that does not parse",
                                  e->symbol, outcome.status)});
  }
  if (host && outcome.status == TARV_STATUS_OK) {
    host->take(*e, *request, outcome);
    if (auto ok = state_file->replace(to_json(host->state())); !ok) {
      return std::unexpected(ok.error());
    }
  }

  JsonWriter w;
  w.begin_object().field("export", e->symbol).field("status", outcome.status);
  if (outcome.response) w.key("response").raw(to_json(*outcome.response));
  if (!outcome.binary_doc.empty()) document_field(w, outcome.binary_doc);
  w.end_object();
  std::cout << w.str() << '\n';

  switch (outcome.status) {
    case TARV_STATUS_OK:
      return kExitOk;
    case TARV_STATUS_ERROR:
      return kExitRefused;
    default:
      return kExitUndecodable;
  }
}

Result<int> command_doc(const Arguments& a) {
  if (auto ok = expect_count(a, "doc", 1, 1); !ok) return std::unexpected(ok.error());
  const auto bytes = read_file(a.positional[0]);
  if (!bytes) return std::unexpected(bytes.error());
  const auto doc =
      converter::decode({reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()});
  if (!doc) {
    return std::unexpected(
        Failure{kExitRefused, fmt("{}: {}", a.positional[0], converter::render(doc.error()))});
  }
  if (a.options.contains("--receipt")) {
    std::cout << receipt(*doc);
  } else {
    std::cout << document_json(*doc) << '\n';
  }
  return kExitOk;
}

// The bytes of a key or signature file: hexadecimal text when it is all hex
// digits (whitespace aside), raw bytes otherwise.
Result<std::string> read_key_file(const std::string& path) {
  auto content = read_file(path);
  if (!content) return content;
  std::string hex;
  for (const char c : *content) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      hex += c;
    } else if (!std::isspace(static_cast<unsigned char>(c))) {
      return content;
    }
  }
  if (hex.empty() || hex.size() % 2 != 0) return content;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

Result<int> command_verify(const Arguments& a) {
  if (auto ok = expect_count(a, "verify", 3, 3); !ok) return std::unexpected(ok.error());
  const auto doc = read_file(a.positional[0]);
  if (!doc) return std::unexpected(doc.error());
  const auto signature = read_key_file(a.positional[1]);
  if (!signature) return std::unexpected(signature.error());
  const auto key = read_key_file(a.positional[2]);
  if (!key) return std::unexpected(key.error());
  auto bytes = [](const std::string& s) {
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  if (signature->size() != 48 || key->size() != 64) {
    std::cout << fmt(
        "invalid: a bign signature takes 48 bytes and a public key 64; got {} and {}\n",
        signature->size(), key->size());
    return kExitRefused;
  }
  if (!crypto::bign_verify(bytes(*doc), bytes(*signature), bytes(*key))) {
    std::cout << fmt("invalid: the signature does not match {} under this key\n", a.positional[0]);
    return kExitRefused;
  }
  std::cout << fmt("valid: bign signature over {} ({} bytes)\n", a.positional[0], doc->size());
  return kExitOk;
}

Result<int> run(int argc, char** argv) {
  if (argc < 2) return std::unexpected(Failure{kExitUsage, "no command (see tarv --help)"});
  const std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kToolHelp;
    return kExitOk;
  }
  struct Command {
    std::string_view help;
    std::set<std::string> with_value, flags;
    Result<int> (*run)(const Arguments&);
  };
  static const std::map<std::string_view, Command> commands = {
      {"demo",
       {kDemoHelp,
        {"--out"},
        {},
        [](const Arguments& a) -> Result<int> {
          if (auto ok = expect_count(a, "demo", 0, 0); !ok) return std::unexpected(ok.error());
          const auto out = a.options.find("--out");
          return run_demo(out == a.options.end() ? std::nullopt
                                                 : std::optional<std::string>(out->second));
        }}},
      {"call", {kCallHelp, {"--state"}, {}, command_call}},
      {"doc", {kDocHelp, {}, {"--receipt"}, command_doc}},
      {"verify", {kVerifyHelp, {}, {}, command_verify}},
  };
  const auto found = commands.find(command);
  if (found == commands.end()) {
    return std::unexpected(
        Failure{kExitUsage, fmt("unknown command '{}' (see tarv --help)", command)});
  }
  const Command& c = found->second;
  const auto arguments = parse_arguments(command, argc - 2, argv + 2, c.with_value, c.flags);
  if (!arguments) return std::unexpected(arguments.error());
  if (arguments->options.contains("--help")) {
    std::cout << c.help;
    return kExitOk;
  }
  return c.run(*arguments);
}

}  // namespace
}  // namespace tarv::tool

int main(int argc, char** argv) {
  const auto result = tarv::tool::run(argc, argv);
  std::cout.flush();
  if (!result) {
    std::cerr << "tarv: " << result.error().message << '\n';
    return result.error().exit_code;
  }
  return *result;
}
