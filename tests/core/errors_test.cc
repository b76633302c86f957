// The error table: every raised pair maps to its code and text; pairs
// outside a group's table take the group's first row.
#include "src/errors.h"

#include <gtest/gtest.h>

#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

namespace tarv {
namespace {

// The published error table, written out here rather than taken from
// src/errors.cc: the codes and messages hosts match on, byte for byte.
struct Published {
  CalcError error;
  std::string_view code;
  std::string_view message;
};
constexpr Published kPublished[] = {
      {{ErrorGroup::kReceipt, 0}, "tarv.core.receipt.header.cashier.length", "Превышена длина имени кассира"},
      {{ErrorGroup::kReceipt, 1}, "tarv.core.receipt.shift.closed", "Смена закрыта"},
      {{ErrorGroup::kReceipt, 2}, "tarv.core.receipt.shift.24h", "Смена открыта более 24ч. Требуется закрытие смены"},
      {{ErrorGroup::kReceipt, 3}, "tarv.core.receipt.system.time", "Неверное время системы"},
      {{ErrorGroup::kReceipt, 4}, "tarv.core.receipt.header.missing", "Отсутствует заголовок"},
      {{ErrorGroup::kReceipt, 5}, "tarv.core.receipt.header.datetime", "Отсутствует дата и время"},
      {{ErrorGroup::kReceipt, 6}, "tarv.core.receipt.encoding", "Ошибка формирования бинарного док-та"},
      {{ErrorGroup::kReceipt, 7}, "tarv.core.receipt.cash.in", "Недостаточно наличных в кассе"},
      {{ErrorGroup::kReceipt, 8}, "tarv.core.receipt.withdraw.all", "Требуется полное изъятие наличных"},
      {{ErrorGroup::kReceipt, 9}, "tarv.core.receipt.sum.overflow", "Значение превышает максимальное значение"},
      {{ErrorGroup::kReceipt, 10}, "tarv.core.receipt.client.withdraw.max", "Превышено максимальное значение выдачи наличных"},
      {{ErrorGroup::kReceipt, 11}, "tarv.core.receipt.currency", "Валюта не поддерживается"},
      {{ErrorGroup::kReceipt, 12}, "tarv.core.receipt.payments.cash.multiple", "Оплата наличными может быть только одна"},
      {{ErrorGroup::kReceipt, 13}, "tarv.core.receipt.third-party.tax-number", "Неверный формат УНП третьего лица"},
      {{ErrorGroup::kReceipt, 14}, "tarv.core.receipt.items.empty", "Отсутствуют товары в чеке"},
      {{ErrorGroup::kReceipt, 15}, "tarv.core.receipt.items.quantity.overflow", "Превышено максимальное значение количества"},
      {{ErrorGroup::kReceipt, 16}, "tarv.core.receipt.items.quantity.zero", "Количество товара не может быть равно нулю"},
      {{ErrorGroup::kReceipt, 17}, "tarv.core.receipt.string.character", "Недопустимый символ в строке"},
      {{ErrorGroup::kReceipt, 18}, "tarv.core.receipt.items.arithmetic.overflow", "Выход за границы значений при вычислении суммы товара/товаров"},
      {{ErrorGroup::kReceipt, 19}, "tarv.core.receipt.payments.arithmetic.overflow", "Выход за границы значений при вычислении сумм платежей"},
      {{ErrorGroup::kReceipt, 20}, "tarv.core.receipt.payment.currency.not-supported", "Указание валюты средства платежа не поддерживается в данном режиме"},
      {{ErrorGroup::kReceipt, 21}, "tarv.core.receipt.payment.change.not-supported", "Указание сдачи не поддерживается в данном режиме"},
      {{ErrorGroup::kReceipt, 22}, "tarv.core.receipt.refund.change", "Невозможно дать сдачу у док-та возврата"},
      {{ErrorGroup::kReceipt, 23}, "tarv.core.receipt.payments.cashless.overflow", "Слишком большая сумма оплаты безналичными средствами платежа"},
      {{ErrorGroup::kReceipt, 24}, "tarv.core.receipt.rollback.invalid-target", "Ошибка обработки документа продажи для аннулирования"},
      {{ErrorGroup::kReceipt, 25}, "tarv.core.receipt.rollback.target.sign", "Неверные данные док-та продажи"},
      {{ErrorGroup::kReceipt, 26}, "tarv.core.receipt.item.quantity.marking", "Кол-во маркированного товара должно быть равно 1"},
      {{ErrorGroup::kReceipt, 27}, "tarv.core.receipt.payments.type.unknown", "Неизвестный тип платежа"},
      {{ErrorGroup::kReceipt, 28}, "tarv.core.receipt.items.name.empty", "Пустое наименование тов. позиции"},
      {{ErrorGroup::kReceipt, 29}, "tarv.core.receipt.item.code.multiple-assignments", "Передано несколько сканов"},
      {{ErrorGroup::kReceipt, 30}, "tarv.core.receipt.item.code.chars", "Неподдерживаемые символы в коде тов. позиции"},
      {{ErrorGroup::kReceipt, 31}, "tarv.core.receipt.item.code.len", "Ошибка проверки длины кода тов. позиции"},
      {{ErrorGroup::kReceipt, 32}, "tarv.core.receipt.item.marking.codes.count", "Слишком много кодов маркировки"},
      {{ErrorGroup::kReceipt, 33}, "tarv.core.receipt.item.marking.code.length", "Превышена длина кода маркировки"},
      {{ErrorGroup::kReceipt, 34}, "tarv.core.receipt.item.marking.gtin.missing", "Отсутствует GTIN у маркированного товара"},
      {{ErrorGroup::kReceipt, 35}, "tarv.core.receipt.payments.not-payed", "Сумма по чеку не погашена средствами платежа"},
      {{ErrorGroup::kReceipt, 36}, "tarv.core.receipt.items.taxrate.unknown", "Неверная ставка НДС"},
      {{ErrorGroup::kAttrs, 0}, "tarv.core.attrs.cash-in.neg", "Получена отрицательная сумма наличных в кассе"},
      {{ErrorGroup::kAttrs, 1}, "tarv.core.attrs.sum", "Переполнение счётчиков"},
      {{ErrorGroup::kAttrs, 2}, "tarv.core.attrs.quantity", "Переполнение счётчиков"},
      {{ErrorGroup::kAttrs, 3}, "tarv.core.attrs.count", "Переполнение счётчиков"},
      {{ErrorGroup::kInput, 0}, "tarv.core.input.malformed", "Ошибка входных данных"},
      {{ErrorGroup::kInput, 1}, "tarv.core.input.memory",
       "Документ слишком велик для обработки. Разделите его на несколько документов"},
      {{ErrorGroup::kShift, 0}, "tarv.core.shift.cash-in", "В кассе присутствуют наличные. Требуется изьятие"},
      {{ErrorGroup::kShift, 1}, "tarv.core.shift.closed", "Смена уже закрыта"},
      {{ErrorGroup::kShift, 2}, "tarv.core.shift.malformed", "Не передана дата закрытия смены"},
      {{ErrorGroup::kShift, 3}, "tarv.core.shift.bin", "Внутренняя ошибка"},
};

TEST(ErrorsTest, EveryPairGivesItsPublishedCodeAndMessage) {
  for (const Published& row : kPublished) {
    const ErrorText text = describe(row.error);
    EXPECT_EQ(text.code, row.code) << row.code;
    EXPECT_EQ(text.message, row.message) << row.code;
  }
  // The library's table holds exactly these rows, in this order: a code
  // added, dropped or moved shows here and on the error-code page.
  const std::span<const ErrorRow> table = error_table();
  ASSERT_EQ(table.size(), std::size(kPublished));
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].error, kPublished[i].error) << kPublished[i].code;
    EXPECT_EQ(table[i].text.code, kPublished[i].code);
  }
}

