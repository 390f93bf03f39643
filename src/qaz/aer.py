"""qaz-aer: precision, recall, F1 and alignment error rate of word alignments.

Scores a hypothesis alignment file against gold links, summed over the
sentences, and prints one line on standard output::

    precision 0.8123  recall 0.7900  F1 0.8010  AER 0.1950

Sentence k of the gold is line k of the hypothesis.  Exit status 0 on
success, 1 for a file that cannot be read or does not parse (the message
names the file and the line) or for sentence counts that do not match, 2
for bad arguments.
"""

import argparse
import sys

from qaz import _links
from qaz.aligner import alignment_error_rate

GOLD_FORMATS = ("naacl", "pharaoh")
HYP_FORMATS = ("pharaoh", "decode")


def _positive_int(text):
    """--first: a whole number of at least 1."""
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"expected a positive integer, got {text!r}")
    return value


def create_parser():
    """The argument parser of qaz-aer."""
    parser = argparse.ArgumentParser(
        prog="qaz-aer",
        description="Precision, recall, F1 and alignment error rate (Och and Ney 2003) of a hypothesis "
        "word alignment against gold sure and possible links, summed over the sentences: "
        "AER = 1 - (|A&S| + |A&P|) / (|A| + |S|).  Links are source-target, NULL links are ignored.",
    )
    parser.add_argument(
        "gold",
        metavar="GOLD",
        help="gold links: NAACL-2003 lines 'sentence position position [S|P] [confidence]' "
        "(1-based, S when the kind is missing) or Pharaoh lines (see --gold-format)",
    )
    parser.add_argument(
        "hyp",
        metavar="HYP",
        help="hypothesis links, one line per sentence: Pharaoh 'i-j' (0-based, source first) "
        "or decoded alignments (see --hyp-format)",
    )
    parser.add_argument(
        "-g",
        "--gold-format",
        choices=GOLD_FORMATS,
        default="naacl",
        metavar="FORMAT",
        help="format of GOLD: 'naacl' (one link per line) or 'pharaoh' (one sentence per line, "
        "'i-j' sure, 'i?j' or 'ipj' possible) (default: %(default)s)",
    )
    parser.add_argument(
        "-f",
        "--hyp-format",
        choices=HYP_FORMATS,
        default="pharaoh",
        metavar="FORMAT",
        help="format of HYP: 'pharaoh' (0-based 'i-j') or 'decode' (the decoded-alignment files of "
        "qaz-train -d and qaz-score -d: 'j-i' for every target position j, 1-based, i = 0 for NULL) "
        "(default: %(default)s)",
    )
    parser.add_argument(
        "-s",
        "--swap-gold",
        action="store_true",
        help="take the second position of each gold link as the source position, for gold that lists "
        "the hypothesis's target side first (default: the first position is the source)",
    )
    parser.add_argument(
        "-n",
        "--first",
        type=_positive_int,
        metavar="N",
        help="score only the first N sentences; HYP needs at least N lines (default: all sentences, "
        "and HYP must have exactly as many lines as GOLD has sentences)",
    )
    return parser


def _read_gold(args, limit):
    """(sure, possible, sentences) of GOLD: the links of its first ``limit`` sentences and its
    sentence count, so that memory follows the lines read, not the sentence numbers."""
    return _links.read_gold(args.gold, args.gold_format == "naacl", args.swap_gold, limit)


def _read_hyp(args, limit):
    if args.hyp_format == "decode":
        return _links.read_decoded(args.hyp, limit)
    return _links.read_links(args.hyp, limit)


def score(args):
    """Scores of the files named by parsed arguments; ValueError or OSError on bad input."""
    # The hypothesis bounds what is kept of the gold: a gold sentence past
    # its lines is a count mismatch (or past --first, ignored).
    hyp = _read_hyp(args, -1 if args.first is None else args.first)
    sure, possible, n_gold = _read_gold(args, len(hyp))
    if args.first is None:
        if len(hyp) != n_gold:
            raise ValueError(f"{args.hyp} has {len(hyp)} lines but {args.gold} has {n_gold} sentences")
    else:
        if args.first > n_gold:
            raise ValueError(f"--first {args.first}: {args.gold} has only {n_gold} sentences")
        if len(hyp) < args.first:
            raise ValueError(f"{args.hyp} has {len(hyp)} lines, fewer than --first {args.first}")
    return alignment_error_rate(sure, possible, hyp)


def main(argv=None):
    """Entry of the qaz-aer command; returns the exit status."""
    args = create_parser().parse_args(argv)
    try:
        scores = score(args)
    except OSError as e:
        where = e.filename if e.filename is not None else ""
        print(f"qaz-aer: error: cannot read {where}: {e.strerror or e}", file=sys.stderr)
        return 1
    except ValueError as e:
        print(f"qaz-aer: error: {e}", file=sys.stderr)
        return 1
    print(
        f"precision {scores.precision:.4f}  recall {scores.recall:.4f}  F1 {scores.f1:.4f}  AER {scores.aer:.4f}"
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
