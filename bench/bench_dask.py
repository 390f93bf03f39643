"""Sharded runs on a local Dask cluster of 1 and of 2 single-threaded workers.

    python bench/bench_dask.py SRC TRG [--workers 1,2] [--iterations 1,3] [--no-score]

For each worker count W (one shard per worker, a fresh LocalCluster of
processes, engine threads 1):
  - scoring: `qaz.distributed.score_ibm_model` with the tables of one
    plain `qaz-train -I 1` run, both files; wall time;
  - training: `qaz.distributed.train_emcore` with -I a and -I b (the two
    values of --iterations, translation and alignment files only); the
    per-iteration time, communication included, is the difference divided
    by 2 (b - a) (each iteration of both models).
The files of W workers are compared with those of the first W (scoring:
byte for byte; training with more shards agrees within reassociation only).
"""

import argparse
import filecmp
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def _conf(src, trg, out, iterations, **extra):
    conf = dict(src_path=src, trg_path=trg, save_trans_path=str(out / "t.txt"),
                save_align_path=str(out / "a.txt"), iteration_limit=iterations, threshold=0.001,
                nbest=None, character=False, threads=1, quiet=True)
    conf.update(extra)
    return conf


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("src")
    parser.add_argument("trg")
    parser.add_argument("--workers", default="1,2")
    parser.add_argument("--iterations", default="1,3")
    parser.add_argument("--no-score", action="store_true")
    args = parser.parse_args()

    import distributed as dd

    from qaz import distributed

    workers = [int(w) for w in args.workers.split(",")]
    low, high = (int(i) for i in args.iterations.split(","))
    tmp = Path(tempfile.mkdtemp(prefix="qaz-dask-"))
    tables = tmp / "tables"
    tables.mkdir()
    if not args.no_score:
        subprocess.run([sys.executable, "-m", "qaz.smt.align.emcore", args.src, args.trg,
                        str(tables / "t.txt"), str(tables / "a.txt"), "-I", "1", "-q"], check=True)
    print(f"corpus {args.src} / {args.trg}, files in {tmp}")
    print("| run | " + " | ".join(f"{w} worker{'s' if w > 1 else ''}" for w in workers) + " |")
    rows = {"scoring": [], f"training -I {low}": [], f"training -I {high}": []}
    for w in workers:
        with dd.LocalCluster(n_workers=w, threads_per_worker=1, processes=True,
                             dashboard_address=":0") as cluster, dd.Client(cluster) as client:
            if not args.no_score:
                out = tmp / f"score-{w}"
                out.mkdir()
                conf = dict(src_path=args.src, trg_path=args.trg, trans_path=str(tables / "t.txt"),
                            align_path=str(tables / "a.txt"), save_scores=str(out / "s.txt"),
                            decode_align=str(out / "d.txt"), character=False, threads=1, quiet=True)
                t0 = time.perf_counter()
                assert distributed.score_ibm_model(conf, client=client, shards=w)
                rows["scoring"].append(time.perf_counter() - t0)
                first = tmp / f"score-{workers[0]}"
                for name in ("s.txt", "d.txt"):
                    if not filecmp.cmp(first / name, out / name, shallow=False):
                        print(f"  scoring files differ: {name}")
            for iterations in (low, high):
                out = tmp / f"train-{w}-{iterations}"
                out.mkdir()
                t0 = time.perf_counter()
                assert distributed.train_emcore(_conf(args.src, args.trg, out, iterations),
                                                client=client, shards=w)
                rows[f"training -I {iterations}"].append(time.perf_counter() - t0)
    for label, values in rows.items():
        if values:
            print(f"| {label} | " + " | ".join(f"{v:.2f} s" for v in values) + " |")
    per = [(b - a) / (2 * (high - low)) for a, b in zip(rows[f"training -I {low}"], rows[f"training -I {high}"],
                                                          strict=True)]
    print("| training, per iteration | " + " | ".join(f"{v:.2f} s" for v in per) + " |")
    if len(per) > 1:
        print(f"per-iteration ratio 1 -> {workers[-1]} workers: {per[0] / per[-1]:.2f}x")
    if rows["scoring"] and len(rows["scoring"]) > 1:
        print(f"scoring ratio: {rows['scoring'][0] / rows['scoring'][-1]:.2f}x")


if __name__ == "__main__":
    main()
