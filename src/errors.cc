#include "src/errors.h"

#include <span>

namespace tarv {
namespace {

// Index = kind.
constexpr ErrorText kReceipt[] = {
    {"tarv.core.receipt.header.cashier.length", "Превышена длина имени кассира"},
    {"tarv.core.receipt.shift.closed", "Смена закрыта"},
    {"tarv.core.receipt.shift.24h", "Смена открыта более 24ч. Требуется закрытие смены"},
    {"tarv.core.receipt.system.time", "Неверное время системы"},
    {"tarv.core.receipt.header.missing", "Отсутствует заголовок"},
    {"tarv.core.receipt.header.datetime", "Отсутствует дата и время"},
    {"tarv.core.receipt.encoding", "Ошибка формирования бинарного док-та"},
    {"tarv.core.receipt.cash.in", "Недостаточно наличных в кассе"},
    {"tarv.core.receipt.withdraw.all", "Требуется полное изъятие наличных"},
    {"tarv.core.receipt.sum.overflow", "Значение превышает максимальное значение"},
    {"tarv.core.receipt.client.withdraw.max", "Превышено максимальное значение выдачи наличных"},
    {"tarv.core.receipt.currency", "Валюта не поддерживается"},
    {"tarv.core.receipt.payments.cash.multiple", "Оплата наличными может быть только одна"},
    {"tarv.core.receipt.third-party.tax-number", "Неверный формат УНП третьего лица"},
    {"tarv.core.receipt.items.empty", "Отсутствуют товары в чеке"},
    {"tarv.core.receipt.items.quantity.overflow", "Превышено максимальное значение количества"},
    {"tarv.core.receipt.items.quantity.zero", "Количество товара не может быть равно нулю"},
    {"tarv.core.receipt.string.character", "Недопустимый символ в строке"},
    {"tarv.core.receipt.items.arithmetic.overflow",
     "Выход за границы значений при вычислении суммы товара/товаров"},
    {"tarv.core.receipt.payments.arithmetic.overflow",
     "Выход за границы значений при вычислении сумм платежей"},
    {"tarv.core.receipt.payment.currency.not-supported",
     "Указание валюты средства платежа не поддерживается в данном режиме"},
    {"tarv.core.receipt.payment.change.not-supported",
     "Указание сдачи не поддерживается в данном режиме"},
    {"tarv.core.receipt.refund.change", "Невозможно дать сдачу у док-та возврата"},
    {"tarv.core.receipt.payments.cashless.overflow",
     "Слишком большая сумма оплаты безналичными средствами платежа"},
    {"tarv.core.receipt.rollback.invalid-target",
     "Ошибка обработки документа продажи для аннулирования"},
    {"tarv.core.receipt.rollback.target.sign", "Неверные данные док-та продажи"},
    {"tarv.core.receipt.item.quantity.marking", "Кол-во маркированного товара должно быть равно 1"},
    {"tarv.core.receipt.payments.type.unknown", "Неизвестный тип платежа"},
    {"tarv.core.receipt.items.name.empty", "Пустое наименование тов. позиции"},
    {"tarv.core.receipt.item.code.multiple-assignments", "Передано несколько сканов"},
    {"tarv.core.receipt.item.code.chars", "Неподдерживаемые символы в коде тов. позиции"},
    {"tarv.core.receipt.item.code.len", "Ошибка проверки длины кода тов. позиции"},
    {"tarv.core.receipt.item.marking.codes.count", "Слишком много кодов маркировки"},
    {"tarv.core.receipt.item.marking.code.length", "Превышена длина кода маркировки"},
    {"tarv.core.receipt.item.marking.gtin.missing", "Отсутствует GTIN у маркированного товара"},
    {"tarv.core.receipt.payments.not-payed", "Сумма по чеку не погашена средствами платежа"},
    {"tarv.core.receipt.items.taxrate.unknown", "Неверная ставка НДС"},
};

constexpr ErrorText kAttrs[] = {
    {"tarv.core.attrs.cash-in.neg", "Получена отрицательная сумма наличных в кассе"},
    {"tarv.core.attrs.sum", "Переполнение счётчиков"},
    {"tarv.core.attrs.quantity", "Переполнение счётчиков"},
    {"tarv.core.attrs.count", "Переполнение счётчиков"},
};

constexpr ErrorText kInput[] = {
    {"tarv.core.input.malformed", "Ошибка входных данных"},
};

constexpr ErrorText kShift[] = {
    {"tarv.core.shift.cash-in", "В кассе присутствуют наличные. Требуется изьятие"},
    {"tarv.core.shift.closed", "Смена уже закрыта"},
    {"tarv.core.shift.malformed", "Не передана дата закрытия смены"},
    {"tarv.core.shift.bin", "Внутренняя ошибка"},
};

ErrorText lookup(std::span<const ErrorText> table, uint8_t kind) {
  return kind < table.size() ? table[kind] : table[0];
}

}  // namespace

ErrorText describe(CalcError error) {
  switch (error.group) {
    case ErrorGroup::kReceipt:
      return lookup(kReceipt, error.kind);
    case ErrorGroup::kAttrs:
      return lookup(kAttrs, error.kind);
    case ErrorGroup::kInput:
      return kInput[0];
    case ErrorGroup::kShift:
      return lookup(kShift, error.kind);
  }
  return kInput[0];  // a group outside the enumeration
}

}  // namespace tarv
