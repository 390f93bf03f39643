"""Cost of each stage of alignment training on one corpus.

Usage:
    python bench/bench_align.py SRC TRG [--label NAME] [--repeat R]
    python bench/bench_align.py --synthetic 1000000 [--seed 1]

with an interpreter that imports the installed package (or
PYTHONPATH=$(bench/snapshot_build.sh REV | tail -1) for a fixed commit);
QAZ_BENCH_THREADS=N sets the threads of the measured runs.

``--synthetic N`` writes (once) an N-pair corpus from ``make_corpus.py`` into
bench/out/ and measures that.  Two fresh subprocesses do the work, so that
each one's peak resident size is its own:

- the stage worker loads the corpus, then times each stage on one trainer
  with logging quiet (see ``STAGES`` for how each figure is derived);
- the driver worker runs the default training run, ``emcore.train_emcore``
  with 5 + 5 iterations and all four output files, logging at INFO into
  bench/out/LABEL.driver.log (from which the sparse table sizes are read).

The work of one iteration is the number of (source position, target
position) cells, Σ (I+1)·J over the pairs (NULL included); every cost is also
shown in nanoseconds per cell.  Timings on a shared machine are noisy: stages
that run several times show the median and the spread.
"""

import argparse
import json
import os
import re
import resource
import statistics
import subprocess
import sys
import time
from pathlib import Path

BENCH = Path(__file__).resolve().parent
OUT = BENCH / "out"

# How each figure of the stage worker is obtained; printed under the table.
STAGES = {
    "load": "vocab._load_sent_pairs(src, trg) on a fresh emcore.Vocab (min of runs); "
    "tokens counted from the files' spaces and line ends",
    "setup": "Model2Trainer._setup(): corpus load plus both uniform tables",
    "entropy": "model._calc_entropy(sent_pairs), direct calls",
    "m1_loop0": "Model1Trainer._train(t, 0): setup check + one entropy pass",
    "m1_loop1": "Model1Trainer._train(t, 1), once per Model 1 iteration",
    "m1_em": "Model 1 E+M = _train(t, 1) − 2 × entropy (median)",
    "m2_loop1": "Model2Trainer._train(t, 1), once per Model 2 iteration",
    "m2_em": "Model 2 E+M = _train(t, 1) − 2 × entropy (median)",
    "trans_writer": "_save_trans_dist(path, 0.001, 100) after the iterations",
    "align_writer": "_save_align_dist(path, 0.001)",
    "scores": "model._calc_and_save_scores(path, sent_pairs, False)",
    "decode": "model._decode_and_save_align(path, sent_pairs, False)",
}


def count_tokens(path):
    """Tokens of a file with single-space separators and no empty lines, and its lines."""
    spaces = lines = 0
    last = b"\n"
    with open(path, "rb") as f:
        while block := f.read(1 << 24):
            spaces += block.count(b" ")
            lines += block.count(b"\n")
            last = block[-1:]
    if last != b"\n":
        lines += 1
    return spaces + lines, lines


def _rss_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def _current_mb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize() / 2**20


def _timed(fn, *args):
    t0 = time.perf_counter()
    fn(*args)
    return time.perf_counter() - t0


# ---------------------------------------------------------------------------
# Workers (run in their own process)


def _threads():
    """Threads of the measured runs (QAZ_BENCH_THREADS; default: every CPU)."""
    value = os.environ.get("QAZ_BENCH_THREADS")
    return int(value) if value else None


