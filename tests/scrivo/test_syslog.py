"""SyslogHandler against a real collector: an rsyslog daemon run in the foreground on a private configuration."""

import json
import os
import re
import shutil
import socket
import subprocess
import sys
import textwrap
import time

import pytest
from helpers import run_python

RSYSLOGD = shutil.which("rsyslogd", path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
SEVERITY = {"trace": 7, "debug": 7, "info": 6, "warn": 4, "error": 3, "critical": 2}
LEVELS = list(SEVERITY)

# Every received record as one JSON object, so the test reads back exactly what the collector parsed.
# log.sock parses as a stock local daemon does (no parser options); log5424.sock is one set up for RFC 5424.
CONFIG = """\
global(workDirectory="{dir}" maxMessageSize="64k")
module(load="imuxsock" SysSock.Use="off")
input(type="imuxsock" Socket="{dir}/log.sock" RateLimit.Interval="0")
input(type="imuxsock" Socket="{dir}/log5424.sock" UseSpecialParser="off" ParseHostname="on" RateLimit.Interval="0")
module(load="imudp")
input(type="imudp" address="127.0.0.1" port="{udp}" RcvBufSize="16m" RateLimit.Interval="0")
module(load="imtcp")
input(type="imtcp" address="127.0.0.1" port="{tcp}")
template(name="record" type="string"
         string="{{\\"sev\\":%syslogseverity%,\\"fac\\":%syslogfacility%,\\"app\\":\\"%app-name:::json%\\",\\"pid\\":\\"%procid:::json%\\",\\"msg\\":\\"%msg:::json%\\",\\"sd\\":\\"%structured-data:::json%\\"}}\\n")
action(type="omfile" file="{dir}/out.jsonl" template="record")
"""


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Collector:
    def __init__(self, directory):
        self.dir = directory
        self.udp, self.tcp = free_port(socket.SOCK_DGRAM), free_port(socket.SOCK_STREAM)
        self.sock = str(directory / "log.sock")
        self.sock5424 = str(directory / "log5424.sock")
        self.out = directory / "out.jsonl"
        (directory / "rsyslog.conf").write_text(CONFIG.format(dir=directory, udp=self.udp, tcp=self.tcp))
        self.proc = None

    def start(self):
        assert RSYSLOGD, "rsyslogd is not installed (the Debian package rsyslog)"
        self.proc = subprocess.Popen(
            [RSYSLOGD, "-n", "-f", str(self.dir / "rsyslog.conf"), "-i", str(self.dir / "rsyslogd.pid")],
            stdout=subprocess.DEVNULL,
            stderr=open(self.dir / "rsyslogd.err", "ab"),
        )
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            assert self.proc.poll() is None, (self.dir / "rsyslogd.err").read_text()
            try:
                socket.create_connection(("127.0.0.1", self.tcp), timeout=0.2).close()
                if os.path.exists(self.sock) and os.path.exists(self.sock5424):
                    return
            except OSError:
                pass
            time.sleep(0.05)
        raise AssertionError("rsyslogd did not come up")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)

    def kill(self):
        self.proc.kill()
        self.proc.wait(5)

    def records(self, count, timeout=15):
        """The records received so far, waiting until there are at least `count` of them."""
        deadline = time.monotonic() + timeout
        while True:
            text = self.out.read_text(encoding="utf-8") if self.out.exists() else ""
            lines = [line for line in text.splitlines() if line]
            if len(lines) >= count or time.monotonic() > deadline:
                return [json.loads(line) for line in lines]
            time.sleep(0.05)


@pytest.fixture
def collector(tmp_path):
    if not RSYSLOGD:
        pytest.skip("rsyslogd is not installed (the Debian package rsyslog)")
    c = Collector(tmp_path)
    c.start()
    try:
        yield c
    finally:
        c.stop()


def address_of(collector, transport):
    return {
        "unix": repr(collector.sock),
        "unix5424": repr(collector.sock5424),
        "udp": f"('127.0.0.1', {collector.udp})",
        "tcp": f"('127.0.0.1', {collector.tcp})",
    }[transport]


