#include "tests/support/fixtures.h"

#include <span>
#include <utility>

#include "tests/support/bign_signer.h"

namespace tarv::testing {

google::protobuf::Timestamp stamp(int64_t seconds, int32_t nanos) {
  google::protobuf::Timestamp t;
  t.set_seconds(seconds);
  t.set_nanos(nanos);
  return t;
}

pb::Context default_context() {
  pb::Context c;
  c.add_currencies("BYN");
  c.set_next_doc_number(kDocNumber);
  c.set_next_shift_number(5);
  c.set_device_id(kDeviceId);
  c.set_tax_number(123456789);
  *c.mutable_shift_ctx()->mutable_opened_at() = stamp(kOpenedAt);
  return c;
}

pb::Header default_header() {
  pb::Header h;
  h.set_cashier("Иванов");
  h.set_currency("BYN");
  *h.mutable_at() = stamp(kOpenedAt + kHour);
  return h;
}

pb::GeneralAttributes& drawer(pb::Context& c, const std::string& currency) {
  return (*c.mutable_shift_ctx()->mutable_attrs())[currency];
}

pb::Item item(std::string name, uint64_t price, uint32_t quantity) {
  pb::Item i;
  i.set_name(std::move(name));
  i.set_price(price);
  i.set_quantity(quantity);
  return i;
}

pb::Payment pay(uint32_t type, uint64_t sum, std::optional<std::string> group) {
  pb::Payment p;
  p.set_type_id(type);
  p.set_sum(sum);
  if (group) p.set_group(*group);
  return p;
}

pb::RollbackRequest annulment(const pb::SaleRequest& sale, const pb::SaleResponse& sold) {
  static const std::array<uint8_t, 64> kPublicKey = bign_public_key(kSignerKey);
  const std::string& target = sold.binary_doc();
  const auto signature =
      bign_sign(std::span(reinterpret_cast<const uint8_t*>(target.data()), target.size()),
                kSignerKey, kOneTimeKey);
  pb::RollbackRequest r;
  *r.mutable_context() = sale.context();
  *r.mutable_context()->mutable_shift_ctx()->mutable_attrs() = sold.shift_attrs();
  *r.mutable_doc()->mutable_header() = sale.doc().header();
  r.mutable_doc()->set_target(target);
  r.mutable_doc()->set_signature(signature.data(), signature.size());
  r.mutable_doc()->set_pub_key(kPublicKey.data(), kPublicKey.size());
  r.mutable_attrs();
  return r;
}

}  // namespace tarv::testing
