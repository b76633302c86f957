"""tarv_core for Python against the library in the build tree: the results
are those that the C exports give (the C++ suites assert the same values),
and every request of a complete demo shift, rollback included, answers with
the very bytes that `tarv demo` got from the C exports.

Environment: TARV_TOOL, the tarv tool; PYTHONPATH holds the package with the
library beside it."""
import ctypes.util
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

import tarv_core
from tarv_core import messages as pb

OPENED_AT = 1704103200  # 2024-01-01T10:00:00Z


def context(cash_in=0):
    c = pb.Context(currencies=["BYN"], next_doc_number=77, next_shift_number=5,
                   device_id=0x01020304, tax_number=123456789)
    c.shift_ctx.opened_at.FromSeconds(OPENED_AT)
    if cash_in:
        c.shift_ctx.attrs["BYN"].cash_in = cash_in
    return c


def header(currency="BYN"):
    h = pb.Header(cashier="Иванов", currency=currency)
    h.at.FromJsonString("2024-01-01T11:00:00Z")
    return h


def sale(cash_in, currency="BYN"):
    """One item of 10.00 paid 4.00 by card and 10.00 in cash: 6.00 change."""
    doc = pb.Sale(header=header(currency),
                  items=[pb.Item(name="Хлеб", price=1000, quantity=1000, tax_rate=20)],
                  payments=[pb.Payment(type_id=1, sum=400), pb.Payment(type_id=0, sum=1000)])
    return pb.SaleRequest(context=context(cash_in), doc=doc, attrs=pb.DocumentAttributes())


class LibraryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = tarv_core.Library()

    def test_version_and_location(self):
        self.assertEqual(self.lib.version(), "2.0.1")
        # Found beside the package (the build tree here), not by the system
        # loader, which would have been given the bare soname.
        self.assertTrue(os.path.isabs(self.lib.path), self.lib.path)
        self.assertTrue(os.path.exists(self.lib.path), self.lib.path)

    def test_without_a_library_beside_the_system_loader_is_asked(self):
        with tempfile.TemporaryDirectory() as tmp:
            package = pathlib.Path(tarv_core.__file__).parent
            shutil.copytree(package, pathlib.Path(tmp, "tarv_core"))
            script = "import tarv_core; print(tarv_core.Library().path)"
            env = dict(os.environ, PYTHONPATH=tmp,
                       LD_LIBRARY_PATH=os.path.dirname(os.path.realpath(self.lib.path)))
            found = subprocess.run([sys.executable, "-c", script], env=env, check=True,
                                   capture_output=True, text=True)
            self.assertEqual(found.stdout.strip(), "libtarv_core.so.2")
            if ctypes.util.find_library("tarv_core") is None:  # not installed on this system
                del env["LD_LIBRARY_PATH"]
                missing = subprocess.run([sys.executable, "-c", script], env=env,
                                         capture_output=True, text=True)
                self.assertNotEqual(missing.returncode, 0)
                self.assertIn("cannot load libtarv_core.so.2", missing.stderr)

    def test_deposit(self):
        request = pb.DepositRequest(context=context(), doc=pb.Deposit(header=header(), sum=100),
                                    attrs=pb.CashInOutAttributes())
        r = self.lib.deposit(request)
        self.assertIsInstance(r, pb.DepositResponse)
        self.assertEqual(len(r.binary_doc), 56)
        self.assertEqual(list(r.binary_doc[29:35]), [1, 1, 24, 14, 0, 0])  # local 14:00
        self.assertEqual(r.shift_attrs["BYN"].cash_in, 100)
        self.assertEqual((r.attrs.cash.sum, r.attrs.cash.count), (100, 1))
        self.assertEqual(r.sum, 100)

    def test_sale_with_change(self):
        r = self.lib.sale(sale(cash_in=400))
        self.assertIsInstance(r, pb.SaleResponse)
        split = r.doc.calculations.payments["BYN"]
        self.assertEqual((split.cash, split.card, split.cash_change), (600, 400, 400))
        self.assertEqual(r.sum, 1000)
        self.assertEqual(r.shift_attrs["BYN"].cash_in, 1000)  # 400 + 1000 - 400
        self.assertEqual(r.attrs.count, 1)

    def test_error_response(self):
        cases = [  # (request, code, message)
            (sale(400, currency="USD"), "tarv.core.receipt.currency", "Валюта не поддерживается"),
            (sale(cash_in=399), "tarv.core.receipt.cash.in", None),  # change above the drawer
            (pb.SaleRequest(), "tarv.core.input.malformed", "Ошибка входных данных"),
        ]
        for request, code, message in cases:
            with self.subTest(code=code), self.assertRaises(tarv_core.TarvError) as raised:
                self.lib.sale(request)
            self.assertEqual(raised.exception.code, code)
            if message:
                self.assertEqual(raised.exception.message, message)

    def test_undecodable_bytes(self):
        for data in (b"\x07", b"\x0a\x05\x01", b"\x12\x02\x0a\xff"):  # wire type 7, cut, cut inside doc
            with self.subTest(data=data), self.assertRaises(tarv_core.Undecodable):
                self.lib.call("sale", data)

    def test_wrong_request_type_and_unknown_export(self):
        with self.assertRaises(TypeError):
            self.lib.sale(pb.DepositRequest())
        with self.assertRaises(KeyError):
            self.lib.call("sael", b"")

    def test_demo_shift_answers_as_the_c_exports_did(self):
        requests = {"deposit": pb.DepositRequest, "withdraw": pb.WithdrawRequest,
                    "sale": pb.SaleRequest, "refund": pb.RefundRequest,
                    "rollback": pb.RollbackRequest, "report": pb.ReportRequest,
                    "order": pb.OrderRequest}
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([os.environ["TARV_TOOL"], "demo", "--out", out], check=True,
                           stdout=subprocess.DEVNULL)
            kinds = set()
            for path in sorted(pathlib.Path(out).glob("*.request.pb")):
                step = path.name[:-len(".request.pb")]  # e.g. "08-rollback"
                kind = step.split("-")[1]
                kinds.add(kind)
                request = path.read_bytes()
                expected = pathlib.Path(out, step + ".response.pb").read_bytes()
                with self.subTest(step=step):
                    self.assertEqual(self.lib.call(kind, request), expected)
                    typed = getattr(self.lib, kind)(requests[kind].FromString(request))
                    self.assertEqual(typed, type(typed).FromString(expected))
            self.assertEqual(kinds, set(requests))  # a signed sale annulled among them

    def test_threads_share_one_library(self):
        expected = self.lib.sale(sale(400)).SerializeToString(deterministic=True)
        results, errors = [], []

        def work():
            try:
                for _ in range(50):
                    results.append(self.lib.sale(sale(400)).SerializeToString(deterministic=True))
                    with self.assertRaises(tarv_core.TarvError):
                        self.lib.sale(sale(400, currency="USD"))
            except Exception as e:  # noqa: BLE001 - reported below
                errors.append(e)

        threads = [threading.Thread(target=work) for _ in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(errors, [])
        self.assertEqual(results, [expected] * 400)



if __name__ == "__main__":
    unittest.main()
