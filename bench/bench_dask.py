"""Sharded runs on a local Dask cluster of 1 and of 2 single-threaded workers.

    python bench/bench_dask.py SRC TRG [--workers 1,2] [--iterations 2] [--no-score]

For each worker count W (one shard per worker, a fresh LocalCluster of
processes, engine threads 1):
  - scoring: `qaz.distributed.score_ibm_model` with the tables of one
    plain `qaz-train -I 1` run, both files; wall time;
  - training: `qaz.distributed.train_emcore` with -I N (translation and
    alignment files only); wall time, and the time of one walk of the EM
    loops (one iteration: the tables sent to every worker, every shard's
    sweep, the counts summed on the driver), the loops' time divided by
    their walks.
The scoring files of every W are compared byte for byte with the first W's.
"""

import argparse
import filecmp
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def _conf(src, trg, out, iterations):
    return dict(src_path=src, trg_path=trg, save_trans_path=str(out / "t.txt"),
                save_align_path=str(out / "a.txt"), iteration_limit=iterations, threshold=0.001,
                nbest=None, character=False, threads=1)


class _WalkClock:
    """Times the EM loops of qaz.distributed and counts their walks."""

    def __init__(self, distributed):
        self.seconds = 0.0
        self.walks = 0
        training = distributed._Training
        loop, tables = training.loop, training._tables
        clock = self

        def timed_loop(self, kind, limit):
            t0 = time.perf_counter()
            try:
                return loop(self, kind, limit)
            finally:
                clock.seconds += time.perf_counter() - t0

        def counted_tables(self):
            clock.walks += 1
            return tables(self)

        training.loop, training._tables = timed_loop, counted_tables

    def take(self):
        """Seconds per walk since the last call."""
        per = self.seconds / max(self.walks, 1)
        self.seconds, self.walks = 0.0, 0
        return per


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("src")
    parser.add_argument("trg")
    parser.add_argument("--workers", default="1,2")
    parser.add_argument("--iterations", type=int, default=2)
    parser.add_argument("--no-score", action="store_true")
    args = parser.parse_args()

    import distributed as dd

    from qaz import distributed

    clock = _WalkClock(distributed)
    workers = [int(w) for w in args.workers.split(",")]
    tmp = Path(tempfile.mkdtemp(prefix="qaz-dask-"))
    tables = tmp / "tables"
    tables.mkdir()
    if not args.no_score:
        subprocess.run([sys.executable, "-m", "qaz.smt.align.emcore", args.src, args.trg,
                        str(tables / "t.txt"), str(tables / "a.txt"), "-I", "1", "-q"], check=True)
    print(f"corpus {args.src} / {args.trg}, files in {tmp}")
    rows = {"scoring, both files": [], f"training -I {args.iterations}": [], "one walk (iteration)": []}
    for w in workers:
        with distributed.local_cluster(w) as cluster, dd.Client(cluster) as client:
            if not args.no_score:
                out = tmp / f"score-{w}"
                out.mkdir()
                conf = dict(src_path=args.src, trg_path=args.trg, trans_path=str(tables / "t.txt"),
                            align_path=str(tables / "a.txt"), save_scores=str(out / "s.txt"),
                            decode_align=str(out / "d.txt"), character=False, threads=1)
                t0 = time.perf_counter()
                assert distributed.score_ibm_model(conf, client=client, shards=w)
                rows["scoring, both files"].append(time.perf_counter() - t0)
                first = tmp / f"score-{workers[0]}"
                for name in ("s.txt", "d.txt"):
                    if not filecmp.cmp(first / name, out / name, shallow=False):
                        print(f"  scoring files differ: {name}")
            out = tmp / f"train-{w}"
            out.mkdir()
            clock.take()
            t0 = time.perf_counter()
            assert distributed.train_emcore(_conf(args.src, args.trg, out, args.iterations),
                                            client=client, shards=w)
            rows[f"training -I {args.iterations}"].append(time.perf_counter() - t0)
            rows["one walk (iteration)"].append(clock.take())
    print("| run | " + " | ".join(f"{w} worker{'s' if w > 1 else ''}" for w in workers) + " | ratio |")
    print("| --- |" + " ---: |" * (len(workers) + 1))
    for label, values in rows.items():
        if values:
            ratio = f"{values[0] / values[-1]:.2f}x" if len(values) > 1 else ""
            print(f"| {label} | " + " | ".join(f"{v:.2f} s" for v in values) + f" | {ratio} |")


if __name__ == "__main__":
    main()
