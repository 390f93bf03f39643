"""Loggers with coloured level names, and a context that sets their verbosity.

Every module does ``logger = getColorLogger(__name__)``. The first component
of the name ("qaz", "__main__", ...) names the top-level logger that carries
the output: it gets one handler writing to standard error, does not pass
records on to the root logger, and logs at INFO level unless its level was
already set. ``using_config`` switches those top-level loggers to DEBUG
(``debug``) or WARNING (``quiet``) for the length of a ``with`` block.

A line looks like ``2024-05-01 12:00:00 [INFO] qaz.smt.align.emcore: text``;
the level name is coloured only when standard error is a terminal.
"""

import contextlib
import logging as _logging
import pprint
import sys
import time

__all__ = ["getColorLogger", "using_config", "is_quiet", "ColorLogger"]

DEBUG = _logging.DEBUG
INFO = _logging.INFO
WARNING = _logging.WARNING
ERROR = _logging.ERROR
CRITICAL = _logging.CRITICAL

_COLOURS = {
    DEBUG: "\033[36m",
    INFO: "\033[32m",
    WARNING: "\033[33m",
    ERROR: "\033[31m",
    CRITICAL: "\033[1;31m",
}
_RESET = "\033[0m"

# A progress bar currently drawn on the last line of standard error (set by
# qaz.common.progress). A log line first wipes it; the bar redraws itself.
_status_line = None


def status_line():
    """The progress bar drawn on the last line of standard error, or None."""
    return _status_line


def set_status_line(bar):
    """Note the progress bar now drawn on the last line (None: none is)."""
    global _status_line
    _status_line = bar


def stream_is_tty(stream):
    """Whether ``stream`` is a terminal (False when it cannot tell)."""
    try:
        return bool(stream.isatty())
    except (AttributeError, ValueError, OSError):
        return False


class _StderrHandler(_logging.Handler):
    """Writes records to whatever ``sys.stderr`` is when they are emitted."""

    def emit(self, record):
        try:
            stream = sys.stderr
            if stream is None:
                return
            text = self.render(record, stream_is_tty(stream))
            bar = _status_line
            if bar is not None:
                bar._erase(stream)
            stream.write(text + "\n")
            stream.flush()
        except RecursionError:
            raise
        except Exception:
            self.handleError(record)

    def render(self, record, colour):
        stamp = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(record.created))
        level = record.levelname
        if colour:
            level = _COLOURS.get(record.levelno, "") + level + _RESET
        text = f"{stamp} [{level}] {record.name}: {record.getMessage()}"
        if record.exc_info and record.exc_info[0] is not None:
            text += "\n" + _logging.Formatter().formatException(record.exc_info).rstrip("\n")
        if record.stack_info:
            text += "\n" + record.stack_info.rstrip("\n")
        return text


def _top_name(name):
    return (name or "").split(".", 1)[0]


def _top_logger(name):
    """The top-level ancestor of ``name``, given our handler on first use."""
    top = _top_name(name)
    logger = _logging.getLogger(top) if top else _logging.getLogger()
    if not getattr(logger, "_qaz_configured", False):
        if not any(isinstance(h, _StderrHandler) for h in logger.handlers):
            logger.addHandler(_StderrHandler())
        logger.propagate = False
        if logger.level == _logging.NOTSET:
            logger.setLevel(INFO)
        logger._qaz_configured = True
    return logger


def _at_level(level, name):
    """The logging method of one level (the message object is turned into text)."""

    def method(self, msg):
        if self._logger.isEnabledFor(level):
            self._emit(level, msg)

    method.__name__ = name
    method.__qualname__ = "ColorLogger." + name
    return method


class ColorLogger:
    """Thin wrapper around a standard logger; messages are turned into text with ``str``."""

    __slots__ = ("_logger",)

    def __init__(self, name):
        _top_logger(name)
        self._logger = _logging.getLogger(name)

    @property
    def name(self):
        return self._logger.name

    @property
    def logger(self):
        """The underlying standard-library logger."""
        return self._logger

    def isEnabledFor(self, level):
        return self._logger.isEnabledFor(level)

    def _emit(self, level, msg, exc_info=None):
        # stacklevel 3: the record names the caller of the public method.
        self._logger.log(level, "%s", msg, exc_info=exc_info, stacklevel=3)

    def log(self, level, msg):
        if self._logger.isEnabledFor(level):
            self._emit(level, msg)

    debug = _at_level(DEBUG, "debug")
    info = _at_level(INFO, "info")
    warning = _at_level(WARNING, "warning")
    error = _at_level(ERROR, "error")
    critical = _at_level(CRITICAL, "critical")

    def exception(self, msg):
        """Log ``msg`` at error level with the traceback of the exception being handled.

        Outside an ``except`` block, an exception object passed as ``msg``
        supplies its own traceback.
        """
        if not self._logger.isEnabledFor(ERROR):
            return
        exc_info = sys.exc_info()
        if exc_info[0] is None:
            if isinstance(msg, BaseException):
                exc_info = (type(msg), msg, msg.__traceback__)
            else:
                exc_info = None
        self._emit(ERROR, msg, exc_info)

    def debug_print(self, obj):
        """Log ``obj`` at debug level: text as it is, anything else pretty-printed."""
        if self._logger.isEnabledFor(DEBUG):
            self._emit(DEBUG, obj if isinstance(obj, str) else pprint.pformat(obj))

    def __repr__(self):
        return f"<ColorLogger {self.name} ({_logging.getLevelName(self._logger.getEffectiveLevel())})>"


def getColorLogger(name):
    """Logger for ``name`` (normally a module's ``__name__``)."""
    return ColorLogger(name)


class _LevelControl:
    """Handed out by ``using_config``; changes the levels while the block lasts."""

    def __init__(self, loggers, debug, quiet):
        self._loggers = loggers
        self._debug = bool(debug)
        self._quiet = bool(quiet)
        self._apply()

    @property
    def level(self):
        if self._quiet:
            return WARNING
        return DEBUG if self._debug else INFO

    def _apply(self):
        level = self.level
        for logger in self._loggers:
            logger.setLevel(level)

    def set_debug(self, flag):
        """Debug output on or off (quiet, while set, still wins)."""
        self._debug = bool(flag)
        self._apply()

    def set_quiet(self, flag):
        """Only warnings and errors while set."""
        self._quiet = bool(flag)
        self._apply()


@contextlib.contextmanager
def using_config(names, debug=False, quiet=False):
    """Configure the top-level loggers of ``names`` while the block lasts.

    The level is DEBUG with ``debug``, WARNING with ``quiet`` (quiet wins when
    both are set) and INFO otherwise. Every level changed is restored on exit,
    also when an exception leaves the block.
    """
    if isinstance(names, str):
        names = [names]
    loggers = []
    for name in names:
        logger = _top_logger(name)
        if logger not in loggers:
            loggers.append(logger)
    saved = [(logger, logger.level) for logger in loggers]
    try:
        yield _LevelControl(loggers, debug, quiet)
    finally:
        for logger, level in saved:
            logger.setLevel(level)


def is_quiet(name="qaz"):
    """True when the top-level logger of ``name`` would drop INFO messages."""
    return not _top_logger(name).isEnabledFor(INFO)
