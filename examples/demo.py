"""A short tour of zelvar: what exists so far, shown live."""

import asyncio
import logging
import os
import tempfile
import threading
import time

from zelvar.scrivo.scrivo import ColorScheme, ConsoleHandler, DefaultLogger, Level, Logger, RotatingFileHandler
from zelvar.spsc_queue.spsc_queue import SPSCQueue


def section(title):
    print(f"\n== {title} ==")


def show_levels():
    section("Levels (the native spdlog levels, as an IntEnum)")
    for level in Level:
        print(f"  {level.name:<8} = {int(level)}")


def show_logging():
    section("Native loggers: a split console and a rotating file")
    folder = tempfile.mkdtemp(prefix="zelvar-demo-")
    path = os.path.join(folder, "app.log")
    log = Logger(
        "demo",
        handlers=[
            ConsoleHandler(
                pattern="  [%H:%M:%S.%e] [%n] [%^%l%$] %v  (%s:%#)", max_stdout_level=Level.INFO, min_level=Level.DEBUG
            ),
            RotatingFileHandler(path, pattern="%Y-%m-%d %H:%M:%S.%f %l %v", max_size=4096, max_files=2),
        ],
        color_scheme=ColorScheme(info_color=36, warn_color=93),
        set_default=True,  # also takes over the standard logging package
    )
    log.debug("six levels, trace to critical; this console shows debug and up")
    log.info("per-message colours on the console only", fg_color=32)
    log.warn("warnings and above go to standard error", effect=1)
    log.error("256-colour codes and backgrounds", fg_color=15, bg_color=124)

    section("The standard logging package, routed into the same native logger")
    logging.getLogger("some.library").info("a record from the standard package")
    try:
        {}["missing"]
    except KeyError:
        logging.exception("exceptions keep their traceback")
    DefaultLogger().info("DefaultLogger always writes through the current default")

    for i in range(200):
        log.trace(f"trace lines reach the file only: line {i}")
    del log
    files = sorted(os.listdir(folder))
    print(f"  rotating file set in {folder}: {files}")


def show_ring():
    section("A lock-free ring: one producer thread, one consumer")
    ring = SPSCQueue(64, 1024, block_on_full=True)
    lines = [f"[{level.name}] message {i} from the producer thread" for i, level in enumerate(Level)]

    def produce():
        for line in lines:
            ring.push(line.encode())  # waits while the ring is full (block_on_full)
        ring.close()  # the consumer drains what is left, then sees the end

    producer = threading.Thread(target=produce)
    producer.start()
    while (msg := ring.pop()) is not None or not ring.closed:
        if msg is not None:
            print("  received:", msg.decode())
    while (msg := ring.try_pop()) is not None:
        print("  received:", msg.decode())
    producer.join()

    section("Variable-size family: a 10 kB message in a ring of 64-byte slots")
    var = SPSCQueue(64, 1024)
    big = bytes(range(256)) * 40
    print("  fixed-size push of 10240 bytes ->", SPSCQueue(64, 1024).try_push(big), "(refused: longer than a slot)")
    print("  variable-size push ->", var.try_push_var(big))
    print("  popped back intact:", var.try_pop_var() == big)

    section("Throughput, Python to Python (the native path is in bench/)")
    count = 200_000
    ring = SPSCQueue(16, 4096, block_on_full=True)
    payload = b"x" * 16

    def flood():
        for _ in range(count):
            ring.push(payload)

    start = time.perf_counter()
    t = threading.Thread(target=flood)
    t.start()
    got = 0
    while got < count:
        if ring.try_pop() is not None:
            got += 1
    t.join()
    print(f"  {count} messages in {time.perf_counter() - start:.2f} s through Python calls on both ends")


def show_async_queue():
    section("AsyncQueue: coroutines push, a dispatcher task feeds a coroutine callback")
    from zelvar.utils.ferrix.ferrix import AsyncQueue

    logging.getLogger("asyncio").setLevel(logging.INFO)  # the loop's own debug line is not the point here

    async def main():
        q = AsyncQueue(slot_size=64, capacity=8)
        print("  push_str ->", await q.push_str("héllo"), "| pop ->", await q.pop())
        print("  a message longer than a slot is refused: push_obj ->", await q.push_obj(b"x" * 100))

        received = []

        async def on_message(msg):
            await asyncio.sleep(0)  # a real callback would do its own I/O here
            received.append(msg.decode())

        q.start_dispatcher(on_message)
        for word in ("one", "two", "three"):
            await q.push_str(word)
        while len(received) < 3:
            await asyncio.sleep(0.001)
        await q.shutdown()
        print("  the callback received, in order:", received)

    asyncio.run(main())


def show_dispatchers():
    section("Dispatchers: native producer threads, Python callbacks (live count)")
    from zelvar import _testing as native  # the test module's native producers: C++ threads, no GIL
    from zelvar.utils.ferrix.ferrix import AsyncDispatcher, SyncDispatcher

    count = 2_000_000
    received = {"sync": 0, "async": 0}

    def on_thread(msg):  # runs on SyncDispatcher's consumer thread
        received["sync"] += 1

    async def on_loop(msg):  # awaited by AsyncDispatcher's reader task
        received["async"] += 1

    async def main():
        sync = SyncDispatcher(on_thread, capacity=16384, slot_size=64)
        sync.setup()
        reader = AsyncDispatcher(on_loop, capacity=16384, slot_size=64)
        reader.setup()
        producers = [threading.Thread(target=native.flood, args=(d, count, 64)) for d in (sync, reader)]
        start = time.perf_counter()
        for p in producers:
            p.start()
        while received["sync"] < count or received["async"] < count:
            await asyncio.sleep(0.2)
            print(
                f"  {time.perf_counter() - start:4.1f} s   SyncDispatcher {received['sync']:>9,}"
                f"   AsyncDispatcher {received['async']:>9,}"
            )
        for p in producers:
            p.join()
        sync.close()
        reader.close()
        print(f"  all {2 * count:,} messages delivered")

    asyncio.run(main())


if __name__ == "__main__":
    show_levels()
    show_logging()
    show_ring()
    show_async_queue()
    show_dispatchers()
