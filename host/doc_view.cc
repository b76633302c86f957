#include "host/doc_view.h"

#include <fmt/format.h>

#include <algorithm>
#include <type_traits>
#include <variant>

#include "base/text/hex.h"
#include "base/text/utf8.h"
#include "tarv_core.pb.h"

namespace tarv::host {
namespace conv = tarv::converter;
namespace {

std::string iso(const conv::DateTime& t) {
  std::string s = date_time(t);
  s[10] = 'T';
  return s;
}

// ---------------------------------------------------------------------------
// JSON

Json header_json(const conv::DocHeader& h) {
  return {{"device_id", h.device_id},
          {"cashier", h.cashier},
          {"doc_number", h.doc_number},
          {"at", iso(h.at)},
          {"currency", h.currency}};
}

Json code_json(const conv::CodeBlock& code) {
  Json j;
  std::visit(
      [&](const auto& c) {
        using T = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<T, conv::PlainCode>) {
          j["form"] = "plain";
          j["kind"] = c.kind;
        } else {
          j["form"] = std::is_same_v<T, conv::GtinCode> ? "gtin" : "marked";
          if constexpr (std::is_same_v<T, conv::GtinCode>) {
            if (c.si_code) j["si_code"] = *c.si_code;
          } else {
            j["si_code"] = c.si_code;
          }
          if (c.ukz_code) j["ukz_code"] = *c.ukz_code;
        }
        j["digits"] = c.digits;
      },
      code);
  return j;
}

Json count_sum_json(const conv::CountSum& v) { return {{"count", v.count}, {"sum", v.sum}}; }

Json record_json(const conv::ReportRecord& r) {
  Json j = {{"currency", r.currency},
            {"count_a", r.count_a},
            {"sum_a1", r.sum_a1},
            {"sum_a2", r.sum_a2},
            {"sum_a3", r.sum_a3}};
  const std::pair<std::string_view, conv::CountSum> slots[] = {
      {"b1", {r.count_b1, r.sum_b1}}, {"b2", {r.count_b2, r.sum_b2}},
      {"b3", {r.count_b3, r.sum_b3}}, {"b4", {r.count_b4, r.sum_b4}},
      {"c1", {r.count_c1, r.sum_c1}}, {"c2", {r.count_c2, r.sum_c2}},
      {"c3", {r.count_c3, r.sum_c3}}, {"d1", {r.count_d1, r.sum_d1}},
      {"d2", {r.count_d2, r.sum_d2}}};
  for (const auto& [slot, v] : slots) {
    j[fmt::format("count_{}", slot)] = v.count;
    j[fmt::format("sum_{}", slot)] = v.sum;
  }
  j["value_e1"] = r.value_e1;
  j["value_e2"] = r.value_e2;
  j["value_f1"] = r.value_f1;
  j["value_f2"] = r.value_f2;
  if (r.orders) {
    j["orders"] = {{"opened", count_sum_json(r.orders->opened)},
                   {"canceled", count_sum_json(r.orders->canceled)},
                   {"closed", count_sum_json(r.orders->closed)},
                   {"corrected", count_sum_json(r.orders->corrected)},
                   {"moved", count_sum_json(r.orders->moved)}};
  }
  if (r.extra) {
    j["extra"] = {{"sales", count_sum_json(r.extra->sales)},
                  {"rollbacks", count_sum_json(r.extra->rollbacks)}};
  }
  return j;
}

void body_json(Json& j, const conv::SaleDoc& d) {
  j["header"] = header_json(d.header);
  Json& items = j["items"] = Json::array();
  for (const conv::SaleItem& i : d.items) {
    items.push_back({{"section", i.section},
                     {"code", code_json(i.code)},
                     {"name", i.name},
                     {"quantity", i.quantity},
                     {"cost", i.cost},
                     {"discount", i.discount},
                     {"markup", i.markup}});
  }
  if (d.tp_tax_number) j["tp_tax_number"] = *d.tp_tax_number;
  j["items_sum"] = d.items_sum;
  j["discount"] = d.discount;
  j["markup"] = d.markup;
  j["total"] = d.total;
  j["cashless"] = d.cashless;
  j["cash"] = d.cash;
  j["other"] = d.other;
}

template <class CashOperation>
requires requires(CashOperation d) { d.amount; }
void body_json(Json& j, const CashOperation& d) {
  j["header"] = header_json(d.header);
  if constexpr (std::is_same_v<CashOperation, conv::RollbackDoc>) {
    j["target_number"] = d.target_number;
    Json& lines = j["lines"] = Json::array();
    for (const conv::RollbackLine& l : d.lines) {
      Json line;
      if (l.si_code) line["si_code"] = *l.si_code;
      if (l.ukz_code) line["ukz_code"] = *l.ukz_code;
      line["name"] = l.name;
      lines.push_back(std::move(line));
    }
  }
  j["amount"] = d.amount;
}

void body_json(Json& j, const conv::RefundDoc& d) {
  j["header"] = header_json(d.header);
  Json& items = j["items"] = Json::array();
  for (const conv::RefundItem& i : d.items) {
    items.push_back({{"section", i.section},
                     {"code", code_json(i.code)},
                     {"name", i.name},
                     {"quantity", i.quantity},
                     {"sum", i.sum}});
  }
  j["total"] = d.total;
  j["cash"] = d.cash;
  j["cashless"] = d.cashless;
  j["other"] = d.other;
}

void body_json(Json& j, const conv::ReportDoc& d) {
  j["tax_number"] = d.tax_number;
  j["device_id"] = d.device_id;
  j["opened_at"] = iso(d.opened_at);
  j["close_at"] = iso(d.close_at);
  j["shift_number"] = d.shift_number;
  j["docs_count"] = d.docs_count;
  j["first_sale"] = d.first_sale;
  j["last_sale"] = d.last_sale;
  Json& records = j["records"] = Json::array();
  for (const conv::ReportRecord& r : d.records) records.push_back(record_json(r));
}

// ---------------------------------------------------------------------------
// Receipts

class Printer {
 public:
  void line(std::string_view text) {
    out_ += text;
    out_ += '\n';
  }
  void rule() { line(std::string(kReceiptWidth, '-')); }
  void centre(std::string_view text) {
    const size_t n = text::utf8::char_count(text);
    line(std::string(n < kReceiptWidth ? (kReceiptWidth - n) / 2 : 0, ' ') + std::string(text));
  }
  void pair(std::string_view left, std::string_view right) { line(row(left, right)); }
  void amount(std::string_view label, uint64_t kopecks) {
    pair(label, money(static_cast<int64_t>(kopecks)));
  }
  // A labelled count and sum: "Refunds          1        1.85".
  void counted(std::string_view label, uint64_t count, uint64_t sum) {
    std::string left(label);
    left.append(text::utf8::char_count(label) < 24 ? 24 - text::utf8::char_count(label) : 1, ' ');
    pair(left + std::to_string(count), money(static_cast<int64_t>(sum)));
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

std::string code_text(const conv::CodeBlock& code) {
  auto shorten = [](std::string_view s) {
    return std::string(s.substr(0, 24)) + (s.size() > 24 ? "..." : "");
  };
  return std::visit(
      [&](const auto& c) -> std::string {
        using T = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<T, conv::PlainCode>) {
          if (c.digits.str().find_first_not_of('0') == std::string::npos) return "";  // none
          return fmt::format("code {} (kind {})", c.digits.str(), c.kind);
        } else {
          std::string s = fmt::format("GTIN {}", c.digits.str());
          if constexpr (std::is_same_v<T, conv::MarkedCode>) {
            s += " mark " + shorten(c.si_code);
          } else if (c.si_code) {
            s += " mark " + shorten(*c.si_code);
          }
          if (c.ukz_code) s += " short " + shorten(*c.ukz_code);
          return s;
        }
      },
      code);
}

void print_header(Printer& p, std::string_view title, const conv::DocHeader& h) {
  p.centre(fmt::format("{} No. {}", title, h.doc_number));
  p.pair(fmt::format("Register {}", h.device_id), h.currency);
  p.pair(date_time(h.at), "Cashier " + h.cashier);
  p.rule();
}

template <class Item>
void print_item(Printer& p, size_t index, const Item& item, uint64_t amount) {
  p.line(fmt::format("{}{}. {}", index < 10 ? " " : "", index, item.name));
  std::string detail = "    " + thousandths(item.quantity);
  if (item.section != 0) detail += fmt::format(" / section {}", item.section);
  p.pair(detail, money(static_cast<int64_t>(amount)));
  if (const std::string code = code_text(item.code); !code.empty()) p.line("    " + code);
}

void print(Printer& p, const conv::SaleDoc& d, const ReceiptExtras& extras) {
  print_header(p, "SALE", d.header);
  for (size_t i = 0; i < d.items.size(); ++i) {
    const conv::SaleItem& item = d.items[i];
    print_item(p, i + 1, item, item.cost);
    if (item.discount != 0)
      p.pair("    discount", "-" + money(static_cast<int64_t>(item.discount)));
    if (item.markup != 0) p.amount("    markup", item.markup);
  }
  p.rule();
  p.amount("Items", d.items_sum);
  if (d.discount != 0) p.pair("Discount", "-" + money(static_cast<int64_t>(d.discount)));
  if (d.markup != 0) p.amount("Markup", d.markup);
  p.amount("TOTAL", d.total);
  for (const auto& [rate, vat] : extras.vat) p.amount(fmt::format("  incl. VAT {}%", rate), vat);
  if (d.cashless != d.other) p.amount("Card", d.cashless - d.other);
  if (d.other != 0) p.amount("Other", d.other);
  if (d.cash != 0 || extras.change != 0) {
    if (extras.change != 0) p.amount("Cash tendered", d.cash + extras.change);
    p.amount("Cash", d.cash);
    if (extras.change != 0) p.amount("Change", extras.change);
  }
  if (d.tp_tax_number) p.pair("On behalf of УНП", std::to_string(*d.tp_tax_number));
}

void print(Printer& p, const conv::RefundDoc& d, const ReceiptExtras&) {
  print_header(p, "REFUND", d.header);
  for (size_t i = 0; i < d.items.size(); ++i) print_item(p, i + 1, d.items[i], d.items[i].sum);
  p.rule();
  p.amount("TOTAL REFUNDED", d.total);
  if (d.cashless != d.other) p.amount("Card", d.cashless - d.other);
  if (d.other != 0) p.amount("Other", d.other);
  if (d.cash != 0) p.amount("Cash paid out", d.cash);
}

void print(Printer& p, const conv::RollbackDoc& d, const ReceiptExtras&) {
  print_header(p, "ROLLBACK", d.header);
  p.line(fmt::format("Annuls sale No. {}", d.target_number));
  for (size_t i = 0; i < d.lines.size(); ++i) {
    p.line(fmt::format("{}{}. {}", i + 1 < 10 ? " " : "", i + 1, d.lines[i].name.str()));
    if (d.lines[i].si_code) p.line(fmt::format("    mark {}", d.lines[i].si_code->str()));
    if (d.lines[i].ukz_code) p.line(fmt::format("    short {}", d.lines[i].ukz_code->str()));
  }
  p.rule();
  p.amount("TOTAL ANNULLED", d.amount);
}

template <class CashOperation>
requires requires(CashOperation d) { d.amount; }
void print(Printer& p, const CashOperation& d, const ReceiptExtras&) {
  constexpr std::string_view title = std::is_same_v<CashOperation, conv::DepositDoc> ? "DEPOSIT"
                                     : std::is_same_v<CashOperation, conv::WithdrawDoc>
                                         ? "WITHDRAWAL"
                                         : "CASH TO CARD HOLDER";
  print_header(p, title, d.header);
  p.amount("AMOUNT", d.amount);
}

void print(Printer& p, const conv::ReportDoc& d, const ReceiptExtras&) {
  p.centre("SHIFT-CLOSE REPORT");
  p.pair(fmt::format("Register {}", d.device_id), fmt::format("УНП {}", d.tax_number));
  p.pair(fmt::format("Shift {}", d.shift_number), fmt::format("{} sales", d.docs_count));
  p.pair("Opened", date_time(d.opened_at));
  p.pair("Closed", date_time(d.close_at));
  p.pair("Sales", fmt::format("No. {} to No. {}", d.first_sale, d.last_sale));
  for (const conv::ReportRecord& r : d.records) {
    p.rule();
    p.line(r.currency);
    p.counted("Sales", r.count_a, r.sum_a1);
    p.amount("  card and other", r.sum_a2);
    p.amount("  cash", r.sum_a3);
    p.counted("Refunds", r.count_b1, r.sum_b1);
    p.counted("Deposits", r.count_b2, r.sum_b2);
    p.counted("Withdrawals", r.count_b3, r.sum_b3);
    p.counted("Cash to card holders", r.count_b4, r.sum_b4);
    p.counted("Rollbacks", r.count_c2, r.sum_c2);
    p.counted("Marked, long code", r.count_d1, r.sum_d1);
    p.counted("Marked, short code", r.count_d2, r.sum_d2);
    if (r.value_e1 + r.value_e2 != 0) {
      p.pair("Marked refunds", fmt::format("{} / {}", r.value_e1, r.value_e2));
    }
    if (r.value_f1 + r.value_f2 != 0) {
      p.pair("Marked rollbacks", fmt::format("{} / {}", r.value_f1, r.value_f2));
    }
    if (r.orders) {
      p.counted("Orders opened", r.orders->opened.count, r.orders->opened.sum);
      p.counted("Orders canceled", r.orders->canceled.count, r.orders->canceled.sum);
      p.counted("Orders closed", r.orders->closed.count, r.orders->closed.sum);
      p.counted("Orders corrected", r.orders->corrected.count, r.orders->corrected.sum);
      p.counted("Orders moved", r.orders->moved.count, r.orders->moved.sum);
    }
    if (r.extra) {
      p.counted("Third-party sales", r.extra->sales.count, r.extra->sales.sum);
      p.counted("Third-party rollbacks", r.extra->rollbacks.count, r.extra->rollbacks.sum);
    }
  }
}

}  // namespace

std::string_view document_kind_name(const conv::TarvDocument& doc) {
  constexpr std::string_view names[] = {"Sale",     "Deposit", "Withdraw",          "Refund",
                                        "Rollback", "Report",  "CardHolderWithdraw"};
  return names[doc.index()];
}

Json document_json(const conv::TarvDocument& doc) {
  Json j = {{"kind", document_kind_name(doc)}};
  std::visit([&](const auto& d) { body_json(j, d); }, doc);
  return j;
}

std::string receipt(const conv::TarvDocument& doc, const ReceiptExtras& extras) {
  Printer p;
  std::visit([&](const auto& d) { print(p, d, extras); }, doc);
  return p.take();
}

std::string order_receipt(const google::protobuf::Message& response) {
  const auto* order = dynamic_cast<const core::OrderResponse*>(&response);
  if (order == nullptr) return "";
  const core::OrderHeader& h = order->doc().header();
  std::string out = fmt::format("ORDER {} / table {}\n", h.state().id(), h.table());
  for (const core::Item& i : order->doc().items()) {
    out += row(fmt::format("{} x {}", thousandths(i.quantity()), i.name()),
               money(static_cast<int64_t>(i.calculations().sum())));
    out += '\n';
  }
  return out + row("ORDER TOTAL", money(static_cast<int64_t>(order->doc().cheque_sums().sum()))) +
         '\n';
}

std::string indented(std::string_view text, std::string_view indent) {
  std::string out;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    out += fmt::format("{}{}\n", indent, text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::string date_time(const conv::DateTime& t) {
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", t.year, t.month, t.day,
                     t.second_of_day / 3600, t.second_of_day / 60 % 60, t.second_of_day % 60);
}

std::string money(int64_t kopecks) {
  const uint64_t magnitude = kopecks < 0 ? 0 - static_cast<uint64_t>(kopecks) : kopecks;
  return fmt::format("{}{}.{:02}", kopecks < 0 ? "-" : "", magnitude / 100, magnitude % 100);
}

std::string thousandths(int64_t value) {
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : value;
  return fmt::format("{}{}.{:03}", value < 0 ? "-" : "", magnitude / 1000, magnitude % 1000);
}

std::string hex_dump(std::string_view bytes, std::string_view indent) {
  constexpr size_t kPerLine = 32;
  std::string out;
  std::string_view previous;
  bool skipping = false;
  for (size_t at = 0; at < bytes.size(); at += kPerLine) {
    const std::string_view chunk = bytes.substr(at, kPerLine);
    if (chunk == previous && at + kPerLine < bytes.size()) {
      if (!skipping) out += fmt::format("{}*\n", indent);
      skipping = true;
      continue;
    }
    skipping = false;
    previous = chunk;
    out += fmt::format("{}{:04x} ", indent, at);
    for (size_t i = 0; i < chunk.size(); i += 4) out += " " + text::to_hex(chunk.substr(i, 4));
    out += '\n';
  }
  return out;
}

std::string row(std::string_view left, std::string_view right) {
  const size_t used = text::utf8::char_count(left) + text::utf8::char_count(right);
  std::string s(left);
  s.append(used < kReceiptWidth ? kReceiptWidth - used : 1, ' ');
  s += right;
  return s;
}

ReceiptExtras receipt_extras(const google::protobuf::Message* response) {
  ReceiptExtras extras;
  if (const auto* sale = dynamic_cast<const core::SaleResponse*>(response)) {
    const auto& calc = sale->doc().calculations();
    extras.vat = {calc.taxes().begin(), calc.taxes().end()};
    // A sale is paid in its own currency: the map holds that one.
    for (const auto& [currency, payments] : calc.payments())
      extras.change += payments.cash_change();
  }
  return extras;
}

}  // namespace tarv::host
