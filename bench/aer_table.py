"""AER of qaz-align's links on the 37 gold-aligned Hansards trial sentences.

Usage:
    python3 bench/aer_table.py [--out-dir bench/out/aer-table] [--iterations 5] [--threads N]

Trains what ``qaz-align hansards.f hansards.e`` trains (French source, all
100,000 pairs, 5 + 5 iterations in each direction) once, writes one Pharaoh
file per row of the table (forward, reverse, each symmetrisation heuristic,
posterior at 0.5) the way the command writes them, cuts lines 448-484 out of
each (the trial sentences) and scores them as

    qaz-aer trial.wa HYP --swap-gold --first 37

does (the gold lists the English position first).  Prints a Markdown table.
"""

import argparse
import itertools
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
HANSARDS = HERE.parents[1] / "shared" / "data" / "hansards-fr-en"
FIRST_LINE, SENTENCES = 448, 37  # corpus lines of the trial sentences, 1-based

ROWS = [
    ("forward (fr → en)", "none", None),
    ("reverse (en → fr)", None, "reverse"),
    ("intersect", "intersect", None),
    ("union", "union", None),
    ("grow-diag", "grow-diag", None),
    ("grow-diag-final", "grow-diag-final", None),
    ("grow-diag-final-and", "grow-diag-final-and", None),
    ("posterior 0.5", "posterior", None),
]


def cut(path, out):
    """Lines FIRST_LINE .. FIRST_LINE + SENTENCES - 1 of ``path`` into ``out``."""
    with open(path, encoding="utf-8") as f:
        lines = list(itertools.islice(f, FIRST_LINE - 1, FIRST_LINE - 1 + SENTENCES))
    Path(out).write_text("".join(lines), encoding="utf-8")
    return out


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out-dir", default=str(HERE / "out" / "aer-table"),
                        help="output folder (default: %(default)s)")
    parser.add_argument("--iterations", type=int, default=5, help="EM iterations of each loop (default: %(default)s)")
    parser.add_argument("--threads", type=int, default=0, help="threads (default: every CPU)")
    args = parser.parse_args(argv)

    from qaz import _aligner, aer
    from qaz.common import logging

    out = Path(args.out_dir)
    out.mkdir(parents=True, exist_ok=True)
    gold = HANSARDS / "trial.wa"
    engine = _aligner.Engine(iterations=args.iterations, threads=args.threads)
    t0 = time.perf_counter()
    with logging.using_config(["qaz"], quiet=True):
        engine.train_files(str(HANSARDS / "hansards.f"), str(HANSARDS / "hansards.e"))
        trained = time.perf_counter() - t0
        results = []
        for label, method, kind in ROWS:
            full = out / f"{label.split()[0]}{'-0.5' if method == 'posterior' else ''}.pharaoh"
            if kind == "reverse":
                engine.write_links("", "", str(full), "none", 0.5)
            else:
                engine.write_links(str(full), "", "", method, 0.5)
            hyp = cut(full, out / (full.stem + ".trial"))
            argv = [str(gold), str(hyp), "--swap-gold", "--first", str(SENTENCES)]
            scores = aer.score(aer.create_parser().parse_args(argv))
            results.append((label, scores))
    print(f"trained both directions on {engine.size:,d} pairs in {trained:.0f} s ({engine.threads} threads)\n")
    print("| links | precision | recall | F1 | AER |")
    print("| --- | ---: | ---: | ---: | ---: |")
    for label, s in results:
        print(f"| {label} | {s.precision:.4f} | {s.recall:.4f} | {s.f1:.4f} | {s.aer:.4f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