def stage_worker(src, trg, out_prefix, repeat, iterations):
    import gc

    from qaz.common import logging
    from qaz.smt.align import emcore, emlex, empos

    res = {"base_rss_mb": _current_mb()}
    with logging.using_config(["qaz"], quiet=True):
        loads = []
        for _ in range(repeat):
            vocab = emcore.Vocab()
            t0 = time.perf_counter()
            pairs = vocab._load_sent_pairs(src, trg, False)
            loads.append(time.perf_counter() - t0)
            res["pairs"] = len(pairs)
            res["cells"] = pairs.cells()
            res["sizes"] = list(vocab._sizes())
            del vocab, pairs
            gc.collect()
        res["load"] = loads

        t = empos.Model2Trainer({"src_path": src, "trg_path": trg, "threads": _threads()})
        res["setup"] = [_timed(t._setup)]
        res["rss_after_setup_mb"] = _current_mb()
        model, sent_pairs = t._model, t._sent_pairs
        res["entropy"] = [_timed(model._calc_entropy, sent_pairs) for _ in range(repeat)]

        res["m1_loop0"] = [_timed(emlex.Model1Trainer._train, t, 0)]
        res["m1_loop1"] = [_timed(emlex.Model1Trainer._train, t, 1) for _ in range(iterations)]
        res["m2_loop0"] = [_timed(empos.Model2Trainer._train, t, 0)]
        res["m2_loop1"] = [_timed(empos.Model2Trainer._train, t, 1) for _ in range(iterations)]
        res["entropy"] += [_timed(model._calc_entropy, sent_pairs) for _ in range(repeat)]
        res["rss_after_training_mb"] = _current_mb()

        paths = {k: f"{out_prefix}.stage.{k}" for k in ("trans", "align", "scores", "decode")}
        res["trans_writer"] = [_timed(t._save_trans_dist, paths["trans"], 0.001, 100)]
        res["align_writer"] = [_timed(t._save_align_dist, paths["align"], 0.001)]
        res["scores"] = [_timed(model._calc_and_save_scores, paths["scores"], sent_pairs, False)]
        res["decode"] = [_timed(model._decode_and_save_align, paths["decode"], sent_pairs, False)]
        res["file_mb"] = {k: os.path.getsize(p) / 2**20 for k, p in paths.items()}
    res["peak_rss_mb"] = _rss_mb()
    return res


def driver_worker(src, trg, out_prefix):
    from qaz.common import logging
    from qaz.smt.align import emcore

    conf = {
        "src_path": src,
        "trg_path": trg,
        "save_trans_path": f"{out_prefix}.trans",
        "save_align_path": f"{out_prefix}.align",
        "save_scores": f"{out_prefix}.scores",
        "decode_align": f"{out_prefix}.decode",
        "iteration_limit": 5,
        "threshold": 0.001,
        "nbest": 100,
        "threads": _threads(),
    }
    with logging.using_config(["qaz"]):
        t0 = time.perf_counter()
        ok = emcore.train_emcore(conf)
        seconds = time.perf_counter() - t0
    return {"ok": bool(ok), "train_emcore_s": seconds, "peak_rss_mb": _rss_mb()}


def worker_env():
    """Environment of the workers: the caller's, so that they import the same ``qaz``."""
    return dict(os.environ)


def _run_worker(kind, args, log_path=None):
    """Run a worker in a fresh interpreter; its JSON result, wall time and peak RSS."""
    env = worker_env()
    cmd = [sys.executable, str(Path(__file__).resolve()), "--worker", kind, *args]
    stderr = open(log_path, "w") if log_path else None
    t0 = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=stderr, env=env, text=True)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - t0
    proc.returncode = os.waitstatus_to_exitcode(status)
    if stderr:
        stderr.close()
    if proc.returncode != 0:
        where = f" (log: {log_path})" if log_path else ""
        raise RuntimeError(f"{kind} worker exited with status {proc.returncode}{where}")
    res = json.loads(out.strip().splitlines()[-1])
    res["process_wall_s"] = wall
    res["process_peak_rss_mb"] = usage.ru_maxrss / 1024.0
    return res


def _held_sparse(log_path):
    """Allocation lines of the driver log: {"trans": (pairs, bytes), "align": (shapes, bytes)}."""
    found = {}
    text = Path(log_path).read_text(encoding="utf-8", errors="replace")
    m = re.search(r"allocated: ([\d,]+) \[bytes\] for ([\d,]+) co-occurring word pairs", text)
    if m:
        found["trans"] = (int(m.group(2).replace(",", "")), int(m.group(1).replace(",", "")))
    m = re.search(r"allocated: ([\d,]+) \[bytes\] for ([\d,]+) sentence shapes", text)
    if m:
        found["align"] = (int(m.group(2).replace(",", "")), int(m.group(1).replace(",", "")))
    return found


