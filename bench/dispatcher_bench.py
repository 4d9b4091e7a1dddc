"""Native producer to Python callback, side by side in one process: 64-byte messages from one
native producer thread to a callback that counts them, through SyncDispatcher (doorbell and ring
modes) and AsyncDispatcher, against a Python producer thread feeding queue.SimpleQueue to a
consumer thread, and against loop.call_soon_threadsafe from a thread. Then the idle wake-up
latency (push to callback start) and the same throughput with the main thread busy in Python."""

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


def sync_dispatcher(nonblocking, busy=False):
    counter = Counter(N)
    d = f.SyncDispatcher(counter, capacity=16384, slot_size=SIZE, nonblocking=nonblocking)
    d.setup()
    start = time.perf_counter()
    producer = threading.Thread(target=native.flood, args=(d, N, SIZE))
    producer.start()
    if busy:
        busy_until(counter.done)
    counter.done.wait()
    elapsed = time.perf_counter() - start
    producer.join()
    d.close()
    return N / elapsed


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


def async_dispatcher():
    async def main():
        counter = Counter(N)

        async def callback(msg):
            counter(msg)

        d = f.AsyncDispatcher(callback, capacity=16384, slot_size=SIZE)
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


def main():
    print(f"{N} messages of {SIZE} bytes, one producer thread to a counting callback (2 cores)")
    rows = [
        ("SyncDispatcher, doorbell mode", sync_dispatcher(True)),
        ("SyncDispatcher, ring mode", sync_dispatcher(False)),
        ("AsyncDispatcher", async_dispatcher()),
        ("Python thread -> SimpleQueue -> thread", simple_queue_pair()),
        ("Python thread -> loop.call_soon_threadsafe", call_soon_threadsafe()),
    ]
    for name, rate in rows:
        print(f"  {name:<44} {rate / 1e6:6.2f} M msg/s")
    rates = dict(rows)
    print(f"  SyncDispatcher (doorbell) / SimpleQueue pair        = {rates[rows[0][0]] / rates[rows[3][0]]:.1f}x")
    print(f"  AsyncDispatcher / call_soon_threadsafe              = {rates[rows[2][0]] / rates[rows[4][0]]:.1f}x")
    record(
        {
            "SyncDispatcher (doorbell)\nvs SimpleQueue thread pair": rates[rows[0][0]] / rates[rows[3][0]],
            "SyncDispatcher (ring)\nvs SimpleQueue thread pair": rates[rows[1][0]] / rates[rows[3][0]],
            "AsyncDispatcher\nvs call_soon_threadsafe": rates[rows[2][0]] / rates[rows[4][0]],
        }
    )

    print("main thread busy in a pure-Python loop meanwhile")
    busy = [
        ("SyncDispatcher, doorbell mode", sync_dispatcher(True, busy=True)),
        ("SyncDispatcher, ring mode", sync_dispatcher(False, busy=True)),
        ("Python thread -> SimpleQueue -> thread", simple_queue_pair(busy=True)),
    ]
    for name, rate in busy:
        print(f"  {name:<44} {rate / 1e6:6.3f} M msg/s")

    print(f"idle wake-up latency, push to callback start ({LATENCY_SAMPLES} samples)")
    for name, samples in (("SyncDispatcher, doorbell mode", sync_latency()), ("AsyncDispatcher", async_latency())):
        print(f"  {name:<44} median {statistics.median(samples):6.1f} us   p99 {percentile(samples, 0.99):7.1f} us")


if __name__ == "__main__":
    main()
