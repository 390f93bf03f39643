import copy
import gc
import io
import logging as std_logging
import re
import sys

import pytest

from qaz.common import files, progress, text
from qaz.common import logging as qlog
from qaz.common.config import Config
from qaz.common.vocab import StringEnumerator


class TtyStream(io.StringIO):
    def isatty(self):
        return True


def fake_stderr(monkeypatch, tty):
    # Called inside the test body: output capture swaps sys.stderr again
    # between fixture setup and the test call.
    stream = TtyStream() if tty else io.StringIO()
    monkeypatch.setattr(sys, "stderr", stream)
    return stream


# --- Config -----------------------------------------------------------------


def test_config_copies_its_source():
    source = {"a": 1, "b": [1]}
    conf = Config(source)
    source["a"] = 2
    source["c"] = 3
    assert conf.as_dict() == {"a": 1, "b": [1]}
    clone = Config(conf)
    clone.update(a=5)
    assert conf["a"] == 1 and clone["a"] == 5
    duplicate = copy.copy(conf)
    duplicate.update(z=0)
    assert "z" not in conf


def test_config_update_precedence():
    conf = Config({"a": 1, "b": 2}, b=20)
    assert conf.as_dict() == {"a": 1, "b": 20}
    conf.update({"a": 10, "c": 3}, a=100)
    assert conf.as_dict() == {"a": 100, "b": 20, "c": 3}
    conf.update(Config({"c": None}))
    assert conf.as_dict() == {"a": 100, "b": 20, "c": None}
    with pytest.raises(TypeError, match="mapping"):
        Config(42)


@pytest.mark.parametrize(
    "keys, expected",
    [(["a"], True), (["a", "b"], True), (["a", "zz"], False), ([], True), ("b", True), ("ab", False)],
)
def test_config_has(keys, expected):
    assert Config({"a": 1, "b": None}).has(keys) is expected


def test_config_get_data_and_repr():
    conf = Config({"a": 1, "b": None})
    assert conf.get("a") == 1 and conf.get("b", 7) is None and conf.get("x", 7) == 7
    data = conf.data
    assert data.a == 1 and data.b is None
    conf.update(a=2, new="n")
    assert data.a == 2 and data.new == "n"
    with pytest.raises(AttributeError, match="missing_key"):
        _ = data.missing_key
    assert repr(conf) == "Config({'a': 2, 'b': None, 'new': 'n'})"


# --- logging ----------------------------------------------------------------


@pytest.mark.parametrize(
    "debug, quiet, level",
    [(False, False, std_logging.INFO), (True, False, std_logging.DEBUG),
     (False, True, std_logging.WARNING), (True, True, std_logging.WARNING)],
)
def test_using_config_sets_and_restores_levels(debug, quiet, level):
    top = std_logging.getLogger("lvltest")
    top.setLevel(std_logging.ERROR)
    with qlog.using_config(["lvltest.a.b", "lvltest.c"], debug=debug, quiet=quiet):
        assert top.level == level
    assert top.level == std_logging.ERROR
    with pytest.raises(KeyError):
        with qlog.using_config(["lvltest.a"], debug=True):
            raise KeyError("x")
    assert top.level == std_logging.ERROR


def test_using_config_control_object():
    qlog.getColorLogger("ctltest.mod")
    top = std_logging.getLogger("ctltest")
    before = top.level
    with qlog.using_config(["ctltest.mod"]) as ctl:
        steps = []
        for call, flag in [("set_debug", True), ("set_quiet", True), ("set_quiet", False), ("set_debug", False)]:
            getattr(ctl, call)(flag)
            steps.append(top.level)
        assert qlog.is_quiet("ctltest.mod") is False
        ctl.set_quiet(True)
        assert qlog.is_quiet("ctltest.other") is True
    assert steps == [std_logging.DEBUG, std_logging.WARNING, std_logging.DEBUG, std_logging.INFO]
    assert top.level == before


@pytest.mark.parametrize("coloured", [False, True])
def test_log_line_format(monkeypatch, coloured):
    stream = fake_stderr(monkeypatch, tty=coloured)
    log = qlog.getColorLogger("fmttest.sub")
    log.info("100% done %s")
    log.debug("hidden")
    log.warning(42)
    out = stream.getvalue()
    info = "\033[32mINFO\033[0m" if coloured else "INFO"
    assert re.fullmatch(
        r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[" + re.escape(info) + r"\] fmttest\.sub: 100% done %s\n"
        r".* fmttest\.sub: 42\n",
        out,
    )
    assert ("\033[" in out) is coloured and "hidden" not in out


