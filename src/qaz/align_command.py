"""qaz-align: word alignments of a parallel corpus, in Pharaoh format.

Trains an alignment model from the source to the target side and from the
target to the source side, then writes one line per sentence pair: the
links ``i-j`` (0-based positions, source first, sorted, links to the NULL
word dropped) of the two directions combined.

By default (``--model hmm``) IBM Model 1 (3 iterations) and then the HMM
(4 iterations) are trained on both directions together, in agreement, and
the links are those whose
product of the two directions' posteriors reaches the threshold.
``--model 2`` trains IBM Model 1 then Model 2 on each direction as
``qaz-train`` does, and its defaults (``--sym grow-diag-final-and``) give
the links of earlier releases byte for byte; ``--sym none`` then writes the
forward links alone, which are the links of ``qaz-train -d`` with the same
iterations.

With ``--scheduler`` or ``--shards`` both directions are trained on a Dask
cluster, the corpus split into shards of lines (``qaz.distributed.align``):
with one shard the files are byte for byte those of a one-machine run.

Exit status 0 on success, 1 when reading, training or writing failed (the
error is logged with its traceback; every output path is checked before
any training), 2 for bad arguments.
"""

import argparse
import sys

from qaz import _aligner
from qaz.aligner import SYMMETRIZATION_METHODS, parse_size
from qaz.common import logging
from qaz.smt.align import _run
from qaz.smt.align._constants import ITERATION_LIMIT
from qaz.smt.align._run import add_cluster_options, check_output_paths, iteration_count, thread_count

logger = logging.getColorLogger("qaz.align_command")

METHODS = SYMMETRIZATION_METHODS + ("posterior", "none")
MODELS = ("1", "2", "hmm")
DEFAULT_MODEL = "hmm"
# Model 2 (trained as qaz-train trains it) keeps the defaults it always had.
DEFAULT_METHOD = "grow-diag-final-and"
DEFAULT_THRESHOLD = 0.5
# Models 1 and hmm, trained together: links by the product of the two
# directions' posteriors (chosen on the Hansards trial alignments).
SCHEDULED_METHOD = "posterior"
SCHEDULED_THRESHOLD = 0.25
# The HMM's steps when no -I is given: 3 iterations of Model 1 then 4 of the
# HMM align the trial sentences and a synthetic corpus with known links as
# well as 5 + 5 (within the noise of either) in about four fifths of the time.
HMM_SCHEDULE = "1:3,hmm:4"

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
        description="Word-align a parallel corpus: train an alignment model from source to target "
        "and from target to source (by default IBM Model 1 then the HMM, both directions in agreement), "
        "combine the two directions and write one line of Pharaoh links 'i-j' (0-based, source first, "
        "sorted, NULL links dropped) per sentence pair.",
    )
    parser.add_argument("src_path", metavar="SRC", nargs="?", help="file of source-side lines of parallel text")
    parser.add_argument(
        "trg_path", metavar="TRG", nargs="?", help="file of target-side lines, line n translating line n of SRC"
    )
    parser.add_argument(
        "-i",
        "--input",
        metavar="FILE",
        type=_path,
        default=None,
        help="read the corpus from one file of 'source ||| target' lines instead of SRC and TRG",
    )
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
        default=None,
        help="how the two directions are combined: " + ", ".join(METHODS) + "; 'posterior' links (i, j) "
        "when the two models' link posteriors reach --posterior-threshold (their product with models 1 "
        "and hmm, their mean with model 2), the heuristics combine the two Viterbi alignments, 'none' "
        "writes the forward links (default: posterior with models 1 and hmm, " + DEFAULT_METHOD + " with "
        "model 2)",
    )
    parser.add_argument(
        "-p",
        "--posterior-threshold",
        metavar="P",
        type=_threshold,
        default=None,
        help="threshold in (0, 1] of --sym posterior (default: {} with models 1 and hmm, {} with "
        "model 2)".format(SCHEDULED_THRESHOLD, DEFAULT_THRESHOLD),
    )
    parser.add_argument(
        "--model",
        choices=MODELS,
        default=DEFAULT_MODEL,
        help="the alignment model: '1' (IBM Model 1), '2' (IBM Model 1 then Model 2 on each direction "
        "apart, as qaz-train trains it; the output of earlier releases), 'hmm' (IBM Model 1 then the "
        "HMM of jumps between source positions, the most accurate) (default: %(default)s)",
    )
    parser.add_argument(
        "--no-agreement",
        dest="agreement",
        action="store_false",
        help="train the two directions of models 1 and hmm independently instead of in agreement "
        "(each E-step then counts each direction's own posteriors); model 2 always trains them apart",
    )
    parser.add_argument(
        "--schedule",
        metavar="STEPS",
        default=None,
        help="the training steps of models 1 and hmm as MODEL:ITERATIONS, comma-separated, e.g. "
        "'1:5,hmm:5' (default: '%s' with --model hmm, '1:5' with --model 1; with -I N, N "
        "iterations of each stage)" % HMM_SCHEDULE,
    )
    parser.add_argument(
        "--save-model",
        metavar="DIR",
        type=_path,
        default=None,
        help="also write both directions' trained model into folder DIR (created when missing): "
        "translation tables, the HMM's jump weights, a manifest naming the model (default: not written)",
    )
    parser.add_argument(
        "--load-model",
        metavar="DIR",
        type=_path,
        default=None,
        help="align SRC and TRG with the model in folder DIR (written by --save-model) instead of "
        "training one; the model options come from the folder; words the model never saw read "
        "as qaz-score reads them (default: train on SRC and TRG)",
    )
    parser.add_argument(
        "-I",
        "--iteration-limit",
        metavar="N",
        dest="iteration_limit",
        type=iteration_count,
        default=None,
        help="iterations of each training stage: Model 1, then Model 2 or the HMM (without -I, "
        "--model hmm trains the steps of --schedule's default); a Model 2 loop stops early when the "
        "entropy no longer falls (default: %d)" % ITERATION_LIMIT,
    )
    parser.add_argument(
        "-c",
        "--character",
        action="store_true",
        help="character mode: every character of a line is a token (default: tokens are separated by "
        "runs of white space; an empty line is an empty sentence)",
    )
    parser.add_argument(
        "--lowercase",
        action="store_true",
        help="fold the letters of both sides to lower case for training and aligning; the links keep "
        "the positions of the input (default: off)",
    )
    parser.add_argument(
        "-j",
        "--threads",
        metavar="N",
        type=thread_count,
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
        "e.g. 8G (default: the memory available to the process)",
    )
    parser.add_argument("-q", "--quiet", action="store_true", help="show warnings and errors only (default: off)")
    parser.add_argument("-D", "--debug", action="store_true", help="show debug messages too (default: off)")
    add_cluster_options(parser)
    return parser


