import asyncio as asyncio
import socket
import sys as sys
from collections.abc import Awaitable, Callable, Coroutine
from typing import Any, NoReturn, SupportsInt

from typing_extensions import Buffer, Self, disjoint_base

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

# With batch=0 a callback gets one message (bytes) per call; with batch=N > 0 a list of up to N.
_SyncCallback = Callable[[bytes], object] | Callable[[list[bytes]], object]
_AsyncCallback = Callable[[bytes], Awaitable[object]] | Callable[[list[bytes]], Awaitable[object]]

# What both dispatchers have. Only the stub has this class: at run time the two share no base.
class _Dispatcher:
    def setup(self, host: str = "127.0.0.1", recvbuf: SupportsInt = 16777216) -> None: ...
    def close(self) -> None: ...
    # The push entry's result: above 0 stored, 0 full, -1 closed (or no ring), -2 too large.
    # Native producers and push must not run at once (the ring has one producer).
    def push(self, data: Buffer, /) -> int: ...
    def qsize(self) -> int: ...
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, state: object, /) -> NoReturn: ...

@disjoint_base
class SyncDispatcher(_Dispatcher):
    def __init__(
        self,
        callback: _SyncCallback,
        capacity: SupportsInt = 16384,
        slot_size: SupportsInt = 2048,
        zerocopy: object = False,
        overwrite: object = False,
        block_on_full: object = False,
        variable_size: object = False,
        detach: object = True,
        nonblocking: object = True,
        *,
        batch: int = 0,
    ) -> None: ...

@disjoint_base
class AsyncDispatcher(_Dispatcher):
    def __init__(
        self,
        callback: _AsyncCallback,
        capacity: SupportsInt = 16384,
        slot_size: SupportsInt = 2048,
        overwrite: object = False,
        zerocopy: object = False,
        variable_size: object = False,
        *,
        batch: int = 0,
    ) -> None: ...
    async def _AsyncDispatcher__reader(self, loop: asyncio.AbstractEventLoop, sock: socket.socket) -> None: ...
    async def _AsyncDispatcher__reader_var(self, loop: asyncio.AbstractEventLoop, sock: socket.socket) -> None: ...

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
    def start_dispatcher(self, callback: _AsyncCallback, *, batch: int = 0) -> None: ...
    def qsize(self) -> int: ...
    def empty(self) -> bool: ...
    # `async for message in queue`: each step is `await queue.pop()`; ends only by break or cancellation.
    def __aiter__(self) -> Self: ...
    def __anext__(self) -> Coroutine[Any, Any, bytes]: ...
    async def _AsyncQueue__dispatch(self) -> NoReturn: ...
    async def shutdown(self, *excinfo: object) -> None: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, state: tuple[Any, ...], /) -> None: ...

def __pyx_unpickle_AsyncQueue(
    __pyx_type: type[AsyncQueue], __pyx_checksum: SupportsInt, __pyx_state: tuple[Any, ...] | None
) -> AsyncQueue: ...