# The default format is the one each transport's daemon parses: the traditional one on the local socket.
@pytest.mark.parametrize(
    "transport, format, ident, facility, code",
    [
        ("unix", None, None, "daemon", 3),
        ("unix5424", "rfc5424", "app", "local1", 17),
        ("udp", None, "app-udp", "local4", 20),
        ("udp", "rfc3164", "app-udp", "local2", 18),
        ("tcp", None, "app", "local7", 23),
        ("tcp", "rfc3164", "app", "local6", 22),
    ],
)
def test_every_record_arrives_once_with_its_fields(collector, tmp_path, transport, format, ident, facility, code):
    count = 600
    proc = run_python(
        f"""
        import os
        from zelvar.scrivo.scrivo import *
        lg = Logger('app.name', handlers=[SyslogHandler({address_of(collector, transport)}, {facility!r}, {ident!r},
                                                        {"'tcp'" if transport == "tcp" else "'udp'"},
                                                        pattern='%l: %v'{f", format={format!r}" if format else ""})])
        levels = {LEVELS!r}
        for i in range({count}):
            level = levels[i % len(levels)]
            getattr(lg, level)('record %04d é "quoted" \\\\ %s' % (i, 'x' * (i % 50)))
        print(os.getpid())
    """,
        cwd=tmp_path,
        timeout=60,
        check=True,
    )
    pid = proc.stdout.decode().strip()
    assert proc.stderr == b""  # nothing reported as lost
    got = collector.records(count)
    # The collector keeps the space after a traditional "TAG[PID]:" in MSG, as for syslog(3)'s messages.
    lead = " " if (format or ("rfc3164" if transport == "unix" else "rfc5424")) == "rfc3164" else ""
    expected = []
    for i in range(count):
        level = LEVELS[i % len(LEVELS)]
        name = "warning" if level == "warn" else level
        expected.append(
            {
                "sev": SEVERITY[level],
                "fac": code,
                "app": ident or "app.name",
                "pid": pid,
                "msg": f'{lead}{name}: record {i:04d} é "quoted" \\ {"x" * (i % 50)}',
                "sd": "-",
            }
        )
    key = lambda r: r["msg"]
    assert sorted(got, key=key) == sorted(expected, key=key)


NOTE = 'a "b" ]\\ c'


# Fields: appended as logfmt pairs in the traditional format, one structured-data element in RFC 5424.
@pytest.mark.parametrize("transport, format", [("unix", None), ("unix5424", "rfc5424"), ("tcp", None)])
def test_fields_reach_the_collector(collector, tmp_path, transport, format):
    run_python(
        f"""
        import zelvar.scrivo as z
        lg = z.Logger('app', handlers=[z.SyslogHandler({address_of(collector, transport)}, 'user', 'app',
                                                       {"'tcp'" if transport == "tcp" else "'udp'"},
                                                       pattern='%v'{f", format={format!r}" if format else ""})])
        lg.info('plain')
        with z.log_context(req='r1'):
            lg.bind(note={NOTE!r}, n=3).info('m')
    """,
        cwd=tmp_path,
        timeout=60,
        check=True,
    )
    got = sorted(((r["msg"], r["sd"]) for r in collector.records(2)), key=lambda r: r[0].strip())
    if transport == "unix":
        assert got == [(" m req=r1 note=" + '"a \\"b\\" ]\\\\ c"' + " n=3", "-"), (" plain", "-")]
    else:
        assert got == [("m", '[fields@32473 req="r1" note="a \\"b\\" \\]\\\\ c" n="3"]'), ("plain", "-")]


SD_VALUE = r'"(?:[^"\\\]]|\\["\\\]])*"'
SD_ELEMENT = rf"\[([^ =\]\"]+)((?: [^ =\]\"]+={SD_VALUE})*)\]"


# A record larger than a datagram: values are cut (the longest first) or, when even the names do not
# fit, the element is left out; a second element says which; the datagram parses and MSG is whole.
@pytest.mark.parametrize(
    "fields",
    [
        "{'big': 'x' * 70000}",
        "{'a': 'short', 'esc': '\\\\' * 40000 + 'tail', 'b': 'é]' * 30000}",
        "{f'k{i:031d}': 'v' for i in range(3000)}",
    ],
)
def test_a_datagram_cut_to_size_stays_well_formed(tmp_path, fields):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as rx:
        rx.bind(("127.0.0.1", 0))
        rx.settimeout(30)
        run_python(
            f"""
            from zelvar.scrivo.scrivo import *
            lg = Logger('app', handlers=[SyslogHandler(('127.0.0.1', {rx.getsockname()[1]}), pattern='%v')])
            lg.bind(**{fields}).info('the message')
        """,
            timeout=60,
            check=True,
        )
        data = rx.recv(70000)
    fields = eval(fields)
    assert len(data) <= 65507
    whole = re.fullmatch(rf"<14>1 \S+ \S+ app \d+ - ((?:{SD_ELEMENT})+) the message", data.decode())
    assert whole
    elements = {sd_id: re.findall(rf" ([^=]+)=({SD_VALUE})", rest) for sd_id, rest in re.findall(SD_ELEMENT, whole[1])}
    kept = [(name, re.sub(r"\\(.)", r"\1", value[1:-1])) for name, value in elements.pop("fields@32473", [])]
    assert all(fields[name].startswith(value) for name, value in kept)
    if kept:
        cut = [name for name, value in kept if value != fields[name]]
        assert [name for name, _ in kept] == list(fields) and cut == [k for k, v in fields.items() if len(v) > 5]
        assert elements == {"cut@32473": [("shortened", f'"{len(cut)}"')]} and len(data) > 65000
    else:
        assert elements == {"cut@32473": [("dropped", f'"{len(fields)}"')]}


