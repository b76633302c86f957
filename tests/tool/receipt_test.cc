// Receipts as a shop prints them: the text at each paper width, and the
// ESC/POS bytes read back by a small decoder, as a printer would.
#include "host/receipt/receipt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text/utf8.h"
#include "host/receipt/escpos.h"
#include "host/receipt/text.h"
#include "tarv_core.pb.h"

namespace {

namespace conv = tarv::converter;
using tarv::host::Receipt;

conv::DocHeader header(uint32_t number) {
  return {31700042, "Мария Иванова", number, {2024, 3, 15, 9 * 3600 + 14 * 60}, "BYN"};
}

conv::SaleDoc sale() {
  conv::SaleDoc d;
  d.header = header(2);
  d.items = {{1, {}, "Хлеб пшеничный", 2000, 370, 0, 0},
             {2, {}, "Сыр «Российский» 45% весовой, нарезка ломтиками", 350, 665, 0, 0},
             {3, {}, "Кофе молотый 250 г", 1000, 1290, 129, 0}};
  d.items_sum = 2325;
  d.discount = 129;
  d.total = 2196;
  d.cashless = 1000;
  d.cash = 1196;
  return d;
}

const tarv::host::ReceiptExtras kExtras = {{{"10", 94}, {"20", 194}}, 804, {185, 1899, 1290}};

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    lines.emplace_back(text.substr(at, end - at));
    at = end == std::string_view::npos ? text.size() : end + 1;
  }
  return lines;
}

TEST(Receipt, SaleFitsEveryWidthWithItsTotalsRight) {
  const Receipt r = tarv::host::receipt_of(sale(), kExtras);
  for (const size_t width : tarv::host::kReceiptWidths) {
    const std::string text = tarv::host::receipt_text(r, width);
    for (const std::string& line : lines_of(text)) {
      EXPECT_LE(tarv::text::utf8::char_count(line), width) << line;
    }
    // The right side of a row ends the line; a long name wraps whole.
    for (const char* expected :
         {"ИТОГО", "21.96", "в т.ч. НДС 20%", "1.94", "0.350 x 18.99 отд. 2", "Сдача", "8.04",
          "Получено наличными", "20.00", "ЧЕК ПРОДАЖИ № 2", "нарезка", "скидка", "-1.29"}) {
      EXPECT_NE(text.find(expected), std::string::npos) << width << ": " << expected << "\n"
                                                        << text;
    }
    const std::string total = std::string("ИТОГО") + std::string(width - 10, ' ') + "21.96";
    EXPECT_NE(text.find("\n" + total + "\n"), std::string::npos) << text;
  }
  // Without the response a document's lines show no price (a weighed line's
  // sum does not give it back).
  const std::string bare = tarv::host::receipt_text(tarv::host::receipt_of(sale()), 32);
  EXPECT_EQ(bare.find(" x "), std::string::npos) << bare;
}