def resolve_model_options(args, model=None):
    """Fill in the defaults that depend on the model (``model``, else --model); returns the training
    schedule ('' for model 2).

    Raises ValueError for options that do not go together.
    """
    if (model or args.model) == "2":
        if args.schedule is not None:
            raise ValueError("--schedule trains models 1 and hmm; leave it out with --model 2")
        if args.sym is None:
            args.sym = DEFAULT_METHOD
        if args.posterior_threshold is None:
            args.posterior_threshold = DEFAULT_THRESHOLD
        return ""
    if args.sym is None:
        args.sym = SCHEDULED_METHOD
    if args.posterior_threshold is None:
        args.posterior_threshold = SCHEDULED_THRESHOLD
    if args.schedule is not None:
        return args.schedule
    n = iterations_of(args)
    if args.model == "1":
        return "1:{}".format(n)
    return HMM_SCHEDULE if args.iteration_limit is None else "1:{},hmm:{}".format(n, n)


def iterations_of(args):
    """The iterations of a stage: -I, else the default."""
    return ITERATION_LIMIT if args.iteration_limit is None else args.iteration_limit


def path_clash(args):
    """The message naming an output path of parsed arguments that is an input
    path or another output path (the same file, also through links), or None."""
    return _run.path_clash(
        [("output", args.output), ("forward links", args.forward), ("reverse links", args.reverse)],
        [("source", args.src_path), ("target", args.trg_path), ("input", args.input)])


def align_files(args):
    """Train and write the link files named by parsed arguments; exceptions propagate.

    Returns the exit status of a run on a Dask cluster (1 when its scheduler
    cannot be reached), None otherwise.
    """
    output = args.output
    if args.load_model is not None:
        check_output_paths([None if output == "-" else output, args.forward, args.reverse])
        engine = _aligner.Engine(threads=args.threads or 0, memory_limit=args.memory_limit or 0)
        engine.load_model(args.load_model)
        resolve_model_options(args, "hmm" if engine.schedule else "2")
        logger.info("----")
        sys.stdout.flush()
        if args.input is not None:
            src, trg = args.input, None
        else:
            src, trg = args.src_path, args.trg_path
        engine.write_links_of(src, trg, output, args.forward or "", args.reverse or "", args.sym,
                              args.posterior_threshold)
        return None
    schedule = resolve_model_options(args)
    check_output_paths([None if output == "-" else output, args.forward, args.reverse])
    if getattr(args, "scheduler", None) or getattr(args, "shards", None):
        # Imported here on purpose: qaz.distributed loads NumPy and the Model 1
        # and 2 modules, which a run on one machine never needs.
        from qaz import distributed

        args.iteration_limit = iterations_of(args)
        return distributed.align_status(args, schedule)
    engine = _aligner.Engine(
        iterations=iterations_of(args),
        character=args.character,
        threads=args.threads or 0,
        memory_limit=args.memory_limit or 0,
        both_directions=args.sym != "none" or args.reverse is not None or args.save_model is not None,
        schedule=schedule,
        whitespace_runs=True,
        lowercase=args.lowercase,
        agreement=args.agreement and bool(schedule),
        posterior_product=bool(schedule),
    )
    logger.debug("threads: {}, memory limit: {}".format(engine.threads, args.memory_limit))
    if args.input is not None:
        engine.train_joined(args.input)
    else:
        engine.train_files(args.src_path, args.trg_path)
    if args.save_model is not None:
        engine.save_model(args.save_model)
    logger.info("----")
    sys.stdout.flush()
    engine.write_links(output, args.forward or "", args.reverse or "", args.sym, args.posterior_threshold)


def main(argv=None):
    """Entry of the qaz-align command; returns the exit status."""
    parser = create_parser()
    args = parser.parse_args(argv)
    try:
        if args.input is not None and (args.src_path is not None or args.scheduler or args.shards):
            raise ValueError("-i/--input replaces SRC and TRG and runs on one machine: leave out SRC, TRG, "
                             "--scheduler and --shards")
        if args.input is None and args.trg_path is None:
            missing = ["SRC"] if args.src_path is None else []
            raise ValueError("the following arguments are required: " + ", ".join(missing + ["TRG"]))
        if args.save_model is not None and (args.scheduler or args.shards):
            raise ValueError("--save-model keeps a model trained on one machine: leave out --scheduler and "
                             "--shards")
        if args.load_model is not None and (args.save_model is not None or args.scheduler or args.shards):
            raise ValueError("--load-model aligns with a stored model: leave out --save-model, --scheduler "
                             "and --shards")
        schedule = "" if args.load_model is not None else resolve_model_options(args)
        if schedule:
            _aligner.check_schedule(schedule)
    except ValueError as e:
        parser.error(str(e))
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