@pytest.mark.parametrize("transport", ["unix", "tcp"])
def test_procid_is_the_writers_after_a_fork(collector, tmp_path, transport):
    protocol = "tcp" if transport == "tcp" else "udp"
    proc = run_python(
        f"""
        import os
        from zelvar.scrivo.scrivo import *
        lg = Logger('forked', handlers=[SyslogHandler({address_of(collector, transport)}, protocol={protocol!r})])
        lg.info('parent before')
        pid = os.fork()
        if pid == 0:
            lg.info('child')
            os._exit(0)
        os.waitpid(pid, 0)
        lg.info('parent after')
        print(os.getpid(), pid)
    """,
        cwd=tmp_path,
        timeout=60,
        check=True,
    )
    parent, forked = proc.stdout.decode().split()
    got = {r["msg"].strip(): r["pid"] for r in collector.records(3)}
    assert got == {"parent before": parent, "child": forked, "parent after": parent}


def test_a_forked_child_reports_only_its_own_undelivered_records(tmp_path):
    proc = run_python(
        """
        import os, sys
        from zelvar.scrivo.scrivo import *
        lg = Logger('forked', handlers=[SyslogHandler(os.path.abspath('nobody.sock'))])
        for i in range(10):
            lg.info('parent %d' % i)  # the first reported at once, nine pending
        for _ in range(3):
            if os.fork() == 0:
                lg.info('child')
                sys.exit(0)  # the sink goes with the interpreter and reports what is pending
            os.wait()
    """,
        cwd=tmp_path,
        timeout=60,
        check=True,
    )
    lost = [int(n) for n in re.findall(rb": (\d+) records? not delivered", proc.stderr)]
    assert sorted(lost) == [1, 1, 1, 1, 9], proc.stderr.decode()


def test_tcp_collector_killed_and_restarted(collector, tmp_path):
    flags = tmp_path / "flags"
    flags.mkdir()
    script = f"""
        import os, sys, time
        from zelvar.scrivo.scrivo import *
        flags = {str(flags)!r}
        def wait_for(name):
            deadline = time.monotonic() + 30
            while not os.path.exists(os.path.join(flags, name)):
                assert time.monotonic() < deadline, name
                time.sleep(0.01)
        lg = Logger('restart', handlers=[SyslogHandler(('127.0.0.1', {collector.tcp}), protocol='tcp')])
        slowest = 0.0
        began = time.monotonic()
        def log(text):
            global slowest
            start = time.monotonic()
            lg.info(text)
            slowest = max(slowest, time.monotonic() - start)
        for i in range(50):
            log('before %d' % i)
        open(os.path.join(flags, 'sent'), 'w').close()
        wait_for('killed')
        for i in range(50):
            log('down %d' % i)
            time.sleep(0.01)
        open(os.path.join(flags, 'down'), 'w').close()
        wait_for('restarted')
        for i in range(300):
            log('after %d' % i)
            time.sleep(0.01)
        print(slowest, time.monotonic() - began)
    """
    proc = subprocess.Popen(
        [sys.executable, "-c", textwrap.dedent(script)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=tmp_path
    )
    try:
        deadline = time.monotonic() + 30
        while not (flags / "sent").exists():
            assert proc.poll() is None and time.monotonic() < deadline
            time.sleep(0.01)
        assert len(collector.records(50)) == 50
        collector.kill()
        (flags / "killed").touch()
        while not (flags / "down").exists():
            assert proc.poll() is None and time.monotonic() < deadline
            time.sleep(0.01)
        collector.start()
        (flags / "restarted").touch()
        out, err = proc.communicate(timeout=60)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    assert proc.returncode == 0, err.decode()
    slowest, elapsed = map(float, out.split())
    assert slowest < 1.5  # no logging call waited long
    messages = [r["msg"] for r in collector.records(350, timeout=5)]
    after = [int(m.split()[1]) for m in messages if m.startswith("after ")]
    assert after and after == list(range(after[0], 300))  # from the reconnect on, every record, in order
    lost = [int(n) for n in re.findall(r": (\d+) records? not delivered", err.decode())]
    down = sum(m.startswith("down ") for m in messages)
    assert down < 50
    assert sum(lost) == 50 - down + after[0]  # every record that did not arrive is counted
    assert len(lost) <= elapsed + 2  # reported at most once a second (and once more as the sink goes)
