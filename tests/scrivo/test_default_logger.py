"""DefaultLogger and the standard logging package routed through the default logger: records follow
a newer default, standard records keep their levels, tracebacks and stacks, root handlers are
replaced without being closed."""

from output_helpers import ESC, run_with_scrivo


def test_default_logger_follows_a_newer_default(child, tmp_path):
    a, b = tmp_path / "a.log", tmp_path / "b.log"
    run_with_scrivo(
        child,
        f"""
        d = DefaultLogger()
        Logger('first', handlers=[FileHandler({str(a)!r}, pattern='%n %v')], set_default=True)
        d.info('one')
        Logger('second', handlers=[FileHandler({str(b)!r}, pattern='%n %v')], set_default=True)
        d.info('two')
    """,
    )
    assert a.read_text() == "first one\n"
    assert b.read_text() == "second two\n"


def test_standard_logging_through_the_default_logger(child, tmp_path):
    log = tmp_path / "std.log"
    proc = run_with_scrivo(
        child,
        f"""
        import logging
        Logger('std', handlers=[FileHandler({str(log)!r}, pattern='%l|%v'), StdoutHandler(True, '%l|%v', 0, 6)],
               set_default=True)
        logging.warning('w')
        logging.getLogger('deep.child').debug('d')
        try:
            1 / 0
        except ZeroDivisionError:
            logging.exception('boom')
        logging.info('s', stack_info=True)
        logging.info('no exception', exc_info=False)
        logging.info('a\\x00b')
        for level in (45, 50, 60, 9, 0, -5):
            logging.getLogger().handlers[0].emit(logging.makeLogRecord({{'msg': str(level), 'levelno': level}}))
        handler = logging.getLogger().handlers[0]
        handler._warn = 35
        handler.emit(logging.makeLogRecord({{'msg': 'tuned', 'levelno': 32}}))
    """,
    )
    text = log.read_text()
    assert proc.stdout.decode() == text  # console and file get the same plain text
    assert ESC.decode() not in text
    entries = text.split("\n")
    assert entries[:2] == ["warning|w", "debug|d"]
    assert entries[2] == "error|boom"
    assert entries[3] == "Traceback (most recent call last):"
    assert "ZeroDivisionError: division by zero" in text
    stack_at = entries.index("info|s")
    assert entries[stack_at + 1] == "Stack (most recent call last):"
    assert "info|no exception" in entries and "info|a" in entries
    assert [e for e in entries if e.split("|")[-1] in {"45", "50", "60", "9", "0", "-5", "tuned"}] == [
        "error|45",
        "critical|50",
        "critical|60",
        "trace|9",
        "trace|0",
        "trace|-5",
        "info|tuned",
    ]


def test_routing_replaces_root_handlers_without_closing(child):
    proc = run_with_scrivo(
        child,
        """
        import logging
        class Watch(logging.StreamHandler):
            closed = False
            def close(self):
                Watch.closed = True
        logging.getLogger().addHandler(Watch())
        Logger('route', level=Level.OFF, set_default=True)
        root = logging.getLogger()
        assert [type(h).__name__ for h in root.handlers] == ['PyLogHandler'], root.handlers
        assert root.level == logging.DEBUG and root.handlers[0].level == logging.DEBUG
        assert not Watch.closed
        print('ok')
    """,
    )
    assert proc.stdout == b"ok\n"
