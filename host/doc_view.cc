#include "host/doc_view.h"

#include <fmt/format.h>

#include <algorithm>
#include <type_traits>
#include <variant>

#include "base/text/hex.h"
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

}  // namespace tarv::host
