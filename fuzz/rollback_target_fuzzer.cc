// The rollback on a target document made of the input: signed by the test
// signer, so that every target passes the signature and is read line by line
// (converter::decode_sale), counted and written into the rollback's document.
// The seeds are sales whose names take 2 and 3 bytes a character in UTF-8
// (make_corpus); the export's checks and bounds are fuzz::run's.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/check.h"
#include "tests/support/fixtures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarv;
  static const fuzz::pb::SaleRequest sale = [] {
    auto r = testing::envelope<fuzz::pb::SaleRequest>();
    testing::drawer(*r.mutable_context()).set_cash_in(int64_t{1} << 40);
    return r;
  }();
  fuzz::pb::SaleResponse sold;
  sold.set_binary_doc(std::string(reinterpret_cast<const char*>(data), size));
  fuzz::run(testing::annulment(sale, sold));
  return 0;
}
