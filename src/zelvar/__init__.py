"""Native spdlog loggers and a lock-free message bridge for CPython."""

from pathlib import Path as _Path

__version__ = "0.1.0"

__all__ = ["__version__", "get_include"]


def get_include() -> str:
    """Return the folder holding zelvar's public C++ headers.

    A native module compiles with ``-I<this folder>`` and includes, for example,
    ``<zelvar/utils/ferrix/ferrix.hpp>``.
    """
    return str(_Path(__file__).resolve().parent / "include")
