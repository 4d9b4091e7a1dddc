"""Logging across fork(): children of a process whose threads hold sinks or whose writer is busy or
stalled log without hanging, and every record is written once, whole, with its own thread's id."""

import json

import pytest
from helpers import SANITIZED
from output_helpers import lines, run_bounded, run_with_scrivo, tagged

FORKING_HANDLERS = {
    "file": ("", "FileHandler(path, pattern='%v')"),
    "json": ("", "JsonFileHandler(path)"),
    "stderr": (
        # 3.12+ warns on standard error at each fork of a threaded process: not a record.
        "warnings.simplefilter('ignore', DeprecationWarning); "
        "os.dup2(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_APPEND), 2)",
        "StderrHandler(False, '%v', 0)",
    ),
    "json-stdout": ("os.dup2(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_APPEND), 1)", "JsonStdoutHandler()"),
    "syslog": (
        "server = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM); server.bind(path + '.sock'); "
        "received = open(path, 'ab', buffering=0); "
        "collect = lambda: [received.write(server.recv(1 << 16) + b'\\n') for _ in iter(int, 1)]; "
        "threading.Thread(target=collect, daemon=True).start()",
        "SyslogHandler(path + '.sock')",
    ),
}


@pytest.mark.parametrize("kind", list(FORKING_HANDLERS))
def test_forked_children_log_while_native_threads_hold_sinks(child, tmp_path, kind):
    # Native threads log through a synchronous logger while the main thread forks: no child may
    # sleep on a sink lock it inherited, and no record is written twice or cut.
    path = tmp_path / "forks.log"
    setup, handler = FORKING_HANDLERS[kind]
    proc = run_with_scrivo(
        child,
        f"""
        import os, socket, threading, time, warnings
        from zelvar import _testing as native
        path = {str(path)!r}
        out = os.dup(1)
        {setup}
        lg = Logger('forks', handlers=[{handler}])
        threading.Thread(target=native.log_from_threads, args=(lg, 2, 10**8, 'p'), daemon=True).start()
        time.sleep(0.05)
        children = []
        for k in range(60):
            pid = os.fork()
            if pid == 0:
                lg.info(f'child{{k}} 0 ')
                lg.flush()
                os._exit(0)
            children.append(pid)
        deadline, hung = time.monotonic() + 5, 0
        for pid in children:
            while os.waitpid(pid, os.WNOHANG) == (0, 0):
                if time.monotonic() > deadline:
                    os.kill(pid, 9)
                    os.waitpid(pid, 0)
                    hung += 1
                    break
                time.sleep(0.002)
        lg.flush()
        time.sleep(0.1)  # the collector's last datagrams
        os.write(out, f'{{hung}}'.encode())
        os._exit(0)
    """,
        leak_check=False,
    )
    # The sanitizer's allocator has no fork handler: a child forked while another thread holds its
    # lock hangs in its first allocation, before it reaches a sink. The parent must still finish.
    assert SANITIZED or int(proc.stdout) == 0, "children hung"
    text = path.read_text()
    # The parent exits while its threads write: the kernel may end the last write at a page boundary.
    text = text[: text.rfind("\n") + 1]
    if kind.startswith("json"):
        text = "".join(json.loads(line)["message"] + "\n" for line in text.splitlines())
    elif kind == "syslog":
        text = "".join(line.split("]: ", 1)[1] + "\n" for line in text.splitlines())  # <PRI>time TAG[PID]: MSG
    records = tagged(text)
    assert records is not None, "a record was cut"
    children = {tag: n for tag, n in records.items() if tag.startswith("child")}
    if kind == "syslog" or SANITIZED:  # a datagram the flooded collector has no room for is dropped and counted
        assert children.items() <= {f"child{k}": [0] for k in range(60)}.items()
    else:
        assert children == {f"child{k}": [0] for k in range(60)}
    for tag in ("p0", "p1"):  # each thread's records once, in order, up to the parent's last flush
        got = records.get(tag, [])
        if kind == "syslog":  # the same drops as above, of the threads' datagrams
            assert got == sorted(set(got)), tag
        else:
            assert got == list(range(len(got))), tag


def test_fork_does_not_wait_for_a_stalled_file(tmp_path):
    # A FIFO whose reader reads nothing yet: the record the sink holds cannot be written before the
    # fork; the fork goes on, the child drops its copy and the parent writes it once.
    fifo = tmp_path / "fifo"
    proc = run_bounded(
        f"""
        import os
        os.mkfifo({str(fifo)!r})
        reader = os.open({str(fifo)!r}, os.O_RDONLY | os.O_NONBLOCK)
        lg = Logger('fifo', handlers=[FileHandler({str(fifo)!r}, pattern='%v')], flush_interval=600)
        filler = os.open({str(fifo)!r}, os.O_WRONLY | os.O_NONBLOCK)
        try:
            while True:
                os.write(filler, b'.' * 4096)
        except BlockingIOError:
            pass
        lg.info('held')
        pid = os.fork()
        if pid == 0:
            lg.info('child')
            os._exit(0)
        assert os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) == 0
        drained = b''
        try:
            while True:
                drained += os.read(reader, 1 << 16)
        except BlockingIOError:
            pass
        lg.flush()
        os.set_blocking(reader, True)
        print(os.read(reader, 1 << 16).decode().strip('.'), drained.strip(b'.'))
        os._exit(0)
    """,
        "fork waits for a file nobody reads",
    )
    assert proc.stdout.decode().split() == ["held", "b''"], proc.stderr.decode()


