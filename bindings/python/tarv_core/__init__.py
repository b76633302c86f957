"""tarv_core for Python: the computing core of a fiscal cash register.

    import tarv_core
    from tarv_core import messages

    lib = tarv_core.Library()  # the installed libtarv_core.so.2
    response = lib.deposit(messages.DepositRequest(...))  # a DepositResponse

Every document method takes its request message and returns the typed
response. The library keeps no state: the host stores the counters and the
cash position that each response carries and sends them with the next request.

Errors: an ErrorResponse (status 1) raises TarvError with .code and .message;
bytes that are no request (status 255) raise Undecodable.
"""
try:
    from . import messages
except ModuleNotFoundError as e:
    if not (e.name or "").startswith("google"):
        raise
    raise ImportError("tarv_core needs the protobuf runtime for Python (Debian's package "
                      "python3-protobuf, for /usr/bin/python3)") from e
from ._library import Library, TarvError, Undecodable

__all__ = ["Library", "TarvError", "Undecodable", "messages"]
