"""What every command and driver of a run shares: exit statuses, checks of
output paths and configurations, argparse types, the model choices and the
size parser.

The layers import downwards only::

    commands        qaz.smt.align._drivers (qaz-train, qaz-score), qaz.align_command, qaz.aer
    drivers         qaz.smt.align._one_machine, qaz.distributed, qaz.aligner
    this module     qaz.smt.align._run
    engine          the extension modules (emcore, emlex, empos, _aligner, _shard)

This module imports none of the layers above it, nor the alignment modules:
the engine's size parser comes from the small ``qaz.common._memory``.
"""

import argparse
import errno
import os
import stat

from qaz.common import _memory, logging

__all__ = [
    "EXIT_OK",
    "EXIT_FAILED",
    "EXIT_REJECTED",
    "MAX_THREADS",
    "MODELS",
    "int_at_least",
    "positive_int",
    "thread_count",
    "iteration_count",
    "parse_size",
    "memory_size",
    "add_cluster_options",
    "check_threads",
    "model_schedule",
    "check_output_paths",
    "path_clash",
    "train_clash",
    "score_clash",
    "check_train_config",
    "check_test_config",
    "train_config_refused",
    "score_config_refused",
]

# The configuration checks log where the drivers log.
logger = logging.getColorLogger("qaz.smt.align.emcore")

# Exit statuses of the commands.
EXIT_OK = 0
EXIT_FAILED = 1  # reading, training, scoring or writing raised; the error was logged
EXIT_REJECTED = 2  # the configuration check failed

# Most threads a run may ask for.
MAX_THREADS = 4096

# The alignment models of qaz-align and qaz.Aligner.
MODELS = ("1", "2", "hmm")


# ---------------------------------------------------------------------------
# Argparse types and options


def int_at_least(minimum, maximum=None):
    """An argparse type: a whole number of at least ``minimum`` (and at most ``maximum``)."""

    def parse(text):
        try:
            value = int(text)
        except ValueError:
            raise argparse.ArgumentTypeError("invalid int value: {!r}".format(text)) from None
        if value < minimum:
            raise argparse.ArgumentTypeError("must be at least {}, got {}".format(minimum, value))
        if maximum is not None and value > maximum:
            raise argparse.ArgumentTypeError("must be at most {}, got {}".format(maximum, value))
        return value

    return parse


positive_int = int_at_least(1)
thread_count = int_at_least(1, MAX_THREADS)
# Iteration limits the engine takes (a 32-bit count, none negative).
iteration_count = int_at_least(0, 2**31 - 1)


def parse_size(text, whole_number=False):
    """Bytes of a size such as 320M or 1.5G (K, M, G: powers of 1024), or None.

    The engine's parser reads it.  ``whole_number`` takes digits with an
    optional K, M or G only; otherwise fractions and a trailing B or iB are
    taken too.  None for text that is not a positive size of that form.
    """
    return _memory.parse_size(text, whole_number)


def memory_size(text):
    """An argparse type: the --memory-limit of qaz-train and qaz-score."""
    value = parse_size(text)
    if value is None:
        raise argparse.ArgumentTypeError(
            "invalid size: {!r} (a positive number, optionally with K, M or G)".format(text))
    return value


def add_cluster_options(parser):
    """The options that run a command on a Dask cluster: --scheduler and --shards."""
    parser.add_argument(
        "--scheduler",
        dest="scheduler",
        type=str,
        default=None,
        metavar="ADDRESS",
        help="run on the Dask cluster of this scheduler, e.g. tcp://host:8786 "
        "(needs the dask extra)",
    )
    parser.add_argument(
        "--shards",
        dest="shards",
        type=positive_int,
        default=None,
        metavar="N",
        help="split the corpus into N shards of lines on a Dask cluster; alone, "
        "on a local cluster of one worker per CPU (default with --scheduler: "
        "one shard per worker)",
    )


# ---------------------------------------------------------------------------
# Arguments of the script API


def check_threads(threads):
    """The engine's thread count of a ``threads`` argument: 0 (every CPU) for None."""
    if threads is None:
        return 0
    if isinstance(threads, bool) or not isinstance(threads, int):
        raise TypeError(f"threads must be an int or None, not {type(threads).__name__}")
    if threads < 1:
        raise ValueError(f"threads must be at least 1, got {threads}")
    if threads > MAX_THREADS:
        raise ValueError(f"threads must be at most {MAX_THREADS}, got {threads}")
    return threads


