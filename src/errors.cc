#include "src/errors.h"

namespace tarv {
namespace {

// Each row names its pair; rows_in_order below holds the build to rows that
// follow the numbering of errors.h, group by group from kind 0.
constexpr ErrorRow kRows[] = {
    {err::kCashierLength,
     {"tarv.core.receipt.header.cashier.length", "Превышена длина имени кассира"}},
    {err::kShiftClosed, {"tarv.core.receipt.shift.closed", "Смена закрыта"}},
    {err::kShift24h,
     {"tarv.core.receipt.shift.24h", "Смена открыта более 24ч. Требуется закрытие смены"}},
    {err::kSystemTime, {"tarv.core.receipt.system.time", "Неверное время системы"}},
    {err::kHeaderMissing, {"tarv.core.receipt.header.missing", "Отсутствует заголовок"}},
    {err::kHeaderDateTime, {"tarv.core.receipt.header.datetime", "Отсутствует дата и время"}},
    {err::kEncoding, {"tarv.core.receipt.encoding", "Ошибка формирования бинарного док-та"}},
    {err::kCashIn, {"tarv.core.receipt.cash.in", "Недостаточно наличных в кассе"}},
    {err::kWithdrawAll, {"tarv.core.receipt.withdraw.all", "Требуется полное изъятие наличных"}},
    {err::kSumOverflow,
     {"tarv.core.receipt.sum.overflow", "Значение превышает максимальное значение"}},
    {err::kClientWithdrawMax,
     {"tarv.core.receipt.client.withdraw.max", "Превышено максимальное значение выдачи наличных"}},
    {err::kCurrency, {"tarv.core.receipt.currency", "Валюта не поддерживается"}},
    {err::kCashMultiple,
     {"tarv.core.receipt.payments.cash.multiple", "Оплата наличными может быть только одна"}},
    {err::kThirdPartyTaxNumber,
     {"tarv.core.receipt.third-party.tax-number", "Неверный формат УНП третьего лица"}},
    {err::kItemsEmpty, {"tarv.core.receipt.items.empty", "Отсутствуют товары в чеке"}},
    {err::kQuantityOverflow,
     {"tarv.core.receipt.items.quantity.overflow", "Превышено максимальное значение количества"}},
    {err::kQuantityZero,
     {"tarv.core.receipt.items.quantity.zero", "Количество товара не может быть равно нулю"}},
    {err::kStringCharacter, {"tarv.core.receipt.string.character", "Недопустимый символ в строке"}},
    {err::kItemsArithmetic,
     {"tarv.core.receipt.items.arithmetic.overflow",
      "Выход за границы значений при вычислении суммы товара/товаров"}},
    {err::kPaymentsArithmetic,
     {"tarv.core.receipt.payments.arithmetic.overflow",
      "Выход за границы значений при вычислении сумм платежей"}},
    {err::kPaymentCurrency,
     {"tarv.core.receipt.payment.currency.not-supported",
      "Указание валюты средства платежа не поддерживается в данном режиме"}},
    {err::kPaymentChange,
     {"tarv.core.receipt.payment.change.not-supported",
      "Указание сдачи не поддерживается в данном режиме"}},
    {err::kRefundChange,
     {"tarv.core.receipt.refund.change", "Невозможно дать сдачу у док-та возврата"}},
    {err::kCashlessOverflow,
     {"tarv.core.receipt.payments.cashless.overflow",
      "Слишком большая сумма оплаты безналичными средствами платежа"}},
    {err::kRollbackInvalidTarget,
     {"tarv.core.receipt.rollback.invalid-target",
      "Ошибка обработки документа продажи для аннулирования"}},
    {err::kRollbackTargetSign,
     {"tarv.core.receipt.rollback.target.sign", "Неверные данные док-та продажи"}},
    {err::kQuantityMarking,
     {"tarv.core.receipt.item.quantity.marking",
      "Кол-во маркированного товара должно быть равно 1"}},
    {err::kPaymentTypeUnknown,
     {"tarv.core.receipt.payments.type.unknown", "Неизвестный тип платежа"}},
    {err::kNameEmpty, {"tarv.core.receipt.items.name.empty", "Пустое наименование тов. позиции"}},
    {err::kCodeMultipleAssignments,
     {"tarv.core.receipt.item.code.multiple-assignments", "Передано несколько сканов"}},
    {err::kCodeChars,
     {"tarv.core.receipt.item.code.chars", "Неподдерживаемые символы в коде тов. позиции"}},
    {err::kCodeLength,
     {"tarv.core.receipt.item.code.len", "Ошибка проверки длины кода тов. позиции"}},
    {err::kMarkingCodesCount,
     {"tarv.core.receipt.item.marking.codes.count", "Слишком много кодов маркировки"}},
    {err::kMarkingCodeLength,
     {"tarv.core.receipt.item.marking.code.length", "Превышена длина кода маркировки"}},
    {err::kMarkingGtinMissing,
     {"tarv.core.receipt.item.marking.gtin.missing", "Отсутствует GTIN у маркированного товара"}},
    {err::kNotPaid,
     {"tarv.core.receipt.payments.not-payed", "Сумма по чеку не погашена средствами платежа"}},
    {err::kTaxRateUnknown, {"tarv.core.receipt.items.taxrate.unknown", "Неверная ставка НДС"}},
    {err::kAttrsCashInNegative,
     {"tarv.core.attrs.cash-in.neg", "Получена отрицательная сумма наличных в кассе"}},
    {err::kAttrsSum, {"tarv.core.attrs.sum", "Переполнение счётчиков"}},
    {err::kAttrsQuantity, {"tarv.core.attrs.quantity", "Переполнение счётчиков"}},
    {err::kAttrsCount, {"tarv.core.attrs.count", "Переполнение счётчиков"}},
    {err::kMalformed, {"tarv.core.input.malformed", "Ошибка входных данных"}},
    {err::kMemoryBudget,
     {"tarv.core.input.memory",
      "Документ слишком велик для обработки. Разделите его на несколько документов"}},
    {err::kShiftCashIn,
     {"tarv.core.shift.cash-in", "В кассе присутствуют наличные. Требуется изьятие"}},
    {err::kShiftAlreadyClosed, {"tarv.core.shift.closed", "Смена уже закрыта"}},
    {err::kShiftMalformed, {"tarv.core.shift.malformed", "Не передана дата закрытия смены"}},
    {err::kShiftBin, {"tarv.core.shift.bin", "Внутренняя ошибка"}},
};

// Every group's rows stand together, numbered 0, 1, 2... without a gap, so
// that a kind renumbered in errors.h or a row moved here stops the build.
constexpr bool rows_in_order() {
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const CalcError error = kRows[i].error;
    const bool opens_group = i == 0 || kRows[i - 1].error.group != error.group;
    if (error.kind != (opens_group ? 0 : kRows[i - 1].error.kind + 1)) return false;
    for (size_t j = 0; opens_group && j < i; ++j) {
      if (kRows[j].error.group == error.group) return false;
    }
  }
  return true;
}
static_assert(rows_in_order());

}  // namespace

std::span<const ErrorRow> error_table() { return kRows; }

ErrorText describe(CalcError error) {
  for (const ErrorRow& row : kRows) {
    if (row.error == error) return row.text;
  }
  // A kind outside its group's rows: the group's kind-0 row, the first.
  for (const ErrorRow& row : kRows) {
    if (row.error.group == error.group) return row.text;
  }
  return describe(err::kMalformed);  // a group outside the enumeration
}

}  // namespace tarv
