"""Native producer to Python callback, side by side in one process: 64-byte messages from one
native producer thread to a callback that counts them, through SyncDispatcher (doorbell and ring
modes, one message per call and batch=256) and AsyncDispatcher (both ways), against a Python
producer thread feeding queue.SimpleQueue to a consumer thread, and against
loop.call_soon_threadsafe from a thread. Then the same throughput with the main thread busy in
Python, and the idle wake-up latency (push to callback start).

Every row runs BENCH_RUNS times (5), the rows interleaved run by run so that a change of machine
load hits all of them alike; each prints its median [min..max], and ratios are of medians."""

import asyncio
import os
import queue
import statistics
import threading
import time

from results import record

from zelvar import _testing as native
from zelvar.utils.ferrix import ferrix as f

N = int(os.environ.get("BENCH_MESSAGES", "500000"))
RUNS = int(os.environ.get("BENCH_RUNS", "5"))
BATCH = 256
BUSY_BATCH_MESSAGES = 20 * N
LATENCY_SAMPLES = int(os.environ.get("BENCH_LATENCY_SAMPLES", "2000"))
SIZE = 64
DATA = b"x" * SIZE


class Counter:
    """The callback every contestant calls: counts, and signals when all have arrived."""

    def __init__(self, expected):
        self.count = 0
        self.expected = expected
        self.done = threading.Event()

    def __call__(self, msg):
        self.count += 1
        if self.count == self.expected:
            self.done.set()

    def many(self, msgs):
        self.count += len(msgs)
        if self.count == self.expected:
            self.done.set()


def batched(batch):
    """The batch argument, left out when 0 (so the script also runs on builds without it)."""
    return {"batch": batch} if batch else {}


def sync_dispatcher(nonblocking, busy=False, batch=0, messages=N):
    counter = Counter(messages)
    callback = counter.many if batch else counter
    d = f.SyncDispatcher(callback, capacity=16384, slot_size=SIZE, nonblocking=nonblocking, **batched(batch))
    d.setup()
    start = time.perf_counter()
    producer = threading.Thread(target=native.flood, args=(d, messages, SIZE))
    producer.start()
    if busy:
        busy_until(counter.done)
    counter.done.wait()
    elapsed = time.perf_counter() - start
    producer.join()
    d.close()
    return messages / elapsed


def busy_until(event):
    """The main thread stays in pure Python bytecode until `event` is set."""
    x = 0
    while not event.is_set():
        for i in range(1000):
            x += i


def simple_queue_pair(busy=False):
    counter = Counter(N)
    q = queue.SimpleQueue()

    def produce():
        put = q.put
        for _ in range(N):
            put(DATA)

    def consume():
        get = q.get
        for _ in range(N):
            counter(get())

    start = time.perf_counter()
    threads = [threading.Thread(target=produce), threading.Thread(target=consume)]
    for t in threads:
        t.start()
    if busy:
        busy_until(counter.done)
    for t in threads:
        t.join()
    return N / (time.perf_counter() - start)


def async_dispatcher(batch=0):
    async def main():
        counter = Counter(N)
        count = counter.many if batch else counter

        async def callback(msg):
            count(msg)

        d = f.AsyncDispatcher(callback, capacity=16384, slot_size=SIZE, **batched(batch))
        d.setup()
        loop = asyncio.get_running_loop()
        start = time.perf_counter()
        producer = loop.run_in_executor(None, native.flood, d, N, SIZE)
        while not counter.done.is_set():
            await asyncio.sleep(0.001)
        elapsed = time.perf_counter() - start
        await producer
        d.close()
        return N / elapsed

    return asyncio.run(main())


def call_soon_threadsafe():
    async def main():
        counter = Counter(N)
        loop = asyncio.get_running_loop()

        def produce():
            call = loop.call_soon_threadsafe
            for _ in range(N):
                call(counter, DATA)

        start = time.perf_counter()
        producer = threading.Thread(target=produce)
        producer.start()
        while not counter.done.is_set():
            await asyncio.sleep(0.001)
        elapsed = time.perf_counter() - start
        producer.join()
        return N / elapsed

    return asyncio.run(main())


def percentile(samples, p):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, int(len(ordered) * p))]


def latency(started, sent):
    return [(t - s) / 1000 for s, t in zip(sent, started, strict=False)]


def sync_latency():
    """A native thread pushes one message every 500 us; the callback notes when it starts."""
    started = []
    d = f.SyncDispatcher(lambda msg: started.append(time.perf_counter_ns()), capacity=1024, slot_size=SIZE)
    d.setup()
    sent = native.ping(d, LATENCY_SAMPLES, SIZE, 500)
    while len(started) < LATENCY_SAMPLES:
        time.sleep(0.001)
    d.close()
    return latency(started, sent)


def async_latency():
    async def main():
        started = []

        async def callback(msg):
            started.append(time.perf_counter_ns())

        d = f.AsyncDispatcher(callback, capacity=1024, slot_size=SIZE)
        d.setup()
        sent = await asyncio.get_running_loop().run_in_executor(None, native.ping, d, LATENCY_SAMPLES, SIZE, 500)
        while len(started) < LATENCY_SAMPLES:
            await asyncio.sleep(0.001)
        d.close()
        return latency(started, sent)

    return asyncio.run(main())


def repeated(contestants):
    """{name: [RUNS results]}, the contestants interleaved run by run."""
    results = {name: [] for name, _ in contestants}
    for _ in range(RUNS):
        for name, run in contestants:
            results[name].append(run())
    return results