def model_schedule(model, iterations, agreement):
    """The engine's schedule text of a model ('' for Model 2) and the agreement flag, checked."""
    if model not in MODELS:
        raise ValueError(f"unknown model {model!r} (expected '1', '2' or 'hmm')")
    if model == "2":
        if agreement:
            raise ValueError("model '2' trains each direction apart: agreement needs model '1' or 'hmm'")
        return "", False
    agreement = True if agreement is None else bool(agreement)
    steps = f"1:{iterations}" if model == "1" else f"1:{iterations},hmm:{iterations}"
    return steps, agreement


# ---------------------------------------------------------------------------
# Output paths


def check_output_paths(paths):
    """Fail before any work when an output file could not be written.

    Raises the interpreter's own error naming the path: IsADirectoryError for
    a directory, FileNotFoundError when its directory is missing,
    PermissionError when that directory (or the existing file) is not
    writable.  Nothing is created or truncated.  None and "" are skipped.
    """
    for path in paths:
        if path is None or path == "":
            continue
        path = os.fspath(path)
        if os.path.isdir(path):
            raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), path)
        parent = os.path.dirname(path) or "."
        if not os.path.isdir(parent):
            raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), path)
        if os.path.exists(path):
            if not os.access(path, os.W_OK):
                raise PermissionError(errno.EACCES, os.strerror(errno.EACCES), path)
        elif not os.access(parent, os.W_OK | os.X_OK):
            raise PermissionError(errno.EACCES, os.strerror(errno.EACCES), path)


def _file_key(path):
    """What identifies the file at ``path``: its device and inode when one is there,
    else its path with links resolved; None for what is not a regular file
    (a device, a pipe), which no output can destroy."""
    try:
        st = os.stat(path)
    except OSError:
        return ("path", os.path.realpath(path))
    if not stat.S_ISREG(st.st_mode):
        return None
    return ("file", st.st_dev, st.st_ino)


def path_clash(outputs, inputs=()):
    """The message naming an output path that is an input path or another
    output path (the same file, also through links), or None.

    ``outputs`` and ``inputs`` are (label, path) pairs; None, "" and "-"
    (standard output) are skipped.
    """
    seen = {}
    for role, items in (("input", inputs), ("output", outputs)):
        for label, path in items:
            if path is None or path == "" or (role == "output" and path == "-"):
                continue
            path = os.fspath(path)
            key = _file_key(path)
            if key is None:
                continue
            if role == "output" and key in seen:
                other_role, other_label, other = seen[key]
                return "the {} file {!r} is the same file as the {} file {!r} ({}); refusing to " \
                    "overwrite it".format(label, path, other_label, other,
                                          "an input" if other_role == "input" else "another output")
            seen.setdefault(key, (role, label, path))
    return None


# ---------------------------------------------------------------------------
# Configurations of training and scoring


def train_clash(conf):
    """path_clash of a training configuration's outputs and corpus."""
    return path_clash(
        [("translation table", conf.get("save_trans_path")), ("alignment table", conf.get("save_align_path")),
         ("scores", conf.get("save_scores")), ("decoded alignment", conf.get("decode_align"))],
        [("source corpus", conf.get("src_path")), ("target corpus", conf.get("trg_path"))])


def score_clash(conf):
    """path_clash of a scoring configuration's outputs and inputs."""
    return path_clash(
        [("scores", conf.get("save_scores")), ("decoded alignment", conf.get("decode_align"))],
        [("source corpus", conf.get("src_path")), ("target corpus", conf.get("trg_path")),
         ("translation table", conf.get("trans_path")), ("alignment table", conf.get("align_path"))])


def check_train_config(conf):
    """Log the configuration at debug level; training accepts every configuration."""
    logger.debug("conf => {!r}".format(conf))
    return True


def check_test_config(conf):
    """True when at least one scoring output is requested; the reason is logged otherwise."""
    logger.debug("conf => {!r}".format(conf))
    if not conf.get("save_scores", None) and not conf.get("decode_align", None):
        logger.error("At least one of following arguments is necessary:")
        logger.error("* --save-scores | --scores | -s")
        logger.error("* --decode-align | --decode | -d")
        return False
    return True


def train_config_refused(conf):
    """True when a training configuration is refused: checked, then its paths for clashes (the reason logged)."""
    if not check_train_config(conf):
        return True
    clash = train_clash(conf)
    if clash:
        logger.error(clash)
        return True
    return False


def score_config_refused(conf):
    """True when a scoring configuration is refused: checked, then its paths for clashes (the reason logged)."""
    if not check_test_config(conf):
        return True
    clash = score_clash(conf)
    if clash:
        logger.error(clash)
        return True
    return False
