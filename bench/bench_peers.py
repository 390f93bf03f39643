"""qaz-align against other aligners on the Hansards 100K: wall time, peak memory and trial AER.

Usage:
    python3 bench/bench_peers.py [--eflomal PATH] [--samplers 1,3] [--out-dir bench/out/peers]

Runs whole processes one after the other on an otherwise idle machine, each
as a user would (French source, English target, all 100,000 pairs):

- ``qaz-align SRC TRG -o LINKS -j 1`` and ``-j 2`` (the defaults: Model 1
  then the HMM, both directions in agreement, posterior links);
- ``qaz-align SRC TRG -o LINKS -f FWD -r REV -j 1`` (the same, also
  writing each direction's Viterbi links, which the forward and
  grow-diag-final-and columns of every qaz row are scored on);
- ``qaz-align ... -f FWD -r REV --model 2 -j 1`` (the model of earlier
  releases);
- ``OMP_NUM_THREADS=1 eflomal-align -s SRC -t TRG -f FWD -r REV
  --n-samplers N`` for each N of ``--samplers``, when ``eflomal-align`` is
  found (``--eflomal`` or the PATH); its two directions are symmetrised
  with qaz's heuristics.

Wall time and peak RSS come from ``wait4`` on each child.  Each run's links
are scored on the 37 gold trial sentences (corpus lines 448-484) as
``qaz-aer trial.wa HYP --swap-gold --first 37``.  Prints a Markdown table.
"""

import argparse
import itertools
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
HANSARDS = HERE.parents[1] / "shared" / "data" / "hansards-fr-en"
FIRST_LINE, SENTENCES = 448, 37


def timed(cmd, env=None):
    """Runs ``cmd``; returns (wall seconds, peak RSS in MiB)."""
    t0 = time.perf_counter()
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - t0
    err = proc.stderr.read().decode(errors="replace")
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"{' '.join(map(str, cmd))} failed:\n{err[-2000:]}")
    return wall, usage.ru_maxrss / 1024


def trial_links(path):
    with open(path, encoding="utf-8") as f:
        lines = list(itertools.islice(f, FIRST_LINE - 1, FIRST_LINE - 1 + SENTENCES))
    return [[tuple(map(int, x.split("-"))) for x in line.split()] for line in lines]


def trial_aer(links, scratch):
    """AER of the trial sentences' links, as qaz-aer scores a Pharaoh file of them."""
    from qaz import aer

    Path(scratch).write_text("".join(" ".join(f"{i}-{j}" for i, j in sorted(s)) + "\n" for s in links))
    argv = [str(HANSARDS / "trial.wa"), str(scratch), "--swap-gold", "--first", str(SENTENCES)]
    return aer.score(aer.create_parser().parse_args(argv)).aer


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--eflomal", default=shutil.which("eflomal-align"), help="eflomal-align to compare with")
    parser.add_argument("--samplers", default="1", help="eflomal sampler counts to run (default: %(default)s)")
    parser.add_argument("--out-dir", default=str(HERE / "out" / "peers"), help="output folder")
    args = parser.parse_args(argv)
    from qaz.aligner import symmetrize

    out = Path(args.out_dir)
    out.mkdir(parents=True, exist_ok=True)
    src, trg = str(HANSARDS / "hansards.f"), str(HANSARDS / "hansards.e")
    qaz_align = [sys.executable, "-m", "qaz.align_command"]
    rows = []
    scratch = out / "trial.pharaoh"

    def scores_or_blank(fwd, rev, links):
        if fwd is None:
            return (None, None, None, trial_aer(links, scratch))
        return scores(fwd, rev, links)

    def scores(fwd, rev, links):
        return (trial_aer(fwd, scratch), trial_aer(symmetrize(fwd, rev, "grow-diag-final-and"), scratch),
                trial_aer(symmetrize(fwd, rev, "intersect"), scratch),
                None if links is None else trial_aer(links, scratch))

    runs = (("qaz-align (HMM, agreement), -j 1", ["-j", "1"], False),
            ("qaz-align (HMM, agreement), -j 2", ["-j", "2"], False),
            ("qaz-align (HMM, agreement), -f -r, -j 1", ["-j", "1"], True),
            ("qaz-align --model 2, -f -r, -j 1", ["--model", "2", "-j", "1"], True))
    timed_runs = []
    for label, extra, both in runs:
        files = [out / f"{len(timed_runs)}-{n}.txt" for n in ("links", "fwd", "rev")]
        cmd = qaz_align + [src, trg, "-q", "-o", files[0]] + (["-f", files[1], "-r", files[2]] if both else [])
        wall, rss = timed(cmd + extra)
        timed_runs.append((label, wall, rss, files, both))
        print(f"{label}: {wall:.1f} s", file=sys.stderr)
    # The HMM rows without -f/-r take their Viterbi columns from the -f -r run
    # of the same model (the same training, byte for byte).
    hmm_viterbi = next(((trial_links(files[1]), trial_links(files[2]))
                        for label, _, _, files, both in timed_runs if both and "model 2" not in label), (None, None))
    for label, wall, rss, files, both in timed_runs:
        fwd, rev = (trial_links(files[1]), trial_links(files[2])) if both else hmm_viterbi
        rows.append((label, wall, rss) + scores_or_blank(fwd, rev, trial_links(files[0])))
    if args.eflomal:
        env = dict(os.environ, OMP_NUM_THREADS="1")
        for n in args.samplers.split(","):
            fwd_path, rev_path = out / f"eflomal{n}.fwd", out / f"eflomal{n}.rev"
            cmd = [args.eflomal, "-s", src, "-t", trg, "-f", fwd_path, "-r", rev_path, "--n-samplers", n,
                   "--overwrite"]
            wall, rss = timed(cmd, env)
            fwd, rev = trial_links(fwd_path), trial_links(rev_path)
            rows.append((f"eflomal, {n} sampler(s), one core", wall, rss) + scores(fwd, rev, None))
            print(f"eflomal {n}: {wall:.1f} s", file=sys.stderr)
    print("| run | wall | peak RSS | forward | grow-diag-final-and | intersect | default links |")
    print("| --- | ---: | ---: | ---: | ---: | ---: | ---: |")
    def cell(v):
        return "–" if v is None else f"{v:.4f}"

    for label, wall, rss, f, g, i, d in rows:
        print(f"| {label} | {wall:.1f} s | {rss:.0f} MiB | {cell(f)} | {cell(g)} | {cell(i)} | {cell(d)} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