def spread(values, scale=1.0, fmt="6.2f"):
    return f"{statistics.median(values) * scale:{fmt}} " f"[{min(values) * scale:{fmt}}..{max(values) * scale:{fmt}}]"


def ratio(results, a, b):
    return statistics.median(results[a]) / statistics.median(results[b])


SYNC_BELL = "SyncDispatcher, doorbell mode"
SYNC_RING = "SyncDispatcher, ring mode"
SYNC_BELL_BATCH = f"SyncDispatcher, doorbell, batch={BATCH}"
SYNC_RING_BATCH = f"SyncDispatcher, ring mode, batch={BATCH}"
ASYNC = "AsyncDispatcher"
ASYNC_BATCH = f"AsyncDispatcher, batch={BATCH}"
PAIR = "Python thread -> SimpleQueue -> thread"
SOON = "Python thread -> loop.call_soon_threadsafe"


def has_batch():
    try:
        f.SyncDispatcher(None, batch=BATCH)
    except TypeError:
        return False
    return True


def main():
    batch_rows = has_batch()  # builds before batch delivery run the other rows
    print(
        f"{N} messages of {SIZE} bytes, one producer thread to a counting callback (2 cores), "
        f"median [min..max] of {RUNS} runs, M msg/s"
    )
    contestants = [
        (SYNC_BELL, lambda: sync_dispatcher(True)),
        (SYNC_RING, lambda: sync_dispatcher(False)),
        (SYNC_BELL_BATCH, lambda: sync_dispatcher(True, batch=BATCH)),
        (SYNC_RING_BATCH, lambda: sync_dispatcher(False, batch=BATCH)),
        (ASYNC, async_dispatcher),
        (ASYNC_BATCH, lambda: async_dispatcher(BATCH)),
        (PAIR, simple_queue_pair),
        (SOON, call_soon_threadsafe),
    ]
    idle = repeated([c for c in contestants if batch_rows or "batch" not in c[0]])
    for name, rates in idle.items():
        print(f"  {name:<44} {spread(rates, 1e-6)}")
    print(f"  SyncDispatcher (doorbell) / SimpleQueue pair        = {ratio(idle, SYNC_BELL, PAIR):.1f}x")
    print(f"  SyncDispatcher (ring) / SimpleQueue pair            = {ratio(idle, SYNC_RING, PAIR):.1f}x")
    print(f"  AsyncDispatcher / call_soon_threadsafe              = {ratio(idle, ASYNC, SOON):.1f}x")
    if batch_rows:
        print(f"  SyncDispatcher (doorbell, batch) / SimpleQueue pair = {ratio(idle, SYNC_BELL_BATCH, PAIR):.1f}x")
        print(f"  AsyncDispatcher (batch) / call_soon_threadsafe      = {ratio(idle, ASYNC_BATCH, SOON):.1f}x")

    print("main thread busy in a pure-Python loop meanwhile")
    busy_contestants = [
        (SYNC_BELL, lambda: sync_dispatcher(True, busy=True)),
        (SYNC_RING, lambda: sync_dispatcher(False, busy=True)),
        # Long enough to span many switch intervals: N alone passes in one or two.
        (SYNC_BELL_BATCH, lambda: sync_dispatcher(True, busy=True, batch=BATCH, messages=BUSY_BATCH_MESSAGES)),
        (PAIR, lambda: simple_queue_pair(busy=True)),
    ]
    busy = repeated([c for c in busy_contestants if batch_rows or "batch" not in c[0]])
    for name, rates in busy.items():
        print(f"  {name:<44} {spread(rates, 1e-6, '6.3f')}")
    print(f"  SyncDispatcher (doorbell) / SimpleQueue pair        = {ratio(busy, SYNC_BELL, PAIR):.1f}x")
    print(f"  SyncDispatcher (ring) / SimpleQueue pair            = {ratio(busy, SYNC_RING, PAIR):.1f}x")
    if batch_rows:
        print(f"  SyncDispatcher (doorbell, batch) / SimpleQueue pair = {ratio(busy, SYNC_BELL_BATCH, PAIR):.1f}x")
    ratios = {
        "SyncDispatcher (doorbell)\nvs SimpleQueue thread pair": ratio(idle, SYNC_BELL, PAIR),
        "SyncDispatcher (ring)\nvs SimpleQueue thread pair": ratio(idle, SYNC_RING, PAIR),
        "SyncDispatcher, main thread busy\nvs SimpleQueue thread pair": ratio(busy, SYNC_BELL, PAIR),
        "AsyncDispatcher\nvs call_soon_threadsafe": ratio(idle, ASYNC, SOON),
    }
    if batch_rows:
        ratios[f"SyncDispatcher (batch={BATCH})\nvs SimpleQueue thread pair"] = ratio(idle, SYNC_BELL_BATCH, PAIR)
        ratios[f"AsyncDispatcher (batch={BATCH})\nvs call_soon_threadsafe"] = ratio(idle, ASYNC_BATCH, SOON)
    record(ratios)

    print(
        f"idle wake-up latency, push to callback start ({LATENCY_SAMPLES} samples a run; "
        f"median [min..max] over {RUNS} runs of each run's p50 and p99, us)"
    )
    runs = repeated([(SYNC_BELL, sync_latency), (ASYNC, async_latency)])
    for name, samples in runs.items():
        p50 = [statistics.median(s) for s in samples]
        p99 = [percentile(s, 0.99) for s in samples]
        print(f"  {name:<44} p50 {spread(p50, 1, '6.1f')}   p99 {spread(p99, 1, '7.1f')}")


if __name__ == "__main__":
    main()
