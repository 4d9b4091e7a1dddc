"""Feeds a SyncDispatcher and an AsyncDispatcher from the producer module's native thread and checks
that every message arrived exactly once, in order, with the right bytes. Exits 1 on any mismatch.

Run with the built module on the path: PYTHONPATH=build/producer python examples/producer/run.py
"""

import asyncio
import sys
import time

import producer

from zelvar.utils.ferrix.ferrix import AsyncDispatcher, SyncDispatcher

COUNT = 200_000
SIZE = 40
RING = dict(capacity=1024, slot_size=64)
PAUSE = 0.05  # the first delivery waits this long: the ring fills and the producer must retry
PATTERN = bytes(range(256)) * 2


def expected(seq):
    start = (seq + 8) % 256
    return seq.to_bytes(8, "little") + PATTERN[start : start + SIZE - 8]


def fail(message):
    print("MISMATCH:", message)
    return False


def check(name, got, pushed, retries):
    errors = [] if pushed == COUNT else [f"producer pushed {pushed}, not {COUNT}"]
    if retries == 0:
        errors.append("the ring never filled")
    if len(got) != COUNT:
        errors.append(f"{len(got)} messages arrived, not {COUNT}")
    bad = next((seq for seq, msg in enumerate(got) if msg != expected(seq)), None)
    if bad is not None:
        errors.append(f"message {bad} is wrong: {got[bad][:16]!r}...")
    print(
        f"{name}: {len(got):,} messages received, {retries:,} pushes retried on a full ring:",
        "; ".join(errors) or "all in order, bytes intact",
    )
    return not errors


async def settle(got, timeout=30.0):
    """Waits until COUNT messages arrived, then a moment more so a duplicate would show."""
    deadline = time.monotonic() + timeout
    while len(got) < COUNT and time.monotonic() < deadline:
        await asyncio.sleep(0.01)
    await asyncio.sleep(0.1)


async def main():
    got_sync, got_async = [], []

    def on_sync(msg):  # runs on the consumer thread
        if not got_sync:
            time.sleep(PAUSE)
        got_sync.append(msg)

    async def on_async(msg):  # runs on this loop
        if not got_async:
            await asyncio.sleep(PAUSE)
        got_async.append(msg)

    sync = SyncDispatcher(on_sync, **RING)
    reader = AsyncDispatcher(on_async, **RING)
    ok = True
    for name, dispatcher, got in (("SyncDispatcher", sync, got_sync), ("AsyncDispatcher", reader, got_async)):
        producer.setup(dispatcher)  # an AsyncDispatcher's reader task now holds it too
        refs = sys.getrefcount(dispatcher)
        producer.start(dispatcher, COUNT, SIZE)
        pushed, retries = await asyncio.to_thread(producer.join)  # the loop keeps reading meanwhile
        await settle(got)
        ok &= check(name, got, pushed, retries)
        if sys.getrefcount(dispatcher) != refs:
            ok = fail(f"{name}: the producer kept a reference")

    # Error paths: a wrong type is refused up front, a message larger than a slot by the ring.
    try:
        producer.start(object(), 1)
        ok = fail("start accepted a non-dispatcher")
    except TypeError:
        pass
    producer.start(sync, 1, RING["slot_size"] + 1)
    try:
        producer.join()
        ok = fail("an oversized message was accepted")
    except RuntimeError as e:
        print("oversized message refused as expected:", e)
    sync.close()
    reader.close()
    return ok


if __name__ == "__main__":
    sys.exit(0 if asyncio.run(main()) else 1)
