"""AsyncQueue against asyncio.Queue, side by side in one process and one event loop:

  round trip   await q.push_str(s); await q.pop()      vs  q.put_nowait(s); await q.get()
  dispatcher   pushes feeding an async callback         vs  put_nowait + a consumer task awaiting the callback

Prints ns per message (best of BENCH_REPEAT runs) and the ratios."""

import asyncio
import os
import time

from results import record

from zelvar.utils.ferrix import ferrix as f

N = int(os.environ.get("BENCH_MESSAGES", "200000"))
REPEAT = int(os.environ.get("BENCH_REPEAT", "5"))
BATCH = 1000  # messages pushed between two yields to the loop in the dispatcher runs
TEXT = "x" * 64
DATA = TEXT.encode()


async def zelvar_round_trip(method="push_str", msg=TEXT):
    q = f.AsyncQueue()
    push, pop = getattr(q, method), q.pop
    start = time.perf_counter()
    for _ in range(N):
        await push(msg)
        await pop()
    return time.perf_counter() - start


async def zelvar_round_trip_bytes():
    return await zelvar_round_trip("push_obj", DATA)


async def asyncio_round_trip():
    q = asyncio.Queue()
    put, get = q.put_nowait, q.get
    start = time.perf_counter()
    for _ in range(N):
        put(TEXT)
        await get()
    return time.perf_counter() - start


def counting_callback():
    """An async callback counting messages, and the future it completes at the N-th."""
    done = asyncio.get_running_loop().create_future()
    count = 0

    async def callback(msg):
        nonlocal count
        count += 1
        if count == N:
            done.set_result(None)

    return callback, done


async def zelvar_dispatcher():
    q = f.AsyncQueue()
    callback, done = counting_callback()
    q.start_dispatcher(callback)
    push = q.push_obj
    start = time.perf_counter()
    for i in range(0, N, BATCH):
        for _ in range(min(BATCH, N - i)):
            if not await push(DATA):
                raise RuntimeError("ring full: lower BATCH")
        await asyncio.sleep(0)
    await done
    elapsed = time.perf_counter() - start
    await q.shutdown()
    return elapsed


async def asyncio_dispatcher():
    q = asyncio.Queue()
    callback, done = counting_callback()

    async def consumer():
        while True:
            await callback(await q.get())

    task = asyncio.create_task(consumer())
    put = q.put_nowait
    start = time.perf_counter()
    for i in range(0, N, BATCH):
        for _ in range(min(BATCH, N - i)):
            put(DATA)
        await asyncio.sleep(0)
    await done
    elapsed = time.perf_counter() - start
    task.cancel()
    return elapsed


async def best(fn):
    return min([await fn() for _ in range(REPEAT)]) / N * 1e9


async def main():
    rows = [
        ("round trip: AsyncQueue push_str + pop", await best(zelvar_round_trip)),
        ("round trip: AsyncQueue push_obj + pop", await best(zelvar_round_trip_bytes)),
        ("round trip: asyncio.Queue put_nowait + get", await best(asyncio_round_trip)),
        ("dispatcher: AsyncQueue.start_dispatcher", await best(zelvar_dispatcher)),
        ("dispatcher: asyncio.Queue + consumer task", await best(asyncio_dispatcher)),
    ]
    print(f"AsyncQueue vs asyncio.Queue, {N} messages of {len(DATA)} bytes, best of {REPEAT}")
    for name, ns in rows:
        print(f"  {name:<46} {ns:8.0f} ns/msg")
    print(f"  round trip: asyncio.Queue / AsyncQueue push_str   = {rows[2][1] / rows[0][1]:.2f}x")
    print(f"  dispatcher: asyncio.Queue / AsyncQueue            = {rows[4][1] / rows[3][1]:.2f}x")
    record(
        {
            "AsyncQueue push + pop\nvs asyncio.Queue": rows[2][1] / rows[0][1],
            "AsyncQueue dispatcher task\nvs asyncio.Queue + task": rows[4][1] / rows[3][1],
        }
    )


if __name__ == "__main__":
    asyncio.run(main())