TEST(ErrorsTest, KindsOutsideTheTableTakeTheGroupsFirstRow) {
  const std::pair<CalcError, std::string_view> rows[] = {
      {err::receipt(37), "tarv.core.receipt.header.cashier.length"},
      {err::receipt(40), "tarv.core.receipt.header.cashier.length"},
      {err::receipt(255), "tarv.core.receipt.header.cashier.length"},
      {{ErrorGroup::kAttrs, 4}, "tarv.core.attrs.cash-in.neg"},
      {{ErrorGroup::kInput, 9}, "tarv.core.input.malformed"},
      {{ErrorGroup::kShift, 7}, "tarv.core.shift.cash-in"},
  };
  for (const auto& [error, code] : rows) {
    EXPECT_EQ(describe(error).code, code) << int{error.kind};
    EXPECT_EQ(describe(error).message, describe({error.group, 0}).message) << code;
  }
}

// The error-code page, docs/errors.md: the table's rows and what has to
// change before a retry. Where the page and the table differ, the page as
// the table makes it is left in the build directory.
constexpr std::string_view kPageHead =
    "# Error codes\n\n"
    "A document export that refuses a request answers with status 1 (`TARV_STATUS_ERROR`) and an\n"
    "ErrorResponse: one of the codes below and its Russian message, byte for byte. The library\n"
    "keeps no state, so the same request always gets the same answer: sending it again unchanged\n"
    "never helps. The last column says what has to change first.\n\n"
    "This page is made from the library's error table (src/errors.cc); the test\n"
    "`ErrorsTest.ErrorCodePage` fails when they differ and writes the page as the table makes it\n"
    "to `errors.md` in the build directory.\n\n"
    "| Code | Message | Retry? |\n"
    "|---|---|---|\n";

