import asyncio as asyncio
import socket
import sys as sys
from collections.abc import Callable
from typing import Any, NoReturn, SupportsInt

from typing_extensions import disjoint_base

from zelvar.scrivo.scrivo import DefaultLogger as DefaultLogger

logger: DefaultLogger
__pyx_capi__: dict[str, Any]

def setup_socket(blocking: object, recvbuf: SupportsInt) -> socket.socket: ...

# None of these types pickles: __reduce__ and __setstate__ raise TypeError.

@disjoint_base
class NexoPipe:
    def __init__(
        self,
        capacity: SupportsInt = 16384,
        slot_size: SupportsInt = 2048,
        zerocopy: object = False,
        overwrite: object = False,
        block_on_full: object = False,
        variable_size: object = False,
    ) -> None: ...
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, state: object, /) -> NoReturn: ...

@disjoint_base
class CBufferView:
    def __init__(self, msg_kind: SupportsInt = 4) -> None: ...
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, state: object, /) -> NoReturn: ...

@disjoint_base
class SyncDispatcher:
    def __init__(
        self,
        callback: Callable[[bytes], object],
        capacity: SupportsInt = 16384,
        slot_size: SupportsInt = 2048,
        zerocopy: object = False,
        overwrite: object = False,
        block_on_full: object = False,
        variable_size: object = False,
        detach: object = True,
        nonblocking: object = True,
    ) -> None: ...
    def setup(self, host: str = "127.0.0.1", recvbuf: SupportsInt = 16777216) -> None: ...
    def close(self) -> None: ...
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, state: object, /) -> NoReturn: ...
