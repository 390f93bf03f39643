"""qaz-align: word alignments of a parallel corpus, in Pharaoh format.

Trains IBM Model 1 then Model 2 (as ``qaz-train`` does) from the source to
the target side and from the target to the source side, then writes one
line per sentence pair: the links ``i-j`` (0-based positions, source first,
sorted, links to the NULL word dropped) of the two directions symmetrised.
``--sym none`` writes the forward links alone, which are the links of
``qaz-train -d`` with the same iterations.

With ``--scheduler`` or ``--shards`` both directions are trained on a Dask
cluster, the corpus split into shards of lines (``qaz.distributed.align``):
with one shard the files are byte for byte those of a one-machine run.

Exit status 0 on success, 1 when reading, training or writing failed (the
error is logged with its traceback; every output path is checked before
any training), 2 for bad arguments.
"""

import argparse
import sys

from qaz.aligner import SYMMETRIZATION_METHODS, parse_size
from qaz.common import logging
from qaz.smt.align._constants import ITERATION_LIMIT
from qaz.smt.align._drivers import (
    _add_cluster_options,
    _check_output_paths,
    _iteration_count,
    _path_clash,
    _thread_count,
)

logger = logging.getColorLogger("qaz.align_command")

METHODS = SYMMETRIZATION_METHODS + ("posterior", "none")
DEFAULT_METHOD = "grow-diag-final-and"
DEFAULT_THRESHOLD = 0.5

# Loggers configured by the command: the package's (engine lines come from
# "qaz.aligner") and the main program's.
_LOGGERS = ["qaz", "__main__"]


def _threshold(text):
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError("invalid float value: {!r}".format(text)) from None
    if not 0.0 < value <= 1.0:
        raise argparse.ArgumentTypeError("must lie in (0, 1], got {}".format(text))
    return value


def _path(text):
    if not text:
        raise argparse.ArgumentTypeError("expected a file name, got an empty one")
    return text


def _size(text):
    try:
        return parse_size(text)
    except ValueError as e:
        raise argparse.ArgumentTypeError(str(e)) from None


def create_parser():
    """The argument parser of qaz-align."""
    parser = argparse.ArgumentParser(
        prog="qaz-align",
        description="Word-align a parallel corpus: train IBM Model 1 then Model 2 from source to target "
        "and from target to source, symmetrise the two Viterbi alignments and write one line of "
        "Pharaoh links 'i-j' (0-based, source first, sorted, NULL links dropped) per sentence pair.",
    )
    parser.add_argument("src_path", metavar="SRC", help="file of source-side lines of parallel text")
    parser.add_argument("trg_path", metavar="TRG", help="file of target-side lines, line n translating line n of SRC")
    parser.add_argument(
        "-o",
        "--output",
        metavar="OUT",
        type=_path,
        default="-",
        help="file to write the symmetrised links to, '-' for standard output (default: standard output)",
    )
    parser.add_argument(
        "-f",
        "--forward",
        metavar="FILE",
        type=_path,
        default=None,
        help="also write the forward (source-to-target) model's Viterbi links to FILE (default: not written)",
    )
    parser.add_argument(
        "-r",
        "--reverse",
        metavar="FILE",
        type=_path,
        default=None,
        help="also write the reverse (target-to-source) model's Viterbi links to FILE, turned into "
        "source-target order; trains the reverse model even with --sym none (default: not written)",
    )
    parser.add_argument(
        "-s",
        "--sym",
        metavar="METHOD",
        choices=METHODS,
        default=DEFAULT_METHOD,
        help="how the two directions are combined: " + ", ".join(METHODS) + "; 'posterior' links (i, j) "
        "when the mean of the two models' link posteriors reaches --posterior-threshold, 'none' writes "
        "the forward links and trains only the forward model (default: %(default)s)",
    )
    parser.add_argument(
        "-p",
        "--posterior-threshold",
        metavar="P",
        type=_threshold,
        default=DEFAULT_THRESHOLD,
        help="threshold in (0, 1] of --sym posterior (default: %(default)s)",
    )
    parser.add_argument(
        "-I",
        "--iteration-limit",
        metavar="N",
        dest="iteration_limit",
        type=_iteration_count,
        default=ITERATION_LIMIT,
        help="maximum iterations of each EM loop, Model 1 then Model 2, in each direction; a loop stops "
        "early when the entropy no longer falls (default: %(default)s)",
    )
    parser.add_argument(
        "-c",
        "--character",
        action="store_true",
        help="character mode: every character of a line is a token (default: tokens are separated by "
        "single spaces)",
    )
    parser.add_argument(
        "-j",
        "--threads",
        metavar="N",
        type=_thread_count,
        default=None,
        help="number of threads to run on; results are the same for any number (default: every CPU "
        "this process may run on)",
    )
    parser.add_argument(
        "-m",
        "--memory-limit",
        metavar="SIZE",
        type=_size,
        default=None,
        help="memory the whole process may use, in bytes or with a K, M or G suffix (powers of 1024), "
        "e.g. 8G (default: no limit)",
    )
    parser.add_argument("-q", "--quiet", action="store_true", help="show warnings and errors only (default: off)")
    parser.add_argument("-D", "--debug", action="store_true", help="show debug messages too (default: off)")
    _add_cluster_options(parser)
    return parser


def path_clash(args):
    """The message naming an output path of parsed arguments that is an input
    path or another output path (the same file, also through links), or None."""
    return _path_clash(
        [("output", args.output), ("forward links", args.forward), ("reverse links", args.reverse)],
        [("source", args.src_path), ("target", args.trg_path)])


def align_files(args):
    """Train and write the link files named by parsed arguments; exceptions propagate.

    Returns the exit status of a run on a Dask cluster (1 when its scheduler
    cannot be reached), None otherwise.
    """
    from qaz import _aligner

    output = args.output
    _check_output_paths([None if output == "-" else output, args.forward, args.reverse])
    if getattr(args, "scheduler", None) or getattr(args, "shards", None):
        from qaz import distributed

        return distributed._align_command(args)
    engine = _aligner.Engine(
        iterations=args.iteration_limit,
        character=args.character,
        threads=args.threads or 0,
        memory_limit=args.memory_limit or 0,
        both_directions=args.sym != "none" or args.reverse is not None,
    )
    logger.debug("threads: {}, memory limit: {}".format(engine.threads, args.memory_limit))
    engine.train_files(args.src_path, args.trg_path)
    logger.info("----")
    sys.stdout.flush()
    engine.write_links(output, args.forward or "", args.reverse or "", args.sym, args.posterior_threshold)


def main(argv=None):
    """Entry of the qaz-align command; returns the exit status."""
    parser = create_parser()
    args = parser.parse_args(argv)
    clash = path_clash(args)
    if clash:
        parser.error(clash)
    with logging.using_config(_LOGGERS, debug=args.debug, quiet=args.quiet):
        logger.debug(vars(args))
        try:
            status = align_files(args)
        except KeyboardInterrupt:
            logger.warning("interrupted by keyboard; the link files are incomplete or not written")
            return 1
        except Exception as e:
            logger.exception(e)
            return 1
    return status or 0


if __name__ == "__main__":
    sys.exit(main())