@pytest.mark.parametrize("queue_size", [0, 16])
def test_forked_children_write_their_own_thread_id(child, tmp_path, queue_size):
    # spdlog keeps each thread's id in a thread-local, which the forking thread carries into its
    # child (and grandchild); the records there carry the id of the thread that logged them.
    json_log, text_log = tmp_path / "t.json", tmp_path / "t.log"
    run_with_scrivo(
        child,
        f"""
        import os, threading
        lg = Logger('tid', handlers=[JsonFileHandler({str(json_log)!r}),
                                     FileHandler({str(text_log)!r}, pattern='%t|%12t|%-12t|%=13t|%3!t|%v')],
                    queue_size={queue_size})
        def log(where):
            lg.info(f'{{where}} {{os.getpid()}} {{threading.get_native_id()}}')
            lg.flush()
        log('parent')
        for depth in ('child', 'grandchild'):
            pid = os.fork()
            if pid:
                assert os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) == 0
                os._exit(0) if depth == 'grandchild' else None
                break
            log(depth)
            worker = threading.Thread(target=log, args=(depth + '-thread',))
            worker.start()
            worker.join()
        else:
            os._exit(0)
    """,
        leak_check=False,
    )
    seen = {}
    for record in map(json.loads, json_log.read_text().splitlines()):
        where, pid, tid = record["message"].split()
        assert (record["thread"], record["pid"]) == (int(tid), int(pid)), where
        seen[where] = tid
    assert sorted(seen) == sorted(["parent", "child", "child-thread", "grandchild", "grandchild-thread"])
    for line in text_log.read_text().splitlines():
        *flags, message = line.split("|")
        tid = message.split(" ")[-1]
        centred = " " * ((13 - len(tid)) // 2) + tid
        assert flags == [tid, tid.rjust(12), tid.ljust(12), centred.ljust(13), tid[:3]]


def test_fork_while_the_writer_is_busy(child, tmp_path):
    log = tmp_path / "fork.log"
    run_with_scrivo(
        child,
        f"""
        import os, sys, threading, time
        lg = Logger('fork', handlers=[FileHandler({str(log)!r}, pattern='%v')], queue_size=256)
        record = lambda tag, n: f"{{tag}} {{n}} {{'x' * (n % 97)}}"
        busy = threading.Thread(target=lambda: [lg.info(record('thread', n)) for n in range(50000)])
        busy.start()
        children = []
        for k in range(3):
            time.sleep(0.02)
            pid = os.fork()
            if pid == 0:
                for n in range(2000):
                    lg.info(record(f'child{{k}}', n))
                if k == 0:  # the others end through the interpreter's exit
                    lg.flush()
                    os._exit(0)
                sys.exit(0)
            children.append(pid)
        for n in range(2000):
            lg.info(record('parent', n))
        deadline = time.monotonic() + 60
        for pid in children:
            while os.waitpid(pid, os.WNOHANG) == (0, 0):
                assert time.monotonic() < deadline, 'a child hangs'
                time.sleep(0.01)
        busy.join()
    """,
        leak_check=False,
    )
    expected = {
        "thread": list(range(50000)),
        "parent": list(range(2000)),
        **{f"child{k}": list(range(2000)) for k in range(3)},
    }
    assert tagged(log.read_text()) == expected


@pytest.mark.parametrize("overflow", ["block", "drop_oldest"])
def test_fork_while_a_sink_is_stalled(child, tmp_path, overflow):
    # A FIFO nobody reads: the writer is stuck in its sink when the fork comes.
    run_with_scrivo(
        child,
        f"""
        import os, select, sys, threading, time
        fifo, copy = {str(tmp_path / "fifo")!r}, {str(tmp_path / "copy.log")!r}
        os.mkfifo(fifo)
        reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        lg = Logger('stalled', handlers=[FileHandler(fifo, pattern='%v'), FileHandler(copy, pattern='%v')],
                    queue_size={64 if overflow == "drop_oldest" else 4096}, overflow={overflow!r})
        for n in range(2000):
            lg.info(f"parent {{n}} " + "x" * 1000)
            if n % 100 == 0:
                time.sleep(0.01)  # the writer gets to the sink and fills the pipe
        time.sleep(0.2)
        pid = os.fork()
        if pid == 0:
            lg.info("child")
            lg.flush()
            sys.exit(0)
        deadline = time.monotonic() + 30
        while os.waitpid(pid, os.WNOHANG) == (0, 0):
            assert time.monotonic() < deadline, 'the child hangs'
            time.sleep(0.01)
        got = bytearray()
        done = threading.Event()
        def drain():
            while not done.is_set() or select.select([reader], [], [], 0)[0]:
                if select.select([reader], [], [], 0.01)[0]:
                    got.extend(os.read(reader, 1 << 16))
        drainer = threading.Thread(target=drain)
        drainer.start()
        lg.flush()
        done.set()
        drainer.join()
        with open({str(tmp_path / "fifo.log")!r}, 'wb') as f:
            f.write(got)
    """,
        leak_check=False,
    )
    # What the child's copy of the sinks held is written once, by the parent, and never in part.
    fifo, copy = (lines((tmp_path / name).read_bytes()) for name in ("fifo.log", "copy.log"))
    assert fifo == copy
    numbers = [int(line.split(" ")[1]) for line in copy]
    assert all(line == f"parent {n} " + "x" * 1000 for line, n in zip(copy, numbers, strict=False))
    assert numbers == sorted(set(numbers))
    if overflow == "block":
        assert numbers == list(range(2000))