# ---------------------------------------------------------------------------
# Measuring and reporting


def synthetic_corpus(pairs, seed):
    """Paths of the cached synthetic corpus of ``pairs`` pairs, writing it if missing."""
    sys.path.insert(0, str(BENCH))
    import make_corpus

    prefix = OUT / f"syn-{pairs}-s{seed}"
    src, trg = Path(f"{prefix}.src"), Path(f"{prefix}.trg")
    if not (src.exists() and trg.exists()):
        t0 = time.perf_counter()
        make_corpus.write_corpus(pairs, seed, prefix)
        print(f"wrote {prefix}.src/.trg in {time.perf_counter() - t0:.1f} s", file=sys.stderr)
    return str(src), str(trg)


def measure(src, trg, label, repeat=3, iterations=5, driver=True):
    """Run both workers on a corpus; a dict of everything measured."""
    OUT.mkdir(parents=True, exist_ok=True)
    safe = re.sub(r"[^\w.-]+", "_", label)
    prefix = OUT / safe
    src_tokens, lines = count_tokens(src)
    trg_tokens, _ = count_tokens(trg)
    res = {"label": label, "src": src, "trg": trg, "lines": lines, "src_tokens": src_tokens, "trg_tokens": trg_tokens}
    res["stages"] = _run_worker("stages", [src, trg, str(prefix), str(repeat), str(iterations)])
    if driver:
        log = f"{prefix}.driver.log"
        res["driver"] = _run_worker("driver", [src, trg, str(prefix)], log_path=log)
        res["driver"]["held_sparse"] = _held_sparse(log)
    return res


def _median(xs):
    return statistics.median(xs)


def derived(res):
    """Seconds of each reported figure, with the spread of repeated ones: {name: (s, lo, hi, n)}."""
    st = res["stages"]
    ent = _median(st["entropy"])
    rows = {}

    def put(name, xs, minus=0.0):
        vals = [x - minus for x in xs]
        rows[name] = (_median(vals), min(vals), max(vals), len(vals))

    rows["load"] = (min(st["load"]), min(st["load"]), max(st["load"]), len(st["load"]))
    put("setup", st["setup"])
    put("entropy", st["entropy"])
    put("m1_loop1", st["m1_loop1"])
    put("m1_em", st["m1_loop1"], 2 * ent)
    put("m2_loop1", st["m2_loop1"])
    put("m2_em", st["m2_loop1"], 2 * ent)
    for k in ("trans_writer", "align_writer", "scores", "decode"):
        put(k, st[k])
    return rows


