"""Opening text files the way the package reads and writes them.

Files are UTF-8. Lines end at a line feed only: a carriage return inside a
line stays part of it, and nothing is translated on reading or writing. An
undecodable byte raises ``UnicodeDecodeError`` whose reason names the file
and the 1-based line number; nothing is silently replaced.  A file (or pipe)
that starts with the gzip magic bytes is read as the text it holds.

Output files are put in place whole (``ReplacingFile``): a regular file is
written beside its path and renamed over it once complete.
"""

import builtins
import errno
import gzip
import os
import secrets
import stat
import sys
import zlib

__all__ = ["open", "open_binary", "open_output", "ReplacingFile", "TextReader"]

_GZIP_MAGIC = b"\x1f\x8b"


def _open_binary(path):
    """(lines source, raw file): the file, or a gzip reader on it when its first bytes are gzip's."""
    raw = builtins.open(path, "rb")
    try:
        if raw.peek(2)[:2] == _GZIP_MAGIC:
            return gzip.GzipFile(fileobj=raw, mode="rb"), raw
    except BaseException:
        raw.close()
        raise
    return raw, raw


def open_binary(path):
    """``path`` opened for reading bytes; gzip data (by its magic bytes) comes out inflated."""
    f, raw = _open_binary(path)
    if f is raw:
        return f
    return _OwningGzip(f, raw)


class _OwningGzip:
    """A gzip reader that closes the file under it too."""

    def __init__(self, gz, raw):
        self._gz, self._raw = gz, raw

    def __getattr__(self, name):
        return getattr(self._gz, name)

    def __iter__(self):
        return iter(self._gz)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        try:
            self._gz.close()
        finally:
            self._raw.close()


def _decode_error(err, raw, path, line_number):
    return UnicodeDecodeError(
        err.encoding,
        raw,
        err.start,
        err.end,
        f"{err.reason} ({path}, line {line_number})",
    )


class Closing:
    """``with`` support for objects that have ``close()``: the block closes them."""

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


class TextReader(Closing):
    """The lines of a UTF-8 file, in order, each with its line feed if it had one.

    The file is opened at construction (a missing file raises
    ``FileNotFoundError`` then) and closed when the lines run out, on
    ``close()``, at the end of a ``with`` block, or when the reader is
    collected.
    """

    def __init__(self, path):
        self._file = self._raw = None
        self.name = os.fsdecode(path) if isinstance(path, bytes) else os.fspath(path)
        self._file, self._raw = _open_binary(path)
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

    def _gzip_error(self, err):
        return ValueError("{}, line {}: the gzip data is corrupt or cut short ({})".format(
            self.name, self.line_number + 1, err))

    def _lines(self):
        f = self._file
        if f is None:
            return
        consumed = self._consumed
        lines = iter(f)
        while True:
            try:
                raw = next(lines)
            except StopIteration:
                break
            except (EOFError, gzip.BadGzipFile, zlib.error) as err:
                raise self._gzip_error(err) from None
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
        try:
            raw = f.readline()
        except (EOFError, gzip.BadGzipFile, zlib.error) as err:
            raise self._gzip_error(err) from None
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
        try:
            raw = f.read()
        except (EOFError, gzip.BadGzipFile, zlib.error) as err:
            raise self._gzip_error(err) from None
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
            try:
                f.close()
            finally:
                if self._raw is not f:
                    self._raw.close()

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


def _follow_links(path):
    """Where a chain of symbolic links at ``path`` ends (the last may name nothing yet)."""
    for _ in range(40):
        try:
            if not stat.S_ISLNK(os.lstat(path).st_mode):
                break
            to = os.readlink(path)
        except OSError:
            break
        path = os.path.join(os.path.dirname(path), to)
    return path


def _named(err, path):
    """``err`` again, naming ``path`` (not the temporary file)."""
    return type(err)(err.errno, err.strerror, path)


class ReplacingFile(Closing):
    """A binary output file that appears whole or not at all.

    A regular file, or a path where nothing is yet, is written to a temporary
    file beside it (".NAME.XXXXXX.tmp"), renamed over the path by
    ``close()``; ``discard()`` (or leaving a ``with`` block by an exception)
    removes it and leaves the previous file as it was.  A symbolic link is
    written through.  "-" is standard output, left open; devices, pipes and a
    file whose folder lets no file be created beside it are written directly.
    """

    def __init__(self, path):
        self.name = path = os.fspath(path)
        self._temp = self._target = None
        self._owned = True
        if path == "-":
            sys.stdout.flush()
            self._file = builtins.open(sys.stdout.fileno(), "wb", closefd=False)
            return
        target = _follow_links(path)
        try:
            st = os.stat(target)
        except FileNotFoundError:
            st = None
        except OSError:
            st = False  # the open below names the error
        fd = None
        if st and stat.S_ISREG(st.st_mode) and not os.access(target, os.W_OK):
            # A file that may not be written is not replaced either.
            raise PermissionError(errno.EACCES, os.strerror(errno.EACCES), path)
        if st is None or (st and stat.S_ISREG(st.st_mode)):
            folder, base = os.path.split(target)
            for _ in range(100):
                temp = os.path.join(folder, ".{}.{}.tmp".format(base, secrets.token_hex(3)))
                try:
                    fd = os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o666)
                except FileExistsError:
                    continue
                except OSError as err:
                    if st is None or err.errno not in (errno.EACCES, errno.EPERM, errno.EROFS):
                        raise _named(err, path) from None
                break
            if fd is not None:
                if st:
                    os.fchmod(fd, stat.S_IMODE(st.st_mode))
                self._temp, self._target = temp, target
                self._file = builtins.open(fd, "wb")
                return
        self._file = builtins.open(path, "wb")

    def write(self, data):
        return self._file.write(data)

    def close(self):
        """Writes what is buffered and puts the file in place."""
        f, self._file = self._file, None
        if f is None:
            return
        try:
            f.close()
            if self._temp is not None:
                os.replace(self._temp, self._target)
                self._temp = None
        except BaseException:
            self._remove_temp()
            raise

    def discard(self):
        """Drops what was written (a file written directly keeps it)."""
        f, self._file = self._file, None
        if f is not None:
            try:
                f.close()
            except OSError:
                pass
        self._remove_temp()

    def _remove_temp(self):
        temp, self._temp = self._temp, None
        if temp is not None:
            try:
                os.unlink(temp)
            except OSError:
                pass

    def __exit__(self, exc_type, *exc):
        if exc_type is None:
            self.close()
        else:
            self.discard()
        return False

    def __del__(self):
        try:
            self.discard()
        except Exception:
            pass


def open_output(path):
    """``path`` opened to write bytes, put in place whole (see ``ReplacingFile``)."""
    return ReplacingFile(path)
