// The request and response messages, as plain structs.
//
// These mirror proto/tarv_core.proto field for field: the MessageInfo tables
// at the end (with the steps of adding a field) give each field's number and
// its name as the schema spells it (the names also appear in decode
// diagnostics). std::optional marks fields with presence; the library never
// reads an absent field as zero. Receipt lines, payments, a line's scans and
// the context's currencies are Repeated; the report's counters and a sale's
// change are RequestMaps; the cash position, every counter map and the
// calculations' maps, which a call writes back, are UpdatedMaps: held while
// they fit, else left in the request and walked (wire/repeated.h,
// wire/request_map.h). Texts a line only reads are views into the request.
#ifndef TARV_SRC_MESSAGES_H_
#define TARV_SRC_MESSAGES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/wire.h"

namespace tarv::msg {

using wire::Bytes;
using wire::Map;
using wire::Repeated;
using wire::RequestMap;
using wire::UpdatedMap;

struct Timestamp {
  int64_t seconds{};
  int32_t nanos{};
};
struct Header {
  std::string cashier;
  std::string currency;
  std::optional<Timestamp> at;
  uint32_t number{};
  std::optional<std::string> cashier_id;
};
struct GeneralAttributes {
  int64_t cash_in{};
  int64_t income{};
};
struct ShiftContext {
  std::optional<Timestamp> opened_at;
  std::optional<Timestamp> closed_at;
  RequestMap<GeneralAttributes> attrs;
};
struct Context {
  Repeated<std::string> currencies;
  uint64_t ch_max_value{};
  std::optional<ShiftContext> shift_ctx;
  uint32_t next_doc_number{};
  uint32_t next_shift_number{};
  uint32_t device_id{};
  uint32_t tax_number{};
};
struct DocumentAttributeValue {
  int64_t sum{};
  int64_t count{};
  int64_t quantity{};
};
struct GroupedDocumentAttributeValues {
  std::optional<DocumentAttributeValue> values;
  UpdatedMap<DocumentAttributeValue> groups;
};
struct MarkingAttributes {
  std::optional<DocumentAttributeValue> si;
  std::optional<DocumentAttributeValue> ukz;
};
struct ModifiersAttributes {
  UpdatedMap<DocumentAttributeValue> discounts;
  UpdatedMap<DocumentAttributeValue> markups;
};
struct PaymentsAttributes {
  std::optional<DocumentAttributeValue> cash;
  std::optional<GroupedDocumentAttributeValues> card;
  std::optional<GroupedDocumentAttributeValues> other;
};
struct DocumentAttributes {
  uint32_t count{};
  uint64_t sum{};
  UpdatedMap<DocumentAttributeValue> sections;
  std::optional<GroupedDocumentAttributeValues> _3party;
  std::optional<MarkingAttributes> marking;
  UpdatedMap<DocumentAttributeValue> taxes;
  std::optional<ModifiersAttributes> modifiers;
  std::optional<ModifiersAttributes> items_modifiers;
  UpdatedMap<PaymentsAttributes> payments;
};
struct OrdersAttributes {
  std::optional<DocumentAttributeValue> opened;
  std::optional<DocumentAttributeValue> canceled;
  std::optional<DocumentAttributeValue> closed;
  std::optional<DocumentAttributeValue> corrected;
  std::optional<DocumentAttributeValue> moved;
};
struct CashInOutAttributes {
  std::optional<DocumentAttributeValue> cash;
};
struct DocumentsAttributes {
  std::optional<CashInOutAttributes> deposits;
  std::optional<CashInOutAttributes> withdraws;
  std::optional<CashInOutAttributes> ch_withdraws;
  std::optional<DocumentAttributes> sales;
  std::optional<DocumentAttributes> refunds;
  std::optional<DocumentAttributes> rollbacks;
  std::optional<OrdersAttributes> orders;
};
struct Section {
  uint32_t code{};
  std::optional<std::string> name;
};
struct Modifier {
  std::optional<std::string> group;
  std::optional<std::string> name;
  uint64_t modifier{};
};
struct ItemCalculations {
  uint64_t sum{};
  uint64_t discount{};
  uint64_t markup{};
  std::optional<uint64_t> tax1;
  bool has_marking{};
};
// An item's commodity code or marking scans: one member of the oneof
// item_code, or none.
struct ScanList;
struct Scan {
  enum class Case : uint8_t { kNone = 0, kMarkA = 1, kMarkB = 2, kMarkC = 3, kGtin = 4 };
  Case scan = Case::kNone;  // which member of the oneof scan is set
  std::string_view value;   // in the request
};
struct ScanList {
  Repeated<Scan> scans;
};
struct ItemCode {
  enum class Case : uint8_t {
    kNone = 0,
    kCodeA = 1,
    kGtin = 2,
    kCodeC = 3,
    kCodeD = 4,
    kScanList = 5
  };
  Case item_code = Case::kNone;  // which member of the oneof item_code is set
  std::string_view text;         // code_a, gtin, code_c or code_d, in the request
  ScanList scan_list;
};
struct Item {
  std::string_view name;  // in the request
  uint64_t price{};
  uint32_t quantity{};
  std::optional<Section> section;
  std::optional<ItemCode> code;
  std::optional<uint32_t> tax_rate;
  std::optional<Modifier> discount;
  std::optional<Modifier> markup;
  std::optional<std::string> id;
  std::optional<ItemCalculations> calculations;
};
struct Payment {
  uint32_t type_id{};
  uint64_t sum{};
  std::optional<std::string> group;
  std::optional<std::string> name;
  std::optional<std::string> currency;
};
struct RestaurantInformation {
  std::string order_id;
  uint32_t bill_number{};
  uint32_t table{};
  std::optional<uint32_t> place;
};
struct SaleCalculationsSums {
  uint64_t discounts{};
  uint64_t markups{};
  uint64_t sum{};
};
struct SalePaymentsCalculations {
  uint64_t cash{};
  uint64_t card{};
  uint64_t other{};
  uint64_t cash_change{};
};
struct SaleCalculations {
  std::optional<SaleCalculationsSums> cheque;
  std::optional<SaleCalculationsSums> items;
  UpdatedMap<SalePaymentsCalculations> payments;
  UpdatedMap<uint64_t> taxes;
};
struct Sale {
  std::optional<Header> header;
  Repeated<Item> items;
  std::optional<uint32_t> tp_tax_number;
  std::optional<RestaurantInformation> restaurant_information;
  std::optional<Modifier> markup;
  std::optional<Modifier> discount;
  Repeated<Payment> payments;
  RequestMap<uint64_t> change;  // must be empty
  std::optional<SaleCalculations> calculations;
};
struct RefundPaymentsCalculations {
  uint64_t cash{};
  uint64_t card{};
  uint64_t other{};
};
struct RefundCalculations {
  uint64_t sum{};
  UpdatedMap<RefundPaymentsCalculations> payments;
};
struct Refund {
  std::optional<Header> header;
  Repeated<Item> items;
  Repeated<Payment> payments;
  std::optional<RefundCalculations> calculations;
};
struct Deposit {
  std::optional<Header> header;
  uint64_t sum{};
};
struct Withdraw {
  std::optional<Header> header;
  uint64_t sum{};
};
struct CardHolderWithdraw {
  std::optional<Header> header;
  uint64_t sum{};
};
struct Rollback {
  std::optional<Header> header;
  Bytes target;
  uint32_t target_number{};
  uint64_t sum{};
  Bytes uid;
  Bytes signature;
  Bytes pub_key;
};
struct OrderState {
  std::string id;
  uint32_t open_shift_number{};
};
struct OrderHeader {
  std::optional<OrderState> state;
  std::optional<Timestamp> at;
  std::string cashier;
  uint32_t table{};
  std::optional<uint32_t> place;
  std::optional<std::string> currency;
};
struct Order {
  std::optional<OrderHeader> header;
  Repeated<Item> items;
  std::optional<Modifier> markup;
  std::optional<Modifier> discount;
  std::optional<Payment> prepayments;
  std::optional<SaleCalculationsSums> items_sums;
  std::optional<SaleCalculationsSums> cheque_sums;
};
struct DepositRequest {
  std::optional<Context> context;
  std::optional<Deposit> doc;
  std::optional<CashInOutAttributes> attrs;
};
struct WithdrawRequest {
  std::optional<Context> context;
  std::optional<Withdraw> doc;
  std::optional<CashInOutAttributes> attrs;
};
struct CardHolderWithdrawRequest {
  std::optional<Context> context;
  std::optional<CardHolderWithdraw> doc;
  std::optional<CashInOutAttributes> attrs;
};
struct SaleRequest {
  std::optional<Context> context;
  std::optional<Sale> doc;
  std::optional<DocumentAttributes> attrs;
};
struct RefundRequest {
  std::optional<Context> context;
  std::optional<Refund> doc;
  std::optional<DocumentAttributes> attrs;
};
struct RollbackRequest {
  std::optional<Context> context;
  std::optional<Rollback> doc;
  std::optional<DocumentAttributes> attrs;
};
struct OrderRequest {
  std::optional<Context> context;
  std::optional<Order> doc;
  std::optional<OrdersAttributes> attrs;
  std::optional<uint64_t> prev_order_sum;
};
struct ReportRequest {
  std::optional<Context> context;
  uint32_t first_sale{};
  uint32_t last_sale{};
  std::optional<Timestamp> close_at;
  RequestMap<DocumentsAttributes> attrs;
};
struct ReportResponse {
  Bytes binary_doc;
};
struct OrderResponse {
  std::optional<Order> doc;
  std::optional<OrdersAttributes> attrs;
  Bytes total;
};
struct OrderTotal {
  uint64_t sum{};
};
struct ErrorResponse {
  std::string code;
  std::string message;
};
// The success response of the document exports: the cash position, the
// counters and the payload of the export's own kind, the binary document and
// a sum. Field 5 is reserved and never written.
template <class Attrs, class Doc>
struct DocumentResponse {
  UpdatedMap<GeneralAttributes> shift_attrs;
  std::optional<Attrs> attrs;
  std::optional<Doc> doc;
  Bytes binary_doc;
  uint64_t sum{};
};

}  // namespace tarv::msg

