#!/usr/bin/env python3
"""A Python host of tarv_core through ctypes.

The requests are built with the classes that protoc generates from the
installed tarv_core.proto (Debian's python3-protobuf):

    protoc -I <prefix>/share/tarv_core --python_out=. tarv_core.proto
    python3 host.py [path of libtarv_core.so.2]

A cash deposit, a sale paid in cash with change from the drawer, a sale in a
currency the register does not accept (an error response, status 1) and bytes
that are no request at all (status 255).
"""
import ctypes
import ctypes.util
import sys

import tarv_core_pb2 as pb
from google.protobuf.timestamp_pb2 import Timestamp

OPENED_AT = 1704103200  # 2024-01-01T10:00:00Z, when the shift opened

STATUS_OK, STATUS_ERROR, STATUS_UNDECODABLE = 0, 1, 255


class TarvError(Exception):
    """Status 1: the library answered with an ErrorResponse."""

    def __init__(self, code, message):
        super().__init__(f"{code}: {message}")
        self.code, self.message = code, message


class Undecodable(Exception):
    """Status 255: the request was not a message; nothing was returned."""


class Library:
    EXPORTS = {
        "deposit": ("tarvcore_create_deposit", pb.DepositResponse),
        "sale": ("tarvcore_create_sale", pb.SaleResponse),
    }

    def __init__(self, path):
        self.lib = ctypes.CDLL(path)
        self.lib.tarvcore_free_buffer.argtypes = [ctypes.c_void_p, ctypes.c_uint64]
        self.lib.tarvcore_free_buffer.restype = None
        self.lib.tarvcore_get_version.argtypes = [
            ctypes.POINTER(ctypes.c_uint32), ctypes.POINTER(ctypes.c_uint8)]
        self.lib.tarvcore_get_version.restype = ctypes.c_void_p
        for name, _ in self.EXPORTS.values():
            fn = getattr(self.lib, name)
            fn.argtypes = [ctypes.c_char_p, ctypes.c_uint64,
                           ctypes.POINTER(ctypes.c_void_p), ctypes.POINTER(ctypes.c_uint64)]
            fn.restype = ctypes.c_uint8

    def version(self):
        length, flag = ctypes.c_uint32(), ctypes.c_uint8()
        text = self.lib.tarvcore_get_version(ctypes.byref(length), ctypes.byref(flag))
        return ctypes.string_at(text, length.value).decode()

    def call(self, kind, request):
        """Sends a request (a message or raw bytes) and returns the typed
        response; raises TarvError on status 1 and Undecodable on 255."""
        name, response_type = self.EXPORTS[kind]
        data = request if isinstance(request, bytes) else request.SerializeToString()
        out, length = ctypes.c_void_p(), ctypes.c_uint64()
        status = getattr(self.lib, name)(data, len(data), ctypes.byref(out), ctypes.byref(length))
        if status == STATUS_UNDECODABLE:
            raise Undecodable(kind)  # the out-parameters were not written
        try:
            answer = ctypes.string_at(out.value, length.value)
        finally:
            self.lib.tarvcore_free_buffer(out, length)
        if status == STATUS_ERROR:
            error = pb.ErrorResponse.FromString(answer)
            raise TarvError(error.code, error.message)
        return response_type.FromString(answer)


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
        c.shift_ctx.opened_at.seconds = OPENED_AT
        for currency, cash in self.drawer.items():
            c.shift_ctx.attrs[currency].CopyFrom(cash)
        return c

    @staticmethod
    def header(currency, at):
        return pb.Header(cashier="Иванова", currency=currency, at=Timestamp(seconds=at))

    def issue(self, kind, request, counters):
        prefix = f"{kind} #{self.next_doc_number}: "
        try:
            response = self.lib.call(kind, request)
        except TarvError as e:
            print(f"{prefix}status {STATUS_ERROR}, {e.code}: {e.message}")
            return
        except Undecodable:
            print(f"{prefix}status {STATUS_UNDECODABLE}")
            return
        print(f"{prefix}status {STATUS_OK}, sum {response.sum}, "
              f"document {len(response.binary_doc)} bytes")
        self.drawer = {k: v for k, v in response.shift_attrs.items()}
        counters.CopyFrom(response.attrs)
        self.next_doc_number += 1
        for currency, cash in sorted(self.drawer.items()):
            print(f"  drawer {currency}: cash_in {cash.cash_in}, income {cash.income}")

    def deposit(self, total, at):
        request = pb.DepositRequest(context=self.context(), attrs=self.deposits,
                                    doc=pb.Deposit(header=self.header("BYN", at), sum=total))
        self.issue("deposit", request, self.deposits)

    def sale(self, currency, name, price, cash, at):
        item = pb.Item(name=name, price=price, quantity=1000, tax_rate=20)  # one piece, 20 % VAT
        doc = pb.Sale(header=self.header(currency, at), items=[item],
                      payments=[pb.Payment(type_id=0, sum=cash)])  # type 0: cash
        self.issue("sale", pb.SaleRequest(context=self.context(), doc=doc, attrs=self.sales),
                   self.sales)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else ctypes.util.find_library("tarv_core")
    if not path:
        sys.exit("libtarv_core not found: give its path")
    lib = Library(path)
    print(f"tarv_core {lib.version()}")
    r = Register(lib)
    r.deposit(10000, OPENED_AT + 600)
    r.sale("BYN", "Хлеб", 250, 1000, OPENED_AT + 1200)
    r.sale("USD", "Хлеб", 250, 1000, OPENED_AT + 1500)
    r.issue("sale", b"\x07", r.sales)  # wire type 7: not a message


if __name__ == "__main__":
    main()
