"""Rule-table loading and lookup: trie-indexed Table against a dict-of-lists index.

Usage:
    python bench/bench_tables.py [TABLE ...] [--queries N]

Without arguments it uses the largest Moses phrase table of the shared data.
Each measurement runs in a fresh subprocess so that its memory belongs to
that one index alone: "peak" is ru_maxrss and "held" the resident size after
loading, both minus the interpreter's baseline.
"""

import argparse
import json
import random
import resource
import subprocess
import sys
import time
from pathlib import Path

DATA = Path(__file__).resolve().parents[2] / "shared" / "data" / "tables"
DEFAULT = DATA / "moses-phrase" / "multimodel-de-en.phrase-table"


def _rss_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


def _current_mb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize() / 2**20


def _load_dict(path, trg_key):
    """The obvious Python index: normalised lines, source -> lines, target -> lines."""
    rules = {}
    by_src, by_trg = {}, {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = [x.strip() for x in line.split("|||")]
            norm = " ||| ".join(fields)
            if norm in rules:
                continue
            rules[norm] = None
            by_src.setdefault(fields[0], []).append(norm)
            if trg_key:
                by_trg.setdefault(fields[1], []).append(norm)
    return rules, by_src, by_trg


def worker(kind, path, trg_key, n_queries):
    import gc

    from qaz.smt.trans_models import tables
    from qaz.smt.trans_models.records import MosesRecord

    gc.collect()
    base = _rss_mb()
    base_now = _current_mb()
    t0 = time.perf_counter()
    if kind == "table":
        table = tables.Table(path, MosesRecord, trg_key=trg_key)
        n_rules = len(table)
    else:
        rules, by_src, by_trg = _load_dict(path, trg_key)
        n_rules = len(rules)
    load_s = time.perf_counter() - t0
    peak = _rss_mb() - base
    held = _current_mb() - base_now

    with open(path, encoding="utf-8") as f:
        sources = sorted({line.split("|||", 1)[0].strip() for line in f})
    rng = random.Random(1)
    queries = [rng.choice(sources) for _ in range(n_queries)]
    t0 = time.perf_counter()
    found = 0
    if kind == "table":
        for q in queries:
            found += sum(1 for _ in table.find_src(q))
    else:
        for q in queries:
            found += sum(1 for _ in map(MosesRecord, by_src.get(q, ())))
    query_s = time.perf_counter() - t0
    return {"rules": n_rules, "load_s": load_s, "peak_mb": peak, "held_mb": held,
            "query_us": query_s / n_queries * 1e6, "records_per_query": found / n_queries}


def run(kind, path, trg_key, n_queries):
    out = subprocess.run(
        [sys.executable, __file__, "--worker", kind, str(path), str(int(trg_key)), str(n_queries)],
        check=True, capture_output=True, text=True)
    return json.loads(out.stdout.strip().splitlines()[-1])


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--worker":
        kind, path, trg_key, n = sys.argv[2:6]
        print(json.dumps(worker(kind, path, bool(int(trg_key)), int(n))))
        return
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("tables", nargs="*", type=Path, default=[DEFAULT], metavar="TABLE",
                    help="rule-table files (default: %(default)s)")
    ap.add_argument("-q", "--queries", type=int, default=2000, metavar="N",
                    help="source lookups per run (default: %(default)s)")
    args = ap.parse_args()
    print("%-34s %-6s %-7s %9s %9s %11s %9s %9s %9s" % (
        "table", "index", "trg_key", "rules", "load s", "s/M lines", "peak MB", "held MB", "us/query"))
    for path in args.tables:
        with open(path, encoding="utf-8") as f:
            n_lines = sum(1 for _ in f)
        for trg_key in (False, True):
            for kind in ("table", "dict"):
                r = run(kind, path, trg_key, args.queries)
                print("%-34s %-6s %-7s %9d %9.2f %11.2f %9.1f %9.1f %9.1f" % (
                    path.name[:34], kind, trg_key, r["rules"], r["load_s"],
                    r["load_s"] / n_lines * 1e6, r["peak_mb"], r["held_mb"], r["query_us"]))
        print("  (%d lines, %.1f records per query on average)" % (n_lines, r["records_per_query"]))


if __name__ == "__main__":
    main()
