"""Progress display on standard error, drawn by tqdm.

A bar is drawn only when standard error is a terminal and the "qaz" loggers
are not quiet; otherwise nothing is written and counting costs one addition
per step. The line is redrawn in place at most about ten times a second and
finished with a line feed::

    loading:  45%|#########           | 4,500/10,000 [00:02<00:03, 2,000.0/s]

With an unknown total only the count, the elapsed time and the rate show.
"""

import functools
import os
import stat
import sys
import time

from qaz.common import files as _files
from qaz.common import logging as _log

__all__ = ["Bar", "view", "FileReader"]

_INTERVAL = 0.1  # seconds between redraws
_WIDTH = 20  # characters of the bar itself


def _clock(seconds):
    """ "MM:SS", or "H:MM:SS" past an hour (tqdm's form)."""
    return _line_class().format_interval(seconds)


def _drawing_wanted():
    stream = sys.stderr
    return stream is not None and _log.stream_is_tty(stream) and not _log.is_quiet()


def _bytes(n):
    for unit in ("B", "kB", "MB", "GB", "TB"):
        if abs(n) < 1000 or unit == "TB":
            return f"{n:,.0f}{unit}" if unit == "B" else f"{n:,.1f}{unit}"
        n /= 1000.0
    return ""  # unreachable


@functools.cache
def _line_class():
    """The line class, built on first use: tqdm is imported only when a bar is drawn."""
    from tqdm import tqdm as _tqdm

    class _Line(_tqdm):
        """The tqdm machinery (redraw interval, in-place line) showing a Bar's text.

        Every line is drawn where the cursor is (no stacking of bars), nothing is
        drawn before the first step, and no monitor thread runs.
        """

        monitor_interval = 0

        def __init__(self, bar):
            self._bar = bar
            self._started = False
            super().__init__(total=bar.total, file=sys.stderr, mininterval=_INTERVAL, position=0,
                             ascii=True, ncols=80, nrows=20, smoothing=0)
            self._started = True

        def refresh(self, *args, **kwargs):
            if self._started:
                return super().refresh(*args, **kwargs)
            return False

        def __str__(self):
            return self._bar.format()

        def display(self, msg=None, pos=None):
            shown = super().display(msg, pos)
            if msg is None:
                _log.set_status_line(self._bar)
            return shown

    return _Line


class Bar(_files.Closing):
    """One progress line: ``advance(n)`` or ``update_to(done)``, then ``close()``.

    ``total`` is the expected count (``None`` when unknown); ``unit`` "B"
    shows the counts as byte sizes. Usable as a context manager.
    """

    def __init__(self, label, total=None, unit="it"):
        self.label = label or ""
        self.total = total
        self.unit = unit
        self.closed = False
        self.enabled = _drawing_wanted()
        self._start = time.monotonic()
        self._count = 0
        self._line = _line_class()(self) if self.enabled else None

    @property
    def n(self):
        return self._count if self._line is None else self._line.n

    @n.setter
    def n(self, value):
        if self._line is None:
            self._count = value
        else:
            self._line.n = value

    def advance(self, n=1):
        if self._line is None:
            self._count += n
        else:
            self._line.update(n)

    def update_to(self, done):
        self.advance(done - self.n)

    def format(self, now=None):
        """The text of the line for the current count."""
        if now is None:
            now = time.monotonic()
        n, total = self.n, self.total
        elapsed = now - self._start
        rate = n / elapsed if elapsed > 0 else 0.0
        prefix = f"{self.label}: " if self.label else ""
        if self.unit == "B":
            speed = _bytes(rate) + "/s"
        elif self.unit == "it":
            speed = f"{rate:,.1f}/s"
        else:
            speed = f"{rate:,.1f} {self.unit}/s"
        if total is None:
            count = _bytes(n) if self.unit == "B" else f"{n:,}"
            return f"{prefix}{count} [{_clock(elapsed)}, {speed}]"
        frac = min(max(n / total, 0.0), 1.0) if total > 0 else 1.0
        filled = int(frac * _WIDTH)
        bar = "#" * filled + " " * (_WIDTH - filled)
        count = f"{_bytes(n)}/{_bytes(total)}" if self.unit == "B" else f"{n:,}/{total:,}"
        remaining = _clock((total - n) / rate) if rate > 0 and total >= n else "?"
        return f"{prefix}{int(frac * 100):3d}%|{bar}| {count} [{_clock(elapsed)}<{remaining}, {speed}]"

    def _erase(self, stream):
        """Clear the line before a log message; the next step redraws it."""
        line = self._line
        if line is None or line.disable:
            return
        line.clear()
        line.last_print_t = line.start_t - _INTERVAL
        line.miniters = 0

    def close(self):
        """Draw the final state and end the line (once; silent bars stay silent)."""
        if self.closed:
            return
        self.closed = True
        line = self._line
        if line is None:
            return
        self._count = line.n
        line.close()
        if _log.status_line() is self:
            _log.set_status_line(None)

    def __repr__(self):
        return f"<Bar {self.format()!r}>"


class FileReader(_files.TextReader):
    """The lines of a UTF-8 file (see ``qaz.common.files``), with a bar counting bytes."""

    def __init__(self, path, label=None):
        super().__init__(path)
        st = os.fstat(self._file.fileno())
        total = st.st_size if stat.S_ISREG(st.st_mode) else None
        self._bar = Bar(label, total, unit="B")
        if self._bar.enabled:  # a silent bar learns the count when the file closes
            if self._raw is not self._file:
                # gzip: the compressed bytes read so far, against the file's size
                bar, raw_file = self._bar, self._raw
                self._consumed = lambda raw: bar.update_to(raw_file.tell())
            else:
                advance = self._bar.advance
                self._consumed = lambda raw: advance(len(raw))

    def close(self):
        bar = getattr(self, "_bar", None)
        f = self._raw if self._file is not None else None
        if bar is not None and not bar.closed:
            if f is not None:
                try:
                    bar.n = f.tell()
                except (OSError, ValueError):
                    pass
            bar.close()
        super().close()


def _counted(items, bar):
    with bar:
        for item in items:
            yield item
            bar.advance()


def view(x, label=None, header=None, max_count=None):
    """Show progress while ``x`` is consumed.

    - ``x`` an iterable: an iterator over the same items in order, counted
      against ``max_count`` or else ``len(x)`` when ``x`` has a length.
    - ``x`` a path, no label or header: a ``FileReader`` to use as a context
      manager (``with view(path) as lines:``); the file closes with the block.
    - ``x`` a path with a label: a ``FileReader`` to iterate directly; it closes
      the file when the lines run out or when it is collected.
    """
    name = label if label is not None else header
    if isinstance(x, (str, bytes, os.PathLike)):
        if name is None:
            name = os.path.basename(os.fsdecode(x))
        return FileReader(x, name)
    items = iter(x)
    if not _drawing_wanted():
        return items
    total = max_count
    if total is None:
        try:
            total = len(x)
        except TypeError:
            total = None
    return _counted(items, Bar(name, total))
