#include "host/receipt/receipt.h"

#include <fmt/format.h>

#include <optional>
#include <type_traits>
#include <variant>

#include "host/doc_view.h"
#include "tarv_core.pb.h"

namespace tarv::host {
namespace conv = tarv::converter;
namespace {

using Kind = ReceiptRow::Kind;

class Builder {
 public:
  void text(std::string s) { rows_.push_back({Kind::kText, std::move(s), "", false}); }
  void centre(std::string s, bool bold = false) {
    rows_.push_back({Kind::kCentre, std::move(s), "", bold});
  }
  void pair(std::string left, std::string right, bool bold = false) {
    rows_.push_back({Kind::kPair, std::move(left), std::move(right), bold});
  }
  void rule() { rows_.push_back({Kind::kRule, "", "", false}); }
  void amount(std::string label, uint64_t kopecks, bool bold = false) {
    pair(std::move(label), money(static_cast<int64_t>(kopecks)), bold);
  }
  // A labelled count and sum, the two in columns of their own.
  void counted(std::string label, uint64_t count, uint64_t sum) {
    pair(std::move(label), fmt::format("{:>4} {:>10}", count, money(static_cast<int64_t>(sum))));
  }
  Receipt take() { return {std::move(rows_)}; }

 private:
  std::vector<ReceiptRow> rows_;
};

// A marking code's first characters: enough to tell it on paper.
std::string shorten(std::string_view s) {
  return std::string(s.substr(0, 20)) + (s.size() > 20 ? "..." : "");
}

std::string code_text(const conv::CodeBlock& code) {
  return std::visit(
      [&](const auto& c) -> std::string {
        using T = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<T, conv::PlainCode>) {
          if (c.digits.str().find_first_not_of('0') == std::string::npos) return "";  // none
          return fmt::format("код {}", c.digits.str());
        } else {
          std::string s = fmt::format("GTIN {}", c.digits.str());
          if constexpr (std::is_same_v<T, conv::MarkedCode>) {
            s += " КМ " + shorten(c.si_code);
          } else if (c.si_code) {
            s += " КМ " + shorten(*c.si_code);
          }
          if (c.ukz_code) s += " УКЗ " + shorten(*c.ukz_code);
          return s;
        }
      },
      code);
}

void header(Builder& b, std::string_view title, const conv::DocHeader& h) {
  b.centre(fmt::format("{} № {}", title, h.doc_number), true);
  b.pair("Касса", std::to_string(h.device_id));
  b.pair("Кассир", h.cashier);
  b.pair(date_time(h.at), h.currency);
  b.rule();
}

// "2.000 x 1.85", or "0.350" when the price is not known: a document
// holds each line's sum, which a weighed line's price cannot be read back
// from.
std::string quantity_price(uint64_t quantity, std::optional<uint64_t> price) {
  std::string s = thousandths(static_cast<int64_t>(quantity));
  if (price) s += " x " + money(static_cast<int64_t>(*price));
  return s;
}

std::optional<uint64_t> price_of(const ReceiptExtras& extras, size_t index, size_t lines) {
  if (extras.prices.size() != lines) return std::nullopt;
  return extras.prices[index];
}

template <class Item>
void item(Builder& b, size_t index, const Item& i, uint64_t sum, std::optional<uint64_t> price) {
  b.text(fmt::format("{}. {}", index, i.name.str()));
  std::string detail = "   " + quantity_price(i.quantity, price);
  if (i.section != 0) detail += fmt::format(" отд. {}", i.section);
  b.pair(std::move(detail), money(static_cast<int64_t>(sum)));
  if (const std::string code = code_text(i.code); !code.empty()) b.text("   " + code);
}

// Card, other and cash of a receipt's payments (cashless includes other).
void payments(Builder& b, uint64_t cashless, uint64_t other, uint64_t cash, uint64_t change,
              std::string_view cash_label) {
  if (cashless != other) b.amount("Банковская карта", cashless - other);
  if (other != 0) b.amount("Прочие", other);
  if (cash != 0 || change != 0) {
    if (change != 0) b.amount("Получено наличными", cash + change);
    b.amount(std::string(cash_label), cash);
    if (change != 0) b.amount("Сдача", change);
  }
}

void body(Builder& b, const conv::SaleDoc& d, const ReceiptExtras& extras) {
  header(b, "ЧЕК ПРОДАЖИ", d.header);
  for (size_t i = 0; i < d.items.size(); ++i) {
    const conv::SaleItem& it = d.items[i];
    item(b, i + 1, it, it.cost, price_of(extras, i, d.items.size()));
    if (it.discount != 0) b.pair("   скидка", "-" + money(static_cast<int64_t>(it.discount)));
    if (it.markup != 0) b.pair("   надбавка", "+" + money(static_cast<int64_t>(it.markup)));
  }
  b.rule();
  if (d.discount != 0 || d.markup != 0) b.amount("Сумма по товарам", d.items_sum);
  if (d.discount != 0) b.pair("Скидка", "-" + money(static_cast<int64_t>(d.discount)));
  if (d.markup != 0) b.pair("Надбавка", "+" + money(static_cast<int64_t>(d.markup)));
  b.amount("ИТОГО", d.total, true);
  for (const auto& [rate, vat] : extras.vat) b.amount(fmt::format("  в т.ч. НДС {}%", rate), vat);
  payments(b, d.cashless, d.other, d.cash, extras.change, "Наличные");
  if (d.tp_tax_number) b.pair("От имени УНП", std::to_string(*d.tp_tax_number));
}

void body(Builder& b, const conv::RefundDoc& d, const ReceiptExtras& extras) {
  header(b, "ЧЕК ВОЗВРАТА", d.header);
  for (size_t i = 0; i < d.items.size(); ++i) {
    item(b, i + 1, d.items[i], d.items[i].sum, price_of(extras, i, d.items.size()));
  }
  b.rule();
  b.amount("ИТОГО ВОЗВРАТ", d.total, true);
  payments(b, d.cashless, d.other, d.cash, 0, "Выдано наличными");
}

void body(Builder& b, const conv::RollbackDoc& d, const ReceiptExtras&) {
  header(b, "АННУЛИРОВАНИЕ", d.header);
  b.text(fmt::format("Аннулирует чек продажи № {}", d.target_number));
  for (size_t i = 0; i < d.lines.size(); ++i) {
    b.text(fmt::format("{}. {}", i + 1, d.lines[i].name.str()));
    if (d.lines[i].si_code) b.text("   КМ " + shorten(d.lines[i].si_code->str()));
    if (d.lines[i].ukz_code) b.text("   УКЗ " + shorten(d.lines[i].ukz_code->str()));
  }
  b.rule();
  b.amount("ИТОГО АННУЛИРОВАНО", d.amount, true);
}

template <class CashOperation>
requires requires(CashOperation d) { d.amount; }
void body(Builder& b, const CashOperation& d, const ReceiptExtras&) {
  constexpr std::string_view title = std::is_same_v<CashOperation, conv::DepositDoc> ? "ВНЕСЕНИЕ"
                                     : std::is_same_v<CashOperation, conv::WithdrawDoc>
                                         ? "ИЗЪЯТИЕ"
                                         : "ВЫДАЧА НАЛИЧНЫХ ДЕРЖАТЕЛЮ КАРТЫ";
  header(b, title, d.header);
  b.amount("СУММА", d.amount, true);
}

void body(Builder& b, const conv::ReportDoc& d, const ReceiptExtras&) {
  b.centre("Z-ОТЧЁТ", true);
  b.centre("ОТЧЁТ О ЗАКРЫТИИ СМЕНЫ");
  b.pair("Касса", std::to_string(d.device_id));
  b.pair("УНП", std::to_string(d.tax_number));
  b.pair("Смена", std::to_string(d.shift_number));
  b.pair("Открыта", date_time(d.opened_at));
  b.pair("Закрыта", date_time(d.close_at));
  b.pair("Чеков продажи", std::to_string(d.docs_count));
  b.pair("Продажи", fmt::format("№ {} - № {}", d.first_sale, d.last_sale));
  for (const conv::ReportRecord& r : d.records) {
    b.rule();
    b.pair("Валюта", r.currency);
    b.counted("Продажи", r.count_a, r.sum_a1);
    b.amount("  безналичными", r.sum_a2);
    b.amount("  наличными", r.sum_a3);
    b.counted("Возвраты", r.count_b1, r.sum_b1);
    b.counted("Внесения", r.count_b2, r.sum_b2);
    b.counted("Изъятия", r.count_b3, r.sum_b3);
    b.counted("Выдачи по картам", r.count_b4, r.sum_b4);
    b.counted("Аннулирования", r.count_c2, r.sum_c2);
    b.counted("Маркир., КМ", r.count_d1, r.sum_d1);
    b.counted("Маркир., УКЗ", r.count_d2, r.sum_d2);
    if (r.value_e1 + r.value_e2 != 0) {
      b.pair("Возвраты маркир.", fmt::format("{} / {}", r.value_e1, r.value_e2));
    }
    if (r.value_f1 + r.value_f2 != 0) {
      b.pair("Аннулир. маркир.", fmt::format("{} / {}", r.value_f1, r.value_f2));
    }
    if (r.orders) {
      b.counted("Заказы открыты", r.orders->opened.count, r.orders->opened.sum);
      b.counted("Заказы отменены", r.orders->canceled.count, r.orders->canceled.sum);
      b.counted("Заказы закрыты", r.orders->closed.count, r.orders->closed.sum);
      b.counted("Заказы исправлены", r.orders->corrected.count, r.orders->corrected.sum);
      b.counted("Заказы перенесены", r.orders->moved.count, r.orders->moved.sum);
    }
    if (r.extra) {
      b.counted("Продажи 3-х лиц", r.extra->sales.count, r.extra->sales.sum);
      b.counted("Аннулир. 3-х лиц", r.extra->rollbacks.count, r.extra->rollbacks.sum);
    }
  }
}

Receipt marked(Receipt r, bool copy) {
  if (!copy) return r;
  const ReceiptRow mark = {Kind::kCentre, "*** КОПИЯ ***", "", true};
  r.rows.insert(r.rows.begin(), mark);
  r.rows.push_back(mark);
  return r;
}

}  // namespace

