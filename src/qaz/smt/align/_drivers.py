"""Training and scoring drivers of the alignment models, and their command lines.

``emcore`` imports this module at the end of its initialisation and
re-exports the public names, so scripts reach them as
``qaz.smt.align.emcore.train_emcore`` and so on.  The model classes live in
``emlex`` and ``empos``, which themselves import ``emcore``: they are imported
inside the functions, never at module level.

Each driver has a private twin returning an exit status (0 done, 1 the
guarded work raised and was logged, 2 the configuration was rejected); the
public drivers keep their boolean results and the command entries turn the
status into the process exit code.
"""

import argparse
import errno
import os
import stat
import sys

from qaz.common import logging
from qaz.common.config import Config
from qaz.smt.align._constants import ITERATION_LIMIT, NBEST, THRESHOLD

__all__ = [
    "create_train_parser",
    "check_train_config",
    "train_emcore",
    "train_model",
    "main_train",
    "create_score_parser",
    "check_test_config",
    "score_ibm_model",
    "score_model",
    "main_score",
]

logger = logging.getColorLogger("qaz.smt.align.emcore")
dprint = logger.debug_print

# Exit statuses of the two commands.
EXIT_OK = 0
EXIT_FAILED = 1  # training or scoring raised; the error was logged
EXIT_REJECTED = 2  # the configuration check failed

# Logger names configured by the training runner when emcore is imported.
_TRAIN_LOGGERS = ["qaz.smt.align.emcore", "__main__"]
# ... and by the scoring runner.
_SCORE_LOGGERS = ["qaz", "__main__"]


# ---------------------------------------------------------------------------
# Shared command-line arguments


def _add_corpus_arguments(parser):
    parser.add_argument(
        "src_path",
        metavar="src_path (in)",
        type=str,
        help="file containing source-side lines of parallel text",
    )
    parser.add_argument(
        "trg_path",
        type=str,
        help="file containing target-side lines of parallel text",
    )


def _add_output_options(parser):
    parser.add_argument(
        "--save-scores",
        "--scores",
        "-s",
        dest="save_scores",
        type=str,
        default=None,
        help="output file to save entropy of each alignment",
    )
    parser.add_argument(
        "--decode-align",
        "--decode",
        "-d",
        dest="decode_align",
        type=str,
        default=None,
        help="output file to save decoded alignment each alignment",
    )


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


# Most threads a run may ask for.
MAX_THREADS = 4096

_positive_int = int_at_least(1)
_thread_count = int_at_least(1, MAX_THREADS)
# Iteration limits the engine takes (a 32-bit count, none negative).
_iteration_count = int_at_least(0, 2**31 - 1)


def _add_threads_option(parser):
    parser.add_argument(
        "--threads",
        "-j",
        dest="threads",
        type=_thread_count,
        default=None,
        help="number of threads to run on; results are the same for any number "
        "(default: every CPU this process may run on)",
    )


def _memory_size(text):
    """A --memory-limit value: a positive size with K, M or G (powers of 1024)."""
    from qaz.smt.align import emcore

    value = emcore._parse_size(text)
    if value is None:
        raise argparse.ArgumentTypeError(
            "invalid size: {!r} (a positive number, optionally with K, M or G)".format(text))
    return value


def _add_memory_option(parser):
    parser.add_argument(
        "--memory-limit",
        dest="memory_limit",
        type=_memory_size,
        default=None,
        metavar="SIZE",
        help="most memory the whole run may hold, e.g. 320M or 8G (K, M, G: powers "
        "of 1024); the fastest table layout that fits is chosen, and a run that "
        "cannot fit is refused before it starts (default: the memory available)",
    )


def _add_cluster_options(parser):
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
        type=_positive_int,
        default=None,
        metavar="N",
        help="split the corpus into N shards of lines on a Dask cluster; alone, "
        "on a local cluster of one worker per CPU (default with --scheduler: "
        "one shard per worker)",
    )


def _distributed(conf):
    """True when the command line asks for a Dask cluster."""
    return bool(conf.get("scheduler", None) or conf.get("shards", None))