def report(res):
    """Markdown of one corpus: the stage table, then the whole run."""
    st = res["stages"]
    cells = st["cells"]
    tokens = res["src_tokens"] + res["trg_tokens"]
    rows = derived(res)
    out = []
    sv, tv, sl, tl = st["sizes"]
    out.append(
        f"### {res['label']}\n\n"
        f"{st['pairs']:,} pairs, {res['src_tokens']:,} + {res['trg_tokens']:,} tokens, "
        f"vocabularies {sv:,} / {tv:,} (with NULL), longest {sl - 1} / {tl}; "
        f"Σ (I+1)·J = {cells:,} cells per iteration.\n"
    )
    out.append("| stage | seconds | spread (n) | ns per cell | rate |")
    out.append("| --- | ---: | ---: | ---: | ---: |")
    names = {
        "load": "corpus load",
        "setup": "setup (load + uniform tables)",
        "entropy": "entropy pass",
        "m1_loop1": "Model 1 loop iteration (E+M + entropy)",
        "m1_em": "Model 1 E+M",
        "m2_loop1": "Model 2 loop iteration (E+M + entropy)",
        "m2_em": "Model 2 E+M",
        "trans_writer": "translation file writer",
        "align_writer": "alignment file writer",
        "scores": "scoring (scores file)",
        "decode": "decoding (alignment file)",
    }
    for key, name in names.items():
        s, lo, hi, n = rows[key]
        spread = f"{lo:.3f}–{hi:.3f} ({n})" if n > 1 else ""
        rate = ""
        if key in ("load", "setup"):
            rate = f"{tokens / s / 1e6:.1f} M tokens/s"
        elif key in ("scores", "decode"):
            rate = f"{st['pairs'] / s / 1e3:.0f} K pairs/s"
        out.append(f"| {name} | {s:.3f} | {spread} | {s / cells * 1e9:.2f} | {rate} |")
    out.append("")
    out.append(
        f"Stage worker: resident {st['rss_after_setup_mb']:.0f} MB after setup, "
        f"{st['rss_after_training_mb']:.0f} MB after training, peak {res['stages']['process_peak_rss_mb']:.0f} MB "
        f"(interpreter and imports {st['base_rss_mb']:.0f} MB)."
    )
    if "driver" in res:
        d = res["driver"]
        hs = d.get("held_sparse", {})
        extra = ""
        if "trans" in hs:
            extra += f"; translation table {hs['trans'][0]:,} pairs in {hs['trans'][1] / 2**20:.0f} MiB"
        if "align" in hs:
            extra += f"; alignment table {hs['align'][0]:,} shapes in {hs['align'][1] / 2**20:.0f} MiB"
        out.append(
            f"Default run (train_emcore, 5 + 5 iterations, four files): {d['train_emcore_s']:.2f} s in the call, "
            f"{d['process_wall_s']:.2f} s for the process, peak RSS {d['process_peak_rss_mb']:.0f} MB{extra}."
        )
    out.append("")
    out.append("How the figures are derived:")
    for key, how in STAGES.items():
        out.append(f"- {key}: {how}")
    return "\n".join(out)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("src", nargs="?", help="source-side file")
    parser.add_argument("trg", nargs="?", help="target-side file")
    parser.add_argument("--synthetic", type=int, metavar="N", help="measure an N-pair synthetic corpus instead")
    parser.add_argument("--seed", type=int, default=1, help="seed of the synthetic corpus (default: %(default)s)")
    parser.add_argument("--label", help="name of the corpus in the report")
    parser.add_argument("--repeat", type=int, default=3, help="runs of the load and entropy timings (default: 3)")
    parser.add_argument(
        "--iterations", type=int, default=5, help="timed iterations of each model (default: %(default)s)"
    )
    parser.add_argument("--no-driver", action="store_true", help="skip the default training run")
    parser.add_argument("--json", help="also write the raw measurements to this file")
    parser.add_argument("--worker", choices=("stages", "driver"), help=argparse.SUPPRESS)
    args, rest = parser.parse_known_args(argv)

    if args.worker == "stages":
        src, trg, prefix, repeat, iterations = [args.src, args.trg, *rest]
        print(json.dumps(stage_worker(src, trg, prefix, int(repeat), int(iterations))))
        return 0
    if args.worker == "driver":
        print(json.dumps(driver_worker(args.src, args.trg, rest[0])))
        return 0
    if rest:
        parser.error(f"unrecognized arguments: {' '.join(rest)}")

    if args.synthetic:
        src, trg = synthetic_corpus(args.synthetic, args.seed)
        label = args.label or f"synthetic {args.synthetic:,} (seed {args.seed})"
    elif args.src and args.trg:
        src, trg = args.src, args.trg
        label = args.label or f"{Path(src).name} → {Path(trg).name}"
    else:
        parser.error("give SRC and TRG, or --synthetic N")
    res = measure(src, trg, label, args.repeat, args.iterations, driver=not args.no_driver)
    print(report(res))
    if args.json:
        Path(args.json).write_text(json.dumps(res, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
