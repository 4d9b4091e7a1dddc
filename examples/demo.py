"""A short tour of zelvar: what exists so far, shown live."""
import threading
import time

from zelvar.scrivo.scrivo import Level
from zelvar.spsc_queue.spsc_queue import SPSCQueue


def section(title):
    print(f"\n== {title} ==")


def show_levels():
    section("Levels (the native spdlog levels, as an IntEnum)")
    for level in Level:
        print(f"  {level.name:<8} = {int(level)}")


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


if __name__ == "__main__":
    show_levels()
    show_ring()