namespace tarv::wire {

// The field tables. Adding a field:
//   1. the member in its struct above: std::optional<T> for a field with
//      presence, Repeated<T> for a repeated one, RequestMap<V> (or
//      UpdatedMap<V> where a call merges its updates into it) for a map
//      (TARV_MESSAGE refuses a plain std::vector<T> or Map<V>: they would
//      hold any number of elements);
//   2. TARV_FIELD(number, member) in its message's table below, in ascending
//      number (a static_assert checks the order), the member named as the
//      schema (proto/tarv_core.proto) names the field;
//   3. nothing else: decoding, sizing and writing follow the table. A member
//      type the codec does not know yet needs a ValueCodec (wire/values.h); a
//      oneof is an entry Oneof<Self>{first, last, "name"} with an OneofCodec
//      specialisation (messages.cc).
#define TARV_FIELD(number, name) \
  ::tarv::wire::Field { number, #name, &Self::name }
#define TARV_MESSAGE(type, ...)                              \
  template <>                                                \
  struct MessageInfo<::tarv::msg::type> {                    \
    using Self = ::tarv::msg::type;                          \
    static constexpr std::string_view kName = #type;         \
    static constexpr auto kFields = std::tuple{__VA_ARGS__}; \
  };                                                         \
  static_assert(fields_ascending<::tarv::msg::type>());      \
  static_assert(no_plain_containers<::tarv::msg::type>(),    \
                "a repeated field is a Repeated<T>, a map a RequestMap<V> or an UpdatedMap<V>")

TARV_MESSAGE(Timestamp, TARV_FIELD(1, seconds), TARV_FIELD(2, nanos));
TARV_MESSAGE(Header, TARV_FIELD(1, cashier), TARV_FIELD(2, currency), TARV_FIELD(3, at),
             TARV_FIELD(4, number), TARV_FIELD(50, cashier_id));
TARV_MESSAGE(GeneralAttributes, TARV_FIELD(1, cash_in), TARV_FIELD(2, income));
TARV_MESSAGE(ShiftContext, TARV_FIELD(1, opened_at), TARV_FIELD(2, closed_at),
             TARV_FIELD(3, attrs));
TARV_MESSAGE(Context, TARV_FIELD(1, currencies), TARV_FIELD(2, ch_max_value),
             TARV_FIELD(3, shift_ctx), TARV_FIELD(4, next_doc_number),
             TARV_FIELD(5, next_shift_number), TARV_FIELD(6, device_id), TARV_FIELD(7, tax_number));
TARV_MESSAGE(DocumentAttributeValue, TARV_FIELD(1, sum), TARV_FIELD(2, count),
             TARV_FIELD(3, quantity));
TARV_MESSAGE(GroupedDocumentAttributeValues, TARV_FIELD(1, values), TARV_FIELD(2, groups));
TARV_MESSAGE(MarkingAttributes, TARV_FIELD(1, si), TARV_FIELD(2, ukz));
TARV_MESSAGE(ModifiersAttributes, TARV_FIELD(1, discounts), TARV_FIELD(2, markups));
TARV_MESSAGE(PaymentsAttributes, TARV_FIELD(1, cash), TARV_FIELD(2, card), TARV_FIELD(3, other));
TARV_MESSAGE(DocumentAttributes, TARV_FIELD(1, count), TARV_FIELD(2, sum), TARV_FIELD(10, sections),
             TARV_FIELD(11, _3party), TARV_FIELD(12, marking), TARV_FIELD(50, taxes),
             TARV_FIELD(100, modifiers), TARV_FIELD(101, items_modifiers),
             TARV_FIELD(200, payments));
TARV_MESSAGE(OrdersAttributes, TARV_FIELD(1, opened), TARV_FIELD(2, canceled),
             TARV_FIELD(3, closed), TARV_FIELD(4, corrected), TARV_FIELD(5, moved));
TARV_MESSAGE(CashInOutAttributes, TARV_FIELD(1, cash));
TARV_MESSAGE(DocumentsAttributes, TARV_FIELD(1, deposits), TARV_FIELD(2, withdraws),
             TARV_FIELD(3, ch_withdraws), TARV_FIELD(4, sales), TARV_FIELD(5, refunds),
             TARV_FIELD(6, rollbacks), TARV_FIELD(7, orders));
TARV_MESSAGE(Section, TARV_FIELD(1, code), TARV_FIELD(2, name));
TARV_MESSAGE(Modifier, TARV_FIELD(1, group), TARV_FIELD(2, name), TARV_FIELD(3, modifier));
TARV_MESSAGE(ItemCalculations, TARV_FIELD(1, sum), TARV_FIELD(2, discount), TARV_FIELD(3, markup),
             TARV_FIELD(4, tax1), TARV_FIELD(5, has_marking));
TARV_MESSAGE(Scan, Oneof<Self>{1, 4, "scan"});
TARV_MESSAGE(ScanList, TARV_FIELD(1, scans));
TARV_MESSAGE(ItemCode, Oneof<Self>{1, 5, "item_code"});
TARV_MESSAGE(Item, TARV_FIELD(1, name), TARV_FIELD(2, price), TARV_FIELD(3, quantity),
             TARV_FIELD(10, section), TARV_FIELD(20, code), TARV_FIELD(30, tax_rate),
             TARV_FIELD(40, discount), TARV_FIELD(41, markup), TARV_FIELD(90, id),
             TARV_FIELD(100, calculations));
TARV_MESSAGE(Payment, TARV_FIELD(1, type_id), TARV_FIELD(2, sum), TARV_FIELD(3, group),
             TARV_FIELD(4, name), TARV_FIELD(5, currency));
TARV_MESSAGE(RestaurantInformation, TARV_FIELD(1, order_id), TARV_FIELD(2, bill_number),
             TARV_FIELD(3, table), TARV_FIELD(4, place));
TARV_MESSAGE(SaleCalculationsSums, TARV_FIELD(1, discounts), TARV_FIELD(2, markups),
             TARV_FIELD(3, sum));
TARV_MESSAGE(SalePaymentsCalculations, TARV_FIELD(1, cash), TARV_FIELD(2, card),
             TARV_FIELD(3, other), TARV_FIELD(4, cash_change));
TARV_MESSAGE(SaleCalculations, TARV_FIELD(1, cheque), TARV_FIELD(2, items), TARV_FIELD(3, payments),
             TARV_FIELD(4, taxes));
TARV_MESSAGE(Sale, TARV_FIELD(1, header), TARV_FIELD(2, items), TARV_FIELD(3, tp_tax_number),
             TARV_FIELD(5, restaurant_information), TARV_FIELD(10, markup),
             TARV_FIELD(11, discount), TARV_FIELD(20, payments), TARV_FIELD(21, change),
             TARV_FIELD(100, calculations));
TARV_MESSAGE(RefundPaymentsCalculations, TARV_FIELD(1, cash), TARV_FIELD(2, card),
             TARV_FIELD(3, other));
TARV_MESSAGE(RefundCalculations, TARV_FIELD(1, sum), TARV_FIELD(2, payments));
TARV_MESSAGE(Refund, TARV_FIELD(1, header), TARV_FIELD(2, items), TARV_FIELD(20, payments),
             TARV_FIELD(100, calculations));
TARV_MESSAGE(Deposit, TARV_FIELD(1, header), TARV_FIELD(2, sum));
TARV_MESSAGE(Withdraw, TARV_FIELD(1, header), TARV_FIELD(2, sum));
TARV_MESSAGE(CardHolderWithdraw, TARV_FIELD(1, header), TARV_FIELD(2, sum));
TARV_MESSAGE(Rollback, TARV_FIELD(1, header), TARV_FIELD(10, target), TARV_FIELD(11, target_number),
             TARV_FIELD(12, sum), TARV_FIELD(50, uid), TARV_FIELD(51, signature),
             TARV_FIELD(52, pub_key));
TARV_MESSAGE(OrderState, TARV_FIELD(1, id), TARV_FIELD(2, open_shift_number));
TARV_MESSAGE(OrderHeader, TARV_FIELD(1, state), TARV_FIELD(3, at), TARV_FIELD(10, cashier),
             TARV_FIELD(11, table), TARV_FIELD(12, place), TARV_FIELD(13, currency));
TARV_MESSAGE(Order, TARV_FIELD(1, header), TARV_FIELD(2, items), TARV_FIELD(10, markup),
             TARV_FIELD(11, discount), TARV_FIELD(20, prepayments), TARV_FIELD(30, items_sums),
             TARV_FIELD(31, cheque_sums));
TARV_MESSAGE(DepositRequest, TARV_FIELD(1, context), TARV_FIELD(2, doc), TARV_FIELD(3, attrs));
TARV_MESSAGE(WithdrawRequest, TARV_FIELD(1, context), TARV_FIELD(2, doc), TARV_FIELD(3, attrs));
TARV_MESSAGE(CardHolderWithdrawRequest, TARV_FIELD(1, context), TARV_FIELD(2, doc),
             TARV_FIELD(3, attrs));
TARV_MESSAGE(SaleRequest, TARV_FIELD(1, context), TARV_FIELD(2, doc), TARV_FIELD(3, attrs));
TARV_MESSAGE(RefundRequest, TARV_FIELD(1, context), TARV_FIELD(2, doc), TARV_FIELD(3, attrs));
TARV_MESSAGE(RollbackRequest, TARV_FIELD(1, context), TARV_FIELD(2, doc), TARV_FIELD(3, attrs));
TARV_MESSAGE(OrderRequest, TARV_FIELD(1, context), TARV_FIELD(2, doc), TARV_FIELD(3, attrs),
             TARV_FIELD(10, prev_order_sum));
TARV_MESSAGE(ReportRequest, TARV_FIELD(1, context), TARV_FIELD(2, first_sale),
             TARV_FIELD(3, last_sale), TARV_FIELD(4, close_at), TARV_FIELD(5, attrs));
TARV_MESSAGE(ReportResponse, TARV_FIELD(1, binary_doc));
TARV_MESSAGE(OrderResponse, TARV_FIELD(1, doc), TARV_FIELD(2, attrs), TARV_FIELD(3, total));
TARV_MESSAGE(OrderTotal, TARV_FIELD(1, sum));
TARV_MESSAGE(ErrorResponse, TARV_FIELD(1, code), TARV_FIELD(2, message));

template <class Attrs, class Doc>
struct MessageInfo<::tarv::msg::DocumentResponse<Attrs, Doc>> {
  using Self = ::tarv::msg::DocumentResponse<Attrs, Doc>;
  static constexpr std::string_view kName = "DocumentResponse";
  static constexpr auto kFields =
      std::tuple{TARV_FIELD(1, shift_attrs), TARV_FIELD(2, attrs), TARV_FIELD(3, doc),
                 TARV_FIELD(4, binary_doc), TARV_FIELD(6, sum)};
};

#undef TARV_MESSAGE
#undef TARV_FIELD

template <>
struct OneofCodec<msg::Scan> {
  static bool merge(msg::Scan& scan, uint32_t number, WireType wire_type, Cursor& c, int budget);
  static size_t size(const msg::Scan& scan);
  static uint8_t* write_before(const msg::Scan& scan, uint8_t* end);
};
template <>
struct OneofCodec<msg::ItemCode> {
  static bool merge(msg::ItemCode& code, uint32_t number, WireType wire_type, Cursor& c,
                    int budget);
  static size_t size(const msg::ItemCode& code);
  static uint8_t* write_before(const msg::ItemCode& code, uint8_t* end);
};

}  // namespace tarv::wire

#endif  // TARV_SRC_MESSAGES_H_
