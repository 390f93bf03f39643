"""Fixtures shared by the tests: sample data, tiny corpora, log parsing, command runs."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

SHARED = Path(__file__).resolve().parents[2] / "shared"
FIXTURES = Path(__file__).resolve().parent / "data"
EXAMPLES = Path(__file__).resolve().parents[1] / "examples"


def data_dirs(relative):
    """The folders of sample files under ``relative``, as parameters: the cut-downs
    in tests/data, and the full files of ../shared/data as well when present."""
    dirs = [pytest.param(FIXTURES / relative, id="fixture")]
    full = SHARED / "data" / relative
    if full.is_dir():
        dirs.append(pytest.param(full, id="shared"))
    return dirs

# "2024-05-01 12:00:00 [INFO] qaz.smt.align.emcore: text"
_LOG_LINE = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[(?:\x1b\[[0-9;]*m)?([A-Z]+)(?:\x1b\[0m)?\] (\S+): (.*)$")


def log_records(text):
    """(level, logger name, message) of every log line in ``text``; other lines are dropped."""
    out = []
    for line in text.splitlines():
        m = _LOG_LINE.match(line)
        if m:
            out.append(m.groups())
    return out


def messages(text, level=None):
    return [msg for lvl, _, msg in log_records(text) if level is None or lvl == level]


def sample_slice(folder, lines):
    """The first `lines` pairs of the bundled sample as c.f / c.e in `folder`."""
    for ext in ("e", "f"):
        text = (EXAMPLES / "hansards.1k.{}".format(ext)).read_bytes().split(b"\n")[:lines]
        (folder / "c.{}".format(ext)).write_bytes(b"\n".join(text) + b"\n")
    return folder / "c.f", folder / "c.e"


def write_lines(path, lines):
    """Write ``lines`` joined by line feeds (with a final one) and return the path as text."""
    Path(path).write_text("".join(line + "\n" for line in lines), encoding="utf-8")
    return str(path)


@pytest.fixture
def corpus(tmp_path):
    """A factory writing a parallel corpus under tmp_path: corpus(src_lines, trg_lines)."""
    count = [0]

    def make(src_lines, trg_lines):
        count[0] += 1
        n = count[0]
        return (
            write_lines(tmp_path / f"corpus{n}.src", src_lines),
            write_lines(tmp_path / f"corpus{n}.trg", trg_lines),
        )

    return make


SMALL_SRC = [
    "le chat noir",
    "le chien",
    "un chat",
    "le chat et le chien",
    "un chien noir",
]
SMALL_TRG = [
    "the black cat",
    "the dog",
    "a cat",
    "the cat and the dog",
    "a black dog",
]


@pytest.fixture
def small_corpus(corpus):
    return corpus(SMALL_SRC, SMALL_TRG)


@pytest.fixture
def run_main(monkeypatch):
    """Run a command entry in-process with the given arguments; returns its exit status.

    An exception leaving the entry counts as status 1, as the interpreter
    would exit with it.
    """

    def run(entry, args):
        monkeypatch.setattr(sys, "argv", ["qaz"] + [str(a) for a in args])
        try:
            entry()
        except SystemExit as e:
            return e.code if isinstance(e.code, int) else (0 if e.code is None else 1)
        except Exception:
            return 1
        return 0

    return run


def run_command(args, **kw):
    """Run ``python ARGS`` in a child process that imports the same ``qaz`` as the tests."""
    import qaz

    env = dict(os.environ)
    home = str(Path(qaz.__file__).resolve().parents[1])
    env["PYTHONPATH"] = os.pathsep.join(p for p in [home, env.get("PYTHONPATH", "")] if p)
    return subprocess.run(
        [sys.executable] + list(args),
        env=env,
        capture_output=True,
        text=True,
        timeout=120,
        **kw,
    )


def run_bounded(code, memory_mib=512, args=(), **kw):
    """Run the Python ``code`` (with ``args`` in sys.argv[1:]) in a child process whose address
    space is capped at ``memory_mib``.

    An allocation past the cap fails there (a ``MemoryError`` or a killed
    child) instead of taking the machine's memory.
    """
    prologue = (
        "import resource\n"
        f"resource.setrlimit(resource.RLIMIT_AS, ({memory_mib << 20}, {memory_mib << 20}))\n"
    )
    return run_command(["-c", prologue + code] + list(args), **kw)
