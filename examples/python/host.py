#!/usr/bin/env python3
"""A Python host of tarv_core through the installed package tarv_core:

    PYTHONPATH=<prefix>/lib/python3/dist-packages python3 host.py

(with the Debian package, /usr/lib/python3/dist-packages is on the path
already). A cash deposit, a sale paid in cash with change from the drawer, a
sale in a currency the register does not accept (an error response, status 1)
and bytes that are no request at all (status 255).
"""
import tarv_core
from tarv_core import messages as pb

OPENED_AT = 1704103200  # 2024-01-01T10:00:00Z, when the shift opened


class Register:
    """What the host persists between calls and sends back."""

    def __init__(self, lib):
        self.lib = lib
        self.next_doc_number = 1
        self.drawer = {}  # currency -> GeneralAttributes
        self.deposits = pb.CashInOutAttributes()
        self.sales = pb.DocumentAttributes()

    def context(self):
        c = pb.Context(currencies=["BYN"], next_doc_number=self.next_doc_number,
                       next_shift_number=1, device_id=4242, tax_number=190000001)
        c.shift_ctx.opened_at.FromSeconds(OPENED_AT)
        for currency, cash in self.drawer.items():
            c.shift_ctx.attrs[currency].CopyFrom(cash)
        return c

    @staticmethod
    def header(currency, at):
        h = pb.Header(cashier="Иванова", currency=currency)
        h.at.FromSeconds(at)
        return h

    def issue(self, kind, send, counters):
        prefix = f"{kind} #{self.next_doc_number}: "
        try:
            response = send()
        except tarv_core.TarvError as e:
            print(f"{prefix}status 1, {e.code}: {e.message}")
            return
        except tarv_core.Undecodable:
            print(f"{prefix}status 255")
            return
        print(f"{prefix}status 0, sum {response.sum}, document {len(response.binary_doc)} bytes")
        self.drawer = dict(response.shift_attrs.items())
        counters.CopyFrom(response.attrs)
        self.next_doc_number += 1
        for currency, cash in sorted(self.drawer.items()):
            print(f"  drawer {currency}: cash_in {cash.cash_in}, income {cash.income}")

    def deposit(self, total, at):
        request = pb.DepositRequest(context=self.context(), attrs=self.deposits,
                                    doc=pb.Deposit(header=self.header("BYN", at), sum=total))
        self.issue("deposit", lambda: self.lib.deposit(request), self.deposits)

    def sale(self, currency, name, price, cash, at):
        item = pb.Item(name=name, price=price, quantity=1000, tax_rate=20)  # one piece, 20 % VAT
        doc = pb.Sale(header=self.header(currency, at), items=[item],
                      payments=[pb.Payment(type_id=0, sum=cash)])  # type 0: cash
        request = pb.SaleRequest(context=self.context(), doc=doc, attrs=self.sales)
        self.issue("sale", lambda: self.lib.sale(request), self.sales)


def main():
    lib = tarv_core.Library()  # beside the package, else the system loader's
    print(f"tarv_core {lib.version()}")
    r = Register(lib)
    r.deposit(10000, OPENED_AT + 600)
    r.sale("BYN", "Хлеб", 250, 1000, OPENED_AT + 1200)
    r.sale("USD", "Хлеб", 250, 1000, OPENED_AT + 1500)
    r.issue("sale", lambda: lib.call("sale", b"\x07"), r.sales)  # wire type 7: not a message


if __name__ == "__main__":
    main()
