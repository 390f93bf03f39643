"""AER of qaz-align's links on the 37 gold-aligned Hansards trial sentences, per model.

Usage:
    python3 bench/aer_table.py [--out-dir bench/out/aer-table] [--iterations N] [--threads N]
                               [--models 2,hmm-apart,hmm] [--lowercase]

Trains what ``qaz-align hansards.f hansards.e --model M`` trains (French
source, all 100,000 pairs; the command's default iterations, or
``--iterations`` of each stage as ``-I`` gives them) once per model row:

- ``2``: IBM Model 1 then Model 2, each direction apart (``--model 2``);
- ``1-apart``, ``hmm-apart``: Model 1 (then the HMM), directions apart
  (``--no-agreement``);
- ``1``, ``hmm``: the same trained in agreement (the defaults).

For each it writes one Pharaoh file per link rule (forward, reverse, each
symmetrisation heuristic, posterior at several thresholds) the way the
command writes them, cuts lines 448-484 out of each (the trial sentences)
and scores them as

    qaz-aer trial.wa HYP --swap-gold --first 37

does (the gold lists the English position first).  Prints one Markdown
table of AER: a row per model, a column per link rule; ``*`` marks what
``qaz-align --model M`` writes by default.
"""

import argparse
import itertools
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
HANSARDS = HERE.parents[1] / "shared" / "data" / "hansards-fr-en"
FIRST_LINE, SENTENCES = 448, 37  # corpus lines of the trial sentences, 1-based

MODELS = {
    # name: (schedule, agreement)
    "2": ("", False),
    "1-apart": ("1:{n}", False),
    "1": ("1:{n}", True),
    "hmm-apart": ("1:{n},hmm:{n}", False),
    "hmm": ("1:{n},hmm:{n}", True),
}
HEURISTICS = ["intersect", "union", "grow-diag", "grow-diag-final", "grow-diag-final-and"]
THRESHOLDS = [0.1, 0.2, 0.25, 0.3, 0.4, 0.5]


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
    parser.add_argument("--iterations", type=int, default=None,
                        help="iterations of each stage, as qaz-align -I (default: qaz-align's defaults)")
    parser.add_argument("--threads", type=int, default=0, help="threads (default: every CPU)")
    parser.add_argument("--models", default="2,hmm-apart,hmm",
                        help="comma-separated rows among " + ", ".join(MODELS) + " (default: %(default)s)")
    parser.add_argument("--lowercase", action="store_true", help="fold case, as qaz-align --lowercase")
    args = parser.parse_args(argv)

    from qaz import _aligner, aer, align_command
    from qaz.common import logging

    out = Path(args.out_dir)
    out.mkdir(parents=True, exist_ok=True)
    gold = HANSARDS / "trial.wa"
    columns = (["forward", "reverse"] + HEURISTICS + [f"posterior {t}" for t in THRESHOLDS])
    rows = []
    for name in args.models.split(","):
        schedule, agreement = MODELS[name]
        n = 5 if args.iterations is None else args.iterations
        if args.iterations is None and schedule.endswith("hmm:{n}"):
            schedule = align_command.HMM_SCHEDULE
        schedule = schedule.format(n=n)
        engine = _aligner.Engine(iterations=n, threads=args.threads, schedule=schedule,
                                 agreement=agreement, posterior_product=bool(schedule), whitespace_runs=True,
                                 lowercase=args.lowercase)
        t0 = time.perf_counter()
        with logging.using_config(["qaz"], quiet=True):
            engine.train_files(str(HANSARDS / "hansards.f"), str(HANSARDS / "hansards.e"))
            trained = time.perf_counter() - t0
            scores = {}
            for column in columns:
                full = out / f"{name}-{column.replace(' ', '-')}.pharaoh"
                if column == "reverse":
                    engine.write_links("", "", str(full), "none", 0.5)
                elif column == "forward":
                    engine.write_links(str(full), "", "", "none", 0.5)
                elif column.startswith("posterior"):
                    engine.write_links(str(full), "", "", "posterior", float(column.split()[1]))
                else:
                    engine.write_links(str(full), "", "", column, 0.5)
                hyp = cut(full, out / (full.stem + ".trial"))
                argv = [str(gold), str(hyp), "--swap-gold", "--first", str(SENTENCES)]
                scores[column] = aer.score(aer.create_parser().parse_args(argv)).aer
        rows.append((name, trained, scores))
        print(f"{name}: trained both directions in {trained:.1f} s ({engine.threads} threads)", file=sys.stderr)

    def default(name):
        if name == "2":
            return align_command.DEFAULT_METHOD
        return f"posterior {align_command.SCHEDULED_THRESHOLD}"

    print("| model | " + " | ".join(columns) + " |")
    print("| --- |" + " ---: |" * len(columns))
    for name, _, scores in rows:
        cells = [f"{scores[c]:.4f}" + ("*" if c == default(name) else "") for c in columns]
        print(f"| {name} | " + " | ".join(cells) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
