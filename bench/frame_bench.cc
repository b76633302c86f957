// The wire codec of the call frame beside libprotobuf's own parse and
// serialize of the same messages: a 20-line sale request in, its response
// out.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "src/messages.h"
#include "src/wire.h"
#include "tarv_core.pb.h"
#include "tests/support/fixtures.h"

namespace {

namespace pb = ::tarv::core;

pb::SaleRequest sale_request(int lines) {
  auto r = tarv::testing::envelope<pb::SaleRequest>();
  tarv::testing::drawer(*r.mutable_context()).set_cash_in(100000);
  auto* sale = r.mutable_doc();
  for (int i = 0; i < lines; ++i) {
    auto* item = sale->add_items();
    item->set_name("Товар номер " + std::to_string(i));
    item->set_price(1999 + static_cast<uint64_t>(i));
    item->set_quantity(1000);
    item->set_tax_rate(20);
    item->mutable_section()->set_code(1 + static_cast<uint32_t>(i % 3));
    item->mutable_code()->set_code_a("4810000000" + std::to_string(100 + i));
  }
  auto* pay = sale->add_payments();
  pay->set_type_id(0);
  pay->set_sum(100000);
  auto* attrs = r.mutable_attrs();
  attrs->set_count(10);
  attrs->set_sum(500000);
  (*attrs->mutable_sections())["1"].set_sum(1000);
  (*attrs->mutable_taxes())["20"].set_sum(100);
  return r;
}

pb::SaleResponse sale_response(const pb::SaleRequest& request) {
  pb::SaleResponse r;
  (*r.mutable_shift_attrs())["BYN"].set_cash_in(140000);
  *r.mutable_attrs() = request.attrs();
  *r.mutable_doc() = request.doc();
  for (auto& item : *r.mutable_doc()->mutable_items()) {
    item.mutable_calculations()->set_sum(item.price());
    item.mutable_calculations()->set_tax1(333);
  }
  r.set_binary_doc(std::string(116 + 80 * request.doc().items_size(), '\x5A'));
  r.set_sum(40000);
  return r;
}

std::string bytes_of(const google::protobuf::Message& m) { return m.SerializeAsString(); }

void BM_Frame_LibProtobuf(benchmark::State& state) {
  const std::string in = bytes_of(sale_request(static_cast<int>(state.range(0))));
  pb::SaleRequest request;
  request.ParseFromString(in);
  const pb::SaleResponse response = sale_response(request);
  std::vector<uint8_t> out;
  for (auto _ : state) {
    pb::SaleRequest parsed;
    benchmark::DoNotOptimize(parsed.ParseFromArray(in.data(), static_cast<int>(in.size())));
    out.resize(response.ByteSizeLong());
    benchmark::DoNotOptimize(response.SerializeToArray(out.data(), static_cast<int>(out.size())));
  }
}
BENCHMARK(BM_Frame_LibProtobuf)->Arg(20);

void BM_Frame_Wire(benchmark::State& state) {
  const std::string in = bytes_of(sale_request(static_cast<int>(state.range(0))));
  pb::SaleRequest pb_request;
  pb_request.ParseFromString(in);
  const std::string out_bytes = bytes_of(sale_response(pb_request));
  tarv::msg::DocumentResponse<tarv::msg::DocumentAttributes, tarv::msg::Sale> response;
  tarv::wire::DecodeError error;
  const auto* data = reinterpret_cast<const uint8_t*>(out_bytes.data());
  if (!tarv::wire::decode(data, out_bytes.size(), response, error)) state.SkipWithError("decode");
  std::vector<uint8_t> out;
  for (auto _ : state) {
    tarv::msg::SaleRequest parsed;
    benchmark::DoNotOptimize(
        tarv::wire::decode(reinterpret_cast<const uint8_t*>(in.data()), in.size(), parsed, error));
    out.resize(tarv::wire::encoded_size(response));
    benchmark::DoNotOptimize(tarv::wire::write_message(response, out.data(), out.size()));
  }
}
BENCHMARK(BM_Frame_Wire)->Arg(20);

}  // namespace
