// The shared object as a host loads it: exactly the eleven exported
// symbols, the version record and the buffer release.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "include/tarv_core.h"

namespace {

const std::string kLibrary = std::string(TARV_BUILD_DIR) + "/libtarv_core.so";

const std::set<std::string> kExports = {"tarvcore_get_version",
                                        "tarvcore_free_buffer",
                                        "tarvcore_create_deposit",
                                        "tarvcore_create_withdraw",
                                        "tarvcore_create_ch_withdraw",
                                        "tarvcore_create_sale",
                                        "tarvcore_create_refund",
                                        "tarvcore_create_rollback",
                                        "tarvcore_create_report",
                                        "tarvcore_register_order",
                                        "TARV_CORE_VERSION"};

TEST(AbiTest, ExportsExactlyTheElevenSymbols) {
  std::string command = "nm -D --defined-only " + kLibrary;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_TRUE(pipe);
  std::set<std::string> names;
  std::array<char, 512> line;
  while (fgets(line.data(), line.size(), pipe.get()) != nullptr) {
    // "address type name"
    std::string text(line.data());
    std::string name = text.substr(text.rfind(' ') + 1);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    names.insert(name);
  }
  EXPECT_EQ(names, kExports);
}

// The export lists the linkers get: the version script of the shared object
// and the .def file of the Windows DLL (and of its MSVC import library).
TEST(AbiTest, LinkerListsNameExactlyTheElevenSymbols) {
  const std::string src = std::string(TARV_SOURCE_DIR) + "/src/";
  struct List {
    std::string file;
    std::string first_line;  // the line after which the names come
    std::string end_line;    // the line that ends them ("" for the end of file)
  };
  for (const List& list :
       {List{"exports.map", "global:", "local:"}, List{"tarv_core.def", "EXPORTS", ""}}) {
    std::ifstream in(src + list.file);
    ASSERT_TRUE(in) << list.file;
    std::set<std::string> names;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
      const size_t begin = line.find_first_not_of(" \t");
      if (begin == std::string::npos || line[begin] == ';') continue;
      const std::string rest = line.substr(begin);
      if (inside && rest == list.end_line) break;
      if (inside) names.insert(rest.substr(0, rest.find_first_of(" \t;")));
      if (rest == list.first_line) inside = true;
    }
    EXPECT_EQ(names, kExports) << list.file;
  }
}

TEST(AbiTest, LoadsAndReportsItsVersion) {
  void* lib = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const std::string& name : kExports) {
    EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
  }
  using GetVersion = const char* (*)(uint32_t*, uint8_t*);
  auto get_version = reinterpret_cast<GetVersion>(dlsym(lib, "tarvcore_get_version"));
  uint32_t length = 0;
  uint8_t flag = 0;
  const char* text = get_version(&length, &flag);
  EXPECT_EQ(std::string(text, length), TARV_VERSION);
  EXPECT_EQ(flag, 1);

  // A 16-byte record: the address of the same text and its length.
  const auto* record = static_cast<const tarvcore_version*>(dlsym(lib, "TARV_CORE_VERSION"));
  static_assert(sizeof(tarvcore_version) == 16);
  EXPECT_EQ(record->address, reinterpret_cast<uintptr_t>(text));
  EXPECT_EQ(record->length, length);
  dlclose(lib);
}

}  // namespace
