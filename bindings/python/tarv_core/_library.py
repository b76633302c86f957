"""Loading libtarv_core.so.2 and calling its C exports through ctypes."""
import ctypes
import os

from . import _location
from . import tarv_core_pb2 as pb

SONAME = "libtarv_core.so.2"

_STATUS_OK, _STATUS_ERROR, _STATUS_UNDECODABLE = 0, 1, 255

# Method name -> (C export, request class, typed success response class).
_EXPORTS = {
    "deposit": ("tarvcore_create_deposit", pb.DepositRequest, pb.DepositResponse),
    "withdraw": ("tarvcore_create_withdraw", pb.WithdrawRequest, pb.WithdrawResponse),
    "ch_withdraw": ("tarvcore_create_ch_withdraw", pb.CardHolderWithdrawRequest,
                    pb.CardHolderWithdrawResponse),
    "sale": ("tarvcore_create_sale", pb.SaleRequest, pb.SaleResponse),
    "refund": ("tarvcore_create_refund", pb.RefundRequest, pb.RefundResponse),
    "rollback": ("tarvcore_create_rollback", pb.RollbackRequest, pb.RollbackResponse),
    "report": ("tarvcore_create_report", pb.ReportRequest, pb.ReportResponse),
    "order": ("tarvcore_register_order", pb.OrderRequest, pb.OrderResponse),
}


class TarvError(Exception):
    """Status 1: the library refused the document with an ErrorResponse.

    .code is the error code (e.g. "tarv.core.receipt.currency"), .message its
    Russian text for the cashier."""

    def __init__(self, code, message):
        super().__init__(f"{code}: {message}")
        self.code = code
        self.message = message


class Undecodable(Exception):
    """Status 255: the request bytes are not a message of the export's type.
    The library wrote one line to standard error and returned nothing."""


def _installed_path():
    """The library beside this package's own prefix, if it is there."""
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.normpath(os.path.join(here, _location.LIBDIR, SONAME))
    return path if os.path.exists(path) else None


class Library:
    """One loaded libtarv_core. Its methods may be called from any number of
    threads at once: the object holds nothing that a call changes, and ctypes
    releases the interpreter lock while the library computes."""

    def __init__(self, path=None):
        """Loads the library at `path`; by default the one installed beside
        this package (PREFIX/lib), then the system loader's libtarv_core.so.2."""
        candidates = [path] if path is not None else [_installed_path(), SONAME]
        errors = []
        for candidate in filter(None, candidates):
            try:
                self._lib = ctypes.CDLL(candidate)
                self.path = candidate
                break
            except OSError as e:
                errors.append(str(e))
        else:
            raise OSError(f"cannot load {SONAME}: " + "; ".join(errors))

        self._lib.tarvcore_free_buffer.argtypes = [ctypes.c_void_p, ctypes.c_uint64]
        self._lib.tarvcore_free_buffer.restype = None
        self._lib.tarvcore_get_version.argtypes = [
            ctypes.POINTER(ctypes.c_uint32), ctypes.POINTER(ctypes.c_uint8)]
        self._lib.tarvcore_get_version.restype = ctypes.c_void_p
        self._exports = {}
        for method, (symbol, request_type, response_type) in _EXPORTS.items():
            fn = getattr(self._lib, symbol)
            fn.argtypes = [ctypes.c_char_p, ctypes.c_uint64,
                           ctypes.POINTER(ctypes.c_void_p), ctypes.POINTER(ctypes.c_uint64)]
            fn.restype = ctypes.c_uint8
            self._exports[method] = self._exports[symbol] = (fn, request_type, response_type)

    def version(self):
        """The library's version text, "2.0.1"."""
        length, flag = ctypes.c_uint32(), ctypes.c_uint8()
        text = self._lib.tarvcore_get_version(ctypes.byref(length), ctypes.byref(flag))
        return ctypes.string_at(text, length.value).decode()

    def call(self, export_name, request_bytes):
        """Calls one export ("sale" or "tarvcore_create_sale") with encoded
        request bytes and returns the encoded success response. Raises
        TarvError on status 1, Undecodable on status 255, KeyError for an
        unknown export."""
        fn = self._export(export_name)[0]
        data = bytes(request_bytes)
        out, length = ctypes.c_void_p(), ctypes.c_uint64()
        status = fn(data, len(data), ctypes.byref(out), ctypes.byref(length))
        if status == _STATUS_UNDECODABLE:  # nothing was written, nothing to free
            raise Undecodable(f"{export_name}: the request does not decode (status 255)")
        try:
            answer = ctypes.string_at(out.value, length.value) if length.value else b""
        finally:
            self._lib.tarvcore_free_buffer(out, length)
        if status == _STATUS_ERROR:
            error = pb.ErrorResponse.FromString(answer)
            raise TarvError(error.code, error.message)
        if status != _STATUS_OK:
            raise RuntimeError(f"{export_name}: unknown status {status}")
        return answer

    def _export(self, name):
        try:
            return self._exports[name]
        except KeyError:
            raise KeyError(f"unknown export {name!r} (one of {', '.join(_EXPORTS)})") from None

    def _document(self, method, request):
        _, request_type, response_type = self._export(method)
        if not isinstance(request, request_type):
            raise TypeError(f"{method} takes a {request_type.DESCRIPTOR.full_name}, "
                            f"not {type(request).__name__}")
        return response_type.FromString(self.call(method, request.SerializeToString()))

    def deposit(self, request):
        """DepositRequest -> DepositResponse (a 56-byte deposit document)."""
        return self._document("deposit", request)

    def withdraw(self, request):
        """WithdrawRequest -> WithdrawResponse."""
        return self._document("withdraw", request)

    def ch_withdraw(self, request):
        """CardHolderWithdrawRequest -> CardHolderWithdrawResponse."""
        return self._document("ch_withdraw", request)

    def sale(self, request):
        """SaleRequest -> SaleResponse with the completed sale and its change."""
        return self._document("sale", request)

    def refund(self, request):
        """RefundRequest -> RefundResponse."""
        return self._document("refund", request)

    def rollback(self, request):
        """RollbackRequest (a signed sale document) -> RollbackResponse."""
        return self._document("rollback", request)

    def report(self, request):
        """ReportRequest -> ReportResponse (the shift-close report)."""
        return self._document("report", request)

    def order(self, request):
        """OrderRequest -> OrderResponse (order counters, no document)."""
        return self._document("order", request)

