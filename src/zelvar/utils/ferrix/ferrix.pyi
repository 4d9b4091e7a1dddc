import asyncio as asyncio
import socket
import sys as sys
from typing import Any, SupportsInt

from zelvar.scrivo.scrivo import DefaultLogger as DefaultLogger

logger: DefaultLogger
__pyx_capi__: dict[str, Any]

def setup_socket(blocking: object, recvbuf: SupportsInt) -> socket.socket: ...

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
    def __reduce__(self) -> Any: ...
    def __setstate__(self, state: Any, /) -> Any: ...

class CBufferView:
    def __init__(self, msg_kind: SupportsInt = 4) -> None: ...
    def __reduce__(self) -> Any: ...
    def __setstate__(self, state: Any, /) -> Any: ...
