"""Two builds of qaz-align timed side by side, one on each core, round after round.

Usage:
    python3 bench/bench_pair.py SITE_A SITE_B [--rounds 3] [--src F --trg E] [-- ARGS...]

ARGS after ``--`` go to both runs of qaz-align.

SITE_A and SITE_B are folders made by ``bench/snapshot_build.sh COMMIT``.
Each round starts both builds at the same moment, each with ``-j 1`` on the
same corpus (default: the Hansards 100K, French source), the launch order
swapped every round, and prints both user and wall times.  On a shared
virtual machine whose speed drifts by 10-30 % within minutes, two runs
taken at the same time meet the same drift, so their ratio is steadier than
that of runs taken one after the other; the two also share the memory
bandwidth and the last-level cache, which slows both alike.  The links of
the two builds are compared at the end (``same links`` or ``LINKS DIFFER``).

Run it with an interpreter that has no editable install of qaz (its import
hook would take precedence over PYTHONPATH), e.g. the system ``python3``
with NumPy.
"""

import argparse
import filecmp
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
HANSARDS = HERE.parents[1] / "shared" / "data" / "hansards-fr-en"
ENTRY = ('import sys; from qaz.align_command import main; '
         'sys.argv[0] = "qaz-align"; sys.exit(main())')


def start(site, src, trg, out, args):
    env = dict(os.environ, PYTHONPATH=str(site))
    cmd = [sys.executable, "-c", ENTRY, str(src), str(trg), "-j", "1", "-q", "-o", str(out), *args]
    return subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE), time.perf_counter()


def finish_all(runs):
    """{key: (user seconds, wall seconds)} of started runs, each reaped as it
    ends; raises on a failure."""
    by_pid = {proc.pid: key for key, (proc, _) in runs.items()}
    times = {}
    while by_pid:
        pid, status, usage = os.wait4(-1, 0)
        if pid not in by_pid:
            continue
        key = by_pid.pop(pid)
        proc, t0 = runs[key]
        wall = time.perf_counter() - t0
        proc.returncode = os.waitstatus_to_exitcode(status)
        if proc.returncode != 0:
            err = proc.stderr.read().decode(errors="replace")
            raise RuntimeError(f"qaz-align failed:\n{err[-2000:]}")
        times[key] = (usage.ru_utime, wall)
    return times


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("site_a", type=Path)
    ap.add_argument("site_b", type=Path)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--src", type=Path, default=HANSARDS / "hansards.f")
    ap.add_argument("--trg", type=Path, default=HANSARDS / "hansards.e")
    argv = list(sys.argv[1:] if argv is None else argv)
    extra = argv[argv.index("--") + 1:] if "--" in argv else []
    own = argv[:argv.index("--")] if "--" in argv else argv
    opts = ap.parse_args(own)
    opts.args = extra
    with tempfile.TemporaryDirectory() as tmp:
        outs = [Path(tmp) / "a.links", Path(tmp) / "b.links"]
        sites = [opts.site_a, opts.site_b]
        ratios = []
        for r in range(opts.rounds):
            order = [0, 1] if r % 2 == 0 else [1, 0]
            runs = {k: start(sites[k], opts.src, opts.trg, outs[k], opts.args) for k in order}
            times = finish_all(runs)
            (ua, wa), (ub, wb) = times[0], times[1]
            ratios.append(ub / ua)
            print(f"round {r + 1}: A {ua:.2f} s user {wa:.2f} s wall   "
                  f"B {ub:.2f} s user {wb:.2f} s wall   B/A user {ub / ua:.3f}", flush=True)
        ratios.sort()
        print(f"B/A user time: median {ratios[len(ratios) // 2]:.3f} "
              f"(from {ratios[0]:.3f} to {ratios[-1]:.3f})")
        print("same links" if filecmp.cmp(outs[0], outs[1], shallow=False) else "LINKS DIFFER")


if __name__ == "__main__":
    main()
