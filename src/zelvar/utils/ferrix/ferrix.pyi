import asyncio as asyncio
import socket
import sys as sys
from collections.abc import Awaitable, Callable
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

@disjoint_base
class AsyncDispatcher:
    def __init__(
        self,
        callback: Callable[[bytes], Awaitable[object]],
        capacity: SupportsInt = 16384,
        slot_size: SupportsInt = 2048,
        overwrite: object = False,
        zerocopy: object = False,
        variable_size: object = False,
    ) -> None: ...
    def setup(self, host: str = "127.0.0.1", recvbuf: SupportsInt = 16777216) -> None: ...
    def close(self) -> None: ...
    async def _AsyncDispatcher__reader(self, loop: asyncio.AbstractEventLoop, sock: socket.socket) -> None: ...
    async def _AsyncDispatcher__reader_var(self, loop: asyncio.AbstractEventLoop, sock: socket.socket) -> None: ...
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, state: object, /) -> NoReturn: ...

_Buffer = bytes | bytearray | memoryview

@disjoint_base
class AsyncQueue:
    def __init__(
        self,
        loop: asyncio.AbstractEventLoop | None = None,
        slot_size: SupportsInt = 1024,
        capacity: SupportsInt = 16384,
        overwrite: object = False,
        zerocopy: object = False,
        block_on_full: object = False,
    ) -> None: ...
    # Each push returns True when the ring stored the message, False when it refused it.
    async def push_str(self, msg: str) -> bool: ...
    async def push_obj(self, msg: object) -> bool: ...
    async def push_buf(self, msg: _Buffer) -> bool: ...
    async def pop(self) -> bytes: ...
    def start_dispatcher(self, callback: Callable[[bytes], Awaitable[object]]) -> None: ...
    async def _AsyncQueue__dispatch(self) -> NoReturn: ...
    async def shutdown(self, *excinfo: object) -> None: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

def __pyx_unpickle_AsyncQueue(
    __pyx_type: type[AsyncQueue], __pyx_checksum: SupportsInt, __pyx_state: tuple[Any, ...] | None
) -> AsyncQueue: ...