constexpr std::string_view kNo = "no: change the request";
constexpr std::string_view kAfterReport = "after the shift-close report, in the next shift";

struct Advice {
  CalcError error;
  std::string_view retry;
};
constexpr Advice kAdvice[] = {
    {err::kShiftClosed, "after a shift is opened"},
    {err::kShift24h, kAfterReport},
    {err::kSystemTime, "after the clock is set right"},
    {err::kCashIn, "after a deposit, or for less"},
    {err::kWithdrawAll, "no: withdraw all the cash"},
    {err::kAttrsCashInNegative, "after a deposit"},
    {err::kAttrsSum, kAfterReport},
    {err::kAttrsQuantity, kAfterReport},
    {err::kAttrsCount, kAfterReport},
    {err::kShiftCashIn, "after a withdrawal of all the cash"},
    {err::kShiftAlreadyClosed, "no: the shift is closed"},
    {err::kShiftBin, "no: these counters cannot be reported (standard error says why)"},
    {err::kMemoryBudget, "no: split the document (standard error gives the call's budget)"},
};

std::string_view retry_advice(CalcError error) {
  for (const Advice& advice : kAdvice) {
    if (advice.error == error) return advice.retry;
  }
  return kNo;
}

TEST(ErrorsTest, ErrorCodePage) {
  std::string page(kPageHead);
  for (const ErrorRow& row : error_table()) {
    page += "| `" + std::string(row.text.code) + "` | " + std::string(row.text.message) + " | " +
            std::string(retry_advice(row.error)) + " |\n";
  }
  std::ifstream in(TARV_SOURCE_DIR "/docs/errors.md", std::ios::binary);
  std::stringstream on_disk;
  on_disk << in.rdbuf();
  if (on_disk.str() != page) {
    std::ofstream(TARV_BUILD_DIR "/errors.md", std::ios::binary) << page;
  }
  EXPECT_EQ(on_disk.str(), page) << "the page as the table makes it: " TARV_BUILD_DIR "/errors.md";
}

}  // namespace
}  // namespace tarv