def _check_output_paths(paths):
    """Fail before any work when an output file could not be written.

    Raises the interpreter's own error naming the path: IsADirectoryError for
    a directory, FileNotFoundError when its directory is missing,
    PermissionError when that directory (or the existing file) is not
    writable.  Nothing is created or truncated.
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


def _path_clash(outputs, inputs=()):
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


def _train_clash(conf):
    return _path_clash(
        [("translation table", conf.get("save_trans_path")), ("alignment table", conf.get("save_align_path")),
         ("scores", conf.get("save_scores")), ("decoded alignment", conf.get("decode_align"))],
        [("source corpus", conf.get("src_path")), ("target corpus", conf.get("trg_path"))])


def _score_clash(conf):
    return _path_clash(
        [("scores", conf.get("save_scores")), ("decoded alignment", conf.get("decode_align"))],
        [("source corpus", conf.get("src_path")), ("target corpus", conf.get("trg_path")),
         ("translation table", conf.get("trans_path")), ("alignment table", conf.get("align_path"))])


def _native_writers(model):
    """True when the score and decode writers of ``model`` are the engine's own.

    The drivers then write both files in one walk; a writer replaced on a
    subclass (or by a script) is called as it is.
    """
    from qaz.smt.align import emcore

    cls = type(model)
    return (cls._calc_and_save_scores is emcore.Model._calc_and_save_scores
            and cls._decode_and_save_align is emcore.Model._decode_and_save_align)


def _write_scores_and_alignments(model, save_scores, decode_align, sent_pairs, character_based):
    """The score and decoded-alignment files asked for, in one walk when possible."""
    if save_scores and decode_align and _native_writers(model):
        model._score_and_decode(save_scores, decode_align, sent_pairs)
        return
    if save_scores:
        model._calc_and_save_scores(save_scores, sent_pairs, character_based)
    if decode_align:
        model._decode_and_save_align(decode_align, sent_pairs, character_based)


def _add_mode_flags(parser):
    parser.add_argument(
        "--character",
        "-c",
        dest="character",
        action="store_true",
        help="chacacter based alignment mode",
    )
    parser.add_argument(
        "--debug", "-D", dest="debug", action="store_true", help="debug mode"
    )
    parser.add_argument(
        "--quiet",
        "-q",
        dest="quiet",
        action="store_true",
        help="not showing staging log",
    )


# ---------------------------------------------------------------------------
# Training


def create_train_parser():
    """The argument parser of the training command."""
    parser = argparse.ArgumentParser()
    _add_corpus_arguments(parser)
    parser.add_argument(
        "save_trans_path",
        type=str,
        help="output file to save translation probabilities",
    )
    parser.add_argument(
        "save_align_path",
        type=str,
        nargs="?",
        default=None,
        help="output file to save alignment probabilities",
    )
    _add_output_options(parser)
    parser.add_argument(
        "--iteration-limit",
        "-I",
        dest="iteration_limit",
        type=int,
        default=ITERATION_LIMIT,
        help="maximum iteration number of EM algorithm (default: %(default)s)",
    )
    parser.add_argument(
        "--threshold",
        "-t",
        dest="threshold",
        type=float,
        default=THRESHOLD,
        help="threshold of translation distribution to save",
    )
    parser.add_argument(
        "--nbest",
        "-n",
        dest="nbest",
        type=int,
        default=NBEST,
        help='limit number of records to save, taking top-n of "p(trg|src)"',
    )
    _add_mode_flags(parser)
    return parser


def check_train_config(conf):
    """Log the configuration at debug level; training accepts every configuration."""
    logger.debug("conf => {!r}".format(conf))
    return True


def _train_emcore(conf, others):
    """Train Model 1 then Model 2 and write the requested files; returns an exit status."""
    from qaz.smt.align import emlex, empos

    conf = Config(conf)
    conf.update(others)
    if not check_train_config(conf):
        return EXIT_REJECTED
    clash = _train_clash(conf)
    if clash:
        logger.error(clash)
        return EXIT_REJECTED
    trainer = empos.Model2Trainer(conf, **others)
    character_based = conf.get("character_based", False)

    status = EXIT_OK
    try:
        _check_output_paths([conf.get("save_trans_path"), conf.get("save_align_path"),
                             conf.get("save_scores"), conf.get("decode_align")])
        iteration_limit = conf.data.iteration_limit
        # Both loops run on the one Model2Trainer: the Model 1 loop trains the
        # translation table from the uniform start, the Model 2 loop goes on
        # from there with the (still uniform) alignment table.
        emlex.Model1Trainer._train(trainer, iteration_limit)
        if (conf.get("save_scores") or conf.get("decode_align")) and trainer._model is not None:
            # The last Model 2 walk reads the tables both files are written
            # from: its values are kept instead of walking the corpus again.
            trainer._model._keep_final_walk = True
        empos.Model2Trainer._train(trainer, iteration_limit)
    except KeyboardInterrupt:
        logger.warning("interuppted by keyboard")
        logger.info("forcing to dump alignments and scores")
        status = EXIT_FAILED
    except Exception as e:
        # Whatever was trained so far is still written below.
        logger.exception(e)
        status = EXIT_FAILED

    # Errors while writing are not caught: the caller sees them.
    logger.info("----")
    model = trainer._model
    if model is None or not model._has_trans_dist:
        # Training failed before the corpus was set up: there is no table to
        # write, and an empty file would pass for a model.
        logger.warning("nothing was trained; no output file is written")
        return status
    trainer._save_trans_dist(conf.data.save_trans_path, conf.data.threshold, conf.data.nbest)
    save_align_path = conf.get("save_align_path")
    if save_align_path:
        trainer._save_align_dist(save_align_path, conf.data.threshold)
    _write_scores_and_alignments(trainer._model, conf.get("save_scores"), conf.get("decode_align"),
                                 trainer._sent_pairs, character_based)
    return status


def train_emcore(conf, **others):
    """Train IBM Model 1 then Model 2 as ``conf`` says and write the result files.

    Returns False when the configuration is rejected, True otherwise (also
    when training was interrupted or failed: the failure is logged and what
    was trained is written all the same).
    """
    return _train_emcore(conf, others) != EXIT_REJECTED


def _train_model(parser, train_func, logger_names):
    """Parse the command line, configure logging and run ``train_func``; returns its result."""
    args = parser.parse_args()
    conf = Config(vars(args))
    with logging.using_config(logger_names, debug=args.debug, quiet=args.quiet):
        dprint(args)
        dprint(conf)
        return train_func(conf)


def train_model(parser, train_func):
    """Generic command-line runner of a training function; returns None."""
    _train_model(parser, train_func, list(_TRAIN_LOGGERS))


def _train_status(conf):
    if _distributed(conf):
        from qaz import distributed

        return distributed._train(conf)
    return _train_emcore(conf, {})


def _with_command_options(parser):
    _add_threads_option(parser)
    _add_memory_option(parser)
    _add_cluster_options(parser)
    return parser


def command_train_parser():
    """The parser of ``qaz-train``: the training parser plus threads, memory and cluster options.

    Its iteration limit must be a count (a negative one is a usage error).
    """
    parser = create_train_parser()
    for action in parser._actions:
        if action.dest == "iteration_limit":
            action.type = _iteration_count
    return _with_command_options(parser)


def command_score_parser():
    """The parser of ``qaz-score``: the scoring parser plus threads, memory and cluster options."""
    return _with_command_options(create_score_parser())


def _main_train(logger_names):
    status = _train_model(command_train_parser(), _train_status, logger_names)
    if status:
        sys.exit(status)


def main_train():
    """Entry of the training command."""
    _main_train(list(_TRAIN_LOGGERS))


def _run_as_main():
    """Training entry when ``emcore`` runs as the main program (``python -m``).

    The module is then named "__main__", which gives the two logger names
    below; the package's own top-level logger is configured as well so that
    ``--quiet`` and ``--debug`` also reach the messages of the training code.
    """
    _main_train(["__main__", "__main__", "qaz"])


# ---------------------------------------------------------------------------
# Scoring


def create_score_parser():
    """The argument parser of the scoring command."""
    parser = argparse.ArgumentParser()
    _add_corpus_arguments(parser)
    parser.add_argument(
        "trans_path",
        type=str,
        help="path to load trained translation probabilities",
    )
    parser.add_argument(
        "align_path",
        type=str,
        nargs="?",
        default=None,
        help="path to load trained alignment probabilities",
    )
    _add_output_options(parser)
    _add_mode_flags(parser)
    return parser


def check_test_config(conf):
    """True when at least one scoring output is requested; the reason is logged otherwise."""
    logger.debug("conf => {!r}".format(conf))
    if not conf.get("save_scores", None) and not conf.get("decode_align", None):
        logger.error("At least one of following arguments is necessary:")
        logger.error("* --save-scores | --scores | -s")
        logger.error("* --decode-align | --decode | -d")
        return False
    return True


def _score_ibm_model(conf, others):
    """Load the stored tables, then score and/or decode the corpus; returns an exit status."""
    from qaz.smt.align import empos

    conf = Config(conf)
    conf.update(others)
    if not check_test_config(conf):
        return EXIT_REJECTED
    clash = _score_clash(conf)
    if clash:
        logger.error(clash)
        return EXIT_REJECTED
    trainer = empos.Model2Trainer(conf, **others)
    character_based = bool(conf.get("character", False))

    try:
        _check_output_paths([conf.get("save_scores"), conf.get("decode_align")])
        model = trainer._model
        vocab = model._vocab
        sent_pairs = vocab._load_sent_pairs(conf.data.src_path, conf.data.trg_path, character_based)
        if not len(sent_pairs):
            # Refused by setup (no sentence pairs), before the table is read.
            trainer._setup_with(sent_pairs)
        trans_path = conf.data.trans_path
        # The table is read once (it may come through a pipe): every word of
        # it gets an id, so that setup sizes the translation table for the
        # corpus and the file together; its entries are set after setup.
        trans_entries = vocab._read_trans_file(trans_path)
        # Setup takes these pairs instead of loading the files once more
        # (their words kept their ids; the table's words only came after).
        trainer._setup_with(sent_pairs)
        logger.info("loading word translation distribution file: {}".format(trans_path))
        model._load_trans_entries(trans_entries)
        del trans_entries
        align_path = conf.get("align_path")
        if align_path:
            logger.info("loading alignment distribution file: {}".format(align_path))
            model._load_align_dist(align_path)
        _write_scores_and_alignments(model, conf.get("save_scores"), conf.get("decode_align"),
                                     sent_pairs, character_based)
    except KeyboardInterrupt as e:
        logger.exception(e)
        return EXIT_FAILED
    except Exception as e:
        logger.exception(e)
        return EXIT_FAILED
    return EXIT_OK


def score_ibm_model(conf, **others):
    """Score and/or decode a corpus with stored translation and alignment tables.

    Returns False when the configuration is rejected (no output requested),
    True otherwise, also when reading or writing failed and was logged.
    """
    return _score_ibm_model(conf, others) != EXIT_REJECTED


def _score_model(parser, score_func):
    """Parse the command line, configure logging and run ``score_func``; returns its result."""
    args = parser.parse_args()
    conf = Config(vars(args))
    with logging.using_config(list(_SCORE_LOGGERS)) as logging_context:
        if conf.data.debug:
            logging_context.set_debug(True)
            logging_context.set_quiet(False)
        if conf.data.quiet:
            logging_context.set_quiet(True)
            logging_context.set_debug(False)
        logger.debug(conf)
        return score_func(conf)


def score_model(parser, score_func):
    """Generic command-line runner of a scoring function; returns None."""
    _score_model(parser, score_func)


def _score_status(conf):
    if _distributed(conf):
        from qaz import distributed

        return distributed._score(conf)
    return _score_ibm_model(conf, {})


def main_score():
    """Entry of the scoring command."""
    status = _score_model(command_score_parser(), _score_status)
    if status:
        sys.exit(status)