def test_records_name_the_caller():
    class Keep(std_logging.Handler):
        def emit(self, record):
            seen.append((record.levelname, record.funcName, record.lineno))

    seen = []
    log = qlog.getColorLogger("wheretest")
    handler = Keep()
    log.logger.addHandler(handler)
    try:
        with qlog.using_config(["wheretest"], debug=True):
            first = sys._getframe().f_lineno + 1
            log.debug("d"); log.info("i"); log.warning("w"); log.error("e")  # noqa: E702
            log.critical("c"); log.log(std_logging.INFO, "l"); log.debug_print([1])  # noqa: E702
            try:
                raise KeyError("k")
            except KeyError:
                log.exception("x")
    finally:
        log.logger.removeHandler(handler)
    where = "test_records_name_the_caller"
    assert [(lvl, fn) for lvl, fn, _ in seen] == [
        (lvl, where) for lvl in ("DEBUG", "INFO", "WARNING", "ERROR", "CRITICAL", "INFO", "DEBUG", "ERROR")]
    assert [n for _, _, n in seen] == [first] * 4 + [first + 1] * 3 + [first + 5]


def test_exception_debug_print_and_capsys(capsys):
    log = qlog.getColorLogger("exctest")
    try:
        raise ValueError("boom")
    except ValueError as e:
        log.exception(e)
        caught = e
    log.exception(caught)  # outside the handler: the exception's own traceback
    with qlog.using_config(["exctest"], debug=True):
        log.debug_print({"k": [1, 2]})
        log.debug_print("plain text")
    log.debug_print({"after": 1})
    err = capsys.readouterr().err
    assert err.count("[ERROR] exctest: boom\nTraceback") == 2 and "ValueError: boom" in err
    assert "exctest: {'k': [1, 2]}" in err and "exctest: plain text\n" in err
    assert "after" not in err


# --- progress ----------------------------------------------------------------


def test_progress_silent_without_tty_or_when_quiet(tmp_path, monkeypatch):
    plain = fake_stderr(monkeypatch, tty=False)
    path = tmp_path / "f.txt"
    path.write_text("a\nb\n")
    with progress.Bar("loading", 3) as bar:
        bar.advance(2)
        bar.update_to(3)
    assert list(progress.view([1, 2], "progress")) == [1, 2]
    assert list(progress.FileReader(path, "loading")) == ["a\n", "b\n"]
    assert plain.getvalue() == ""
    stream = fake_stderr(monkeypatch, tty=True)
    with qlog.using_config(["qaz"], quiet=True):
        assert list(progress.view(range(5), "progress")) == list(range(5))
    assert stream.getvalue() == ""


def test_progress_bar_on_tty(monkeypatch):
    tty = fake_stderr(monkeypatch, tty=True)
    with progress.Bar("loading", 10) as bar:
        for _ in range(10):
            bar.advance()
    assert tty.getvalue().startswith("\r") and tty.getvalue().endswith("\n")
    assert "loading: 100%|####################| 10/10 [" in tty.getvalue()
    bar = progress.Bar("storing")
    bar.update_to(1234)
    bar.close()
    assert re.search(r"storing: 1,234 \[00:00, [\d,.]+/s\]\n$", tty.getvalue())
    half = progress.Bar("x", 10000)
    half.n = 4500
    assert half.format().startswith("x:  45%|#########           | 4,500/10,000 [")


def test_log_line_wipes_the_bar_first(monkeypatch):
    tty = fake_stderr(monkeypatch, tty=True)
    monkeypatch.setattr(progress, "_INTERVAL", 0.0)
    with progress.Bar("loading", 2) as bar:
        bar.advance()
        drawn = tty.getvalue()
        qlog.getColorLogger("qaz.bartest").info("message")
        bar.advance()
    lines = tty.getvalue()[len(drawn):].split("\n")
    assert lines[0].startswith("\r" + " " * (len(drawn) - 1) + "\r")
    assert lines[0].endswith("qaz.bartest: message")
    assert "loading:  50%" in drawn and lines[1].startswith("\rloading: 100%") and lines[2] == ""


def test_view_of_iterables_keeps_order(monkeypatch):
    tty = fake_stderr(monkeypatch, tty=True)
    items = ["c", "a", "b"]
    assert list(progress.view(items, "progress")) == items
    assert list(progress.view((x for x in items), header="processing")) == items
    assert list(progress.view(iter(items), "p", max_count=3)) == items
    out = tty.getvalue()
    assert "progress: 100%" in out and "processing: 3 [" in out and "p: 100%" in out


