"""The training and scoring commands (qaz-train, qaz-score): their command
lines, their runners and the choice between one machine and a Dask cluster.

``emcore`` exports the names of ``__all__`` (fetched from here when first
asked for), so scripts reach them as ``qaz.smt.align.emcore.train_emcore``
and so on.  This module sits above the drivers it dispatches to
(``_one_machine`` and ``qaz.distributed``), which sit above the vocabulary
they share (``_run``); the drivers' names are re-exported here.
"""

import argparse
import sys

from qaz.common import logging
from qaz.common.config import Config
from qaz.smt.align._constants import ITERATION_LIMIT, NBEST, THRESHOLD
from qaz.smt.align._one_machine import score_ibm_model, score_status, train_emcore, train_status
from qaz.smt.align._run import (
    add_cluster_options,
    check_test_config,
    check_train_config,
    iteration_count,
    memory_size,
    thread_count,
)

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

# Logger names configured by the training runner when emcore is imported.
_TRAIN_LOGGERS = ["qaz.smt.align.emcore", "__main__"]
# ... and by the scoring runner.
_SCORE_LOGGERS = ["qaz", "__main__"]


# ---------------------------------------------------------------------------
# Command-line arguments


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


def _add_threads_option(parser):
    parser.add_argument(
        "--threads",
        "-j",
        dest="threads",
        type=thread_count,
        default=None,
        help="number of threads to run on; results are the same for any number "
        "(default: every CPU this process may run on)",
    )


def _add_memory_option(parser):
    parser.add_argument(
        "--memory-limit",
        dest="memory_limit",
        type=memory_size,
        default=None,
        metavar="SIZE",
        help="most memory the whole run may hold, e.g. 320M or 8G (K, M, G: powers "
        "of 1024); the fastest table layout that fits is chosen, and a run that "
        "cannot fit is refused before it starts (default: the memory available)",
    )


def _distributed(conf):
    """True when the command line asks for a Dask cluster."""
    return bool(conf.get("scheduler", None) or conf.get("shards", None))


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
        # Imported here on purpose, as in _score_status: qaz.distributed loads
        # the aligner and shard modules, which a run on one machine never needs.
        from qaz import distributed

        return distributed.train_status(conf)
    return train_status(conf, {})


def _with_command_options(parser):
    _add_threads_option(parser)
    _add_memory_option(parser)
    add_cluster_options(parser)
    return parser


def command_train_parser():
    """The parser of ``qaz-train``: the training parser plus threads, memory and cluster options.

    Its iteration limit must be a count (a negative one is a usage error).
    """
    parser = create_train_parser()
    for action in parser._actions:
        if action.dest == "iteration_limit":
            action.type = iteration_count
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


def run_as_main():
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

        return distributed.score_status(conf)
    return score_status(conf, {})


def main_score():
    """Entry of the scoring command."""
    status = _score_model(command_score_parser(), _score_status)
    if status:
        sys.exit(status)