Receipt receipt_of(const conv::TarvDocument& doc, const ReceiptExtras& extras, bool copy) {
  Builder b;
  std::visit([&](const auto& d) { body(b, d, extras); }, doc);
  return marked(b.take(), copy);
}

Receipt order_receipt_of(const google::protobuf::Message& response, bool copy) {
  const auto* order = dynamic_cast<const core::OrderResponse*>(&response);
  if (order == nullptr) return {};
  Builder b;
  const core::OrderHeader& h = order->doc().header();
  b.centre(fmt::format("ЗАКАЗ № {}", h.state().id()), true);
  b.pair("Стол", std::to_string(h.table()));
  if (!h.cashier().empty()) b.pair("Кассир", h.cashier());
  b.pair("Смена", std::to_string(h.state().open_shift_number()));
  b.rule();
  size_t index = 0;
  for (const core::Item& i : order->doc().items()) {
    b.text(fmt::format("{}. {}", ++index, i.name()));
    const uint64_t sum = i.calculations().sum();
    b.pair("   " + quantity_price(i.quantity(), i.price()), money(static_cast<int64_t>(sum)));
  }
  b.rule();
  b.amount("ИТОГО ПО ЗАКАЗУ", order->doc().cheque_sums().sum(), true);
  return marked(b.take(), copy);
}

ReceiptExtras receipt_extras(const google::protobuf::Message* response) {
  ReceiptExtras extras;
  auto prices = [&](const auto& items) {
    for (const core::Item& i : items) extras.prices.push_back(i.price());
  };
  if (const auto* sale = dynamic_cast<const core::SaleResponse*>(response)) {
    const auto& calc = sale->doc().calculations();
    extras.vat = {calc.taxes().begin(), calc.taxes().end()};
    // A sale is paid in its own currency: the map holds that one.
    for (const auto& [currency, payments] : calc.payments())
      extras.change += payments.cash_change();
    prices(sale->doc().items());
  } else if (const auto* refund = dynamic_cast<const core::RefundResponse*>(response)) {
    prices(refund->doc().items());
  }
  return extras;
}

}  // namespace tarv::host
