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
import os as _os
import sys as _sys

# Debian's python3-protobuf serves /usr/bin/python3; another Python 3 of the
# same machine (a pyenv or venv interpreter without protobuf of its own) takes
# it from there, after everything on its own path.
_SYSTEM_PACKAGES = "/usr/lib/python3/dist-packages"
try:
    from . import messages
except ModuleNotFoundError as e:
    if not (e.name or "").startswith("google"):
        raise
    if _SYSTEM_PACKAGES in _sys.path or not _os.path.isdir(_SYSTEM_PACKAGES + "/google/protobuf"):
        raise ImportError("tarv_core needs the protobuf runtime for Python (Debian's package "
                          "python3-protobuf)") from e
    _sys.path.append(_SYSTEM_PACKAGES)
    for _name in [n for n in _sys.modules if n == "google" or n.startswith("google.")]:
        del _sys.modules[_name]
    from . import messages
from ._library import Library, TarvError, Undecodable

__all__ = ["Library", "TarvError", "Undecodable", "messages"]
