"""Non-blocking loggers (a queue and a writer thread): each thread's order, the overflow policies,
flush, the same output as a synchronous logger, and the thread, files and memory a queue takes."""

import threading

import pytest
from output_helpers import ESC, run_with_scrivo, tagged

from zelvar import _testing as native
from zelvar.scrivo.scrivo import DefaultLogger, FileHandler, Level, Logger, StderrHandler


def test_nonblocking_keeps_each_threads_order(tmp_path):
    log = tmp_path / "threads.log"
    lg = Logger("nb-threads", handlers=[FileHandler(str(log), pattern="%v")], queue_size=64)
    count = 3000
    writers = [
        threading.Thread(target=lambda k=k: [lg.info(f"p{k} {n} {'x' * (n % 97)}") for n in range(count)])
        for k in range(8)
    ]
    writers.append(threading.Thread(target=native.log_from_threads, args=(lg, 2, count, "n")))
    for w in writers:
        w.start()
    for w in writers:
        w.join()
    lg.flush()
    assert tagged(log.read_text()) == {tag: list(range(count)) for tag in [f"p{k}" for k in range(8)] + ["n0", "n1"]}


@pytest.mark.parametrize("queue_size", [1, 64])
def test_drop_oldest_counts_what_it_drops_and_flush_waits(queue_size):
    lg = Logger("nb-drop", handlers=[StderrHandler(level=Level.OFF)], queue_size=queue_size, overflow="drop_oldest")
    native.add_gate_sink(lg)  # the writer stalls on the first record it takes
    total = 5000
    for n in range(total):
        lg.info(str(n))
    flushing = threading.Thread(target=lg.flush)
    flushing.start()
    flushing.join(0.3)
    assert flushing.is_alive()  # a record queued before the call is still held at the gate
    native.open_gate()
    flushing.join(60)
    assert not flushing.is_alive()
    written = [int(text) for text in native.gate_records()]
    assert lg.dropped > 0 and len(written) + lg.dropped == total
    assert written == sorted(set(written)) and written[-queue_size:] == list(range(total - queue_size, total))


@pytest.mark.parametrize("queue_size", [0, 8])
def test_flush_writes_what_was_logged(tmp_path, queue_size):
    log, default_log = tmp_path / "flush.log", tmp_path / "default.log"
    lg = Logger("flush", handlers=[FileHandler(str(log), pattern="%v")], queue_size=queue_size)
    Logger(
        "flush-default",
        handlers=[FileHandler(str(default_log), pattern="%v")],
        queue_size=queue_size,
        set_default=True,
        intercept_stdlib_logging=False,
    )
    for n in range(1000):  # more than the file sink buffers
        lg.info(f"r {n}")
        DefaultLogger().info(f"d {n}")
    lg.flush()
    DefaultLogger().flush()
    assert log.read_text().splitlines() == [f"r {n}" for n in range(1000)]
    assert default_log.read_text().splitlines() == [f"d {n}" for n in range(1000)]


SAME_CALLS = """
    import logging, sys, threading
    from zelvar import _testing as native
    lg = Logger('same', handlers=[StdoutHandler(True, '%l %s:%#:%! %t %v'),
                                  FileHandler({log!r}, pattern='%l %s:%#:%! %t%K %v')],
                set_default=True, queue_size={queue_size})
    print(threading.get_native_id(), file=sys.stderr)
    def f():
        lg.info('coloured', 31)
        lg.warning('w', effect=1)
        lg.log(Level.CRITICAL, 'at a level', bg_color=44)
        logging.getLogger('lib').error('standard %s', 'record')
        DefaultLogger().debug('default')
        native.log_through(1, 'same', 4, 'native')
        try:
            {{}}['missing']
        except KeyError:
            lg.exception('failed', 32)
        # Around a queue slot's own room, past it, and past the buffer kept from record to record.
        for n in (0, 40, 50, 60, 100, 20000, 70):
            lg.info('m' * n)
        lg.bind(user='u', n=2).info('bound')
    f()
"""


def test_nonblocking_output_is_the_synchronous_output(child, tmp_path):
    outputs = []
    for queue_size in (0, 16):
        log = tmp_path / f"same{queue_size}.log"
        proc = run_with_scrivo(child, SAME_CALLS.format(log=str(log), queue_size=queue_size))
        tid = proc.stderr.split()[0]
        outputs.append((proc.stdout.replace(tid, b"TID"), log.read_bytes().replace(tid, b"TID")))
    assert outputs[0] == outputs[1]
    stdout, file = outputs[0]
    assert ESC + b"[31mcoloured" in stdout and b"info prog" not in file and b"TID coloured\n" in file
    assert b"error <string>:19:f TID failed\nTraceback" in file and b"\nKeyError: 'missing'\n" in file
    assert file.endswith(
        b"".join(b"info <string>:22:f TID " + b"m" * n + b"\n" for n in (0, 40, 50, 60, 100, 20000, 70))
        + b"info <string>:23:f TID user=u n=2 bound\n"
    )


def test_a_dropped_nonblocking_logger_releases_its_thread_and_files(child, tmp_path):
    run_with_scrivo(
        child,
        f"""
        import gc, os
        counts = lambda: (len(os.listdir('/proc/self/task')), len(os.listdir('/proc/self/fd')))
        Logger('warm-up', handlers=[FileHandler({str(tmp_path / "warm.log")!r})], queue_size=8).info('x')
        gc.collect()
        before = counts()
        quiet = lambda: [StderrHandler(level=Level.OFF)]
        Logger('next', handlers=quiet())
        for n in range(50):
            # Every other one is the default for a while, written through DefaultLogger, which keeps it
            # until the default moves on: then it must not keep it from being released.
            lg = Logger(f'dropped-{{n}}', handlers=[FileHandler({str(tmp_path)!r} + f'/{{n}}.log', pattern='%v')],
                        queue_size=8, set_default=n % 2 == 0)
            (DefaultLogger() if n % 2 == 0 else lg).info(f'record {{n}}')
            if n % 2 == 0:
                Logger('next', handlers=quiet(), set_default=True)
            del lg
        gc.collect()
        assert counts() == before, (before, counts())
        # The default lives on in the registry.
        kept = Logger('kept', handlers=[FileHandler({str(tmp_path / "kept.log")!r}, pattern='%v')],
                      queue_size=8, set_default=True)
        del kept
        DefaultLogger().info('through the default')
    """,
    )
    assert [(tmp_path / f"{n}.log").read_text() for n in range(50)] == [f"record {n}\n" for n in range(50)]
    assert (tmp_path / "kept.log").read_text() == "through the default\n"


def test_a_large_queue_takes_memory_as_it_is_used(child, tmp_path):
    run_with_scrivo(
        child,
        f"""
        import os
        rss = lambda: int(open('/proc/self/statm').read().split()[1]) * os.sysconf('SC_PAGE_SIZE')
        before = rss()
        loggers = [Logger(f'big-{{k}}', handlers=[FileHandler({str(tmp_path)!r} + f'/{{k}}.log')], queue_size=1 << 20)
                   for k in range(4)]
        for lg in loggers:
            for n in range(100):
                lg.info('record')
            lg.flush()
        assert rss() - before < 64 << 20, rss() - before
    """,
    )
