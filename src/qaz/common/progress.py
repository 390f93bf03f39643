"""Progress display on standard error.

A bar is drawn only when standard error is a terminal and the "qaz" loggers
are not quiet; otherwise nothing is written and counting costs one addition
and one comparison per step. The line is redrawn in place with a carriage
return at most about ten times a second and finished with a line feed::

    loading:  45%|#########           | 4,500/10,000 [00:02<00:03, 2,000.0/s]

With an unknown total only the count, the elapsed time and the rate show.
"""

import os
import stat
import sys
import time

from qaz.common import files as _files
from qaz.common import logging as _log

__all__ = ["Bar", "view", "FileReader"]

_INTERVAL = 0.1  # seconds between redraws
_WIDTH = 20  # characters of the bar itself
_NEVER = float("inf")


def _drawing_wanted():
    stream = sys.stderr
    return stream is not None and _log._stream_is_tty(stream) and not _log.is_quiet()


def _clock(seconds):
    seconds = int(seconds)
    minutes, secs = divmod(seconds, 60)
    hours, minutes = divmod(minutes, 60)
    if hours:
        return f"{hours:d}:{minutes:02d}:{secs:02d}"
    return f"{minutes:02d}:{secs:02d}"


def _bytes(n):
    for unit in ("B", "kB", "MB", "GB", "TB"):
        if abs(n) < 1000 or unit == "TB":
            return f"{n:,.0f}{unit}" if unit == "B" else f"{n:,.1f}{unit}"
        n /= 1000.0
    return ""  # unreachable


class Bar:
    """One progress line: ``advance(n)`` or ``update_to(done)``, then ``close()``.

    ``total`` is the expected count (``None`` when unknown); ``unit`` "B"
    shows the counts as byte sizes. Usable as a context manager.
    """

    def __init__(self, label, total=None, unit="it"):
        self.label = label or ""
        self.total = total
        self.unit = unit
        self.n = 0
        self.closed = False
        self.enabled = _drawing_wanted()
        now = time.monotonic()
        self._start = now
        self._last_draw = now
        self._last_check = now
        self._last_check_n = 0
        self._shown = 0  # length of the text currently on the line
        # The next count at which the clock is looked at; never when silent.
        self._next = 1 if self.enabled else _NEVER

    def advance(self, n=1):
        self.n += n
        if self.n >= self._next:
            self._check()

    def update_to(self, done):
        self.n = done
        if done >= self._next:
            self._check()

    def _check(self):
        now = time.monotonic()
        if now - self._last_draw >= _INTERVAL:
            self._draw(now)
            self._last_draw = now
        # Guess how many more steps fit in what is left of the interval, so
        # that the clock is read only about once per redraw.
        steps = self.n - self._last_check_n
        spent = now - self._last_check
        left = _INTERVAL - (now - self._last_draw)
        ahead = int(steps / spent * left) if steps > 0 and spent > 0 else 1
        ahead = min(ahead, 8 * steps)  # a bad first guess must not hide the bar
        self._last_check = now
        self._last_check_n = self.n
        self._next = self.n + max(1, ahead)

    def format(self, now=None):
        """The text of the line for the current count."""
        if now is None:
            now = time.monotonic()
        elapsed = now - self._start
        rate = self.n / elapsed if elapsed > 0 else 0.0
        prefix = f"{self.label}: " if self.label else ""
        if self.unit == "B":
            speed = _bytes(rate) + "/s"
        elif self.unit == "it":
            speed = f"{rate:,.1f}/s"
        else:
            speed = f"{rate:,.1f} {self.unit}/s"
        total = self.total
        if total is None:
            count = _bytes(self.n) if self.unit == "B" else f"{self.n:,}"
            return f"{prefix}{count} [{_clock(elapsed)}, {speed}]"
        frac = min(max(self.n / total, 0.0), 1.0) if total > 0 else 1.0
        filled = int(frac * _WIDTH)
        bar = "#" * filled + " " * (_WIDTH - filled)
        if self.unit == "B":
            count = f"{_bytes(self.n)}/{_bytes(total)}"
        else:
            count = f"{self.n:,}/{total:,}"
        remaining = _clock((total - self.n) / rate) if rate > 0 and total >= self.n else "?"
        return (
            f"{prefix}{int(frac * 100):3d}%|{bar}| {count} "
            f"[{_clock(elapsed)}<{remaining}, {speed}]"
        )

    def _draw(self, now):
        stream = sys.stderr
        if stream is None:
            return
        text = self.format(now)
        pad = " " * max(0, self._shown - len(text))
        try:
            stream.write("\r" + text + pad)
            stream.flush()
        except (OSError, ValueError):
            return
        self._shown = len(text)
        _log._set_status_line(self)

    def _erase(self, stream):
        """Clear the line before a log message; the next check redraws it."""
        if self._shown:
            stream.write("\r" + " " * self._shown + "\r")
            self._shown = 0
            self._last_draw = 0.0
            self._next = self.n

    def close(self):
        """Draw the final state and end the line (once; silent bars stay silent)."""
        if self.closed:
            return
        self.closed = True
        self._next = _NEVER
        if not self.enabled:
            return
        stream = sys.stderr
        if stream is None:
            return
        self._draw(time.monotonic())
        if _log._status_line is self:
            _log._set_status_line(None)
        try:
            stream.write("\n")
            stream.flush()
        except (OSError, ValueError):
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __repr__(self):
        return f"<Bar {self.format()!r}>"


class FileReader(_files.TextReader):
    """The lines of a UTF-8 file (see ``qaz.common.files``), with a bar counting bytes."""

    def __init__(self, path, label=None):
        super().__init__(path)
        st = os.fstat(self._file.fileno())
        total = st.st_size if stat.S_ISREG(st.st_mode) else None
        self._bar = Bar(label, total, unit="B")

    def _lines(self):
        f = self._file
        if f is None:
            return
        bar = self._bar
        try:
            done = f.tell()
        except (OSError, ValueError):
            done = bar.n
        for raw in f:
            self.line_number += 1
            done += len(raw)
            if done >= bar._next:
                bar.update_to(done)
            try:
                line = raw.decode("utf-8")
            except UnicodeDecodeError as err:
                raise _files._decode_error(err, raw, self.name, self.line_number) from None
            yield line
        self.close()

    def _consumed(self, raw):
        self._bar.advance(len(raw))

    def close(self):
        bar = getattr(self, "_bar", None)
        f = self._file
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
