"""Opening text files the way the package reads and writes them.

Files are UTF-8. Lines end at a line feed only: a carriage return inside a
line stays part of it, and nothing is translated on reading or writing. An
undecodable byte raises ``UnicodeDecodeError`` whose reason names the file
and the 1-based line number; nothing is silently replaced.
"""

import builtins
import os

__all__ = ["open", "TextReader"]


def _decode_error(err, raw, path, line_number):
    return UnicodeDecodeError(
        err.encoding,
        raw,
        err.start,
        err.end,
        f"{err.reason} ({path}, line {line_number})",
    )


class _Closing:
    """``with`` support for objects that have ``close()``: the block closes them."""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


class TextReader(_Closing):
    """The lines of a UTF-8 file, in order, each with its line feed if it had one.

    The file is opened at construction (a missing file raises
    ``FileNotFoundError`` then) and closed when the lines run out, on
    ``close()``, at the end of a ``with`` block, or when the reader is
    collected.
    """

    def __init__(self, path):
        self._file = None
        self.name = os.fsdecode(path) if isinstance(path, bytes) else os.fspath(path)
        self._file = builtins.open(path, "rb")
        self.line_number = 0  # lines handed out so far

    @property
    def closed(self):
        return self._file is None

    def _decode(self, raw):
        try:
            return raw.decode("utf-8")
        except UnicodeDecodeError as err:
            raise _decode_error(err, raw, self.name, self.line_number) from None

    def __iter__(self):
        return self._lines()

    # Given every raw line handed out, when set (a progress display counts
    # the bytes read with it).
    _consumed = None

    def _lines(self):
        f = self._file
        if f is None:
            return
        consumed = self._consumed
        for raw in f:
            self.line_number += 1
            if consumed is not None:
                consumed(raw)
            try:
                line = raw.decode("utf-8")
            except UnicodeDecodeError as err:
                raise _decode_error(err, raw, self.name, self.line_number) from None
            yield line
        self.close()

    def __next__(self):
        f = self._file
        if f is None:
            raise StopIteration
        raw = f.readline()
        if not raw:
            self.close()
            raise StopIteration
        self.line_number += 1
        if self._consumed is not None:
            self._consumed(raw)
        return self._decode(raw)

    def readline(self):
        """The next line, or "" at the end of the file."""
        try:
            return self.__next__()
        except StopIteration:
            return ""

    def readlines(self):
        return list(self)

    def read(self):
        """The rest of the file as one string."""
        f = self._file
        if f is None:
            return ""
        raw = f.read()
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError as err:
            line = self.line_number + raw.count(b"\n", 0, err.start) + 1
            start = raw.rfind(b"\n", 0, err.start) + 1
            end = raw.find(b"\n", err.start)
            end = len(raw) if end < 0 else end + 1
            err = UnicodeDecodeError(
                err.encoding, raw[start:end], err.start - start, err.end - start, err.reason
            )
            raise _decode_error(err, err.object, self.name, line) from None
        self.line_number += raw.count(b"\n") + (1 if raw and not raw.endswith(b"\n") else 0)
        self.close()
        return text

    def close(self):
        f = self._file
        if f is not None:
            self._file = None
            f.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    def __repr__(self):
        state = "closed" if self.closed else f"at line {self.line_number}"
        return f"<{type(self).__name__} {self.name!r} {state}>"


def open(path, mode="r"):  # noqa: A001 - deliberately shadows the builtin
    """Open ``path`` as the package does.

    "r"/"rt": a ``TextReader`` (strict UTF-8, lines split at line feeds only).
    "w"/"wt" and other text modes: the builtin file object, UTF-8, with
    ``newline="\\n"`` so that nothing is translated. Binary modes go straight to
    the builtin ``open``.
    """
    if mode in ("r", "rt", "tr"):
        return TextReader(path)
    if "b" in mode:
        return builtins.open(path, mode)
    return builtins.open(path, mode, encoding="utf-8", newline="\n")
