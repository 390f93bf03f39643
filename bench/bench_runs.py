"""Whole command runs, timed and measured one after the other, as a user runs them.

    python bench/bench_runs.py SRC TRG [--baseline DIR] [--threads 1,2] [--repeat 3]
                               [--limits 320M] [--score-limits 400M] [--iterations 5]

Each run is a fresh `python -m qaz.smt.align.emcore` (training: all four
files) or `qaz-score`-equivalent process; wall time and peak RSS (from
wait4) of the whole process.  `--baseline DIR` also runs the same commands
with PYTHONPATH=DIR (a build of another commit, see snapshot_build.sh), so
that the ratios come from one run on one machine.  The files of every run
are compared byte for byte with the first run of the current build.
"""

import argparse
import filecmp
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

TRAIN = "from qaz.smt.align import emcore, _drivers; _drivers.main_train()"
SCORE = "from qaz.smt.align import emcore, _drivers; _drivers.main_score()"
FILES = ("trans", "align", "scores", "decode")


def run(code, args, pythonpath=None):
    """(wall seconds, peak RSS MiB, exit status) of one process."""
    env = dict(os.environ)
    if pythonpath:
        env["PYTHONPATH"] = pythonpath
    t0 = time.perf_counter()
    proc = subprocess.Popen([sys.executable, "-c", code, *map(str, args)], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - t0
    proc.stderr.read()
    return wall, usage.ru_maxrss / 1024, os.waitstatus_to_exitcode(status)


def outputs(folder, tag):
    return [folder / f"{tag}.{name}" for name in FILES]


def train_args(src, trg, files, iterations, extra):
    trans, align, scores, decode = files
    return [src, trg, trans, align, "-s", scores, "-d", decode, "-I", iterations, "-q", *extra]


def summary(label, samples, reference=None):
    walls = [w for w, _, _ in samples]
    peak = max(p for _, p, _ in samples)
    wall = statistics.median(walls)
    ratio = f"  ({reference / wall:.2f}x faster)" if reference else ""
    print(f"| {label} | {wall:.2f} s (min {min(walls):.2f}) | {peak:.0f} MiB |{ratio}")
    return wall


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("src")
    parser.add_argument("trg")
    parser.add_argument("--baseline", help="PYTHONPATH of the build to compare with")
    parser.add_argument("--threads", default="1,2", help="thread counts of the current build (default: 1,2)")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each measurement (default: 3)")
    parser.add_argument("--iterations", type=int, default=5, help="iterations of each model (default: 5)")
    parser.add_argument("--limits", default="", help="memory limits of extra training runs, e.g. 320M,50M")
    parser.add_argument("--score-limits", default="", help="memory limits of extra scoring runs")
    parser.add_argument("--out", help="folder of the files (default: a temporary one)")
    args = parser.parse_args(argv)

    folder = Path(args.out or tempfile.mkdtemp(prefix="qaz-bench-"))
    folder.mkdir(parents=True, exist_ok=True)
    threads = [int(t) for t in args.threads.split(",") if t]
    print(f"corpus {args.src} / {args.trg}, {args.iterations} + {args.iterations} iterations, "
          f"median of {args.repeat}, files in {folder}")
    print("| run | wall | peak RSS |")
    print("| --- | ---: | ---: |")

    def train(tag, extra, pythonpath=None):
        samples = []
        for _ in range(args.repeat):
            samples.append(run(TRAIN, train_args(args.src, args.trg, outputs(folder, tag), args.iterations,
                                                 extra), pythonpath))
        return samples

    reference = None
    if args.baseline:
        reference = summary("training, baseline build", train("base", [], args.baseline))
    first = None
    for n in threads:
        tag = f"j{n}"
        wall = summary(f"training, -j {n}", train(tag, ["-j", n]), reference)
        if reference is None:
            reference = wall
        if first is None:
            first = tag
        elif not all(filecmp.cmp(a, b, shallow=False)
                     for a, b in zip(outputs(folder, first), outputs(folder, tag))):
            print(f"  files of -j {n} differ from those of {first}!")
    if args.baseline:
        same = all(filecmp.cmp(a, b, shallow=False) for a, b in zip(outputs(folder, "base"), outputs(folder, first)))
        print(f"  files of the baseline and the current build {'equal' if same else 'differ'}")
    for limit in [x for x in args.limits.split(",") if x]:
        tag = f"limit-{limit}"
        samples = train(tag, ["-j", threads[-1], "--memory-limit", limit])
        summary(f"training, -j {threads[-1]} --memory-limit {limit} (exit {samples[0][2]})", samples)
        if samples[0][2] == 0:
            same = all(filecmp.cmp(a, b, shallow=False) for a, b in zip(outputs(folder, first), outputs(folder, tag)))
            print(f"  files {'equal' if same else 'differ from'} those of the unlimited run")

    # Scoring the same corpus with the model files of the first run.
    model = [folder / "model.trans", folder / "model.align"]
    run(TRAIN, [args.src, args.trg, model[0], model[1], "-I", args.iterations, "-q", "-t", "0.001"])

    def score(tag, extra, pythonpath=None):
        return [run(SCORE, [args.src, args.trg, *model, "-s", folder / f"{tag}.s", "-d", folder / f"{tag}.d",
                            "-q", *extra], pythonpath) for _ in range(args.repeat)]

    reference = None
    if args.baseline:
        reference = summary("scoring (both files), baseline build", score("sbase", [], args.baseline))
    for n in threads:
        wall = summary(f"scoring (both files), -j {n}", score(f"sj{n}", ["-j", n]), reference)
        reference = reference or wall
    for limit in [x for x in args.score_limits.split(",") if x]:
        samples = score(f"slimit-{limit}", ["-j", threads[-1], "--memory-limit", limit])
        summary(f"scoring, -j {threads[-1]} --memory-limit {limit} (exit {samples[0][2]})", samples)
    return 0


if __name__ == "__main__":
    sys.exit(main())