LINE_CASES = [
    (b"a b\nc\n", ["a b\n", "c\n"]),
    (b"x\r\ny", ["x\r\n", "y"]),
    (b"in\rside\n\n", ["in\rside\n", "\n"]),
    (b"", []),
    ("caf\u00e9 \u2028 x\n".encode(), ["caf\u00e9 \u2028 x\n"]),
]
READERS = {
    "files.open": lambda p: files.open(p),
    "FileReader": lambda p: progress.FileReader(p, "loading"),
    "view(path, label)": lambda p: progress.view(p, "loading"),
}


@pytest.mark.parametrize("reader", list(READERS))
@pytest.mark.parametrize("data, lines", LINE_CASES)
def test_file_lines_split_at_line_feed_only(tmp_path, monkeypatch, reader, data, lines):
    tty = fake_stderr(monkeypatch, tty=True)
    path = tmp_path / "in.txt"
    path.write_bytes(data)
    it = READERS[reader](path)
    assert list(it) == lines
    assert it.closed
    with progress.view(str(path)) as ctx_lines:
        assert list(ctx_lines) == lines
    assert ctx_lines.closed
    assert tty.getvalue().count("100%|") == (1 if reader == "files.open" else 2)


def test_view_path_context_closes_early(tmp_path):
    path = tmp_path / "in.txt"
    path.write_text("1\n2\n3\n")
    with progress.view(path) as lines:
        assert next(lines) == "1\n"
    assert lines.closed and list(lines) == []
    reader = progress.view(path, "loading")
    assert next(reader) == "1\n"
    raw = reader._file
    del reader
    gc.collect()
    assert raw.closed
    with files.open(path) as f:
        assert f.readline() == "1\n" and f.read() == "2\n3\n" and f.readline() == ""


@pytest.mark.parametrize("reader", list(READERS) + ["read()"])
def test_undecodable_line_names_path_and_line(tmp_path, reader):
    path = tmp_path / "bad.txt"
    path.write_bytes(b"ok\nfine\nbad \xff byte\nok\n")
    if reader == "read()":
        f = files.open(path)
        assert f.readline() == "ok\n"
        consume = f.read
    else:
        consume = lambda: list(READERS[reader](path))  # noqa: E731
    with pytest.raises(UnicodeDecodeError, match=re.escape(f"({path}, line 3)")):
        consume()


def test_missing_file_names_path(tmp_path):
    path = tmp_path / "nope.txt"
    for call in (lambda: files.open(path), lambda: progress.view(path, "x"), lambda: progress.view(path)):
        with pytest.raises(FileNotFoundError, match="nope.txt"):
            call()


def test_files_open_wt_writes_line_feeds_utf8(tmp_path):
    path = tmp_path / "out.txt"
    with files.open(path, "wt") as f:
        f.write("a\tb\n\u00e9\r\n")
    assert path.read_bytes() == b"a\tb\n\xc3\xa9\r\n"


@pytest.mark.parametrize(
    "value, expected",
    [(b"caf\xc3\xa9", "caf\u00e9"), ("same", "same"), (bytearray(b"x y"), "x y"), (b"", "")],
)
def test_text_conversions(value, expected):
    assert text.to_unicode(value) == expected and text.to_str(value) == expected


def test_text_conversion_errors():
    with pytest.raises(UnicodeDecodeError):
        text.to_unicode(b"\xff")
    with pytest.raises(TypeError, match="int"):
        text.to_str(3)


# --- StringEnumerator --------------------------------------------------------


def test_string_enumerator_dense_ids():
    e = StringEnumerator()
    assert [e.str2id(s) for s in ["b", "a", "b", "", "caf\u00e9"]] == [0, 1, 0, 2, 3]
    size = len(e)
    e.append("a")
    assert len(e) == size == 4 and e.str2id("a") == 1
    e.append("new")
    assert e.str2id("new") == 4 and e.id2str(3) == "caf\u00e9" and e.id2str(2) == ""
    assert "new" in e and "absent" not in e


@pytest.mark.parametrize("bad_id", [-1, 5, 2**40])
def test_string_enumerator_unknown_id(bad_id):
    e = StringEnumerator()
    for s in "abcde":
        e.append(s)
    with pytest.raises(IndexError):
        e.id2str(bad_id)


def test_string_enumerator_many_strings():
    e = StringEnumerator()
    words = [f"w{i}\u00e9" for i in range(200_000)]
    assert [e.str2id(w) for w in words] == list(range(len(words)))
    assert len(e) == len(words)
    assert all(e.id2str(i) == words[i] for i in range(0, len(words), 997))
    assert e.str2id(words[12345]) == 12345 and len(e) == len(words)