TEST(Receipt, EveryDocumentKindHasItsRussianTitleAndACopySaysSo) {
  conv::RefundDoc refund{header(4), {{1, {}, "Хлеб", 1000, 185}}, 185, 185, 0, 0};
  conv::RollbackDoc rollback{header(5), 3, {{std::nullopt, std::nullopt, "Вода"}}, 174};
  conv::ReportDoc report;
  report.shift_number = 7;
  report.records.push_back({});
  report.records.back().currency = "BYN";
  const struct {
    conv::TarvDocument doc;
    const char* title;
  } cases[] = {
      {sale(), "ЧЕК ПРОДАЖИ № 2"},
      {conv::DepositDoc{header(1), 10000}, "ВНЕСЕНИЕ № 1"},
      {conv::WithdrawDoc{header(6), 11011}, "ИЗЪЯТИЕ № 6"},
      {conv::CardHolderWithdrawDoc{header(7), 500}, "ВЫДАЧА НАЛИЧНЫХ ДЕРЖАТЕЛЮ"},
      {refund, "ЧЕК ВОЗВРАТА № 4"},
      {rollback, "АННУЛИРОВАНИЕ № 5"},
      {report, "Z-ОТЧЁТ"},
  };
  for (const auto& c : cases) {
    const std::string text = tarv::host::receipt_text(tarv::host::receipt_of(c.doc, {}, true), 32);
    const std::vector<std::string> lines = lines_of(text);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines[1].find(c.title), std::string::npos) << text;
    EXPECT_NE(lines.front().find("КОПИЯ"), std::string::npos) << text;
    EXPECT_NE(lines.back().find("КОПИЯ"), std::string::npos) << text;
    for (const std::string& line : lines) EXPECT_LE(tarv::text::utf8::char_count(line), 32u);
  }
  // An order has no document: its receipt comes from the response.
  tarv::core::OrderResponse order;
  order.mutable_doc()->mutable_header()->mutable_state()->set_id("T4-0315-01");
  order.mutable_doc()->mutable_header()->set_table(4);
  tarv::core::Item& item = *order.mutable_doc()->add_items();
  item.set_name("Драники со сметаной");
  item.set_price(890);
  item.set_quantity(2000);
  item.mutable_calculations()->set_sum(1780);
  order.mutable_doc()->mutable_cheque_sums()->set_sum(1780);
  const std::string text = tarv::host::receipt_text(tarv::host::order_receipt_of(order, true), 32);
  for (const char* expected :
       {"КОПИЯ ***\n", "ЗАКАЗ № T4-0315-01", "   2.000 x 8.90            17.80",
        "ИТОГО ПО ЗАКАЗУ            17.80"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
}

// What a printer makes of ESC/POS bytes: the text back in UTF-8, the lines
// printed bold, and whether the paper was cut last.
struct Printed {
  std::string text;
  std::vector<std::string> bold;
  bool initialised = false;
  int code_page = -1;
  bool cut_last = false;
};

Printed decode(std::string_view bytes) {
  Printed p;
  bool bold = false;
  std::string line;
  for (size_t at = 0; at < bytes.size(); ++at) {
    const auto b = static_cast<uint8_t>(bytes[at]);
    p.cut_last = false;
    if (b == 0x1b && at + 1 < bytes.size()) {
      const char c = bytes[++at];
      if (c == '@') p.initialised = true;
      if (c == 't') p.code_page = static_cast<uint8_t>(bytes[++at]);
      if (c == 'E') bold = bytes[++at] != 0;
    } else if (b == 0x1d && at + 3 < bytes.size() && bytes[at + 1] == 'V') {
      p.cut_last = bytes[at + 2] == 66;
      at += 3;
    } else if (b == '\n') {
      if (bold) p.bold.push_back(line);
      p.text += line + '\n';
      line.clear();
    } else if (b < 0x80) {
      line += static_cast<char>(b);
    } else {  // CP866: А-п at 0x80, р-я at 0xE0, Ё ё №
      const char32_t cp = b < 0xB0                ? U'А' + (b - 0x80)
                          : b >= 0xE0 && b < 0xF0 ? U'р' + (b - 0xE0)
                          : b == 0xF0             ? U'Ё'
                          : b == 0xF1             ? U'ё'
                          : b == 0xFC             ? U'№'
                                                  : U'\uFFFD';
      tarv::text::utf8::append(cp, line);
    }
  }
  return p;
}

TEST(Receipt, EscPosBytesPrintTheTextWithABoldTotalAndACut) {
  const Receipt r = tarv::host::receipt_of(sale(), kExtras, true);
  for (const size_t width : tarv::host::kReceiptWidths) {
    const Printed p = decode(tarv::host::receipt_escpos(r, width));
    EXPECT_TRUE(p.initialised);
    EXPECT_EQ(p.code_page, 17);  // PC866
    EXPECT_TRUE(p.cut_last);
    std::string expected = tarv::host::receipt_text(r, width);
    for (const std::string_view quote : {"«", "»"}) {
      for (size_t at; (at = expected.find(quote)) != std::string::npos;)
        expected.replace(at, quote.size(), "\"");
    }
    EXPECT_EQ(p.text, expected);
    ASSERT_EQ(p.bold.size(), 4u) << p.text;  // the copy's marks, the title, the total
    EXPECT_NE(p.bold[1].find("ЧЕК ПРОДАЖИ № 2"), std::string::npos);
    EXPECT_TRUE(p.bold[2].starts_with("ИТОГО") && p.bold[2].ends_with("21.96")) << p.bold[2];
  }
  EXPECT_EQ(tarv::host::to_cp866("Ёж №1 «x» €"),
            "\xF0\xA6 \xFC"
            "1 \"x\" ?");
}

}  // namespace
